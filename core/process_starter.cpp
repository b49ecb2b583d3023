#include "process_starter.h"
#include "paths.h"

#include "text.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

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

namespace {

bool isNameStart(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
}
bool isNameChar(char c) {
    return isNameStart(c) || (c >= '0' && c <= '9');
}

} // namespace

std::optional<RunnerCommand> parseRunnerCommand(std::string_view s) {
    RunnerCommand cmd;
    size_t i = 0;
    const auto blank = [](char c) { return c == ' ' || c == '\t'; };
    // "~" counts only unquoted, alone or before a slash.
    const auto homeAt = [&](size_t k) {
        return s[k] == '~' && (k + 1 >= s.size() || s[k + 1] == '/' || blank(s[k + 1]));
    };
    while (true) {
        while (i < s.size() && blank(s[i]))
            ++i;
        if (i >= s.size())
            break;
        std::string word;
        std::optional<size_t> equals; // of NAME=, where NAME came unquoted
        bool plain = true;            // nothing quoted or escaped so far
        bool homeAtStart = homeAt(i), homeAfterEquals = false;
        while (i < s.size() && !blank(s[i])) {
            const char c = s[i];
            if (c == '\'') {
                const size_t close = s.find('\'', i + 1);
                if (close == std::string_view::npos)
                    return std::nullopt;
                word.append(s.substr(i + 1, close - i - 1));
                i = close + 1;
                plain = false;
            } else if (c == '"') {
                for (++i;; ++i) {
                    if (i >= s.size())
                        return std::nullopt;
                    if (s[i] == '"')
                        break;
                    if (s[i] == '\\' && i + 1 < s.size() && (s[i + 1] == '"' || s[i + 1] == '\\'))
                        ++i;
                    word += s[i];
                }
                ++i;
                plain = false;
            } else if (c == '\\' && i + 1 < s.size()) {
                word += s[i + 1];
                i += 2;
                plain = false;
            } else {
                if (c == '=' && plain && !equals) {
                    equals = word.size();
                    homeAfterEquals = i + 1 < s.size() && homeAt(i + 1);
                }
                word += c;
                ++i;
            }
        }
        const bool assignment = cmd.words.empty() && equals && *equals > 0 &&
                                isNameStart(word[0]) &&
                                std::all_of(word.begin(), word.begin() + *equals, isNameChar);
        if (assignment) {
            std::string value = word.substr(*equals + 1);
            cmd.environment.emplace_back(word.substr(0, *equals),
                                         homeAfterEquals ? expandHome(value) : value);
        } else {
            cmd.words.push_back(homeAtStart ? expandHome(word) : word);
        }
    }
    if (cmd.words.empty())
        cmd.words.emplace_back("wine");
    return cmd;
}

bool isWindowsProgram(const std::string& path) {
    std::ifstream in(pathFromUtf8(path), std::ios::binary);
    char head[2] = {};
    return in.read(head, 2) && head[0] == 'M' && head[1] == 'Z';
}

#ifdef _WIN32

