#include "library/db/jet/jet_file.h"

#include "library/app_error.h"
#include "library/db/database_cursor.h"
#include "library/db/jet/jet_handle.h"
#include "library/db/jet/jet_query.h"
#include "library/db/jet/jet_table_reader.h"

#include <QDir>
#include <QFile>

#include <array>
#include <cmath>
#include <limits>

namespace {

// Jet 3 and Jet 4 files; Access 2007 and later write the same page layout
// as Jet 4 under an ACE signature, with versions 2 (2007) to 6 (2019).
constexpr char kJetSignature[] = "Standard Jet DB";  // with its terminating zero: 16 bytes
constexpr char kAceSignature[] = "Standard ACE DB";
constexpr int kJetSignatureSize = sizeof(kJetSignature);
static_assert(sizeof(kAceSignature) == kJetSignatureSize);
constexpr int kFirstAceVersion = 2;
constexpr int kLastAceVersion = 6;
constexpr int kJetSignatureOffset = 4;
constexpr int kJetVersionOffset = 0x14;
constexpr int kJet3PageSize = 2048;
constexpr int kJet4PageSize = 4096;
// Page 0 is the header, page 1 the global page map, page 2 the definition of
// MSysObjects, the catalog of every table.
constexpr std::uint32_t kMinimumPages = 3;
// Table pages are found through 24-bit page numbers in the catalog.
constexpr qint64 kMaxPages = 0x00FFFFFF;
// The database password in the header page, after libmdb has undone the
// header's RC4 layer: Jet 3 keeps 20 bytes of text in the file's code page,
// Jet 4 keeps 40 bytes of UTF-16LE masked with the creation date's day number.
constexpr int kPasswordOffset = 0x42;
constexpr int kJet3PasswordSize = 20;
constexpr int kJet4PasswordSize = 40;
constexpr int kJet4CreationDateOffset = 0x72;

bool HasSignature(const QByteArray& head, const char* signature)
{
    return head.size() >= kJetSignatureOffset + kJetSignatureSize &&
           head.mid(kJetSignatureOffset, kJetSignatureSize) == QByteArray(signature, kJetSignatureSize);
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

// The password a Jet 4 header stores, unmasked; empty when there is none.
QString Jet4Password(unsigned char* header)
{
    const std::int32_t day = DayNumber(mdb_get_double(header, kJet4CreationDateOffset));
    const auto dayBits = static_cast<std::uint32_t>(day);
    std::array<unsigned char, 4> mask{};
    for (int i = 0; i < 4; ++i)
        mask[static_cast<std::size_t>(i)] = static_cast<unsigned char>(dayBits >> (8 * i));
    QString stored;
    for (int i = 0; i + 1 < kJet4PasswordSize; i += 2) {
        const auto low = static_cast<unsigned char>(header[kPasswordOffset + i] ^ mask[i % 4]);
        const auto high = static_cast<unsigned char>(header[kPasswordOffset + i + 1] ^ mask[(i + 1) % 4]);
        const auto unit = static_cast<char16_t>(low | (high << 8));
        if (unit == 0)
            break;
        stored.append(QChar(unit));
    }
    return stored;
}

void CheckPassword(const TJetHandle& file, const QString& password)
{
    unsigned char* header = file.Mdb->pg_buf;  // page 0, read and decoded by mdb_open
    QString stored;
    if (file.Jet3) {
        const QByteArray bytes(reinterpret_cast<const char*>(header + kPasswordOffset), kJet3PasswordSize);
        const qsizetype end = bytes.indexOf('\0');
        stored = file.DecodeText(end < 0 ? bytes : bytes.left(end));
    } else {
        stored = Jet4Password(header);
    }
    if (!stored.isEmpty() && stored != password)
        throw TAppError(
            QStringLiteral("无法打开诗词数据库文件 %1：数据库密码不正确").arg(QDir::toNativeSeparators(file.Path)));
}

// Refuses, before libmdb runs, what it would stumble over: a header of
// another format or version, a size that is not whole pages, too few or too
// many pages. Sets the version, page size and page count of `file`.
void CheckFileShape(TJetHandle& file)
{
    QFile stream(file.Path);
    if (!stream.open(QIODevice::ReadOnly))
        file.Fail(stream.errorString());
    const QByteArray head = stream.read(kJetVersionOffset + 1);
    if (!IsJetHeader(head) || head.size() <= kJetVersionOffset)
        file.Fail(QStringLiteral("文件头不是 Jet 3、Jet 4 或 Access 2007 及以后版本数据库的文件头"));
    const int version = static_cast<unsigned char>(head[kJetVersionOffset]);
    if (HasSignature(head, kJetSignature) && version != MDB_VER_JET3 && version != MDB_VER_JET4)
        file.Fail(QStringLiteral("不支持的 Jet 版本 %1（只能读取 Jet 3 和 Jet 4）").arg(version));
    if (HasSignature(head, kAceSignature) && (version < kFirstAceVersion || version > kLastAceVersion))
        file.Fail(QStringLiteral("不支持的 ACE 版本 %1（只能读取 Access 2007 至 2019 的文件）").arg(version));
    if (head[0] != 0)
        file.Fail(QStringLiteral("文件头已损坏"));
    file.Ace = version >= kFirstAceVersion;
    file.Jet3 = version == MDB_VER_JET3;
    file.PageSize = file.Jet3 ? kJet3PageSize : kJet4PageSize;
    const qint64 size = stream.size();
    if (size % file.PageSize != 0 || size < kMinimumPages * file.PageSize)
        file.Fail(QStringLiteral("文件不完整：%1 字节不是整数个 %2 字节的页").arg(size).arg(file.PageSize));
    const qint64 pages = size / file.PageSize;
    if (pages > kMaxPages)
        file.Fail(QStringLiteral("文件过大"));
    file.PageCount = static_cast<std::uint32_t>(pages);
}

// The rows of a query: a table read, filtered by ID.
class TJetCursor final : public TDbCursor {
public:
    TJetCursor(TJetHandle& file, const QString& sql) : FQuery(ParseJetQuery(sql))
    {
        const std::optional<std::uint32_t> page = FindJetTablePage(file, FQuery.Table);
        // Worded as SQLite words it, so that both files fail alike.
        if (!page)
            throw TAppError(QStringLiteral("查询失败（%1）：no such table: %2").arg(sql, FQuery.Table));
        FTable = std::make_unique<TJetTableReader>(file, *page, FQuery.Table);
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
    std::unique_ptr<TJetTableReader> FTable;
    int FIdColumn = -1;
    bool FOnRow = false;
};

}  // namespace

struct TJetFile::TImpl {
    TJetHandle File;
};

bool IsJetHeader(const QByteArray& head)
{
    return HasSignature(head, kJetSignature) || HasSignature(head, kAceSignature);
}

TJetFile::TJetFile(std::unique_ptr<TImpl> impl) : FImpl(std::move(impl)) { }

TJetFile::~TJetFile() = default;

std::unique_ptr<TJetFile> TJetFile::Open(const QString& path, const QString& password)
{
    auto impl = std::make_unique<TImpl>();
    TJetHandle& file = impl->File;
    file.Path = path;
    CheckFileShape(file);
    // Windows' libmdb takes its file names in UTF-8 and opens them through
    // their wide form, which every folder name has; elsewhere names are bytes.
#ifdef _WIN32
    file.Mdb = mdb_open(path.toUtf8().constData(), MDB_NOFLAGS);
#else
    file.Mdb = mdb_open(QFile::encodeName(path).constData(), MDB_NOFLAGS);
#endif
    if (!file.Mdb || file.Mdb->fmt->pg_size != file.PageSize)
        file.Fail(QStringLiteral("libmdb 无法打开此文件"));
    // An ACE file with an encoding key is encrypted with its password
    // (Access 2010 and later), which libmdb cannot undo: it would read noise.
    if (file.Ace && file.Mdb->f->db_key != 0)
        file.Fail(QStringLiteral("此 Access 数据库文件已用密码加密，无法读取。请在 Access 中打开它，"
                                 "用“文件 > 信息 > 解密数据库”撤销数据库密码后再试"));
    CheckPassword(file, password);
    return std::unique_ptr<TJetFile>(new TJetFile(std::move(impl)));
}

std::unique_ptr<TDbCursor> TJetFile::OpenCursor(const QString& sql)
{
    return std::make_unique<TJetCursor>(FImpl->File, sql);
}
