#pragma once

#include <stdexcept>
#include <string>

namespace quorvale {

// Every error the user may see; the text is shown as it stands.
class LauncherError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// "'%s' is not a valid integer value"
class ConvertError : public LauncherError {
public:
    explicit ConvertError(const std::string& text)
        : LauncherError("'" + text + "' is not a valid integer value") {}
};

// The settings could not be written to disk; what the program holds in memory is unchanged.
class StoreWriteError : public LauncherError {
public:
    using LauncherError::LauncherError;
};

// Another process holds the store's lock, saving it: nothing was written and the changes wait
// in memory for a save that finds the lock free.
class StoreBusyError : public StoreWriteError {
public:
    using StoreWriteError::StoreWriteError;
};

// "Failed to get data for '%s'" / "Invalid data type for '%s'"
class RegistryError : public LauncherError {
public:
    using LauncherError::LauncherError;
    static RegistryError missing(const std::string& name) {
        return RegistryError("Failed to get data for '" + name + "'");
    }
    static RegistryError wrongType(const std::string& name) {
        return RegistryError("Invalid data type for '" + name + "'");
    }
};

} // namespace quorvale