StartResult SystemProcessStarter::start(const std::string& commandLine,
                                        const std::string& workingDir, const WindowsRunner&) {
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

// A bare name on PATH.
std::optional<fs::path> onPath(const fs::path& name) {
    const char* path = std::getenv("PATH");
    std::string_view rest = path ? path : "";
    while (!rest.empty()) {
        const size_t colon = rest.find(':');
        const std::string_view entry = rest.substr(0, colon);
        rest = colon == std::string_view::npos ? std::string_view() : rest.substr(colon + 1);
        if (entry.empty())
            continue;
        // Absolute, since the program starts after the change into its working folder.
        const fs::path cand = fs::path(std::string(entry)) / name;
        std::error_code ec;
        if (isRegularFile(cand))
            return fs::absolute(cand, ec);
    }
    return std::nullopt;
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
    return onPath(p);
}

// The runner as a shell finds a command: a bare name only on PATH, never in the current folder.
std::optional<fs::path> resolveRunner(const std::string& name) {
    const fs::path p = pathFromUtf8(name);
    if (name.find('/') == std::string::npos)
        return onPath(p);
    std::error_code ec;
    return isRegularFile(p) ? std::optional(fs::absolute(p, ec)) : std::nullopt;
}

// The launcher's own locale, as the child would take it from the environment.
bool utf8Locale() {
    for (const char* var : {"LC_ALL", "LC_CTYPE", "LANG"}) {
        const char* v = std::getenv(var);
        if (!v || !*v)
            continue;
        std::string lower(v);
        for (char& c : lower)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return lower.find("utf-8") != std::string::npos || lower.find("utf8") != std::string::npos;
    }
    return false; // nothing set: the C locale
}

// The launcher's environment with the runner's own on top. Wine takes the Unix side's text as
// the locale says; under "C" it garbles every non-ASCII argument, so a UTF-8 locale goes along.
std::vector<std::string> runnerEnvironment(const RunnerCommand& cmd, const std::string& prefix) {
    std::vector<std::pair<std::string, std::string>> set;
    const auto put = [&](const std::string& name, const std::string& value) {
        for (auto& [n, v] : set)
            if (n == name) {
                v = value;
                return;
            }
        set.emplace_back(name, value);
    };
    if (!utf8Locale()) {
        put("LANG", "C.UTF-8");
        put("LC_ALL", "C.UTF-8");
    }
    if (!prefix.empty())
        put("WINEPREFIX", expandHome(prefix));
    for (const auto& [name, value] : cmd.environment)
        put(name, value);

    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
        const std::string_view entry(*e);
        const std::string_view name = entry.substr(0, entry.find('='));
        if (std::none_of(set.begin(), set.end(), [&](const auto& p) { return p.first == name; }))
            env.emplace_back(entry);
    }
    for (const auto& [name, value] : set)
        env.push_back(name + "=" + value);
    return env;
}

std::vector<char*> pointers(std::vector<std::string>& strings) {
    std::vector<char*> out;
    for (auto& s : strings)
        out.push_back(s.data());
    out.push_back(nullptr);
    return out;
}

} // namespace

StartResult SystemProcessStarter::start(const std::string& commandLine,
                                        const std::string& workingDir,
                                        const WindowsRunner& runner) {
    std::error_code ec;
    const bool useDir = !workingDir.empty() && fs::is_directory(pathFromUtf8(workingDir), ec);
    const fs::path dir = useDir ? pathFromUtf8(workingDir) : fs::current_path(ec);
    const auto split = splitCommandLine(
        commandLine, [&](const std::string& c) { return resolveProgram(c, dir).has_value(); });
    if (!split) {
        const bool quoted = !commandLine.empty() && commandLine[0] == '"';
        const std::string name = quoted ? commandLine.substr(1, commandLine.find('"', 1) - 1)
                                        : commandLine.substr(0, commandLine.find(' '));
        return {false, "The program " + name + " was not found."};
    }
    // Absolute, because the child changes folder before it starts the program.
    const fs::path program = fs::absolute(*resolveProgram(split->program, dir), ec);

    fs::path executable = program;
    std::vector<std::string> argStore;
    std::vector<std::string> envStore;
    const bool throughRunner = isWindowsProgram(pathToUtf8(program));
    if (throughRunner) {
        const auto cmd = runner.resolved ? runner.resolved : parseRunnerCommand(runner.command);
        if (!cmd)
            return {false, "A quote is not closed in the command under Options, \"Run Windows "
                           "programs with:\": " +
                               runner.command};
        const std::string& name = cmd->words.front();
        const auto found = resolveRunner(name);
        if (!found && runner.resolved)
            return {false, "The game is started with " + name + ", which was not found."};
        if (!found)
            return {false, "Windows programs are started with " + name +
                               ", which was not found. Install Wine, or name the program that "
                               "starts them in Options, under \"Run Windows programs with:\"."};
        executable = *found;
        argStore = cmd->words;
        if (runner.withProgram)
            argStore.push_back(pathToUtf8(program));
        envStore = runnerEnvironment(*cmd, runner.prefix);
    } else {
        argStore.push_back(split->program);
    }
    argStore.insert(argStore.end(), split->args.begin(), split->args.end());
    std::vector<char*> argv = pointers(argStore);
    std::vector<char*> envp = pointers(envStore);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (useDir)
        posix_spawn_file_actions_addchdir_np(&actions, dir.c_str());
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    // A fresh session: the game outlives the launcher and ignores its terminal's signals.
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSID);
    pid_t pid = 0;
    const int rc = posix_spawn(&pid, executable.c_str(), &actions, &attr, argv.data(),
                               throughRunner ? envp.data() : environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    if (rc != 0)
        return {false, pathToUtf8(executable) + ": " + std::strerror(rc)};
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
