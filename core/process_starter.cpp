#include "process_starter.h"
#include "paths.h"

#include "text.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#ifdef _WIN32
#include <windows.h>
#else
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
extern char** environ;
#endif

namespace fs = std::filesystem;

namespace quorvale {

std::vector<std::string> splitArguments(std::string_view s) {
    std::vector<std::string> args;
    size_t i = 0;
    const auto blank = [](char c) { return c == ' ' || c == '\t'; };
    while (true) {
        while (i < s.size() && blank(s[i]))
            ++i;
        if (i >= s.size())
            break;
        std::string arg;
        bool quoted = false;
        while (i < s.size() && (quoted || !blank(s[i]))) {
            if (s[i] == '\\') {
                size_t n = 0;
                while (i < s.size() && s[i] == '\\')
                    ++n, ++i;
                if (i < s.size() && s[i] == '"') {
                    arg.append(n / 2, '\\');
                    if (n % 2 == 1) {
                        arg += '"';
                        ++i;
                    }
                    // an even count leaves the quote to the branch below
                } else {
                    arg.append(n, '\\');
                }
            } else if (s[i] == '"') {
                if (quoted && i + 1 < s.size() && s[i + 1] == '"') {
                    arg += '"';
                    i += 2;
                } else {
                    quoted = !quoted;
                    ++i;
                }
            } else {
                arg += s[i++];
            }
        }
        args.push_back(std::move(arg));
    }
    return args;
}

std::optional<SplitCommand>
splitCommandLine(const std::string& line,
                 const std::function<bool(const std::string&)>& isProgram) {
    size_t start = 0;
    while (start < line.size() && (line[start] == ' ' || line[start] == '\t'))
        ++start;
    if (start < line.size() && line[start] == '"') {
        const size_t close = line.find('"', start + 1);
        const std::string program = line.substr(
            start + 1, close == std::string::npos ? std::string::npos : close - start - 1);
        if (!isProgram(program))
            return std::nullopt;
        const size_t rest = close == std::string::npos ? line.size() : close + 1;
        return SplitCommand{program, splitArguments(std::string_view(line).substr(rest))};
    }
    size_t end = start;
    while (true) {
        end = line.find(' ', end + 1);
        const std::string candidate =
            line.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (!candidate.empty() && isProgram(candidate)) {
            const std::string_view rest = end == std::string::npos
                                              ? std::string_view()
                                              : std::string_view(line).substr(end + 1);
            return SplitCommand{candidate, splitArguments(rest)};
        }
        if (end == std::string::npos)
            return std::nullopt;
    }
}

#ifdef _WIN32

StartResult SystemProcessStarter::start(const std::string& commandLine,
                                        const std::string& workingDir) {
    std::wstring cmd = utf8ToWide(commandLine);
    const std::wstring dir = utf8ToWide(workingDir);
    const DWORD attrs = dir.empty() ? INVALID_FILE_ATTRIBUTES : GetFileAttributesW(dir.c_str());
    const bool useDir = attrs != INVALID_FILE_ATTRIBUTES && (attrs & FILE_ATTRIBUTE_DIRECTORY);
    // Name the program ourselves, found as Windows finds it (the shortest prefix up to a blank
    // that names a file, ".exe" appended where needed), so the command line reaches it exactly
    // as given; where none is found, Windows searches its own path.
    std::wstring app;
    const auto fileAt = [&](const std::string& candidate) -> std::wstring {
        std::wstring w = utf8ToWide(candidate);
        const bool relative = w.find(L':') == std::wstring::npos && (w.empty() || w[0] != L'\\');
        if (useDir && relative)
            w = dir + L"\\" + w;
        for (const std::wstring& c : {w, w + L".exe"}) {
            const DWORD a = GetFileAttributesW(c.c_str());
            if (a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY))
                return c;
        }
        return {};
    };
    if (const auto split =
            splitCommandLine(commandLine, [&](const std::string& c) { return !fileAt(c).empty(); }))
        app = fileAt(split->program);
    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESHOWWINDOW;
    si.wShowWindow = SW_SHOW;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(app.empty() ? nullptr : app.c_str(), cmd.data(), nullptr, nullptr, FALSE, 0,
                        nullptr, useDir ? dir.c_str() : nullptr, &si, &pi)) {
        const DWORD err = GetLastError();
        wchar_t* msg = nullptr;
        FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                           FORMAT_MESSAGE_IGNORE_INSERTS,
                       nullptr, err, 0, reinterpret_cast<wchar_t*>(&msg), 0, nullptr);
        std::u16string text;
        for (const wchar_t* p = msg; p && *p; ++p)
            text += static_cast<char16_t>(*p);
        LocalFree(msg);
        std::string reason = utf16ToUtf8(text);
        while (!reason.empty() && (reason.back() == '\n' || reason.back() == '\r'))
            reason.pop_back();
        return {false, reason.empty() ? "error " + std::to_string(err) : reason};
    }
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return {true, {}};
}

#else

namespace {

bool isRegularFile(const fs::path& p) {
    std::error_code ec;
    return fs::is_regular_file(p, ec);
}

// Where a program named by a command line lives: a path, else the working folder, else PATH.
std::optional<fs::path> resolveProgram(const std::string& name, const fs::path& dir) {
    const fs::path p = pathFromUtf8(name);
    if (p.is_absolute())
        return isRegularFile(p) ? std::optional(p) : std::nullopt;
    if (isRegularFile(dir / p))
        return dir / p;
    if (name.find('/') != std::string::npos)
        return std::nullopt;
    const char* path = std::getenv("PATH");
    std::string_view rest = path ? path : "";
    while (!rest.empty()) {
        const size_t colon = rest.find(':');
        const std::string_view entry = rest.substr(0, colon);
        rest = colon == std::string_view::npos ? std::string_view() : rest.substr(colon + 1);
        if (entry.empty())
            continue;
        const fs::path cand = fs::path(std::string(entry)) / p;
        if (isRegularFile(cand))
            return cand;
    }
    return std::nullopt;
}

} // namespace

StartResult SystemProcessStarter::start(const std::string& commandLine,
                                        const std::string& workingDir) {
    std::error_code ec;
    const bool useDir = !workingDir.empty() && fs::is_directory(pathFromUtf8(workingDir), ec);
    const fs::path dir = useDir ? pathFromUtf8(workingDir) : fs::current_path(ec);
    const auto split = splitCommandLine(
        commandLine, [&](const std::string& c) { return resolveProgram(c, dir).has_value(); });
    if (!split) {
        const size_t blank = commandLine.find(' ');
        return {false, "The program " + commandLine.substr(0, blank) + " was not found."};
    }
    const fs::path program = *resolveProgram(split->program, dir);

    std::vector<std::string> argStore;
    argStore.push_back(split->program);
    argStore.insert(argStore.end(), split->args.begin(), split->args.end());
    std::vector<char*> argv;
    for (auto& a : argStore)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (useDir)
        posix_spawn_file_actions_addchdir_np(&actions, dir.c_str());
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    // A fresh session: the game outlives the launcher and ignores its terminal's signals.
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSID);
    pid_t pid = 0;
    const int rc = posix_spawn(&pid, program.c_str(), &actions, &attr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    if (rc != 0)
        return {false, pathToUtf8(program) + ": " + std::strerror(rc)};
    // Not waited for, but reaped when it ends, so no zombie is left behind.
    std::thread([pid] {
        int status;
        while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
    }).detach();
    return {true, {}};
}

#endif

} // namespace quorvale
