// start_detached <program> [arguments...]: starts the program as Explorer or a
// shortcut does, with no console and no standard handles; waits for it and
// exits with its exit code (255: it could not be started). Windows only.
#include <windows.h>

#include <string>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    int count = 0;
    wchar_t** arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!arguments || count < 2)
        return 255;
    std::wstring commandLine;
    for (int i = 1; i < count; ++i) {  // quoted where they hold a space; none holds a quote
        const std::wstring argument = arguments[i];
        commandLine += (i > 1 ? L" " : L"");
        commandLine += argument.find(L' ') == std::wstring::npos ? argument : L"\"" + argument + L"\"";
    }
    LocalFree(arguments);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;  // all three null
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, DETACHED_PROCESS, nullptr, nullptr,
                        &startup, &process))
        return 255;
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD exitCode = 255;
    GetExitCodeProcess(process.hProcess, &exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return static_cast<int>(exitCode);
}
