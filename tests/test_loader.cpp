// LoadPoems on the local path through the real window, and the bundled poems
// arriving in their sources.
#include "support/loader_helpers.h"

#include "library/db/poem_rows.h"
#include "library/sources.h"
#include "poem_tables.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <optional>
#include <variant>

namespace {

const QString kPoemColumns = QStringLiteral("ID INTEGER, TITLE TEXT, AUTHOR TEXT, DYNASTY TEXT, CONTENT TEXT");
const QString kDb = QStringLiteral("db21.mdb");

QVariantList PoemRow(const QVariant& id, const QVariant& title, const QString& content = kJingYeSi)
{
    return {id, title, QStringLiteral("李白"), QStringLiteral("唐"), content};
}

std::string Fields(const TPoemRecord& poem)
{
    return poem.Title + '|' + poem.Author + '|' + poem.Dynasty;
}

// ---- LoadPoems, local path --------------------------------------------------------------

struct TRowsCase {
    const char* name;
    int source;
    QString columns;
    std::vector<QVariantList> rows;
    std::vector<const char*> poems;  // title|author|dynasty of each poem kept, in order
};

// RowsBecomePoems on the stages of the school table: the bounds 139/140, 269/270, 342/343 and a NULL ID.
std::vector<TRowsCase> StageCases()
{
    const QVariant nullInt(QMetaType::fromType<int>());
    std::vector<QVariantList> stages{PoemRow(nullInt, "tnull")};
    for (int id : {1, 139, 140, 269, 270, 342, 343, 1000})
        stages.push_back(PoemRow(id, QStringLiteral("t%1").arg(id)));
    return {
        {"stage 1", 1, kPoemColumns, stages, {"t1|李白|唐", "t139|李白|唐"}},
        {"stage 2", 2, kPoemColumns, stages, {"t140|李白|唐", "t269|李白|唐"}},
        {"stage 3", 3, kPoemColumns, stages, {"t270|李白|唐", "t342|李白|唐"}},
    };
}

// RowsBecomePoems on the columns: numbering, names, NULLs, trimming, order and types.
std::vector<TRowsCase> ColumnCases()
{
    const QVariant nullInt(QMetaType::fromType<int>());
    return {
        {"untitled numbered among kept poems",
         0,
         kPoemColumns,
         {PoemRow(1, "", kNoLines), PoemRow(2, ""), PoemRow(3, NullText()), PoemRow(4, "静夜思"),
          PoemRow(5, "", kNoLines), PoemRow(6, " "), PoemRow(7, "")},
         {"唐诗三百首1|李白|唐", "唐诗三百首2|李白|唐", "静夜思|李白|唐", " |李白|唐", "唐诗三百首5|李白|唐"}},
        {"NULLs read as empty text",
         0,
         "ID INTEGER, TITLE TEXT, AUTHOR INTEGER, DYNASTY TEXT, CONTENT TEXT",
         {{1, NullText(), nullInt, NullText(), kJingYeSi},
          {2, "无诗", 5, "唐", NullText()},
          {nullInt, "静夜思", nullInt, NullText(), kJingYeSi}},
         {"唐诗三百首1||", "静夜思||"}},
        {"lower case; blanks kept but on the dynasty, whose full-width one stays",
         0,
         "id INTEGER, title TEXT, author TEXT, dynasty TEXT, content TEXT",
         {{1, " 静夜思 ", " 李白", " 　唐 ", kJingYeSi}},
         {" 静夜思 | 李白|　唐"}},
        {"mixed case, other order",
         0,
         "Content TEXT, Note TEXT, Dynasty TEXT, Title TEXT, Author TEXT",
         {{kJingYeSi, "注", "\t唐\r\n", "静夜思", "李白"}},
         {"静夜思|李白|唐"}},
        {"no TITLE but look-alikes",
         0,
         "\"TITLE \" TEXT, \" TITLE\" TEXT, \"tıtle\" TEXT, \"ＴＩＴＬＥ\" TEXT, TITLES TEXT, content TEXT",
         {{"a", "b", "c", "d", "e", kJingYeSi}},
         {"唐诗三百首1||"}},
        {"no title column", 0, "CONTENT TEXT, AUTHOR TEXT", {{kJingYeSi, "李白"}}, {"唐诗三百首1|李白|"}},
        {"values of other types",
         0,
         "ID INTEGER, TITLE INTEGER, AUTHOR REAL, DYNASTY BLOB, CONTENT TEXT",
         {{1, 42, 1.5, QByteArray("Tang"), kJingYeSi}},
         {"42|1.5|Tang"}},
    };
}

// Guards against rows taken wrongly: numbering, column names, NULLs, trimming, stage bounds 139/140, 269/270, 342/343.
TEST(LoadPoems, RowsBecomePoems)
{
    const TStrArray lines{G("床前明月光"), G("疑是地上霜"), G("举头望明月"), G("低头思故乡")};
    std::vector<TRowsCase> cases = StageCases();
    for (TRowsCase& c : ColumnCases())
        cases.push_back(std::move(c));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TScopedProgramDir dir;
        WriteTestDatabase(dir.File(kDb), {{c.source ? "TB112" : "TBZ300", c.columns, c.rows}});
        auto frm = MakeWindow();
        const TLoadResult result = Load(*frm, c.source);
        EXPECT_FALSE(result.Error) << result.Error.value_or(QString()).toStdString();
        EXPECT_TRUE(result.Boxes.empty());
        std::vector<std::string> poems, expected;
        for (const TPoemRecord& poem : frm->FPoems) {
            poems.push_back(Fields(poem));
            EXPECT_EQ(poem.Content, WideToAnsi(kJingYeSi));
            EXPECT_EQ(poem.Lines, lines);
        }
        for (const char* poem : c.poems)
            expected.push_back(G(poem));
        EXPECT_EQ(poems, expected);
    }
}

