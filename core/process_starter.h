#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace quorvale {

struct StartResult {
    bool started = false;
    std::string error; // why not, for the user
};

// The runner's command line, typed by a Linux player: split into words as a shell splits them,
// but with nothing run and nothing expanded other than "~" at a word's start. Blanks separate;
// '...' keeps everything, "..." everything but \" and \\; a backslash keeps the next character.
// NAME=value words before the program set its environment.
struct RunnerCommand {
    std::vector<std::pair<std::string, std::string>> environment;
    std::vector<std::string> words; // the program and its own arguments; "wine" when none is named
};
// Nothing when a quote is not closed.
std::optional<RunnerCommand> parseRunnerCommand(std::string_view text);

// Where Windows is not, a Windows program (a file that starts with "MZ") is started through a
// runner: its command line, then the program and the program's arguments. Windows ignores it.
struct WindowsRunner {
    std::string command; // "wine", "proton run", ...; empty: "wine"
    std::string prefix;  // WINEPREFIX for it ("~" for the home folder); empty: the environment's
    // Worked out by the launch for Proton and Steam: these words and variables in place of
    // `command`, taken as they are.
    std::optional<RunnerCommand> resolved;
    bool withProgram = true; // false: Steam starts the game itself and takes only its arguments
};

// Starts a program from one command-line string, the way Windows does, and does not wait.
class ProcessStarter {
public:
    virtual ~ProcessStarter() = default;
    // workingDir empty or not a folder: the child starts in the launcher's current folder.
    virtual StartResult start(const std::string& commandLine, const std::string& workingDir,
                              const WindowsRunner& runner) = 0;
};

class SystemProcessStarter : public ProcessStarter {
public:
    StartResult start(const std::string& commandLine, const std::string& workingDir,
                      const WindowsRunner& runner) override;
};

struct SplitCommand {
    std::string program;
    std::vector<std::string> args;
};

// Splits a Windows command line: the program is a quoted path taken whole, or else the
// shortest prefix ending at a blank for which isProgram is true; the rest is split by the
// rules Windows programs use for their arguments. Nothing when no prefix names a program.
std::optional<SplitCommand>
splitCommandLine(const std::string& line, const std::function<bool(const std::string&)>& isProgram);
// The argument rules of the Microsoft C runtime (quotes, backslashes before quotes, "").
std::vector<std::string> splitArguments(std::string_view args);

// A Windows program: the file starts with "MZ".
bool isWindowsProgram(const std::string& path);

} // namespace quorvale
