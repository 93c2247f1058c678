#include "library/jet_file.h"

#include "library/app_error.h"
#include "library/database_cursor.h"
#include "library/gbk_codec.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QStringDecoder>
#include <QStringList>
#include <QVariant>

#include <mdbtools.h>

#include <array>
#include <cmath>
#include <limits>
#include <optional>

namespace {

constexpr char kJetSignature[] = "Standard Jet DB";  // with its terminating zero: 16 bytes
constexpr int kJetSignatureSize = sizeof(kJetSignature);
constexpr int kJetSignatureOffset = 4;
constexpr int kJetVersionOffset = 0x14;
constexpr int kJet3PageSize = 2048;
constexpr int kJet4PageSize = 4096;
// Page 0 is the header, page 1 the global page map, page 2 the definition of
// MSysObjects, the catalog of every table.
constexpr std::uint32_t kCatalogPage = 2;
constexpr std::uint32_t kMinimumPages = 3;
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
// The database password in the header page, after libmdb has undone the
// header's RC4 layer: Jet 3 keeps 20 bytes of text in the file's code page,
// Jet 4 keeps 40 bytes of UTF-16LE masked with the creation date's day number.
constexpr int kPasswordOffset = 0x42;
constexpr int kJet3PasswordSize = 20;
constexpr int kJet4PasswordSize = 40;
constexpr int kJet4CreationDateOffset = 0x72;
// Access allows 255 columns and 32 indexes a table; a definition beyond that
// is damaged and would send libmdb reading past its page.
constexpr unsigned kMaxColumns = 255;
constexpr unsigned kMaxIndexes = 255;
constexpr int kCatalogTableType = MDB_TABLE;
constexpr long kCatalogPageMask = 0x00FFFFFF;

QString TakeGString(char* text)
{
    const QString result = QString::fromUtf8(text);
    g_free(text);
    return result;
}

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

// Java-style conversion of the creation date to its day number: NaN is 0,
// out-of-range values saturate (a plain cast would be undefined).
std::int32_t DayNumber(double date)
{
    if (std::isnan(date))
        return 0;
    if (date >= static_cast<double>(std::numeric_limits<std::int32_t>::max()))
        return std::numeric_limits<std::int32_t>::max();
    if (date <= static_cast<double>(std::numeric_limits<std::int32_t>::min()))
        return std::numeric_limits<std::int32_t>::min();
    return static_cast<std::int32_t>(date);
}

// The text codec of a Jet 3 file's code page.
QByteArray Jet3CodecName(int codePage)
{
    switch (codePage) {
    case 936:
        return "GBK";
    case 950:
        return "Big5";
    case 932:
        return "Shift_JIS";
    case 0:
        return "windows-1252";
    default:
        return "windows-" + QByteArray::number(codePage);
    }
}

}  // namespace

// ---- Pure rules -------------------------------------------------------------------

bool IsJetHeader(const QByteArray& head)
{
    return head.size() >= kJetSignatureOffset + kJetSignatureSize &&
           head.mid(kJetSignatureOffset, kJetSignatureSize) == QByteArray(kJetSignature, kJetSignatureSize);
}

bool TJetQuery::Passes(const std::int64_t* id) const
{
    if (Conditions.empty())
        return true;
    if (!id)
        return false;
    for (const TCondition& condition : Conditions) {
        bool holds = false;
        switch (condition.Op) {
        case TOp::Less:
            holds = *id < condition.Value;
            break;
        case TOp::LessEqual:
            holds = *id <= condition.Value;
            break;
        case TOp::Greater:
            holds = *id > condition.Value;
            break;
        case TOp::GreaterEqual:
            holds = *id >= condition.Value;
            break;
        case TOp::Equal:
            holds = *id == condition.Value;
            break;
        }
        if (!holds)
            return false;
    }
    return true;
}