struct TFailureCase {
    const char* name;
    int source;
    std::variant<std::monostate, TTestTable, QByteArray> file;  // none, a database, or these bytes
    const char* box;  // text of the one error box; nullptr: an error with `error` reaches the caller
    const char* error;  // for bytes, the error names the file too
};

// The failed loads of FailuresEmptyTheLibraryWithOneBoxOrAnError.
std::vector<TFailureCase> FailureCases()
{
    const char* const notSQLite = "不是可识别的诗词数据库文件";
    return {
        {"missing file", 0, {}, "找不到数据库文件：", nullptr},
        {"missing file, stage 2", 2, {}, "找不到数据库文件：", nullptr},
        {"empty table", 0, TTestTable{"TBZ300", kPoemColumns, {}}, "数据库TBZ300表中没有适用诗句！", nullptr},
        {"no usable lines", 0, TTestTable{"TBZ300", kPoemColumns, {PoemRow(1, "", kNoLines), PoemRow(2, "", "")}},
         "数据库TBZ300表中没有适用诗句！", nullptr},
        {"filter matches nothing", 3, TTestTable{"TB112", kPoemColumns, {PoemRow(1, "a"), PoemRow(400, "b")}},
         "数据库TB112表中没有适用诗句！", nullptr},
        {"no CONTENT column", 0, TTestTable{"TBZ300", "ID INTEGER, TITLE TEXT, TEXT TEXT", {{1, "静夜思", kJingYeSi}}},
         nullptr, "CONTENT"},
        {"no table", 0, TTestTable{"OTHER", kPoemColumns, {PoemRow(1, "静夜思")}}, nullptr, "TBZ300"},
        {"Jet file", 0, QByteArray("Standard Jet DB\0\0\0 pretending", 30), nullptr, notSQLite},
        {"empty file", 0, QByteArray(), nullptr, notSQLite},
        {"short file", 0, QByteArray("SQLite for", 10), nullptr, notSQLite},
        {"header only", 0, QByteArray("SQLite format 3", 16), nullptr, "无法读取诗词数据库文件"},
    };
}

// Guards against a failed load that is silent, shows a second or wrong box, swallows an error or keeps old poems.
TEST(LoadPoems, FailuresEmptyTheLibraryWithOneBoxOrAnError)
{
    for (const TFailureCase& c : FailureCases()) {
        SCOPED_TRACE(c.name);
        TScopedProgramDir dir;
        const QString path = dir.File(kDb);
        if (const auto* table = std::get_if<TTestTable>(&c.file))
            WriteTestDatabase(path, {*table});
        else if (const auto* bytes = std::get_if<QByteArray>(&c.file))
            WriteFile(path, *bytes);
        auto frm = MakeWindow();
        frm->FPoems.push_back(PoemFromRow({G("床前明月光。"), "", "", ""}, "x", 0));
        frm->FPoemCount = 1;
        const TLoadResult result = Load(*frm, c.source);
        EXPECT_EQ(frm->FPoemCount, 0);
        if (c.box) {
            EXPECT_FALSE(result.Error);
            ASSERT_EQ(result.Boxes.size(), 1u);
            EXPECT_EQ(result.Boxes[0].Text, c.box + (QFile::exists(path) ? QString() : QDir::toNativeSeparators(path)));
            EXPECT_EQ(result.Boxes[0].Caption, "错误");
            EXPECT_EQ(result.Boxes[0].Icon, TMsgIcon::Error);
        } else {
            ASSERT_TRUE(result.Error);
            EXPECT_TRUE(result.Error->contains(c.error)) << result.Error->toStdString();
            if (std::holds_alternative<QByteArray>(c.file)) {
                EXPECT_TRUE(result.Error->contains(QDir::toNativeSeparators(path))) << result.Error->toStdString();
            }
            EXPECT_TRUE(result.Boxes.empty());
        }
    }
}

