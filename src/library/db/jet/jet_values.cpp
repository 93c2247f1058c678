// The table reader's values: a cracked row's fields decoded by type, long
// values (memo, OLE) gathered from their long-value rows, dates read here
// rather than by libmdb.
#include "library/db/jet/jet_table_reader.h"

#include "library/app_error.h"

#include <QDateTime>
#include <QTimeZone>

#include <algorithm>
#include <cmath>

namespace {

// A memo or OLE value in its row: 4 bytes of length (with the storage kind in
// the top two bits), 4 bytes pointing at its first long-value row, 4 unused.
constexpr int kLongValueHeaderSize = 12;
constexpr std::uint32_t kLongValueKindMask = 0xC0000000u;
constexpr std::uint32_t kLongValueInline = 0x80000000u;
constexpr std::uint32_t kLongValueOneRow = 0x40000000u;
constexpr std::uint32_t kLongValueChain = 0;
constexpr char kLongValueSignature[] = "LVAL";  // at byte 4 of a long-value page
// Each link of a chain starts with the address of the next.
constexpr int kLinkHeaderSize = 4;
// A date is a double: whole days from 1899-12-30, and the time of day as the
// fraction, which counts forward from midnight also before that day (-1.25 is
// 1899-12-29 06:00). Access's calendar runs from the year 100 to 9999, well
// inside this many days either way.
constexpr double kDateDayLimit = 4.0e6;
constexpr double kMsPerDay = 86400000.0;
constexpr int kFirstYear = 100;
constexpr int kLastYear = 9999;

QString TakeGString(char* text)
{
    const QString result = QString::fromUtf8(text);
    g_free(text);
    return result;
}

// The date and time `stored` stands for, to the millisecond; nullopt for
// what is no date of Access's calendar (NaN, infinite, out of its years).
// A date has no time zone: UTC keeps its clock time as stored.
std::optional<QDateTime> JetDate(double stored)
{
    if (!std::isfinite(stored) || std::abs(stored) > kDateDayLimit)
        return std::nullopt;
    const double day = std::trunc(stored);
    const qint64 ms = std::llround(std::abs(stored - day) * kMsPerDay);
    const QDateTime date =
        QDateTime(QDate(1899, 12, 30).addDays(static_cast<qint64>(day)), QTime(0, 0), QTimeZone::utc()).addMSecs(ms);
    if (date.date().year() < kFirstYear || date.date().year() > kLastYear)
        return std::nullopt;
    return date;
}

}  // namespace

void TJetTableReader::FailValue(int index, const QString& reason) const
{
    const QString detail =
        QStringLiteral("表 %1 第 %2 页的列 %3 的值已损坏").arg(FName).arg(FPage).arg(FNames.at(index));
    FFile.Fail(reason.isEmpty() ? detail : detail + QStringLiteral("：") + reason);
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
        return DateOf(index, field);
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

// A date, read here: libmdb's conversion casts the stored double to an
// integer (undefined for NaN), and prints a made-up date for one before
// 1899-12-30 or after about 4637.
QVariant TJetTableReader::DateOf(int index, const MdbField& field) const
{
    if (field.siz < 8)
        FailValue(index);
    const double stored = mdb_get_double(field.value, 0);
    const std::optional<QDateTime> date = JetDate(stored);
    if (!date)
        FailValue(index, QStringLiteral("日期值 %1 不在 %2 年至 %3 年之间").arg(stored).arg(kFirstYear).arg(kLastYear));
    return QVariant(*date);
}

// The bytes of the long-value row `pageRow` (page number << 8 | row), which
// no other value of this read may have used.
QByteArray TJetTableReader::LongValueRow(int index, std::uint32_t pageRow)
{
    const std::uint32_t pageNumber = pageRow >> 8, row = pageRow & 0xff;
    if (!FLinksUsed.insert(pageRow).second)
        FailValue(index, QStringLiteral("第 %1 页第 %2 行的长值被引用了两次（长值链绕回，或与别的值共用）")
                             .arg(pageNumber)
                             .arg(row));
    FFile.RequirePage(pageNumber);
    void* buffer = nullptr;
    int start = 0;
    size_t size = 0;
    if (mdb_find_pg_row(FFile.Mdb, static_cast<int>(pageRow), &buffer, &start, &size) != 0)
        FailValue(index);
    // The page must say it holds long values and have the row; another page's
    // bytes would otherwise come back as text.
    const auto* page = static_cast<const char*>(buffer);
    if (page[0] != MDB_PAGE_DATA || QByteArrayView(page + 4, 4) != QByteArrayView(kLongValueSignature, 4) ||
        row >= static_cast<std::uint32_t>(mdb_get_int16(buffer, FFile.Mdb->fmt->row_count_offset)))
        FailValue(index);
    return QByteArray(page + start, static_cast<qsizetype>(size));
}

// The stored bytes of a memo or OLE value, whole and checked against the
// length its header gives: in the row, in one long-value row, or in a chain
// of them.
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
    const auto pageRow = static_cast<std::uint32_t>(mdb_get_int32(field.value, 4));
    if (kind == kLongValueChain)
        return ReadLongValueChain(index, pageRow, length);
    if (kind != kLongValueOneRow)
        FailValue(index);
    QByteArray bytes = LongValueRow(index, pageRow);
    if (bytes.size() < length)
        FailValue(index);
    bytes.truncate(length);
    return bytes;
}

// `length` bytes from the chain that starts at `pageRow`. Every link carries
// data and none is taken twice in a read, so the walk ends within the rows
// of the file, whatever the chain's addresses say.
QByteArray TJetTableReader::ReadLongValueChain(int index, std::uint32_t pageRow, qsizetype length)
{
    QByteArray bytes;
    bytes.reserve(length);
    while (bytes.size() < length) {
        if (pageRow == 0)
            FailValue(index);  // the chain ends too early
        const QByteArray row = LongValueRow(index, pageRow);
        if (row.size() <= kLinkHeaderSize)
            FailValue(index);
        pageRow = static_cast<std::uint32_t>(mdb_get_int32(const_cast<char*>(row.constData()), 0));
        bytes.append(row.constData() + kLinkHeaderSize,
                     std::min<qsizetype>(row.size() - kLinkHeaderSize, length - bytes.size()));
    }
    return bytes;
}
