#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quorvale {

struct StartResult {
    bool started = false;
    std::string error; // why not, for the user
};

// Starts a program from one command-line string, the way Windows does, and does not wait.
class ProcessStarter {
public:
    virtual ~ProcessStarter() = default;
    // workingDir empty or not a folder: the child starts in the launcher's current folder.
    virtual StartResult start(const std::string& commandLine, const std::string& workingDir) = 0;
};

class SystemProcessStarter : public ProcessStarter {
public:
    StartResult start(const std::string& commandLine, const std::string& workingDir) override;
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

} // namespace quorvale