// Guards against a damaged file losing the poems before the damage, and untitled poems numbered past 9 wrongly.
TEST(LoadPoems, DamagedFileKeepsThePoemsBeforeTheDamage)
{
    constexpr int kRows = 3000;
    std::vector<QVariantList> rows;
    for (int i = 1; i <= kRows; ++i)
        rows.push_back({i, "", QStringLiteral("p%1").arg(i), "唐", kJingYeSi.repeated(3)});
    for (const bool truncate : {false, true}) {
        SCOPED_TRACE(truncate ? "truncated" : "tail overwritten");
        TScopedProgramDir dir;
        WriteTestDatabase(dir.File(kDb), {{"TBZ300", kPoemColumns, rows}});
        QFile file(dir.File(kDb));
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));
        const qint64 size = file.size();
        ASSERT_GT(size, 200000);
        if (truncate)
            ASSERT_TRUE(file.resize(size / 2));
        else
            ASSERT_TRUE(file.seek(size / 2) && file.write(QByteArray(size - size / 2, '\xA5')) > 0);
        file.close();

        auto frm = MakeWindow();
        const TLoadResult result = Load(*frm, 0);
        ASSERT_TRUE(result.Error);
        EXPECT_TRUE(result.Boxes.empty());
        EXPECT_TRUE(truncate || frm->FPoemCount > 0);  // SQLite notices a cut file before the first row
        EXPECT_LT(frm->FPoemCount, kRows);
        for (std::size_t i = 0; i < frm->FPoems.size(); ++i) {
            const std::string n = std::to_string(i + 1);
            ASSERT_EQ(Fields(frm->FPoems[i]), G("唐诗三百首") + n + "|p" + n + '|' + G("唐"));
        }
    }
}

// ---- mkpoemdb's tables through the loader ---------------------------------------------------

// Guards against the bundled data losing poems or fields on the way into db21.mdb and through the loader.
TEST(BundledPoems, ArriveInTheirSources)
{
    TScopedProgramDir dir;
    const QString data = QStringLiteral(VQ_POEM_DATA_DIR "/");
    const std::vector<TPoemTable> tables = {ReadTableArgument("TBZ300=" + data + "tbz300.jsonl"),
                                            ReadTableArgument("TB112=" + data + "tb112.jsonl")};
    WriteSQLiteFile(dir.File(kDb), tables);
    auto frm = MakeWindow();
    const struct {
        int source;
        std::size_t table;
        std::int64_t low, high;
    } stages[] = {{0, 0, INT64_MIN, INT64_MAX}, {1, 1, INT64_MIN, 139}, {2, 1, 140, 269}, {3, 1, 270, 342}};
    for (const auto& stage : stages) {
        SCOPED_TRACE(stage.source);
        std::vector<std::string> expected;
        for (const TPoemEntry& e : tables[stage.table].Rows) {
            TStrArray lines;
            if (e.Id >= stage.low && e.Id <= stage.high && SplitVerseLines(WideToAnsi(e.Content), lines) > 0)
                expected.push_back(WideToAnsi(
                    QStringList({e.Title.value_or(""), e.Author.value_or(""), e.Dynasty.value_or(""), e.Content})
                        .join(u'|')));
        }
        const TLoadResult result = Load(*frm, stage.source);
        EXPECT_TRUE(!result.Error && result.Boxes.empty());
        ASSERT_EQ(static_cast<std::size_t>(frm->FPoemCount), expected.size());
        EXPECT_GT(expected.size(), 30u);
        for (std::size_t i = 0; i < expected.size(); ++i)
            ASSERT_EQ(Fields(frm->FPoems[i]) + '|' + frm->FPoems[i].Content, expected[i]) << i;
    }
}

}  // namespace
