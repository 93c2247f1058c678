#include "app/application_window.h"
#include "app/command_line.h"
#include "app/console_output.h"
#include "app/poem_check_window.h"
#include "app/uMain.h"

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
    const QString text =
        QStringLiteral("versequest: %1\n用 versequest --help 查看可用的选项。\n").arg(commandLine.Error);
    // Started from Explorer or a shortcut, there is no console to tell.
    if (!WriteStandardText(TStdStream::Error, text))
        ShowTextBox(kAppTitle, commandLine.Error + QStringLiteral("\n\n") + CommandLineHelp(), true);
    return 2;
}

// Prints what --help or --version asks for; false when neither was given.
bool PrintRequestedText(const TCommandLine& commandLine)
{
    if (!commandLine.Help && !commandLine.Version)
        return false;
    const QString text =
        commandLine.Help ? CommandLineHelp() : kAppTitle + QStringLiteral(" (VerseQuest) " VERSEQUEST_VERSION "\n");
    if (!WriteStandardText(TStdStream::Output, text))
        ShowTextBox(kAppTitle, text, false);
    return true;
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
            TStandardStream out(TStdStream::Output);
            TStandardStream err(TStdStream::Error);
            return RunPoemCheck(SourcesToCheck(commandLine), out.Text(), err.Text());
        }
        // FormCreate runs to its end inside the constructor, before any show.
        auto* frmMain = new TfrmMain(nullptr, commandLine.Source);  // freed when closed (WA_DeleteOnClose)
        const int result = app.Run(frmMain);
        if (app.Terminated())
            delete frmMain;  // start cancelled: never shown, so never closed
        return result;
    });
}
