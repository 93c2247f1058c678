#include "app/console_output.h"

#include <QIODevice>

#include <cstdio>

#ifdef Q_OS_WIN
#include <windows.h>

#include <algorithm>

namespace {

// Attaches, once, to the console of the process that started this one (cmd,
// PowerShell); false when it has none (Explorer, a shortcut).
bool AttachedToParentConsole()
{
    static const bool attached =
        AttachConsole(ATTACH_PARENT_PROCESS) != 0 || GetLastError() == ERROR_ACCESS_DENIED;  // already attached
    return attached;
}

bool IsUsable(HANDLE handle)
{
    return handle != nullptr && handle != INVALID_HANDLE_VALUE && GetFileType(handle) != FILE_TYPE_UNKNOWN;
}

// Standard output or error of the Windows program, wherever it goes.
class TWindowsStdDevice : public QIODevice {
public:
    explicit TWindowsStdDevice(DWORD which)
    {
        Locate(which);
        open(QIODevice::WriteOnly | QIODevice::Unbuffered);
    }
    ~TWindowsStdDevice() override
    {
        if (FOwnsHandle)
            CloseHandle(FHandle);
    }
    TWindowsStdDevice(const TWindowsStdDevice&) = delete;
    TWindowsStdDevice& operator=(const TWindowsStdDevice&) = delete;

    bool Reaches() const { return FTarget != TTarget::Nobody; }

protected:
    qint64 readData(char*, qint64) override { return -1; }
    // QTextStream hands over whole characters in UTF-8.
    qint64 writeData(const char* data, qint64 size) override
    {
        const QString text = QString::fromUtf8(data, size);
        if (FTarget == TTarget::Console)
            WriteToConsole(text);
        else if (FTarget == TTarget::Bytes)
            WriteBytes(EncodeForCodePage(text, FCodePage));
        return size;  // to nobody: dropped, as a GUI program's output always was
    }

private:
    enum class TTarget { Nobody, Console, Bytes };

    // The handle the parent gave (a console, a pipe, a file), else the
    // console of the parent, else nobody.
    void Locate(DWORD which)
    {
        HANDLE handle = GetStdHandle(which);
        if (IsUsable(handle)) {
            FHandle = handle;
            DWORD mode = 0;
            if (GetConsoleMode(handle, &mode)) {
                FTarget = TTarget::Console;
                return;
            }
            // The code page of the console the pipe or file was set up from.
            AttachedToParentConsole();
            FCodePage = GetConsoleOutputCP();
            if (FCodePage == 0)
                FCodePage = GetACP();
            FTarget = TTarget::Bytes;
            return;
        }
        if (!AttachedToParentConsole())
            return;
        handle = CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                             OPEN_EXISTING, 0, nullptr);
        if (handle == INVALID_HANDLE_VALUE)
            return;
        FHandle = handle;
        FOwnsHandle = true;
        FTarget = TTarget::Console;
    }

    void WriteToConsole(const QString& text)
    {
        const auto* next = reinterpret_cast<const wchar_t*>(text.utf16());
        qsizetype left = text.size();
        while (left > 0) {
            DWORD written = 0;
            const auto chunk = static_cast<DWORD>(std::min<qsizetype>(left, 4096));
            if (!WriteConsoleW(FHandle, next, chunk, &written, nullptr) || written == 0)
                return;
            next += written;
            left -= written;
        }
    }

    void WriteBytes(const QByteArray& bytes)
    {
        const char* next = bytes.constData();
        qsizetype left = bytes.size();
        while (left > 0) {
            DWORD written = 0;
            const auto chunk = static_cast<DWORD>(std::min<qsizetype>(left, 65536));
            if (!WriteFile(FHandle, next, chunk, &written, nullptr) || written == 0)
                return;  // the reader went away
            next += written;
            left -= written;
        }
    }

    TTarget FTarget = TTarget::Nobody;
    HANDLE FHandle = nullptr;
    bool FOwnsHandle = false;
    UINT FCodePage = CP_UTF8;
};

}  // namespace

QByteArray EncodeForCodePage(const QString& text, unsigned codePage)
{
    QString lines = text;
    lines.replace(QLatin1String("\r\n"), QLatin1String("\n")).replace(QLatin1Char('\n'), QLatin1String("\r\n"));
    if (lines.isEmpty())
        return {};
    const auto* wide = reinterpret_cast<const wchar_t*>(lines.utf16());
    const int length = static_cast<int>(lines.size());
    // UTF-8 takes no replacement character: it encodes everything.
    const char* replacement = codePage == CP_UTF8 ? nullptr : "?";
    const int size = WideCharToMultiByte(codePage, 0, wide, length, nullptr, 0, replacement, nullptr);
    if (size <= 0)
        return lines.toUtf8();  // a code page Windows cannot convert to
    QByteArray bytes(size, Qt::Uninitialized);
    WideCharToMultiByte(codePage, 0, wide, length, bytes.data(), size, replacement, nullptr);
    return bytes;
}

TStandardStream::TStandardStream(TStdStream which)
    : FDevice(std::make_unique<TWindowsStdDevice>(which == TStdStream::Output ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE)),
      FText(FDevice.get())
{
    FText.setEncoding(QStringConverter::Utf8);
}

bool TStandardStream::Reaches() const
{
    return static_cast<const TWindowsStdDevice*>(FDevice.get())->Reaches();
}

void ShowTextBox(const QString& caption, const QString& text, bool isError)
{
    MessageBoxW(nullptr, reinterpret_cast<const wchar_t*>(text.utf16()),
                reinterpret_cast<const wchar_t*>(caption.utf16()),
                MB_OK | MB_SETFOREGROUND | (isError ? MB_ICONERROR : MB_ICONINFORMATION));
}

#else

TStandardStream::TStandardStream(TStdStream which) : FText(which == TStdStream::Output ? stdout : stderr) { }

bool TStandardStream::Reaches() const
{
    return true;
}

void ShowTextBox(const QString&, const QString&, bool) { }

#endif

TStandardStream::~TStandardStream() = default;

bool WriteStandardText(TStdStream which, const QString& text)
{
    TStandardStream stream(which);
    stream.Text() << text;
    stream.Text().flush();
    return stream.Reaches();
}
