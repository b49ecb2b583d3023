// The Windows stand-in for the game: appends its whole command line (GetCommandLineW), its
// working folder and the arguments Windows parses from that line (CommandLineToArgvW, the
// program's name first), as UTF-16, to the file named by QUORVALE_STUB_OUT; one record a
// start, fields separated by U+001F and ended by U+001E.
#include <windows.h>

#include <shellapi.h>

int wmain() {
    wchar_t out[1024];
    if (!GetEnvironmentVariableW(L"QUORVALE_STUB_OUT", out, 1024))
        return 2;
    wchar_t cwd[1024];
    const DWORD cwdLen = GetCurrentDirectoryW(1024, cwd);
    const wchar_t* line = GetCommandLineW();
    HANDLE f = CreateFileW(out, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f == INVALID_HANDLE_VALUE)
        return 3;
    DWORD written;
    const wchar_t sep = 0x1F, end = 0x1E;
    const auto field = [&](const wchar_t* text, DWORD length) {
        WriteFile(f, &sep, sizeof sep, &written, nullptr);
        WriteFile(f, text, length * sizeof(wchar_t), &written, nullptr);
    };
    WriteFile(f, line, static_cast<DWORD>(lstrlenW(line) * sizeof(wchar_t)), &written, nullptr);
    field(cwd, cwdLen);
    int argc = 0;
    if (wchar_t** argv = CommandLineToArgvW(line, &argc)) {
        for (int i = 0; i < argc; ++i)
            field(argv[i], static_cast<DWORD>(lstrlenW(argv[i])));
        LocalFree(argv);
    }
    WriteFile(f, &end, sizeof end, &written, nullptr);
    CloseHandle(f);
    return 0;
}
