#include "reg_file_store.h"
#include "paths.h"

#include "errors.h"
#include "text.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <optional>
#include <thread>
#include <utility>

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <fcntl.h>
#include <io.h>
#include <process.h>
#include <sys/stat.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
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

#ifdef _WIN32
int currentProcessId() {
    return _getpid();
}
#else
int currentProcessId() {
    return static_cast<int>(::getpid());
}
#endif

// The file a path names: symbolic links followed, also to a file that is not there yet, so
// that a save replaces the file and keeps the link.
fs::path followLinks(fs::path p) {
#ifndef _WIN32
    for (int hop = 0; hop < 40; ++hop) {
        std::error_code ec;
        if (!fs::is_symlink(fs::symlink_status(p, ec)))
            break;
        const fs::path to = fs::read_symlink(p, ec);
        if (ec)
            break;
        p = to.is_absolute() ? to : p.parent_path() / to;
    }
#endif
    return p;
}

// What is at the store's path, and its bytes when it is a settings file to read.
struct StoreFile {
    enum Kind { Missing, Regular, Folder, Special, TooLarge, Unopenable } kind = Missing;
    std::string bytes;
    std::string error; // Unopenable: why
    uint64_t size = 0;
    FileStamp stamp;
};

#ifdef _WIN32
FileStamp stampOf(const fs::path& p) {
    FileStamp s;
    const HANDLE h = CreateFileW(p.c_str(), FILE_READ_ATTRIBUTES,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return s;
    BY_HANDLE_FILE_INFORMATION info{};
    if (GetFileInformationByHandle(h, &info)) {
        auto both = [](DWORD high, DWORD low) { return uint64_t{high} << 32 | low; };
        s.exists = true;
        // The file index, like an inode, is new with every replace.
        s.id = {info.dwVolumeSerialNumber, both(info.nFileIndexHigh, info.nFileIndexLow),
                both(info.nFileSizeHigh, info.nFileSizeLow),
                both(info.ftLastWriteTime.dwHighDateTime, info.ftLastWriteTime.dwLowDateTime),
                both(info.ftCreationTime.dwHighDateTime, info.ftCreationTime.dwLowDateTime)};
    }
    CloseHandle(h);
    return s;
}

StoreFile readStoreFile(const fs::path& p) {
    StoreFile f;
    std::error_code ec;
    const fs::file_status st = fs::status(p, ec);
    if (st.type() == fs::file_type::not_found)
        return f;
    if (st.type() == fs::file_type::directory) {
        f.kind = StoreFile::Folder;
        return f;
    }
    if (ec || st.type() != fs::file_type::regular) {
        f.kind = ec ? StoreFile::Unopenable : StoreFile::Special;
        f.error = ec.message();
        return f;
    }
    f.size = fs::file_size(p, ec);
    if (!ec && f.size > RegFileStore::MaxFileSize) {
        f.kind = StoreFile::TooLarge;
        return f;
    }
    f.stamp = stampOf(p);
    FILE* in = _wfopen(p.c_str(), L"rb");
    if (!in) {
        f.kind = StoreFile::Unopenable;
        f.error = systemMessage(errno);
        return f;
    }
    char buf[65536];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, in)) > 0 &&
           f.bytes.size() <= RegFileStore::MaxFileSize)
        f.bytes.append(buf, n);
    const bool bad = std::ferror(in);
    std::fclose(in);
    f.kind = bad ? StoreFile::Unopenable
                 : (f.bytes.size() > RegFileStore::MaxFileSize ? StoreFile::TooLarge
                                                               : StoreFile::Regular);
    if (bad)
        f.error = "a read failed";
    f.size = std::max<uint64_t>(f.size, f.bytes.size());
    return f;
}
#else
FileStamp stampOf(const struct stat& st) {
    FileStamp s;
    s.exists = true;
    s.id = {static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino),
            static_cast<uint64_t>(st.st_size),
            static_cast<uint64_t>(st.st_mtim.tv_sec) * 1000000000u +
                static_cast<uint64_t>(st.st_mtim.tv_nsec),
            static_cast<uint64_t>(st.st_ctim.tv_sec) * 1000000000u +
                static_cast<uint64_t>(st.st_ctim.tv_nsec)};
    return s;
}

