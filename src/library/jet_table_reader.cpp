#include "library/jet_table_reader.h"

#include "library/app_error.h"

#include <algorithm>

namespace {

// Row offsets on a data page: the offset in the low bits, flags above.
constexpr int kRowOffsetMask = 0x1fff;
constexpr int kRowDeleted = 0x4000;
// A memo or OLE value in its row: 4 bytes of length (with the storage kind in
// the top two bits), 4 bytes pointing at its first long-value row, 4 unused.
constexpr int kLongValueHeaderSize = 12;
constexpr std::uint32_t kLongValueKindMask = 0xC0000000u;
constexpr std::uint32_t kLongValueInline = 0x80000000u;
constexpr std::uint32_t kLongValueOneRow = 0x40000000u;
constexpr std::uint32_t kLongValueChain = 0;
constexpr char kLongValueSignature[] = "LVAL";  // at byte 4 of a long-value page
// Access allows 255 columns and 32 indexes a table. Counts are refused above
// 255 (for indexes too, which leaves room): a larger one is damage, and libmdb
// would follow the definition's continuation pages as far as it says.
constexpr unsigned kMaxColumns = 255;
constexpr unsigned kMaxIndexes = 255;
// Page 2 holds the definition of MSysObjects, the catalog of every table.
constexpr std::uint32_t kCatalogPage = 2;
constexpr int kCatalogTableType = MDB_TABLE;
constexpr long kCatalogPageMask = 0x00FFFFFF;

bool EqualsIgnoringAsciiCase(QStringView a, QStringView b)
{
    if (a.size() != b.size())
        return false;
    for (qsizetype i = 0; i < a.size(); ++i) {
        char16_t x = a[i].unicode(), y = b[i].unicode();
        if (x >= u'a' && x <= u'z')
            x = static_cast<char16_t>(x - u'a' + u'A');
        if (y >= u'a' && y <= u'z')
            y = static_cast<char16_t>(y - u'a' + u'A');
        if (x != y)
            return false;
    }
    return true;
}

QString TakeGString(char* text)
{
    const QString result = QString::fromUtf8(text);
    g_free(text);
    return result;
}

}  // namespace

