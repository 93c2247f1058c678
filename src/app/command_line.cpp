#include "app/command_line.h"

#include "library/sources.h"

namespace {

// The source named by `value`: its number as the source dialog lists it
// (1 to kSourceCount) or its name.
std::optional<int> SourceNamed(const QString& value)
{
    bool isNumber = false;
    const int number = value.toInt(&isNumber);
    if (isNumber)
        return number >= 1 && number <= kSourceCount ? std::optional<int>(number - 1) : std::nullopt;
    for (int i = 0; i < kSourceCount; ++i)
        if (SourceOf(i).Label == value)
            return i;
    return std::nullopt;
}

// Qt's own options, which the application object takes out of the arguments
// itself ("-style fusion", "-style=fusion", "--style fusion"): 0 when
// `argument` is none of them, otherwise how many arguments it spans.
int QtOptionLength(const QString& argument)
{
    static const QStringList kWithValue = {QStringLiteral("platform"),
                                           QStringLiteral("platformpluginpath"),
                                           QStringLiteral("platformtheme"),
                                           QStringLiteral("plugin"),
                                           QStringLiteral("qwindowgeometry"),
                                           QStringLiteral("qwindowicon"),
                                           QStringLiteral("qwindowtitle"),
                                           QStringLiteral("session"),
                                           QStringLiteral("display"),
                                           QStringLiteral("geometry"),
                                           QStringLiteral("style"),
                                           QStringLiteral("stylesheet"),
                                           QStringLiteral("name"),
                                           QStringLiteral("title"),
                                           QStringLiteral("qmljsdebugger")};
    static const QStringList kFlags = {QStringLiteral("reverse"), QStringLiteral("widgetcount"),
                                       QStringLiteral("nograb"), QStringLiteral("dograb"), QStringLiteral("sync")};
    if (!argument.startsWith(QLatin1Char('-')))
        return 0;
    QString name = argument.mid(argument.startsWith(QLatin1String("--")) ? 2 : 1);
    const qsizetype equals = name.indexOf(QLatin1Char('='));
    if (equals >= 0)
        return kWithValue.contains(name.left(equals)) ? 1 : 0;
    if (kWithValue.contains(name))
        return 2;
    return kFlags.contains(name) ? 1 : 0;
}

}  // namespace

TCommandLine ParseCommandLine(const QStringList& arguments)
{
    TCommandLine result;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        if (argument == QLatin1String("-h") || argument == QLatin1String("--help")) {
            result.Help = true;
        } else if (argument == QLatin1String("-v") || argument == QLatin1String("--version")) {
            result.Version = true;
        } else if (argument == QLatin1String("--check")) {
            result.Check = true;
        } else if (argument == QLatin1String("-s") || argument == QLatin1String("--source") ||
                   argument.startsWith(QLatin1String("--source="))) {
            QString value;
            if (argument.startsWith(QLatin1String("--source=")))
                value = argument.mid(9);
            else if (i + 1 < arguments.size())
                value = arguments[++i];
            else {
                result.Error =
                    QStringLiteral("选项 %1 缺少诗词来源（1 到 %2 的编号或来源名称）").arg(argument).arg(kSourceCount);
                return result;
            }
            result.Source = SourceNamed(value);
            if (!result.Source) {
                result.Error = QStringLiteral("没有这个诗词来源：%1（可用 1 到 %2 的编号或来源名称）")
                                   .arg(value)
                                   .arg(kSourceCount);
                return result;
            }
        } else if (const int qtLength = QtOptionLength(argument); qtLength > 0) {
            i += qtLength - 1;  // Qt reads it when the application object is made
        } else {
            result.Error = QStringLiteral("无法识别的参数：%1").arg(argument);
            return result;
        }
    }
    return result;
}

QString CommandLineHelp()
{
    QString sources;
    for (int i = 0; i < kSourceCount; ++i)
        sources += QStringLiteral("                       %1 %2\n").arg(i + 1).arg(SourceOf(i).Label);
    return QStringLiteral("用法：versequest [选项]\n"
                          "青简堂诗词猜诗：看四句诗，猜出诗词的题目。\n"
                          "\n"
                          "选项：\n"
                          "  -s, --source 来源    不弹出范围选择，直接从这个诗词来源开始；\n"
                          "                       来源写编号或名称：\n") +
           sources +
           QStringLiteral("  --check              检查诗词库：加载诗词并出一题（不显示窗口，\n"
                          "                       也不需要屏幕），列出每个来源的诗词数后退出；\n"
                          "                       不加 --source 时检查本地数据库的全部来源。\n"
                          "                       全部成功时退出码为 0，否则为 1\n"
                          "  -h, --help           显示本帮助后退出\n"
                          "  -v, --version        显示版本后退出\n");
}

QList<int> SourcesToCheck(const TCommandLine& commandLine)
{
    if (commandLine.Source)
        return {*commandLine.Source};
    QList<int> local;
    for (int i = 0; i < kSourceCount; ++i)
        if (!SourceOf(i).Remote)
            local.push_back(i);
    return local;
}