FileStamp stampOf(const fs::path& p) {
    struct stat st {};
    return ::stat(p.c_str(), &st) == 0 ? stampOf(st) : FileStamp{};
}

StoreFile readStoreFile(const fs::path& p) {
    StoreFile f;
    struct stat st {};
    // Looked at before it is opened: opening a device or a pipe can block or do something.
    if (::stat(p.c_str(), &st) != 0) {
        if (errno != ENOENT) {
            f.kind = StoreFile::Unopenable;
            f.error = systemMessage(errno);
        }
        return f;
    }
    if (S_ISDIR(st.st_mode)) {
        f.kind = StoreFile::Folder;
        return f;
    }
    if (!S_ISREG(st.st_mode)) {
        f.kind = StoreFile::Special;
        return f;
    }
    const int fd = ::open(p.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        f.kind = StoreFile::Unopenable;
        f.error = systemMessage(errno);
        return f;
    }
    // The same checks on what was opened, in case the path changed in between.
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        f.kind = StoreFile::Special;
        return f;
    }
    f.size = static_cast<uint64_t>(st.st_size);
    f.stamp = stampOf(st);
    if (f.size > RegFileStore::MaxFileSize) {
        ::close(fd);
        f.kind = StoreFile::TooLarge;
        return f;
    }
    f.bytes.resize(static_cast<size_t>(f.size) + 1);
    size_t got = 0;
    for (;;) {
        if (got == f.bytes.size()) {
            if (f.bytes.size() > RegFileStore::MaxFileSize)
                break;
            f.bytes.resize(std::min<size_t>(f.bytes.size() * 2, RegFileStore::MaxFileSize + 1));
        }
        const ssize_t n = ::read(fd, f.bytes.data() + got, f.bytes.size() - got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            f.kind = StoreFile::Unopenable;
            f.error = systemMessage(errno);
            ::close(fd);
            return f;
        }
        if (n == 0)
            break;
        got += static_cast<size_t>(n);
    }
    ::close(fd);
    f.bytes.resize(got);
    f.size = std::max<uint64_t>(f.size, got);
    f.kind = got > RegFileStore::MaxFileSize ? StoreFile::TooLarge : StoreFile::Regular;
    return f;
}
#endif

// Holds the store's lock file, so that two processes never read, merge and write the store
// at the same time. One try, never a wait: a save that finds the lock taken keeps its changes
// for a later one, and a lock that cannot be taken at all is told, never skipped.
class StoreLock {
public:
    enum State { Held, Busy, Unusable };

    explicit StoreLock(const fs::path& target) : path_(target) {
        path_ += ".lock";
#ifdef _WIN32
        handle_ = CreateFileW(path_.c_str(), GENERIC_READ | GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (handle_ == INVALID_HANDLE_VALUE) {
            unusable(GetLastError());
            return;
        }
        OVERLAPPED ov{};
        if (LockFileEx(handle_, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &ov))
            state_ = Held;
        else if (const DWORD err = GetLastError(); err == ERROR_LOCK_VIOLATION)
            state_ = Busy;
        else
            unusable(err);
#else
        // Never through a link: one to elsewhere would lock a file the other launcher
        // does not use.
        fd_ = ::open(path_.c_str(),
                     O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY, 0600);
        if (fd_ < 0) {
            why_ = errno == ELOOP ? "it is a symbolic link" : systemMessage(errno);
            return;
        }
        struct stat st {};
        if (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode)) {
            why_ = "it is not a regular file";
            return;
        }
        int r;
        while ((r = ::flock(fd_, LOCK_EX | LOCK_NB)) != 0 && errno == EINTR) {
        }
        if (r == 0)
            state_ = Held;
        else if (errno == EWOULDBLOCK)
            state_ = Busy;
        else
            why_ = systemMessage(errno);
#endif
    }
    ~StoreLock() {
#ifdef _WIN32
        if (state_ == Held) {
            OVERLAPPED ov{};
            UnlockFileEx(handle_, 0, 1, 0, &ov);
        }
        if (handle_ != INVALID_HANDLE_VALUE)
            CloseHandle(handle_);
#else
        if (fd_ >= 0)
            ::close(fd_); // also lets go of the lock
#endif
    }
    StoreLock(const StoreLock&) = delete;
    StoreLock& operator=(const StoreLock&) = delete;

