// mkpoemdb without a window: its command line, the poem files and the open
// corpus it imports, and what the database layer reads back.
#include "database_fixtures.h"

#include "command_line.h"
#include "library/db/database.h"
#include "library/db/database_query.h"
#include "library/db/odbc_drivers.h"
#include "library/db/poem_rows.h"
#include "library/sources.h"
#include "poem_tables.h"
#include "support/database_support.h"
#include "support/rules_support.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTextStream>

#include <gtest/gtest.h>

namespace {

// ---- mkpoemdb ----------------------------------------------------------------------------

struct TRun {
    int Code = 0;
    QString Out, Err;
};

TRun RunTool(const QStringList& arguments)
{
    TRun run;
    QTextStream out(&run.Out), err(&run.Err);
    run.Code = RunMkPoemDb(arguments, out, err);
    return run;
}

// Runs mkpoemdb with a bad `input` for TBZ300 onto `out`, which holds an
// earlier database: the run fails and the earlier file stays as it was.
TRun RunRefused(const QString& out, const QString& input, const QStringList& options = {})
{
    WriteFile(out, "previous database");
    const TRun run = RunTool(QStringList{"sqlite", out} + options + QStringList{"TBZ300=" + input});
    EXPECT_EQ(run.Code, 1);
    QFile previous(out);
    EXPECT_TRUE(previous.open(QIODevice::ReadOnly));
    EXPECT_EQ(previous.readAll(), "previous database");
    return run;
}

QStringList FilesIn(const QTemporaryDir& dir)
{
    return QDir(dir.path()).entryList(QDir::Files | QDir::Hidden);
}

// Guards against values changed through JSON, SQLite and the layer (CR LF, Chinese, NULL, integer IDs), files left.
TEST(MkPoemDb, WritesWhatTheLayerReadsBack)
{
    QTemporaryDir dir;
    const QString input = dir.filePath("poems.jsonl"), out = dir.filePath("out.mdb");
    WriteFile(input, "\xEF\xBB\xBF{\"id\": 7, \"title\": \"静夜思\", \"author\": \"李白\", \"dynasty\": \"唐\", "
                     "\"content\": \"床前明月光，疑是地上霜。\\r\\n举头望明月，低头思故乡。\"}\r\n\r\n"
                     "{\"id\": -2, \"title\": null, \"content\": \"\"}\n");
    const TRun run = RunTool({"sqlite", out, "POEMS=" + input, "Again=" + input});
    ASSERT_EQ(run.Code, 0) << run.Err.toStdString();
    EXPECT_TRUE(run.Out.contains("POEMS: 2 poems"));

    TDbConnection connection;
    connection.SetConnectionString(JetString(out));
    connection.Open();
    for (const char* table : {"POEMS", "Again"}) {
        SCOPED_TRACE(table);
        TDbQuery query(connection);
        query.SetSql(QStringLiteral("SELECT ID, TITLE, AUTHOR, DYNASTY, CONTENT, typeof(ID), "
                                    "TITLE IS NULL AND AUTHOR IS NULL FROM ") +
                     table);
        query.Open();
        QStringList rows;
        for (; !query.Eof(); query.Next()) {
            QStringList fields;
            for (int i = 0; i < query.FieldCount(); ++i)
                fields << query.FieldText(i);
            rows << fields.join(u'|');
        }
        EXPECT_EQ(rows, QStringList({"7|静夜思|李白|唐|" + kJingYeSi + "|integer|0", "-2|||||integer|1"}));
    }
    connection.Close();
    EXPECT_EQ(FilesIn(dir), QStringList({"out.mdb", "poems.jsonl"}));
}

// Guards against malformed lines written anyway, reported without file and line, or harming the old database.
TEST(MkPoemDb, MalformedLinesAreRejectedWithFileAndLine)
{
    const QByteArray good = "{\"id\": 1, \"title\": \"静夜思\", \"content\": \"床前明月光。\"}";
    const std::pair<QByteArray, const char*> cases[] = {
        // a bad line, the message
        {"{\"id\": 2, \"content\": \"x\"", "not valid JSON"},
        {"{\"id\": 2, \"content\": \"\xFF\xFE\"}", "not valid JSON"},
        {"[2, \"x\"]", "not a JSON object"},
        {"{\"id\": \"2\", \"content\": \"x\"}", "\"id\" must be an integer"},
        {"{\"id\": 2.5, \"content\": \"x\"}", "\"id\" must be an integer"},
        {"{\"content\": \"x\"}", "\"id\" must be an integer"},
        {"{\"id\": 2, \"title\": \"x\"}", "\"content\" must be text"},
        {"{\"id\": 2, \"content\": 5}", "\"content\" must be text"},
        {"{\"id\": 2, \"title\": [], \"content\": \"x\"}", "\"title\" must be text"},
        {"{\"id\": 2, \"titel\": \"x\", \"content\": \"x\"}", "unknown key \"titel\""},
        {"{\"id\": 1, \"content\": \"x\"}", "id 1 is used already on line 1"},
        {"{\"id\": 2, \"content\": \"床前😀\"}", "GBK"},
    };
    for (const auto& [line, message] : cases) {
        SCOPED_TRACE(line.constData());
        QTemporaryDir dir;
        const QString input = dir.filePath("bad.jsonl"), out = dir.filePath(kDb);
        WriteFile(input, good + "\n" + line + "\n" + good);
        const TRun run = RunRefused(out, input);
        EXPECT_TRUE(run.Err.contains(QDir::toNativeSeparators(input) + ":2: ") && run.Err.contains(message))
            << run.Err.toStdString();
        EXPECT_EQ(FilesIn(dir).size(), 2);
    }
}

// Guards against bad command lines doing anything but a clear error: unchecked table names, missing files or folders.
TEST(MkPoemDb, CommandLinesAreChecked)
{
    QTemporaryDir dir;
    const QString input = dir.filePath("poems.jsonl"), out = dir.filePath("db.mdb"), table = "T=" + input;
    WriteFile(input, "{\"id\": 1, \"content\": \"x\"}\n");
    const struct {
        QStringList arguments;
        int code;
        const char* message;
    } cases[] = {
        {{"mysql", out, table}, 2, "usage"},
        {{"sqlite", out}, 2, "usage"},
        {{"sqlite", out, "T;DROP=" + input}, 1, "table name"},
        {{"sqlite", out, "1T=" + input}, 1, "table name"},
        {{"sqlite", out, table, "t=" + input}, 1, "twice"},
        {{"sqlite", out, "T=" + dir.filePath("no.jsonl")}, 1, "Cannot read"},
        {{"sqlite", dir.filePath("no/db.mdb"), table}, 1, "does not exist"},
        {{"remote", "Provider=Oracle", table}, 1, "不支持的数据库提供程序"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments.join(u' ').toStdString());
        const TRun run = RunTool(c.arguments);
        EXPECT_EQ(run.Code, c.code);
        EXPECT_TRUE(run.Err.contains(c.message)) << run.Err.toStdString();
        EXPECT_EQ(FilesIn(dir), QStringList({"poems.jsonl"}));
    }
}

// A folder in the layout of the open corpus: traditional characters, a ci with "rhythmic" and the katakana
// middle dot, a poem with a character outside GBK (and the dot), a name the layout does not take, numbered
// parts in natural order.
QString WriteCorpusSample(const QTemporaryDir& dir)
{
    const QString folder = dir.filePath("corpus");
    QDir().mkpath(folder);
    WriteFile(folder + "/poet.tang.0.json",
              "\xEF\xBB\xBF[{\"author\": \"李白\", \"paragraphs\": [\"牀前明月光，疑是地上霜。\", "
              "\"舉頭望明月，低頭思故鄉。\"], "
              "\"title\": \"靜夜思\", \"id\": \"x\"},\n"
              " {\"author\": \"佚名\", \"paragraphs\": [\"𠀀前明月光，疑是地上霜。\"], \"title\": \"缺字・一\"}]");
    WriteFile(folder + "/poet.tang.10.json",
              "[{\"author\": \"王之渙\", \"paragraphs\": [\"白日依山盡，黃河入海流。\"], "
              "\"title\": \"登鸛雀樓\"}]");
    WriteFile(folder + "/poet.tang.2.json", "[{\"paragraphs\": [\"闉闍望遠山。\"], \"title\": null}]");
    WriteFile(folder + "/ci.song.0.json",
              "[{\"author\": \"蘇軾\", \"paragraphs\": [\"明月幾時有？\", \"把酒問青天・\"], "
              "\"rhythmic\": \"水調歌頭・中秋\"}]");
    WriteFile(folder + "/authors.tang.json", "[{\"name\": \"李白\", \"desc\": \"詩人\"}]");
    return folder;
}

// Guards against corpus poems read wrongly: conversion, titles from "rhythmic", dynasty by collection, CR LF,
// order and numbering, poems GBK cannot hold written or not counted, the option to keep traditional text,
// a poem lost for the katakana middle dot that stands for GBK's middle dot.
TEST(MkPoemDb, CorpusFilesBecomeRows)
{
    QTemporaryDir dir;
    const QString folder = WriteCorpusSample(dir), out = dir.filePath("out.mdb");
    const struct {
        QStringList arguments;
        const char* summary;
        QStringList rows;
    } cases[] = {
        {{"sqlite", out, "T=" + folder},
         "T: 4 poems from %1 (1 left out: characters GBK cannot hold)",
         {"1|水调歌头·中秋|苏轼|宋|明月几时有？\r\n把酒问青天·",
          "2|静夜思|李白|唐|床前明月光，疑是地上霜。\r\n举头望明月，低头思故乡。",
          "3|||唐|闉阇望远山。",  // 闉 stays: its simplified form is outside GBK
          "4|登鹳雀楼|王之涣|唐|白日依山尽，黄河入海流。"}},
        {{"sqlite", out, "--keep-traditional", "T=" + folder + "/poet.tang.10.json"},
         "T: 1 poems from %1/poet.tang.10.json (0 left out: characters GBK cannot hold)",
         {"1|登鸛雀樓|王之渙|唐|白日依山盡，黃河入海流。"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments.join(u' ').toStdString());
        const TRun run = RunTool(c.arguments);
#ifdef Q_OS_WIN
        if (!c.arguments.contains("--keep-traditional")) {  // no OpenCC on Windows: a clear refusal
            EXPECT_EQ(run.Code, 1);
            EXPECT_TRUE(run.Err.contains("--keep-traditional")) << run.Err.toStdString();
            continue;
        }
#endif
        ASSERT_EQ(run.Code, 0) << run.Err.toStdString();
        EXPECT_EQ(run.Out.trimmed(), QDir::toNativeSeparators(QString::fromUtf8(c.summary).arg(folder)));
        TDbConnection connection;
        connection.SetConnectionString(JetString(out));
        connection.Open();
        TDbQuery query(connection);
        query.SetSql("SELECT ID, TITLE, AUTHOR, DYNASTY, CONTENT FROM T ORDER BY rowid");
        query.Open();
        QStringList rows;
        for (; !query.Eof(); query.Next()) {
            QStringList fields;
            for (int i = 0; i < query.FieldCount(); ++i)
                fields << query.FieldText(i);
            rows << fields.join(u'|');
        }
        EXPECT_EQ(rows, c.rows);
    }
}

// The corpus as each platform reads it: Windows has no OpenCC, so it keeps the traditional characters.
#ifdef Q_OS_WIN
const QStringList kCorpusOptions = {"--keep-traditional"};
#else
const QStringList kCorpusOptions;
#endif

// Guards against a damaged corpus file being written in part, reported without its name, or harming the old file.
TEST(MkPoemDb, BadCorpusFilesAreRejectedWithTheirName)
{
    const std::pair<QByteArray, const char*> cases[] = {
        // poet.tang.1.json, the message
        {"[{\"paragraphs\": [\"x\"]", "not valid JSON"},
        {"[{\"paragraphs\": \"白日依山盡\"}]", "poem 1: \"paragraphs\" must be a list of texts"},
        {"[{\"paragraphs\": [\"x\"]}, 5]", "poem 2 is not a JSON object"},
        {"[{\"paragraphs\": [\"x\", 3]}]", "must be a list of texts"},
        {"[{\"paragraphs\": [\"x\"], \"rhythmic\": 7}]", "\"rhythmic\" must be text"},
        {"{\"paragraphs\": [\"x\"]}", "not a poem collection"},
    };
    for (const auto& [bytes, message] : cases) {
        SCOPED_TRACE(bytes.constData());
        QTemporaryDir dir;
        const QString folder = WriteCorpusSample(dir), out = dir.filePath(kDb);
        WriteFile(folder + "/poet.tang.1.json", bytes);
        const TRun run = RunRefused(out, folder, kCorpusOptions);
        EXPECT_TRUE(run.Err.contains(QDir::toNativeSeparators(folder + "/poet.tang.1.json")) &&
                    run.Err.contains(message))
            << run.Err.toStdString();
        EXPECT_EQ(FilesIn(dir), QStringList({kDb}));
    }
    QTemporaryDir empty;
    EXPECT_TRUE(RunTool({"sqlite", empty.filePath(kDb), "T=" + empty.path()}).Err.contains("no corpus files"));
    EXPECT_EQ(RunTool({"sqlite", empty.filePath(kDb), "--simplified", "T=" + empty.path()}).Code, 2);
}
}  // namespace
