#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>

namespace quorvale {

// Paths travel as UTF-8 std::string in core; these cross into std::filesystem.
inline std::filesystem::path pathFromUtf8(const std::string& s) {
    return std::filesystem::path(std::u8string(s.begin(), s.end()));
}

inline std::string pathToUtf8(const std::filesystem::path& p) {
    const std::u8string u = p.u8string();
    return std::string(u.begin(), u.end());
}

// "~" and "~/..." with $HOME; anything else, or no HOME, unchanged.
inline std::string expandHome(const std::string& path) {
    const char* home = std::getenv("HOME");
    if (!home || !*home || (path != "~" && path.rfind("~/", 0) != 0))
        return path;
    return home + path.substr(1);
}

} // namespace quorvale
