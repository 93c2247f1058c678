// The poem check (--check) on the database beside the program: every source
// loaded, its count or the reason it failed, no box and no dialog.
#include "e2e_fixtures.h"

#include "app/command_line.h"
#include "app/poem_check_window.h"
#include "support/loader_helpers.h"

#include <QTextStream>

#include <gtest/gtest.h>

namespace {

enum class TTables { Both, TangOnly, NoFile };
struct TCheckCase {
    const char* name;
    TTables tables;
    QStringList arguments;
    int exitCode;
    QString out;
    QString errPart;  // empty: nothing on the error stream
};

// The --check runs of CheckLoadsEverySourceOfTheDatabase: the database beside the program, the arguments, and
// what the run gives.
std::vector<TCheckCase> CheckCases()
{
    const QString noPuzzle = QStringLiteral("：没有可出题的诗词\n");
    return {
        {"every local source",
         TTables::Both,
         {QStringLiteral("--check")},
         0,
         QStringLiteral("唐诗三百首：3 首\n小学诗词：2 首\n初中诗词：2 首\n高中诗词：2 首\n"),
         {}},
        {"one source",
         TTables::Both,
         {QStringLiteral("--check"), QStringLiteral("-s"), QStringLiteral("4")},
         0,
         QStringLiteral("高中诗词：2 首\n"),
         {}},
        {"no database",
         TTables::NoFile,
         {QStringLiteral("--check"), QStringLiteral("--source=1")},
         1,
         QStringLiteral("唐诗三百首") + noPuzzle,
         QStringLiteral("找不到数据库文件")},
        {"a table missing",
         TTables::TangOnly,
         {QStringLiteral("--check")},
         1,
         QStringLiteral("唐诗三百首：3 首\n小学诗词") + noPuzzle + QStringLiteral("初中诗词") + noPuzzle +
             QStringLiteral("高中诗词") + noPuzzle,
         QStringLiteral("TB112")},
    };
}

// Guards against --check passing without poems, hiding the reason, stopping
// at a failing source, or waiting on a message box or the source dialog.
TEST(EndToEnd, CheckLoadsEverySourceOfTheDatabase)
{
    for (const TCheckCase& c : CheckCases()) {
        SCOPED_TRACE(c.name);
        TScopedProgramDir dir;
        if (c.tables == TTables::Both)
            WriteTestDatabase(dir.File(QStringLiteral("db21.mdb")),
                              {Table("TBZ300", kTang300), Table("TB112", kSchool)});
        else if (c.tables == TTables::TangOnly)
            WriteTestDatabase(dir.File(QStringLiteral("db21.mdb")), {Table("TBZ300", kTang300)});
        const int dialogs = RangeDialogsShown();
        QString outText;
        QString errText;
        QTextStream out(&outText);
        QTextStream err(&errText);
        EXPECT_EQ(RunPoemCheck(SourcesToCheck(ParseCommandLine(c.arguments)), out, err), c.exitCode);
        EXPECT_EQ(outText, c.out);
        if (c.errPart.isEmpty())
            EXPECT_TRUE(errText.isEmpty()) << errText.toStdString();
        else
            EXPECT_TRUE(errText.contains(c.errPart)) << errText.toStdString();
        EXPECT_EQ(RangeDialogsShown(), dialogs);
    }
}

}  // namespace