TJetQuery ParseJetQuery(const QString& sql)
{
    static const QRegularExpression shape(
        QStringLiteral(R"(^\s*SELECT\s+\*\s+FROM\s+([A-Za-z_][A-Za-z0-9_]*)\s+WHERE\s+1\s*=\s*1)"
                       R"(((?:\s+AND\s+ID\s*(?:<=|>=|<|>|=)\s*[+-]?\d+)*)\s*$)"),
        QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression condition(QStringLiteral(R"(\s+AND\s+ID\s*(<=|>=|<|>|=)\s*([+-]?\d+))"),
                                              QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch match = shape.match(sql);
    if (!match.hasMatch())
        throw TAppError(QStringLiteral("Jet 数据库文件只能执行读取诗词来源的查询，无法执行：%1").arg(sql));
    TJetQuery query;
    query.Table = match.captured(1);
    QRegularExpressionMatchIterator it = condition.globalMatch(match.captured(2));
    while (it.hasNext()) {
        const QRegularExpressionMatch part = it.next();
        const QString op = part.captured(1);
        bool ok = false;
        const std::int64_t value = part.captured(2).toLongLong(&ok);
        if (!ok)
            throw TAppError(QStringLiteral("Jet 数据库文件只能执行读取诗词来源的查询，无法执行：%1").arg(sql));
        TJetQuery::TOp kind = TJetQuery::TOp::Equal;
        if (op == u"<")
            kind = TJetQuery::TOp::Less;
        else if (op == u"<=")
            kind = TJetQuery::TOp::LessEqual;
        else if (op == u">")
            kind = TJetQuery::TOp::Greater;
        else if (op == u">=")
            kind = TJetQuery::TOp::GreaterEqual;
        query.Conditions.push_back({kind, value});
    }
    return query;
}

QString DecodeJet4Text(const QByteArray& bytes)
{
    const auto byteAt = [&](qsizetype i) { return static_cast<unsigned char>(bytes[i]); };
    QString text;
    if (bytes.size() >= 2 && byteAt(0) == 0xFF && byteAt(1) == 0xFE) {
        // Compressed: one byte a character until a zero byte switches to
        // two-byte units, and back at the next zero byte.
        text.reserve(bytes.size());
        bool compressed = true;
        qsizetype i = 2;
        while (i < bytes.size()) {
            if (byteAt(i) == 0) {
                compressed = !compressed;
                ++i;
            } else if (compressed) {
                text.append(QChar(static_cast<char16_t>(byteAt(i))));
                ++i;
            } else if (i + 1 < bytes.size()) {
                text.append(QChar(static_cast<char16_t>(byteAt(i) | (byteAt(i + 1) << 8))));
                i += 2;
            } else {
                throw TAppError(QStringLiteral("压缩文本在半个字符处结束"));
            }
        }
        return text;
    }
    if (bytes.size() % 2 != 0)
        throw TAppError(QStringLiteral("文本的字节数为奇数，不是 UTF-16"));
    text.resize(bytes.size() / 2);
    for (qsizetype i = 0; i < text.size(); ++i)
        text[i] = QChar(static_cast<char16_t>(byteAt(2 * i) | (byteAt(2 * i + 1) << 8)));
    return text;
}

// ---- The open file -------------------------------------------------------------------

struct TJetFile::TImpl {
    QString Path;
    MdbHandle* Mdb = nullptr;
    bool Jet3 = false;
    int PageSize = kJet4PageSize;
    std::uint32_t PageCount = 0;

    TImpl() = default;
    ~TImpl()
    {
        if (Mdb)
            mdb_close(Mdb);
    }
    TImpl(const TImpl&) = delete;
    TImpl& operator=(const TImpl&) = delete;

    [[noreturn]] void Fail(const QString& detail) const
    {
        throw TAppError(QStringLiteral("无法读取诗词数据库文件 %1：%2").arg(QDir::toNativeSeparators(Path), detail));
    }

    // Pages are checked against the file before libmdb reads them: past the
    // end it would print to stderr and carry on with fewer rows.
    void RequirePage(std::uint32_t page) const
    {
        if (page == 0 || page >= PageCount)
            Fail(QStringLiteral("引用了第 %1 页，而文件只有 %2 页（文件不完整或已损坏）").arg(page).arg(PageCount));
    }

    // Makes `page` the current page of the handle.
    void LoadPage(std::uint32_t page) const
    {
        RequirePage(page);
        if (mdb_read_pg(Mdb, page) != PageSize)
            Fail(QStringLiteral("第 %1 页无法读取").arg(page));
    }

    QString DecodeText(const QByteArray& bytes) const
    {
        if (!Jet3) {
            try {
                return DecodeJet4Text(bytes);
            } catch (const TAppError& error) {
                Fail(error.Message());
            }
        }
        if (Mdb->f->code_page == 936)
            return TextFromGbk(bytes);  // GBK through the system's own converter
        QStringDecoder decoder(Jet3CodecName(Mdb->f->code_page).constData());
        if (!decoder.isValid())
            Fail(QStringLiteral("不支持代码页 %1").arg(Mdb->f->code_page));
        return decoder.decode(bytes);
    }

    void CheckPassword(const QString& password) const
    {
        const unsigned char* header = Mdb->pg_buf;  // page 0, read and decoded by mdb_open
        QString stored;
        if (Jet3) {
            QByteArray bytes(reinterpret_cast<const char*>(header + kPasswordOffset), kJet3PasswordSize);
            const qsizetype end = bytes.indexOf('\0');
            stored = DecodeText(end < 0 ? bytes : bytes.left(end));
        } else {
            const std::int32_t day = DayNumber(mdb_get_double(Mdb->pg_buf, kJet4CreationDateOffset));
            const auto dayBits = static_cast<std::uint32_t>(day);
            std::array<unsigned char, 4> mask{};
            for (int i = 0; i < 4; ++i)
                mask[static_cast<std::size_t>(i)] = static_cast<unsigned char>(dayBits >> (8 * i));
            for (int i = 0; i + 1 < kJet4PasswordSize; i += 2) {
                const auto low = static_cast<unsigned char>(header[kPasswordOffset + i] ^ mask[i % 4]);
                const auto high = static_cast<unsigned char>(header[kPasswordOffset + i + 1] ^ mask[(i + 1) % 4]);
                const auto unit = static_cast<char16_t>(low | (high << 8));
                if (unit == 0)
                    break;
                stored.append(QChar(unit));
            }
        }
        if (!stored.isEmpty() && stored != password)
            throw TAppError(QStringLiteral("无法打开诗词数据库文件 %1：数据库密码不正确")
                                .arg(QDir::toNativeSeparators(Path)));
    }

    std::optional<std::uint32_t> FindTablePage(const QString& name);
};

namespace {

// One table read row by row in table order: its data pages as its page map
// lists them, the rows of each page in order, deleted rows skipped. Unlike
// libmdb's own row loop it stops with an error at a page or row it cannot
// read, instead of skipping it.
class TJetTable {
public:
    TJetTable(TJetFile::TImpl& file, std::uint32_t page, const QString& name) : FFile(file), FName(name)
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
    TJetTable(const TJetTable&) = delete;
    TJetTable& operator=(const TJetTable&) = delete;

    const QStringList& Names() const { return FNames; }
    int IndexOf(QStringView name) const
    {
        for (int i = 0; i < FNames.size(); ++i)
            if (EqualsIgnoringAsciiCase(FNames.at(i), name))
                return i;
        return -1;
    }
    int TypeOf(int index) const { return Column(index)->col_type; }

    // Moves to the next row; false after the last row.
    bool Next()
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

    // The value of column `index` in the current row, decoded when first
    // asked for: columns nobody reads are never decoded.
    const QVariant& Value(int index)
    {
        std::optional<QVariant>& value = FValues.at(static_cast<std::size_t>(index));
        if (!value) {
            FFile.LoadPage(FPage);  // the fields point into the row's page
            value = ValueOf(index, FFields[static_cast<std::size_t>(index)]);
        }
        return *value;
    }

private:
    MdbColumn* Column(int index) const
    {
        return static_cast<MdbColumn*>(g_ptr_array_index(FDef->columns, static_cast<guint>(index)));
    }

    void NextPage()
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
        if (mdb->pg_buf[0] != MDB_PAGE_DATA ||
            static_cast<std::uint32_t>(mdb_get_int32(mdb->pg_buf, 4)) != FEntry.table_pg)
            FFile.Fail(QStringLiteral("第 %1 页应是表 %2 的数据页，却不是").arg(page).arg(FName));
        FPage = page;
        FRow = 0;
        FRowCount = static_cast<unsigned>(mdb_get_int16(mdb->pg_buf, mdb->fmt->row_count_offset));
    }

    [[noreturn]] void FailValue(int index) const
    {
        FFile.Fail(QStringLiteral("表 %1 第 %2 页的列 %3 的值已损坏").arg(FName).arg(FPage).arg(FNames.at(index)));
    }

    QVariant ValueOf(int index, const MdbField& field)
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
        case MDB_BYTE:
            need(1);
            return QVariant(static_cast<qlonglong>(static_cast<unsigned char>(data[0])));
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
            FFile.Fail(QStringLiteral("表 %1 的列 %2 是不支持的类型 %3").arg(FName, FNames.at(index)).arg(column->col_type));
        }
    }

    // The bytes of the long-value row `pageRow` (page number << 8 | row).
    QByteArray LongValueRow(int index, std::uint32_t pageRow)
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
    // length its header gives: in the row, in one long-value row, or in a
    // chain of them (each row starts with the address of the next).
    QByteArray ReadLongValue(int index, const MdbField& field)
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

    TJetFile::TImpl& FFile;
    QString FName;
    MdbCatalogEntry FEntry{};
    struct TFreeTableDef {
        void operator()(MdbTableDef* def) const { mdb_free_tabledef(def); }
    };
    std::unique_ptr<MdbTableDef, TFreeTableDef> FDef;  // freed also when the constructor fails
    QStringList FNames;
    std::vector<MdbField> FFields;
    std::vector<std::optional<QVariant>> FValues;  // the current row's values decoded so far
    std::uint32_t FPage = 0;  // the current data page; 0 before the first
    unsigned FRow = 0;
    unsigned FRowCount = 0;
    unsigned FRowsRead = 0;
    bool FDone = false;
};

