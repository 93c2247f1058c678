#include "app/command_line.h"
#include "app/poem_check_window.h"
#include "app/application_window.h"
#include "app/uMain.h"

#include <QTextStream>

#include <cstdio>

namespace {

QStringList ArgumentsOf(int argc, char* argv[])
{
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments.push_back(QString::fromLocal8Bit(argv[i]));
    return arguments;
}

int ReportBadArguments(const TCommandLine& commandLine)
{
    QTextStream(stderr) << "versequest: " << commandLine.Error << Qt::endl
                        << QStringLiteral("用 versequest --help 查看可用的选项。") << Qt::endl;
    return 2;
}

// Prints what --help or --version asks for; false when neither was given.
bool PrintRequestedText(const TCommandLine& commandLine)
{
    if (commandLine.Help)
        QTextStream(stdout) << CommandLineHelp();
    else if (commandLine.Version)
        QTextStream(stdout) << kAppTitle << " (VerseQuest) " << VERSEQUEST_VERSION << Qt::endl;
    return commandLine.Help || commandLine.Version;
}

}  // namespace

int main(int argc, char* argv[])
{
    // Read before any window system is reached, so that a wrong argument,
    // --help and --version need no screen.
    const TCommandLine commandLine = ParseCommandLine(ArgumentsOf(argc, argv));
    if (!commandLine.Error.isEmpty())
        return ReportBadArguments(commandLine);
    if (PrintRequestedText(commandLine))
        return 0;
    // The check needs no screen either.
    if (commandLine.Check && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    const std::unique_ptr<TApplication> application = CreateFittedApplication(
        argc, argv, QSize(TfrmMain::kClientWidth, TfrmMain::kClientHeight), TfrmMain::kWindowFlags);
    TApplication& app = *application;
    return RunGuarded([&app, &commandLine] {
        if (commandLine.Check) {
            QTextStream out(stdout);
            QTextStream err(stderr);
            return RunPoemCheck(SourcesToCheck(commandLine), out, err);
        }
        // FormCreate runs to its end inside the constructor, before any show.
        auto* frmMain = new TfrmMain(nullptr, commandLine.Source);  // freed when closed (WA_DeleteOnClose)
        const int result = app.Run(frmMain);
        if (app.Terminated())
            delete frmMain;  // start cancelled: never shown, so never closed
        return result;
    });
}
