#include "reg_file_store.h"
#include "paths.h"

#include "errors.h"
#include "text.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <utility>

#ifdef _WIN32
#include <io.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace quorvale {

namespace {

std::string timeStamp() {
    const std::time_t t = std::time(nullptr);
    std::tm tm{};
#ifdef _WIN32
    localtime_s(&tm, &t);
#else
    localtime_r(&t, &tm);
#endif
    char buf[32];
    std::strftime(buf, sizeof buf, "%Y%m%d-%H%M%S", &tm);
    return buf;
}

std::string systemMessage(int err) {
    return std::strerror(err);
}

} // namespace

std::string RegFileStore::defaultPath() {
    if (const char* p = std::getenv("QUORVALE_REGISTRY"); p && *p)
        return p;
    std::string base;
    if (const char* x = std::getenv("XDG_CONFIG_HOME"); x && *x)
        base = x;
    else if (const char* h = std::getenv("HOME"); h && *h)
        base = std::string(h) + "/.config";
    else if (const char* u = std::getenv("USERPROFILE"); u && *u)
        base = std::string(u) + "/.config";
    else
        base = ".config";
    return base + "/quorvale/registry.reg";
}

RegFileStore::RegFileStore(std::string path) : path_(std::move(path)) {
    std::error_code ec;
    if (!fs::exists(pathFromUtf8(path_), ec))
        return; // first run
    RegParseError err;
    bool ok = false;
    {
        // Closed again before the file may be moved: Windows cannot rename an open file.
        std::ifstream in(pathFromUtf8(path_), std::ios::binary);
        if (in) {
            std::ostringstream ss;
            ss << in.rdbuf();
            committed_ = ss.str();
            ok = !in.bad() && parseRegFile(committed_, tree_, err);
        } else {
            err = {0, "it cannot be opened: " + systemMessage(errno)};
        }
    }
    if (ok)
        return;
    committed_.clear();
    tree_ = RegTree();
    const std::string aside = path_ + ".unreadable-" + timeStamp();
    fs::rename(pathFromUtf8(path_), pathFromUtf8(aside), ec);
    const std::string where =
        err.line > 0 ? "line " + std::to_string(err.line) + ": " + err.message : err.message;
    if (ec) {
        frozen_ = true;
        notice_ = "The settings file\n" + path_ + "\ncould not be read (" + where +
                  ") and could not be moved aside (" + ec.message() +
                  ").\nQuorvale starts with fresh settings and will not save them this time, "
                  "so the file stays as it is.";
    } else {
        notice_ = "The settings file\n" + path_ + "\ncould not be read (" + where +
                  ").\nIt has been kept as\n" + aside +
                  "\nand Quorvale starts with fresh settings.";
    }
}

std::string RegFileStore::takeNotice() {
    return std::exchange(notice_, std::string());
}

void RegFileStore::setRoot(RootKey root) {
    root_ = root;
}

bool RegFileStore::openKeyReadOnly(const std::string& path) {
    current_ = tree_.find(rootName(root_), path);
    currentWritable_ = false;
    return current_ != nullptr;
}

bool RegFileStore::openKey(const std::string& path, bool canCreate) {
    if (canCreate) {
        RegKey* existing = tree_.find(rootName(root_), path);
        current_ = existing ? existing : &tree_.findOrCreate(rootName(root_), path);
        if (!existing)
            dirty_ = true;
    } else {
        current_ = tree_.find(rootName(root_), path);
    }
    currentWritable_ = current_ != nullptr;
    return current_ != nullptr;
}

const RegValue* RegFileStore::findValue(const std::string& name) const {
    if (!current_)
        return nullptr;
    const auto it = current_->values.find(name);
    return it == current_->values.end() ? nullptr : &it->second;
}

std::string RegFileStore::readString(const std::string& name) {
    const RegValue* v = findValue(name);
    if (!v)
        return {};
    if (v->type != ValueType::String && v->type != ValueType::ExpandString)
        throw RegistryError::wrongType(name);
    return expandStringText(*v);
}

int32_t RegFileStore::readInteger(const std::string& name) {
    const RegValue* v = findValue(name);
    if (!v)
        throw RegistryError::missing(name);
    if (v->type != ValueType::Dword)
        throw RegistryError::wrongType(name);
    return static_cast<int32_t>(v->dword);
}

bool RegFileStore::valueExists(const std::string& name) {
    return findValue(name) != nullptr;
}

ValueType RegFileStore::valueType(const std::string& name) {
    const RegValue* v = findValue(name);
    return v ? v->type : ValueType::None;
}

RegKey& RegFileStore::writableKey(const std::string& name) {
    if (!current_ || !currentWritable_)
        throw RegistryError("Failed to set data for '" + name + "'");
    return *current_;
}

namespace {
void putValue(RegKey& key, RegValue v, bool& dirty) {
    auto it = key.values.find(v.name);
    if (it == key.values.end()) {
        key.values.emplace(v.name, std::move(v));
        dirty = true;
        return;
    }
    RegValue& old = it->second;
    if (old.type == v.type && old.text == v.text && old.dword == v.dword && old.raw == v.raw)
        return;
    v.name = old.name;
    old = std::move(v);
    dirty = true;
}
} // namespace