// The rows of a query: a table read through TJetTable, filtered by ID.
class TJetCursor final : public TDbCursor {
public:
    TJetCursor(TJetFile::TImpl& file, const QString& sql) : FQuery(ParseJetQuery(sql))
    {
        const std::optional<std::uint32_t> page = file.FindTablePage(FQuery.Table);
        // Worded as SQLite words it, so that both files fail alike.
        if (!page)
            throw TAppError(QStringLiteral("查询失败（%1）：no such table: %2").arg(sql, FQuery.Table));
        FTable = std::make_unique<TJetTable>(file, *page, FQuery.Table);
        if (!FQuery.Conditions.empty()) {
            FIdColumn = FTable->IndexOf(u"ID");
            if (FIdColumn < 0)
                throw TAppError(QStringLiteral("查询失败（%1）：no such column: ID").arg(sql));
            const int type = FTable->TypeOf(FIdColumn);
            if (type != MDB_BYTE && type != MDB_INT && type != MDB_LONGINT)
                file.Fail(QStringLiteral("表 %1 的 ID 列不是整数列").arg(FQuery.Table));
        }
    }

    QStringList ColumnNames() const override { return FTable->Names(); }

    bool Next() override
    {
        FOnRow = false;
        while (FTable->Next()) {
            if (FIdColumn >= 0) {
                const QVariant& id = FTable->Value(FIdColumn);
                const std::int64_t value = id.toLongLong();
                if (!FQuery.Passes(id.isNull() ? nullptr : &value))
                    continue;
            }
            FOnRow = true;
            return true;
        }
        return false;
    }