    State state() const {
        return state_;
    }
    const fs::path& path() const {
        return path_;
    }
    const std::string& why() const {
        return why_;
    } // Unusable: the reason

private:
#ifdef _WIN32
    void unusable(DWORD err) {
        std::error_code ec;
        why_ =
            fs::is_directory(path_, ec) ? "it is a folder" : "Windows error " + std::to_string(err);
    }
    HANDLE handle_ = INVALID_HANDLE_VALUE;
#else
    int fd_ = -1;
#endif
    fs::path path_;
    State state_ = Unusable;
    std::string why_;
};

std::string tempPrefix(const fs::path& target) {
    return pathToUtf8(target.filename()) + ".tmp-";
}

// Temp files of saves that died before their rename. Only called with the lock held, when no
// other save can be writing one.
void removeStaleTemps(const fs::path& target) {
    const std::string prefix = tempPrefix(target);
    const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        if (pathToUtf8(it->path().filename()).rfind(prefix, 0) == 0) {
            std::error_code ignore;
            fs::remove(it->path(), ignore);
        }
    }
}

// Moves a file to a name that is not taken, never over another file. 0, EEXIST or an errno.
int moveWithoutReplacing(const fs::path& from, const fs::path& to) {
#ifdef _WIN32
    std::error_code ec;
    if (fs::exists(to, ec))
        return EEXIST;
    if (_wrename(from.c_str(), to.c_str()) == 0)
        return 0;
    const int err = errno;
    return fs::exists(to, ec) ? EEXIST : err;
#else
    if (::link(from.c_str(), to.c_str()) == 0) {
        ::unlink(from.c_str());
        return 0;
    }
    if (errno == EEXIST)
        return EEXIST;
    // A file system without hard links.
    struct stat st {};
    if (::lstat(to.c_str(), &st) == 0)
        return EEXIST;
    return ::rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
#endif
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

RegFileStore::RegFileStore(std::string path)
    : path_(std::move(path)), target_(pathToUtf8(followLinks(pathFromUtf8(path_)))) {
#ifdef _WIN32
    // Windows cannot rename over a file another process has open: the read waits a moment
    // for a save under way (at start-up, before any window).
    std::optional<StoreLock> lock;
    for (int tries = 0; tries < 1000; ++tries) {
        lock.emplace(pathFromUtf8(target_));
        if (lock->state() != StoreLock::Busy)
            break;
        lock.reset();
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
#endif
    const StoreFile f = readStoreFile(pathFromUtf8(target_));
    std::string why; // the path holds something that is not ours to read or replace
    switch (f.kind) {
    case StoreFile::Missing:
        return; // first run
    case StoreFile::Folder:
        why = "is a folder, not a settings file";
        break;
    case StoreFile::Special:
        why = "is not a regular file (a device, a pipe or a socket), so it is not read";
        break;
    case StoreFile::TooLarge:
        why = "is larger than 64 MiB (" + std::to_string(f.size) +
              " bytes), too large to be a settings file";
        break;
    default:
        break;
    }
    if (!why.empty()) {
        frozen_ = true;
        notice_ = "The settings file\n" + path_ + "\n" + why +
                  ".\nQuorvale starts with fresh settings and will not save them this time, so "
                  "it stays as it is.";
        return;
    }
    RegParseError err;
    if (f.kind == StoreFile::Regular && parseRegFile(f.bytes, tree_, err)) {
        stamp_ = f.stamp;
        return;
    }
    if (f.kind == StoreFile::Unopenable)
        err = {0, "it cannot be opened: " + f.error};
    tree_ = RegTree();
    setAside(err);
}

// Keeps an unreadable file under a name that says so and that no other file has.
void RegFileStore::setAside(const RegParseError& err) {
    const std::string base = target_ + ".unreadable-" + timeStamp();
    std::string aside = base;
    int moved = EEXIST;
    for (int n = 2; moved == EEXIST && n < 10000; ++n) {
        moved = moveWithoutReplacing(pathFromUtf8(target_), pathFromUtf8(aside));
        if (moved == EEXIST)
            aside = base + "-" + std::to_string(n);
    }
    const std::string where =
        err.line > 0 ? "line " + std::to_string(err.line) + ": " + err.message : err.message;
    if (moved != 0) {
        frozen_ = true;
        notice_ = "The settings file\n" + path_ + "\ncould not be read (" + where +
                  ") and could not be moved aside (" + systemMessage(moved) +
                  ").\nQuorvale starts with fresh settings and will not save them this time, "
                  "so the file stays as it is.";
    } else {
        notice_ = "The settings file\n" + path_ + "\ncould not be read (" + where +
                  ").\nIt has been kept as\n" + aside +
                  "\nand Quorvale starts with fresh settings.";
    }
    stamp_ = FileStamp{};
}

std::string RegFileStore::takeNotice() {
    return std::exchange(notice_, std::string());
}

void RegFileStore::setRoot(RootKey root) {
    root_ = root;
}

void RegFileStore::open(RegKey* key, std::vector<std::string> parts, bool writable) {
    current_ = key;
    currentRoot_ = rootName(root_);
    currentPath_ = std::move(parts);
    currentWritable_ = writable && key;
}

bool RegFileStore::openKeyReadOnly(const std::string& path) {
    auto parts = splitKeyPath(path);
    RegKey* k = tree_.find(rootName(root_), parts);
    open(k, std::move(parts), false);
    return k != nullptr;
}

bool RegFileStore::openKey(const std::string& path, bool canCreate) {
    openedForWriting_ = true;
    auto parts = splitKeyPath(path);
    RegKey* k = tree_.find(rootName(root_), parts);
    if (!k && canCreate && parts.size() <= MaxKeyDepth) {
        k = &tree_.findOrCreate(rootName(root_), parts);
        changes_.push_back({Change::CreateKey, rootName(root_), parts, {}});
    }
    open(k, std::move(parts), true);
    return k != nullptr;
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
    if (v->type != ValueType::Dword || v->inHex())
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
// Sets a value in a key, keeping the name as first written; false when it was so already.
bool setValue(RegKey& key, RegValue v) {
    auto it = key.values.find(v.name);
    if (it == key.values.end()) {
        key.values.emplace(v.name, std::move(v));
        return true;
    }
    RegValue& old = it->second;
    if (old == v)
        return false;
    v.name = old.name;
    old = std::move(v);
    return true;
}
} // namespace

void RegFileStore::putValue(const std::string& name, RegValue v) {
    RegKey& key = writableKey(name);
    v.name = name;
    if (setValue(key, v))
        changes_.push_back({Change::SetValue, currentRoot_, currentPath_, std::move(v)});
}

void RegFileStore::writeString(const std::string& name, const std::string& value) {
    RegValue v;
    v.type = ValueType::String;
    // A registry string ends at its first NUL.
    v.text = value.substr(0, value.find('\0'));
    putValue(name, std::move(v));
}

void RegFileStore::writeExpandString(const std::string& name, const std::string& value) {
    RegValue v;
    v.type = ValueType::ExpandString;
    for (const char16_t c : utf8ToUtf16(value.substr(0, value.find('\0')))) {
        v.raw.push_back(static_cast<uint8_t>(c & 0xFF));
        v.raw.push_back(static_cast<uint8_t>(c >> 8));
    }
    v.raw.push_back(0);
    v.raw.push_back(0);
    putValue(name, std::move(v));
}

void RegFileStore::writeInteger(const std::string& name, int32_t value) {
    RegValue v;
    v.type = ValueType::Dword;
    v.dword = static_cast<uint32_t>(value);
    putValue(name, std::move(v));
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
    std::vector<std::string> full = currentPath_;
    full.insert(full.end(), parts.begin(), parts.end());
    changes_.push_back({Change::DeleteKey, currentRoot_, std::move(full), {}});
    return true;
}

void RegFileStore::closeKey() {
    current_ = nullptr;
    currentWritable_ = false;
    // Keys only read since the last close save nothing: a read (of the TrackIR folder at a
    // launch) never fails for a save that has to wait.
    if (std::exchange(openedForWriting_, false))
        flush();
}

// Another process saved the file since this one read it: this process's changes are made
// again on what the file holds now, and the result becomes this store's tree.
void RegFileStore::mergeWithFile() {
    const StoreFile f = readStoreFile(pathFromUtf8(target_));
    const std::string cannot = "Could not save the settings to " + path_ + ": ";
    switch (f.kind) {
    case StoreFile::Missing:
        return; // written whole from memory
    case StoreFile::Regular:
        if (f.stamp == stamp_)
            return;
        break;
    case StoreFile::Folder:
        throw StoreWriteError(cannot + "it is a folder now.");
    case StoreFile::Special:
        throw StoreWriteError(cannot + "it is not a regular file now.");
    case StoreFile::TooLarge:
        throw StoreWriteError(cannot + "it has grown larger than 64 MiB.");
    case StoreFile::Unopenable:
        throw StoreWriteError(cannot + f.error);
    }
    RegTree fresh;
    RegParseError err;
    if (!parseRegFile(f.bytes, fresh, err)) {
        // Not ours to overwrite: kept aside, told at the next load, and this tree written.
        setAside(err);
        if (frozen_)
            throw StoreWriteError(cannot + "the file there now cannot be read or moved aside.");
        return;
    }
    for (const Change& c : changes_) {
        switch (c.kind) {
        case Change::CreateKey:
            fresh.findOrCreate(c.root, c.path);
            break;
        case Change::SetValue: {
            RegKey* k = fresh.find(c.root, c.path);
            if (!k) {
                // The key went away meanwhile: it comes back whole, as this process has it.
                k = &fresh.findOrCreate(c.root, c.path);
                if (const RegKey* mine = tree_.find(c.root, c.path))
                    k->values = mine->values;
            }
            setValue(*k, c.value);
            break;
        }
        case Change::DeleteKey: {
            std::vector<std::string> parent(c.path.begin(), c.path.end() - 1);
            if (RegKey* p = fresh.find(c.root, parent))
                p->subkeys.erase(c.path.back());
            break;
        }
        }
    }
    tree_ = std::move(fresh);
    stamp_ = f.stamp;
    current_ = current_ ? tree_.find(currentRoot_, currentPath_) : nullptr;
}

void RegFileStore::flush() {
    if (changes_.empty() || frozen_)
        return;
    const fs::path target = pathFromUtf8(target_);
    std::error_code ec;
    if (target.has_parent_path())
        fs::create_directories(target.parent_path(), ec); // the first save: the lock goes there
    const std::string cannot = "Could not save the settings to " + path_ + ": ";
    StoreLock lock(target);
    if (lock.state() == StoreLock::Busy)
        throw StoreBusyError("The settings file " + path_ +
                             " is being saved by another Quorvale; the changes are kept and saved "
                             "when it has finished.");
    if (lock.state() == StoreLock::Unusable)
        throw StoreWriteError(cannot + "its lock file\n" + pathToUtf8(lock.path()) +
                              "\ncannot be used (" + lock.why() +
                              "). Quorvale saves only while it holds that lock, so that two "
                              "launchers never save over each other.");
    removeStaleTemps(target);
    mergeWithFile();
    const std::string bytes = serializeRegFile(tree_);
    // Written, it would be refused at the next start.
    if (bytes.size() > MaxFileSize)
        throw StoreWriteError(cannot + "they would take " + std::to_string(bytes.size()) +
                              " bytes, more than the 64 MiB a settings file may hold. The file "
                              "keeps what it held.");
    replaceFileAtomically(target_, bytes, beforeWriteStep);
    stamp_ = stampOf(target);
    changes_.clear();
}

void replaceFileAtomically(const std::string& path, const std::string& bytes,
                           const std::function<void(const char*)>& beforeStep) {
    const fs::path target = pathFromUtf8(path);
    std::error_code ec;
    if (target.has_parent_path())
        fs::create_directories(target.parent_path(), ec);
    static std::atomic<unsigned> serial{0};
    fs::path tmp;
    int fd = -1;
    auto failed = [&](const std::string& what) {
        if (fd >= 0) {
#ifdef _WIN32
            _close(fd);
#else
            ::close(fd);
#endif
            fd = -1;
        }
        std::error_code ignore;
        if (!tmp.empty())
            fs::remove(tmp, ignore);
        throw StoreWriteError("Could not save the settings to " + path + ": " + what);
    };
    auto step = [&](const char* name) {
        if (beforeStep)
            beforeStep(name);
    };
    try {
        // A temp name of this save's own: two saves at once never write into one file.
        for (int attempt = 0; fd < 0; ++attempt) {
            tmp = target.parent_path() / (tempPrefix(target) + std::to_string(currentProcessId()) +
                                          "-" + std::to_string(serial++));
            step("create");
#ifdef _WIN32
            fd = _wopen(tmp.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT,
                        _S_IREAD | _S_IWRITE);
#else
            // 0600 for a new store (it holds server passwords); an old file's mode is kept.
            fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
#endif
            if (fd < 0 && (errno != EEXIST || attempt >= 100)) {
                const int err = errno;
                tmp.clear(); // not ours to remove
                failed(systemMessage(err));
            }
        }
#ifndef _WIN32
        struct stat old {};
        if (::stat(target.c_str(), &old) == 0 && S_ISREG(old.st_mode)) {
            if (old.st_uid != ::geteuid() || old.st_gid != ::getegid())
                (void)!::fchown(fd, old.st_uid, old.st_gid);
            if (::fchmod(fd, old.st_mode & 07777) != 0)
                failed(systemMessage(errno));
        }
#endif
        step("write");
        for (size_t done = 0; done < bytes.size();) {
#ifdef _WIN32
            const int n =
                _write(fd, bytes.data() + done,
                       static_cast<unsigned>(std::min<size_t>(bytes.size() - done, 1u << 30)));
#else
            const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
            if (n < 0 && errno == EINTR)
                continue;
#endif
            if (n <= 0)
                failed(systemMessage(n < 0 ? errno : EIO));
            done += static_cast<size_t>(n);
        }
        step("sync");
#ifdef _WIN32
        if (_commit(fd) != 0)
            failed(systemMessage(errno));
        const int closed = _close(fd);
#else
        if (::fsync(fd) != 0)
            failed(systemMessage(errno));
        const int closed = ::close(fd);
#endif
        fd = -1;
        if (closed != 0)
            failed(systemMessage(errno));
        step("rename");
        fs::rename(tmp, target, ec);
        if (ec)
            failed(ec.message());
        tmp.clear();
        step("dirsync");
#ifndef _WIN32
        // Make the rename itself durable.
        if (const int dfd =
                ::open(target.parent_path().empty() ? "." : target.parent_path().c_str(),
                       O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            dfd >= 0) {
            ::fsync(dfd);
            ::close(dfd);
        }
#endif
    } catch (const StoreWriteError&) {
        throw;
    } catch (const std::exception& e) {
        failed(e.what());
    }
}

} // namespace quorvale
