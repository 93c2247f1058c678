#include "library/db/jet/jet_table_reader.h"

#include "library/app_error.h"
#include "library/db/names.h"

#include <algorithm>

// What libmdb walks itself, and how far: mdb_read_table takes the rows of the
// usage map and of the free-space map, mdb_read_columns follows the
// definition's continuation pages, and mdb_map_find_next reads the pages a
// usage map of type 1 lists. Each walk is bounded by counts in the definition
// (bytes of columns, entries of the map), not by the end of a chain. The
// continuation chain is walked here first, so that it is within the file and
// refuses a cycle. For the rest, a pointer past the end of the file meets
// libmdb's own end-of-file check, which prints a line of its own on standard
// error; the reader then raises its error, since the definition or the page
// map cannot be read. (A pointer to the page just past the end passes that
// check and reads as zeros: an empty page map, which the row count refuses.)

namespace {

// Row offsets on a data page: the offset in the low bits, flags above.
constexpr int kRowOffsetMask = 0x1fff;
constexpr int kRowDeleted = 0x4000;
// The next page of a definition that continues on another page; 0 for none.
constexpr int kNextDefinitionPageOffset = 4;
// Access allows 255 columns and 32 indexes a table. Counts are refused above
// 255 (for indexes too, which leaves room): a larger one is damage, and libmdb
// would follow the definition's continuation pages as far as it says.
constexpr unsigned kMaxColumns = 255;
constexpr unsigned kMaxIndexes = 255;
// Page 2 holds the definition of MSysObjects, the catalog of every table.
constexpr std::uint32_t kCatalogPage = 2;
constexpr int kCatalogTableType = MDB_TABLE;
constexpr long kCatalogPageMask = 0x00FFFFFF;

}  // namespace

TJetTableReader::TJetTableReader(TJetHandle& file, std::uint32_t page, const QString& name) : FFile(file), FName(name)
{
    MdbHandle* mdb = FFile.Mdb;
    CheckDefinitionPages(page);
    FEntry.mdb = mdb;
    FEntry.object_type = MDB_TABLE;
    FEntry.table_pg = page;
    const QByteArray utf8 = FName.toUtf8().left(MDB_MAX_OBJ_NAME);
    std::copy(utf8.begin(), utf8.end(), FEntry.object_name);
    FDef.reset(mdb_read_table(&FEntry));
    if (!FDef)
        FFile.Fail(QStringLiteral("表 %1 的定义无法读取").arg(FName));
    if (FDef->num_cols == 0 || FDef->num_cols > kMaxColumns || FDef->num_real_idxs > kMaxIndexes || !FDef->usage_map ||
        FDef->map_sz < 1)
        FFile.Fail(QStringLiteral("表 %1 的定义已损坏").arg(FName));
    ReadColumns();
    FFields.resize(FDef->num_cols);
}

int TJetTableReader::IndexOf(QStringView name) const
{
    for (int i = 0; i < FNames.size(); ++i)
        if (EqualsIgnoringAsciiCase(FNames.at(i), name))
            return i;
    return -1;
}

bool TJetTableReader::Next()
{
    MdbHandle* mdb = FFile.Mdb;
    while (!FDone) {
        if (FPage == 0 || FRow >= FRowCount) {
            NextPage();
            continue;
        }
        FFile.LoadPage(FPage);  // another table may have read other pages meanwhile
        const unsigned row = FRow++;
        int start = 0;
        size_t size = 0;
        const int found = mdb_find_row(mdb, static_cast<int>(row), &start, &size);
        if (start & kRowDeleted)
            continue;
        if (found != 0)
            FailRow(row, QStringLiteral("位置无效"));
        if (size == 0)
            continue;
        const unsigned rowColumns = RowColumnCount(start & kRowOffsetMask, size, row);
        if (mdb_crack_row(FDef.get(), start & kRowOffsetMask, size, FFields.data()) < 0)
            FailRow(row, QStringLiteral("已损坏"));
        CheckColumnsInMask(rowColumns, row);
        FValues.assign(FFields.size(), std::nullopt);
        ++FRowsRead;
        return true;
    }
    FValues.clear();
    return false;
}

const QVariant& TJetTableReader::Value(int index)
{
    std::optional<QVariant>& value = FValues.at(static_cast<std::size_t>(index));
    if (!value) {
        FFile.LoadPage(FPage);  // the fields point into the row's page
        value = ValueOf(index, FFields[static_cast<std::size_t>(index)]);
    }
    return *value;
}

MdbColumn* TJetTableReader::Column(int index) const
{
    return static_cast<MdbColumn*>(g_ptr_array_index(FDef->columns, static_cast<guint>(index)));
}

// The pages of the definition starting on `page`: each within the file, a
// definition page, and none twice.
void TJetTableReader::CheckDefinitionPages(std::uint32_t page) const
{
    std::unordered_set<std::uint32_t> seen;
    for (std::uint32_t next = page; next != 0;
         next = static_cast<std::uint32_t>(mdb_get_int32(FFile.Mdb->pg_buf, kNextDefinitionPageOffset))) {
        if (!seen.insert(next).second)
            FFile.Fail(QStringLiteral("表 %1 的定义在第 %2 页绕回了自身").arg(FName).arg(next));
        FFile.LoadPage(next);
        if (FFile.Mdb->pg_buf[0] != MDB_PAGE_TABLE)
            FFile.Fail(QStringLiteral("第 %1 页应是表 %2 的定义，却不是").arg(next).arg(FName));
    }
}