TJetTableReader::TJetTableReader(TJetHandle& file, std::uint32_t page, const QString& name)
    : FFile(file), FName(name)
{
    MdbHandle* mdb = FFile.Mdb;
    FFile.LoadPage(page);
    if (mdb->pg_buf[0] != MDB_PAGE_TABLE)
        FFile.Fail(QStringLiteral("第 %1 页应是表 %2 的定义，却不是").arg(page).arg(FName));
    FEntry.mdb = mdb;
    FEntry.object_type = MDB_TABLE;
    FEntry.table_pg = page;
    const QByteArray utf8 = FName.toUtf8().left(MDB_MAX_OBJ_NAME);
    std::copy(utf8.begin(), utf8.end(), FEntry.object_name);
    FDef.reset(mdb_read_table(&FEntry));
    if (!FDef)
        FFile.Fail(QStringLiteral("表 %1 的定义无法读取").arg(FName));
    if (FDef->num_cols == 0 || FDef->num_cols > kMaxColumns || FDef->num_real_idxs > kMaxIndexes ||
        !FDef->usage_map || FDef->map_sz < 1)
        FFile.Fail(QStringLiteral("表 %1 的定义已损坏").arg(FName));
    if (!mdb_read_columns(FDef.get()) || FDef->columns->len != FDef->num_cols)
        FFile.Fail(QStringLiteral("表 %1 的列定义无法读取").arg(FName));
    for (unsigned i = 0; i < FDef->num_cols; ++i)
        FNames.push_back(QString::fromUtf8(Column(static_cast<int>(i))->name));
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
            FFile.Fail(QStringLiteral("表 %1 第 %2 页的第 %3 行位置无效").arg(FName).arg(FPage).arg(row));
        if (size == 0)
            continue;
        if (mdb_crack_row(FDef.get(), start & kRowOffsetMask, size, FFields.data()) < 0)
            FFile.Fail(QStringLiteral("表 %1 第 %2 页的第 %3 行已损坏").arg(FName).arg(FPage).arg(row));
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

void TJetTableReader::FailValue(int index) const
{
    FFile.Fail(QStringLiteral("表 %1 第 %2 页的列 %3 的值已损坏").arg(FName).arg(FPage).arg(FNames.at(index)));
}

QVariant TJetTableReader::ValueOf(int index, const MdbField& field)
{
    const MdbColumn* column = Column(index);
    MdbHandle* mdb = FFile.Mdb;
    // A yes/no column keeps its value in the null mask: set is yes.
    if (column->col_type == MDB_BOOL)
        return QVariant(!field.is_null);
    if (field.is_null)
        return QVariant();
    if (field.siz < 0 || (field.siz > 0 && !field.value))
        FailValue(index);
    const auto need = [&](int bytes) {
        if (field.siz < bytes)
            FailValue(index);
    };
    const auto* data = static_cast<const char*>(field.value);
    switch (column->col_type) {
    case MDB_TEXT:
        return QVariant(FFile.DecodeText(QByteArray(data, field.siz)));
    case MDB_MEMO:
        return QVariant(FFile.DecodeText(ReadLongValue(index, field)));
    case MDB_OLE:
        return QVariant(ReadLongValue(index, field));
    case MDB_BINARY:
        return QVariant(QByteArray(data, field.siz));
    case MDB_DATETIME:
    case MDB_MONEY:
        need(8);
        return QVariant(TakeGString(mdb_col_to_string(mdb, mdb->pg_buf, field.start, column->col_type, field.siz)));
    case MDB_NUMERIC:
        need(17);
        return QVariant(TakeGString(mdb_numeric_to_string(mdb, field.start, column->col_scale, column->col_prec)));
    case MDB_REPID:
        need(16);
        return QVariant(TakeGString(mdb_uuid_to_string_fmt(mdb->pg_buf, field.start, MDB_BRACES_4_2_2_8)));
    default:
        return NumberOf(index, field);
    }
}

// The integer and floating-point types; any other type is refused.
QVariant TJetTableReader::NumberOf(int index, const MdbField& field) const
{
    const auto need = [&](int bytes) {
        if (field.siz < bytes)
            FailValue(index);
    };
    const int type = Column(index)->col_type;
    switch (type) {
    case MDB_BYTE:
        need(1);
        return QVariant(static_cast<qlonglong>(static_cast<const unsigned char*>(field.value)[0]));
    case MDB_INT:
        need(2);
        return QVariant(static_cast<qlonglong>(
            static_cast<std::int16_t>(static_cast<std::uint16_t>(mdb_get_int16(field.value, 0)))));
    case MDB_LONGINT:
    case MDB_COMPLEX:
        need(4);
        return QVariant(static_cast<qlonglong>(
            static_cast<std::int32_t>(static_cast<std::uint32_t>(mdb_get_int32(field.value, 0)))));
    case MDB_FLOAT:
        need(4);
        return QVariant(static_cast<double>(mdb_get_single(field.value, 0)));
    case MDB_DOUBLE:
        need(8);
        return QVariant(mdb_get_double(field.value, 0));
    default:
        FFile.Fail(QStringLiteral("表 %1 的列 %2 是不支持的类型 %3").arg(FName, FNames.at(index)).arg(type));
    }
}

// The bytes of the long-value row `pageRow` (page number << 8 | row).
QByteArray TJetTableReader::LongValueRow(int index, std::uint32_t pageRow)
{
    FFile.RequirePage(pageRow >> 8);
    void* buffer = nullptr;
    int start = 0;
    size_t size = 0;
    if (mdb_find_pg_row(FFile.Mdb, static_cast<int>(pageRow), &buffer, &start, &size) != 0)
        FailValue(index);
    // The page must say it holds long values; another page's bytes would
    // otherwise come back as text.
    const auto* page = static_cast<const char*>(buffer);
    if (page[0] != MDB_PAGE_DATA || QByteArrayView(page + 4, 4) != QByteArrayView(kLongValueSignature, 4))
        FailValue(index);
    return QByteArray(static_cast<const char*>(buffer) + start, static_cast<qsizetype>(size));
}

// The stored bytes of a memo or OLE value, whole and checked against the
// length its header gives: in the row, in one long-value row, or in a chain
// of them (each row starts with the address of the next).
QByteArray TJetTableReader::ReadLongValue(int index, const MdbField& field)
{
    if (field.siz == 0)
        return {};
    if (field.siz < kLongValueHeaderSize)
        FailValue(index);
    const auto* data = static_cast<const char*>(field.value);
    const auto header = static_cast<std::uint32_t>(mdb_get_int32(field.value, 0));
    const qsizetype length = header & ~kLongValueKindMask;
    const std::uint32_t kind = header & kLongValueKindMask;
    if (kind == kLongValueInline) {
        if (field.siz - kLongValueHeaderSize < length)
            FailValue(index);
        return QByteArray(data + kLongValueHeaderSize, length);
    }
    // No value can be longer than the file.
    if (length > static_cast<qsizetype>(FFile.PageCount) * FFile.PageSize)
        FailValue(index);
    auto pageRow = static_cast<std::uint32_t>(mdb_get_int32(field.value, 4));
    if (kind == kLongValueOneRow) {
        QByteArray bytes = LongValueRow(index, pageRow);
        if (bytes.size() < length)
            FailValue(index);
        bytes.truncate(length);
        return bytes;
    }
    if (kind != kLongValueChain)
        FailValue(index);
    QByteArray bytes;
    bytes.reserve(length);
    while (bytes.size() < length) {
        if (pageRow == 0)
            FailValue(index);  // the chain ends too early
        const QByteArray row = LongValueRow(index, pageRow);
        // Every link carries data, so a looping chain ends at the length.
        if (row.size() <= 4)
            FailValue(index);
        pageRow = static_cast<std::uint32_t>(mdb_get_int32(const_cast<char*>(row.constData()), 0));
        bytes.append(row.constData() + 4, std::min<qsizetype>(row.size() - 4, length - bytes.size()));
    }
    return bytes;
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
