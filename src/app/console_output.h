#pragma once
// The text the program writes for the command line: --help, --version, the
// --check report, the complaint about a bad argument. On Linux it is UTF-8 on
// stdout and stderr. The Windows program is a GUI program without a console
// of its own, and writes as Windows' command-line programs do:
//   - on the console it was started from (cmd, PowerShell), which it attaches
//     to, through WriteConsoleW: the console shows it whatever its code page;
//   - to a pipe or a file, in the console's output code page, or the ANSI code
//     page when there is no console, with CR LF line ends;
//   - started from Explorer or a shortcut, to nobody: the caller can show the
//     text in a box instead.
// QtCore only.

#include <QByteArray>
#include <QString>
#include <QTextStream>

#include <memory>

class QIODevice;

enum class TStdStream { Output, Error };

// A text stream onto standard output or standard error, as above.
class TStandardStream {
public:
    explicit TStandardStream(TStdStream which);
    ~TStandardStream();
    TStandardStream(const TStandardStream&) = delete;
    TStandardStream& operator=(const TStandardStream&) = delete;

    QTextStream& Text() { return FText; }
    // False when the text reaches nobody: no console, no pipe, no file.
    bool Reaches() const;

private:
    std::unique_ptr<QIODevice> FDevice;  // Windows only
    QTextStream FText;
};

// Writes `text` to standard output or error; false when it reaches nobody.
bool WriteStandardText(TStdStream which, const QString& text);

// A box without owner, with one OK button, for text that found no console.
// Needs no application object. Windows only: elsewhere the text always
// reaches the terminal or where it was sent, and this does nothing.
void ShowTextBox(const QString& caption, const QString& text, bool isError);

#ifdef Q_OS_WIN
// `text` as the program writes it to a pipe or a file: CR LF line ends, in
// Windows code page `codePage`, a character the code page lacks as '?'.
QByteArray EncodeForCodePage(const QString& text, unsigned codePage);
#endif
