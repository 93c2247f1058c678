// Damaged Jet files: each kind of damage gives a clear error, never a crash,
// a hang or a silent wrong library.
#include "jet_fixtures.h"

#include "library/db/database_cursor.h"
#include "library/db/jet/jet_file.h"

#include <QDateTime>
#include <QDir>
#include <QRandomGenerator>
#include <QTimeZone>
#include <QtEndian>

#include <gtest/gtest.h>

#include <bit>
#include <functional>
#include <limits>
#include <optional>

namespace {

QByteArray RandomBytes(quint32 seed, qsizetype size)
{
    QRandomGenerator random(seed);
    QByteArray bytes(size, '\0');
    for (char& c : bytes)
        c = static_cast<char>(random.bounded(256));
    return bytes;
}

using TDamage = std::function<QByteArray(QByteArray)>;

// Where db21-jet4.mdb keeps TBZ300: its definition page (column entries of 25 bytes after a head of 63, in
// the order ID, TITLE, AUTHOR, DYNASTY, CONTENT: type in byte 0, column number in byte 5, size in bytes 23-24)
// and its data pages in table order.
constexpr int kTangDefinition = 4 * kPageSize;
constexpr int kColumnEntries = kTangDefinition + 63;
constexpr int kColumnEntrySize = 25;
constexpr int kColumnNumber = 5;
constexpr int kColumnSize = 23;
constexpr int kTangDataPages[] = {7, 9, 12, 15, 23};
constexpr int kLinksPerPage = 256;  // a row number is one byte

quint32 Get32(const QByteArray& b, qsizetype at)
{
    return qFromLittleEndian<quint32>(b.constData() + at);
}
void Put32(QByteArray& b, qsizetype at, quint32 value)
{
    qToLittleEndian(value, b.data() + at);
}
void Put16(QByteArray& b, qsizetype at, quint16 value)
{
    qToLittleEndian(value, b.data() + at);
}

int RowCount(const QByteArray& b, int page)
{
    return qFromLittleEndian<quint16>(b.constData() + page * kPageSize + 12);
}

// The bytes [first, end) of `row` on `page`: the row offsets after the page head count down from its end.
std::pair<qsizetype, qsizetype> RowSpan(const QByteArray& b, quint32 page, int row)
{
    const qsizetype base = qsizetype(page) * kPageSize;
    const auto start = [&](int r) { return qFromLittleEndian<quint16>(b.constData() + base + 14 + 2 * r) & 0x1fff; };
    return {base + start(row), base + (row == 0 ? kPageSize : start(row - 1))};
}

// Where the CONTENT value of a TBZ300 row starts: its offset is the last of the four variable columns' offsets,
// which end before the variable-column count and the one-byte null mask at the row's end.
qsizetype MemoAt(const QByteArray& b, int page, int row)
{
    const auto [first, end] = RowSpan(b, static_cast<quint32>(page), row);
    return first + qFromLittleEndian<quint16>(b.constData() + end - 11);
}

// Every TBZ300 memo kept in one long-value row (storage kind 1 in the top bits of its length), in table order.
std::vector<qsizetype> OneRowMemos(const QByteArray& b)
{
    std::vector<qsizetype> memos;
    for (const int page : kTangDataPages)
        for (int row = 0; row < RowCount(b, page); ++row)
            if (Get32(b, MemoAt(b, page, row)) >> 30 == 1)
                memos.push_back(MemoAt(b, page, row));
    return memos;
}

// The first long-value row of the memo at `memo` (page << 8 | row), and the row's first byte.
quint32 LinkOf(const QByteArray& b, qsizetype memo)
{
    return Get32(b, memo + 4);
}
qsizetype LinkAt(const QByteArray& b, quint32 link)
{
    return RowSpan(b, link >> 8, static_cast<int>(link & 0xff)).first;
}

// The first memo kept in a long-value row turned into a chain whose one link names itself.
QByteArray LoopingMemo(QByteArray b)
{
    const qsizetype memo = OneRowMemos(b).front();
    Put32(b, memo, Get32(b, memo) & 0x3fffffff);  // storage kind 0: a chain
    Put32(b, LinkAt(b, LinkOf(b, memo)), LinkOf(b, memo));
    return b;
}

// TBZ300's definition given columns enough to need a next page, and `page` as that page.
TDamage DefinitionContinuesOn(quint32 page)
{
    return [=](QByteArray b) {
        Put16(b, kTangDefinition + 0x2d, 255);
        Put32(b, kTangDefinition + 4, page);
        return b;
    };
}

// `pages` long-value pages of one-byte links appended as one chain, "中" over every two links; every memo kept
// in a long-value row reads from its start for its whole length.
TDamage SharedChain(int pages)
{
    return [=](QByteArray b) {
        const std::vector<qsizetype> memos = OneRowMemos(b);
        const auto first = static_cast<quint32>(b.size() / kPageSize), last = first + static_cast<quint32>(pages) - 1;
        for (quint32 page = first; page <= last; ++page) {
            QByteArray bytes(kPageSize, '\0');
            bytes.replace(0, 8, QByteArray("\x01\x01\0\0LVAL", 8));
            Put16(bytes, 12, kLinksPerPage);
            for (int row = 0; row < kLinksPerPage; ++row) {
                const int at = kPageSize - 5 * (row + 1);  // 4 bytes of next link, 1 of data
                const quint32 next = row + 1 < kLinksPerPage ? page << 8 | (row + 1)
                                     : page < last           ? (page + 1) << 8
                                                             : 0;
                Put16(bytes, 14 + 2 * row, static_cast<quint16>(at));
                Put32(bytes, at, next);
                bytes[at + 4] = row % 2 == 0 ? '\x2D' : '\x4E';
            }
            b += bytes;
        }
        for (const qsizetype memo : memos) {
            Put32(b, memo, static_cast<quint32>(pages * kLinksPerPage));
            Put32(b, memo + 4, first << 8);
        }
        return b;
    };
}

TDamage RandomPages(int first, int last, quint32 seed)
{
    return [=](QByteArray bytes) {
        for (int page = first; page <= last; ++page)
            bytes.replace(page * kPageSize, kPageSize, RandomBytes(seed + static_cast<quint32>(page), kPageSize));
        return bytes;
    };
}

// Loads `source` from db21-jet4.mdb damaged by `damage`; the error, if any.
std::optional<QString> LoadDamaged(const TDamage& damage, int source, std::vector<std::string>* library = nullptr)
{
    TScopedEnv password(kPasswordVariable, kFixturePassword);
    TPoemDir dir(QStringLiteral("db21-jet4.mdb"));
    WriteBytes(dir.Path(), damage(ReadBytes(dir.Path())));
    auto frm = MakeWindow();
    const TLoadResult result = Load(*frm, source);
    EXPECT_TRUE(result.Boxes.empty());
    if (result.Error) {
        EXPECT_TRUE(result.Error->startsWith(kReadError + QDir::toNativeSeparators(dir.Path()) + QStringLiteral("：")))
            << result.Error->toStdString();
    }
    if (library)
        *library = Library(*frm);
    return result.Error;
}

struct TDamageCase {
    const char* name;
    TDamage damage;
    const char* detail;  // in the error's text
    friend void PrintTo(const TDamageCase& row, std::ostream* out) { *out << row.name; }
};

// Damage to the file's frame, its catalog and table definitions.
std::vector<TDamageCase> FileDamageCases()
{
    return {
        {"truncated mid-page", [](QByteArray b) { return b.left(b.size() / 2 + 100); }, "文件不完整"},
        {"last pages cut off", [](QByteArray b) { return b.left(19 * kPageSize); }, "文件只有 19 页"},
        {"header page zeroed", [](QByteArray b) { return b.replace(0, kPageSize, QByteArray(kPageSize, '\0')); },
         "既不是 SQLite 3 也不是 Jet 3/4"},
        {"unknown version", [](QByteArray b) { return b.replace(0x14, 1, "\x05"); }, "不支持的 Jet 版本 5"},
        {"unknown ACE version",
         [](QByteArray b) { return b.replace(4, 15, "Standard ACE DB").replace(0x14, 1, "\x09"); },
         "不支持的 ACE 版本 9"},
        // Access 2010+ encryption: an encoding key in the header (stored under the header's RC4 layer, so that
        // flipping a stored bit flips the key's). libmdb would decode every page with it and read noise.
        {"an ACE file encrypted with its password",
         [](QByteArray b) {
             b.replace(4, 15, "Standard ACE DB").replace(0x14, 1, "\x02");
             b[0x3e] = static_cast<char>(b[0x3e] ^ 0x5A);
             return b;
         },
         "已用密码加密"},
        {"catalog random", RandomPages(2, 2, 1), "MSysObjects"},
        {"table definitions random", RandomPages(4, 5, 2), "应是表"},
        {"every page after the definitions random", RandomPages(6, 38, 3), ""},
    };
}

// Damage to the long values, the column entries and the pages libmdb follows.
std::vector<TDamageCase> LinkDamageCases()
{
    return {
        // Long values: a chain that loops, or rows that two values share, would repeat bytes silently and make
        // the read take time in proportion to values times file size.
        {"a memo's chain loops back to its own row", LoopingMemo, "被引用了两次"},
        {"two memos share one long-value row",
         [](QByteArray b) {
             const std::vector<qsizetype> memos = OneRowMemos(b);
             return b.replace(memos[1], 12, b.mid(memos[0], 12));
         },
         "被引用了两次"},
        {"every memo walks one chain of one-byte links", SharedChain(2), "被引用了两次"},
        // libmdb would read TITLE's null bit from beyond the row's mask and call most titles NULL.
        {"TITLE's column number beyond every row's null mask",
         [](QByteArray b) { return b.replace(kColumnEntries + kColumnEntrySize + kColumnNumber, 1, "\xC8"); },
         "超出该行的 5 列"},
        // Pages libmdb follows itself, with its own end-of-file check (it prints a line on standard error).
        {"a usage map page past the end",
         [](QByteArray b) {
             const qsizetype map = LinkAt(b, Get32(b, kTangDefinition + 0x37));
             b[map] = 1;  // a map of map pages
             Put32(b, map + 1, 9999);
             return b;
         },
         "页表无法识别"},
        {"the free-space map past the end",
         [](QByteArray b) {
             Put32(b, kTangDefinition + 0x3b, 9999u << 8);
             return b;
         },
         "表 TBZ300 的定义无法读取"},
        // The definition's own page chain, which libmdb would follow wherever it leads.
        {"the definition continues past the end", DefinitionContinuesOn(9999), "引用了第 9999 页"},
        {"the definition continues on itself", DefinitionContinuesOn(4), "表 TBZ300 的定义在第 4 页绕回了自身"},
        {"the definition runs on into the header page", DefinitionContinuesOn(0), "表 TBZ300 的列定义已损坏"},
    };
}

std::vector<TDamageCase> DamageCases()
{
    std::vector<TDamageCase> cases = FileDamageCases();
    for (TDamageCase& row : LinkDamageCases())
        cases.push_back(std::move(row));
    return cases;
}

// Guards against a damaged Jet file crashing, hanging, reading garbage or silently losing or changing poems instead
// of a clear error.
class DamagedFile : public testing::TestWithParam<TDamageCase> { };

TEST_P(DamagedFile, GivesAClearError)
{
    const std::optional<QString> error = LoadDamaged(GetParam().damage, 0);
    ASSERT_TRUE(error);
    EXPECT_TRUE(error->contains(QString::fromUtf8(GetParam().detail))) << error->toStdString();
}

INSTANTIATE_TEST_SUITE_P(JetDamage, DamagedFile, testing::ValuesIn(DamageCases()),
                         [](const testing::TestParamInfo<TDamageCase>& row) { return RowTestName(row.param.name); });

// Guards against a row older than a column (Access leaves rows as they are when a column is added) being refused
// or given a value for it: the column is NULL in that row, so its poem has no content and is the only one dropped.
TEST(JetDamage, ARowOlderThanAColumnReadsItAsNull)
{
    const TDamage olderRow = [](QByteArray b) {
        const auto [first, end] = RowSpan(b, kTangDataPages[0], 0);
        Put16(b, first, 4);  // written with four columns: CONTENT came later
        Put16(b, end - 3, 3);  // and three variable ones, the count before the one-byte null mask
        return b;
    };
    std::vector<std::string> intact, library;
    {
        TScopedEnv password(kPasswordVariable, kFixturePassword);
        intact = LoadLibrary(QStringLiteral("db21-jet4.mdb"), 0);
    }
    EXPECT_FALSE(LoadDamaged(olderRow, 0, &library));
    intact.erase(intact.begin());
    EXPECT_EQ(library, intact);
}

// Guards against a stored date that is no date (NaN, infinite, outside Access's years 100 to 9999) reaching a
// conversion undefined for it or coming back as a made-up date; dates read as the day and time they store.
TEST(JetDamage, DatesOutsideTheCalendarAreRefused)
{
    const auto at = [](int year, int month, int day, int hour) {
        return QDateTime(QDate(year, month, day), QTime(hour, 0), QTimeZone::utc());
    };
    const double nan = std::numeric_limits<double>::quiet_NaN(), inf = std::numeric_limits<double>::infinity();
    const struct {
        double stored;
        std::optional<QDateTime> read;
    } cases[] = {
        {45292.5, at(2024, 1, 1, 12)},
        {0, at(1899, 12, 30, 0)},
        {-1.25, at(1899, 12, 29, 6)},
        {-657434, at(100, 1, 1, 0)},
        {2958465.75, at(9999, 12, 31, 18)},
        {nan, std::nullopt},
        {inf, std::nullopt},
        {-inf, std::nullopt},
        {-657435, std::nullopt},
        {2958466, std::nullopt},
        {1e300, std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.stored);
        // TBZ300's ID made an 8-byte date column; the first row's date covers its ID and two title characters.
        TPoemDir dir(QStringLiteral("db21-jet4.mdb"));
        QByteArray b = ReadBytes(dir.Path());
        b[kColumnEntries] = 8;
        Put16(b, kColumnEntries + kColumnSize, 8);
        qToLittleEndian(std::bit_cast<quint64>(c.stored), b.data() + RowSpan(b, kTangDataPages[0], 0).first + 2);
        WriteBytes(dir.Path(), b);
        QVariant value;
        QString error;
        try {
            const std::unique_ptr<TJetFile> file = TJetFile::Open(dir.Path(), QString::fromLatin1(kFixturePassword));
            const std::unique_ptr<TDbCursor> cursor =
                file->OpenCursor(QStringLiteral("SELECT * FROM TBZ300 WHERE 1=1"));
            ASSERT_TRUE(cursor->Next());
            value = cursor->Value(0);
        } catch (const TAppError& e) {
            error = e.Message();
        }
        if (c.read) {
            EXPECT_EQ(error, QString());
            EXPECT_EQ(value, QVariant(*c.read));
        } else {
            EXPECT_TRUE(error.startsWith(kReadError) && error.contains(QStringLiteral("不在 100 年至 9999 年之间")))
                << error.toStdString();
        }
    }
}

// Guards against any single damaged page going unnoticed: each page in turn is random, and every load either
// fails with the clear error or, where the source never needs the page, gives the whole library.
TEST(JetDamage, EveryPageRandomInTurn)
{
    std::vector<std::string> intact[4];
    {
        TScopedEnv password(kPasswordVariable, kFixturePassword);
        for (int source = 0; source < 4; ++source)
            intact[source] = LoadLibrary(QStringLiteral("db21-jet4.mdb"), source);
    }
    for (int page = 1; page < 39; ++page) {
        bool noticed = false;
        for (int source = 0; source < 4; ++source) {
            SCOPED_TRACE(testing::Message() << "page " << page << ", source " << source);
            std::vector<std::string> library;
            if (LoadDamaged(RandomPages(page, page, 100), source, &library))
                noticed = true;
            else
                EXPECT_EQ(library, intact[source]);
        }
        // Page 1, the map of free pages, only matters for writing.
        EXPECT_EQ(noticed, page != 1) << page;
    }
}

}  // namespace
