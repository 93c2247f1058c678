// The command line: its options, their errors, and text for a pipe in the
// console's code page.
#include "app/command_line.h"
#ifdef Q_OS_WIN
#include "app/console_output.h"  // EncodeForCodePage
#endif

#include <QStringList>

#include <gtest/gtest.h>

#include <optional>

namespace {

struct TOptionsCase {
    QStringList arguments;
    std::optional<int> source;
    bool check;
    bool help;
    bool version;
    QString error;  // empty: accepted
};
const QString kSource = QStringLiteral("--source");
// The command lines of OptionsAndTheirErrors and what they give.
const TOptionsCase kOptionsCases[] = {
    {{}, std::nullopt, false, false, false, {}},
    {{kSource, QStringLiteral("1")}, 0, false, false, false, {}},
    {{QStringLiteral("-s"), QStringLiteral("5")}, 4, false, false, false, {}},
    {{QStringLiteral("--source=小学诗词"), QStringLiteral("--check")}, 1, true, false, false, {}},
    {{QStringLiteral("--check")}, std::nullopt, true, false, false, {}},
    {{QStringLiteral("-h")}, std::nullopt, false, true, false, {}},
    {{QStringLiteral("--version")}, std::nullopt, false, false, true, {}},
    {{kSource, QStringLiteral("0")},
     std::nullopt,
     false,
     false,
     false,
     QStringLiteral("没有这个诗词来源：0（可用 1 到 5 的编号或来源名称）")},
    {{kSource, QStringLiteral("6")},
     std::nullopt,
     false,
     false,
     false,
     QStringLiteral("没有这个诗词来源：6（可用 1 到 5 的编号或来源名称）")},
    {{kSource, QStringLiteral("宋词")},
     std::nullopt,
     false,
     false,
     false,
     QStringLiteral("没有这个诗词来源：宋词（可用 1 到 5 的编号或来源名称）")},
    {{kSource},
     std::nullopt,
     false,
     false,
     false,
     QStringLiteral("选项 --source 缺少诗词来源（1 到 5 的编号或来源名称）")},
    {{QStringLiteral("--chek")}, std::nullopt, false, false, false, QStringLiteral("无法识别的参数：--chek")},
    // Qt's own options are Qt's: passed over with their values.
    {{QStringLiteral("-platform"), QStringLiteral("offscreen"), QStringLiteral("--check")},
     std::nullopt,
     true,
     false,
     false,
     {}},
    {{QStringLiteral("--style=fusion"), QStringLiteral("-reverse"), QStringLiteral("-s"), QStringLiteral("2")},
     1,
     false,
     false,
     false,
     {}},
    {{QStringLiteral("-platform=")}, std::nullopt, false, false, false, {}},
    {{QStringLiteral("-platforms")}, std::nullopt, false, false, false, QStringLiteral("无法识别的参数：-platforms")},
};

// Guards against options read wrongly, and against arguments the game does
// not understand being ignored instead of refused with a reason.
TEST(CommandLine, OptionsAndTheirErrors)
{
    for (const TOptionsCase& c : kOptionsCases) {
        SCOPED_TRACE(c.arguments.join(QLatin1Char(' ')).toStdString());
        const TCommandLine line = ParseCommandLine(c.arguments);
        EXPECT_EQ(line.Error, c.error);
        EXPECT_EQ(line.Source, c.source);
        EXPECT_EQ(line.Check, c.check);
        EXPECT_EQ(line.Help, c.help);
        EXPECT_EQ(line.Version, c.version);
    }
    // --check without --source checks the sources of the local database only.
    EXPECT_EQ(SourcesToCheck(ParseCommandLine({QStringLiteral("--check")})), (QList<int>{0, 1, 2, 3}));
}

#ifdef Q_OS_WIN
// Guards against text for a pipe or a file reaching a Chinese console's code
// page (936) as UTF-8, which it shows as garbage, with bare LF line ends, or
// with a character the code page lacks taking the rest of the line with it.
TEST(CommandLine, TextForAPipeInTheConsoleCodePage)
{
    struct Case {
        const char* name;
        QString text;
        unsigned codePage;
        QByteArray bytes;
    };
    const QString line = QStringLiteral("唐诗三百首：320 首\n");
    const Case cases[] = {
        {"GBK", line, 936, QByteArray::fromHex("ccc6caabc8fdb0d9cad7a3ba33323020cad70d0a")},
        {"UTF-8", line, 65001, QStringLiteral("唐诗三百首：320 首\r\n").toUtf8()},
        {"CR LF kept", QStringLiteral("a\r\nb\n"), 936, QByteArray("a\r\nb\r\n")},
        {"Western", QStringLiteral("唐诗 ok\n"), 1252, QByteArray("?? ok\r\n")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(EncodeForCodePage(c.text, c.codePage), c.bytes);
    }
}
#endif

}  // namespace
