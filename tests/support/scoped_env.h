#pragma once

#include <cstdlib>
#include <optional>
#include <string>

// An environment variable set for a test's length.
struct ScopedEnv {
    const char* name;
    std::optional<std::string> old =
        std::getenv(name) ? std::optional<std::string>(std::getenv(name)) : std::nullopt;
    ScopedEnv(const char* n, const std::string& value) : name(n) { setenv(n, value.c_str(), 1); }
    ~ScopedEnv() { old ? setenv(name, old->c_str(), 1) : unsetenv(name); }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;
};