    QVariant Value(int index) const override
    {
        if (!FOnRow || index < 0 || index >= FTable->Names().size())
            return QVariant();
        return FTable->Value(index);
    }

private:
    TJetQuery FQuery;
    std::unique_ptr<TJetTable> FTable;
    int FIdColumn = -1;
    bool FOnRow = false;
};

}  // namespace

std::optional<std::uint32_t> TJetFile::TImpl::FindTablePage(const QString& name)
{
    TJetTable catalog(*this, kCatalogPage, QStringLiteral("MSysObjects"));
    const int id = catalog.IndexOf(u"Id");
    const int objectName = catalog.IndexOf(u"Name");
    const int type = catalog.IndexOf(u"Type");
    if (id < 0 || objectName < 0 || type < 0)
        Fail(QStringLiteral("系统表 MSysObjects 缺少 Id、Name 或 Type 列"));
    while (catalog.Next()) {
        if (catalog.Value(type).toLongLong() == kCatalogTableType &&
            EqualsIgnoringAsciiCase(catalog.Value(objectName).toString(), name))
            return static_cast<std::uint32_t>(catalog.Value(id).toLongLong() & kCatalogPageMask);
    }
    return std::nullopt;
}

TJetFile::TJetFile(std::unique_ptr<TImpl> impl) : FImpl(std::move(impl)) {}