void RegFileStore::writeString(const std::string& name, const std::string& value) {
    RegValue v;
    v.name = name;
    v.type = ValueType::String;
    // A registry string ends at its first NUL.
    v.text = value.substr(0, value.find('\0'));
    putValue(writableKey(name), std::move(v), dirty_);
}

void RegFileStore::writeExpandString(const std::string& name, const std::string& value) {
    RegValue v;
    v.name = name;
    v.type = ValueType::ExpandString;
    for (const char16_t c : utf8ToUtf16(value.substr(0, value.find('\0')))) {
        v.raw.push_back(static_cast<uint8_t>(c & 0xFF));
        v.raw.push_back(static_cast<uint8_t>(c >> 8));
    }
    v.raw.push_back(0);
    v.raw.push_back(0);
    putValue(writableKey(name), std::move(v), dirty_);
}

void RegFileStore::writeInteger(const std::string& name, int32_t value) {
    RegValue v;
    v.name = name;
    v.type = ValueType::Dword;
    v.dword = static_cast<uint32_t>(value);
    putValue(writableKey(name), std::move(v), dirty_);
}

std::vector<std::string> RegFileStore::subKeyNames() {
    std::vector<std::string> names;
    if (!current_)
        return names;
    names.reserve(current_->subkeys.size());
    for (const auto& [n, k] : current_->subkeys)
        names.push_back(k->name);
    return names;
}

bool RegFileStore::deleteKey(const std::string& subKey) {
    if (!current_ || !currentWritable_)
        return false;
    const auto parts = splitKeyPath(subKey);
    RegKey* parent = current_;
    for (size_t i = 0; i + 1 < parts.size() && parent; ++i)
        parent = parent->child(parts[i]);
    if (!parent || parts.empty() || parent->subkeys.erase(parts.back()) == 0)
        return false;
    dirty_ = true;
    return true;
}

void RegFileStore::closeKey() {
    current_ = nullptr;
    currentWritable_ = false;
    flush();
}

void RegFileStore::flush() {
    if (!dirty_ || frozen_)
        return;
    std::string bytes = serializeRegFile(tree_);
    try {
        replaceFileAtomically(path_, bytes, beforeWriteStep);
    } catch (...) {
        // What could not be written is dropped, so that a later save does not write it
        // behind the player's back: memory holds what the file holds.
        current_ = nullptr;
        tree_ = RegTree();
        RegParseError ignored;
        if (!committed_.empty())
            parseRegFile(committed_, tree_, ignored);
        dirty_ = false;
        throw;
    }
    committed_ = std::move(bytes);
    dirty_ = false;
}

void replaceFileAtomically(const std::string& path, const std::string& bytes,
                           const std::function<void(const char*)>& beforeStep) {
    const fs::path target = pathFromUtf8(path);
    std::error_code ec;
    if (target.has_parent_path())
        fs::create_directories(target.parent_path(), ec);
    const fs::path tmp = target.parent_path() / (pathToUtf8(target.filename()) + ".tmp");
    auto failed = [&](const std::string& what) {
        std::error_code ignore;
        fs::remove(tmp, ignore);
        throw LauncherError("Could not save the settings to " + path + ": " + what);
    };
    try {
        if (beforeStep)
            beforeStep("write");
        int writeErr = 0, syncErr = 0;
        bool wrote = false, synced = false;
        {
            // Closed before anything is removed or renamed, also when a step throws.
#ifdef _WIN32
            std::unique_ptr<FILE, int (*)(FILE*)> f(_wfopen(tmp.c_str(), L"wb"), &std::fclose);
#else
            std::unique_ptr<FILE, int (*)(FILE*)> f(std::fopen(tmp.c_str(), "wb"), &std::fclose);
#endif
            if (!f)
                failed(systemMessage(errno));
            wrote = std::fwrite(bytes.data(), 1, bytes.size(), f.get()) == bytes.size();
            writeErr = errno;
            synced = std::fflush(f.get()) == 0;
            if (wrote && synced) {
                if (beforeStep)
                    beforeStep("sync");
#ifdef _WIN32
                synced = _commit(_fileno(f.get())) == 0;
#else
                synced = ::fsync(fileno(f.get())) == 0;
#endif
            }
            syncErr = errno;
        }
        if (!wrote)
            failed(systemMessage(writeErr));
        if (!synced)
            failed(systemMessage(syncErr));
        if (beforeStep)
            beforeStep("rename");
        fs::rename(tmp, target, ec);
        if (ec)
            failed(ec.message());
#ifndef _WIN32
        // Make the rename itself durable.
        if (const int dfd =
                ::open(target.parent_path().empty() ? "." : target.parent_path().c_str(),
                       O_RDONLY | O_DIRECTORY);
            dfd >= 0) {
            ::fsync(dfd);
            ::close(dfd);
        }
#endif
    } catch (const LauncherError&) {
        throw;
    } catch (const std::exception& e) {
        failed(e.what());
    }
}

} // namespace quorvale