// The columns of the definition, in column-number order. Every column of a
// table has a name of its own; an empty or repeated one means libmdb read
// the names from a page that does not hold them.
void TJetTableReader::ReadColumns()
{
    if (!mdb_read_columns(FDef.get()) || FDef->columns->len != FDef->num_cols)
        FFile.Fail(QStringLiteral("表 %1 的列定义无法读取").arg(FName));
    for (unsigned i = 0; i < FDef->num_cols; ++i) {
        const QString name = QString::fromUtf8(Column(static_cast<int>(i))->name);
        if (name.isEmpty() || IndexOf(name) >= 0)
            FFile.Fail(QStringLiteral("表 %1 的列定义已损坏：列名为空或重复").arg(FName));
        FNames.push_back(name);
    }
}

void TJetTableReader::NextPage()
{
    MdbHandle* mdb = FFile.Mdb;
    const gint32 next = mdb_map_find_next(mdb, FDef->usage_map, static_cast<unsigned>(FDef->map_sz), FPage);
    if (next < 0)
        FFile.Fail(QStringLiteral("表 %1 的页表无法识别").arg(FName));
    if (next == 0) {
        FDone = true;
        // A page the page map no longer lists would lose its rows unseen;
        // the row count in the definition tells (0: not kept up to date).
        if (FDef->num_rows != 0 && FRowsRead != FDef->num_rows)
            FFile.Fail(QStringLiteral("表 %1 应有 %2 行，只读到 %3 行").arg(FName).arg(FDef->num_rows).arg(FRowsRead));
        return;
    }
    // Pages only move forward, so the walk ends within the file.
    const auto page = static_cast<std::uint32_t>(next);
    if (page <= FPage)
        FFile.Fail(QStringLiteral("表 %1 的页表已损坏").arg(FName));
    FFile.LoadPage(page);
    if (mdb->pg_buf[0] != MDB_PAGE_DATA || static_cast<std::uint32_t>(mdb_get_int32(mdb->pg_buf, 4)) != FEntry.table_pg)
        FFile.Fail(QStringLiteral("第 %1 页应是表 %2 的数据页，却不是").arg(page).arg(FName));
    FPage = page;
    FRow = 0;
    FRowCount = static_cast<unsigned>(mdb_get_int16(mdb->pg_buf, mdb->fmt->row_count_offset));
}

void TJetTableReader::FailRow(unsigned row, const QString& what) const
{
    FFile.Fail(QStringLiteral("表 %1 第 %2 页的第 %3 行%4").arg(FName).arg(FPage).arg(row).arg(what));
}

// The number of columns the row at `start` of the current page was written
// with, from its first byte (Jet 3) or two (Jet 4): its null mask has a bit
// for each.
unsigned TJetTableReader::RowColumnCount(int start, size_t size, unsigned row) const
{
    if (size < (FFile.Jet3 ? 1u : 2u))
        FailRow(row, QStringLiteral("已损坏"));
    unsigned char* page = FFile.Mdb->pg_buf;
    return FFile.Jet3 ? page[start] : static_cast<unsigned>(mdb_get_int16(page, start));
}

// A column numbered at or past the row's column count was added after the
// row was written: the row has no null bit and no value for it, so it is NULL.
// libmdb reads its bit from past the mask all the same (a column number is one
// byte, so at most 32 bytes on, within its own page buffers); that bit is not
// used. A row that holds a value for such a column contradicts itself.
void TJetTableReader::CheckColumnsInMask(unsigned rowColumns, unsigned row)
{
    for (std::size_t i = 0; i < FFields.size(); ++i) {
        const MdbColumn* column = Column(static_cast<int>(i));
        if (static_cast<unsigned>(column->col_num) < rowColumns)
            continue;
        if (FFields[i].value)
            FailRow(row, QStringLiteral("存有列 %1 的值，而其列号 %2 超出该行的 %3 列")
                             .arg(FNames.at(static_cast<qsizetype>(i)))
                             .arg(column->col_num)
                             .arg(rowColumns));
        FFields[i].is_null = 1;
    }
}

std::optional<std::uint32_t> FindJetTablePage(TJetHandle& file, const QString& name)
{
    TJetTableReader catalog(file, kCatalogPage, QStringLiteral("MSysObjects"));
    const int id = catalog.IndexOf(u"Id");
    const int objectName = catalog.IndexOf(u"Name");
    const int type = catalog.IndexOf(u"Type");
    if (id < 0 || objectName < 0 || type < 0)
        file.Fail(QStringLiteral("系统表 MSysObjects 缺少 Id、Name 或 Type 列"));
    while (catalog.Next()) {
        if (catalog.Value(type).toLongLong() == kCatalogTableType &&
            EqualsIgnoringAsciiCase(catalog.Value(objectName).toString(), name))
            return static_cast<std::uint32_t>(catalog.Value(id).toLongLong() & kCatalogPageMask);
    }
    return std::nullopt;
}