TJetFile::~TJetFile() = default;

std::unique_ptr<TJetFile> TJetFile::Open(const QString& path, const QString& password)
{
    auto impl = std::make_unique<TImpl>();
    impl->Path = path;
    {
        // What libmdb would stumble over is refused here, before it runs.
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            impl->Fail(file.errorString());
        const QByteArray head = file.read(kJetVersionOffset + 1);
        if (!IsJetHeader(head) || head.size() <= kJetVersionOffset)
            impl->Fail(QStringLiteral("文件头不是 Jet 3 或 Jet 4 数据库的文件头"));
        const int version = static_cast<unsigned char>(head[kJetVersionOffset]);
        if (version != MDB_VER_JET3 && version != MDB_VER_JET4)
            impl->Fail(QStringLiteral("不支持的 Jet 版本 %1（只能读取 Jet 3 和 Jet 4）").arg(version));
        if (head[0] != 0)
            impl->Fail(QStringLiteral("文件头已损坏"));
        impl->Jet3 = version == MDB_VER_JET3;
        impl->PageSize = impl->Jet3 ? kJet3PageSize : kJet4PageSize;
        const qint64 size = file.size();
        if (size % impl->PageSize != 0 || size < kMinimumPages * impl->PageSize)
            impl->Fail(QStringLiteral("文件不完整：%1 字节不是整数个 %2 字节的页").arg(size).arg(impl->PageSize));
        const qint64 pages = size / impl->PageSize;
        if (pages > kCatalogPageMask)
            impl->Fail(QStringLiteral("文件过大"));
        impl->PageCount = static_cast<std::uint32_t>(pages);
    }
    impl->Mdb = mdb_open(QFile::encodeName(path).constData(), MDB_NOFLAGS);
    if (!impl->Mdb || impl->Mdb->fmt->pg_size != impl->PageSize)
        impl->Fail(QStringLiteral("libmdb 无法打开此文件"));
    impl->CheckPassword(password);
    return std::unique_ptr<TJetFile>(new TJetFile(std::move(impl)));
}

std::unique_ptr<TDbCursor> TJetFile::OpenCursor(const QString& sql)
{
    return std::make_unique<TJetCursor>(*FImpl, sql);
}
