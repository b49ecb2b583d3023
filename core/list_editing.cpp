#include "list_editing.h"

#include "paths.h"
#include "registry_io.h"

#include <filesystem>

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#endif

namespace fs = std::filesystem;

namespace quorvale {

std::vector<bool> modTicks(std::string_view mods, const ModTable& table) {
    std::vector<bool> ticks(static_cast<size_t>(table.count()), false);
    std::string token;
    for (const char c : mods) {
        if (c == ';') {
            for (int i = 0; i <= table.lastIndex; ++i)
                if (table.dir[i] == token)
                    ticks[static_cast<size_t>(i)] = true;
            token.clear();
        } else if (c != '\0') {
            token += c;
        }
    }
    return ticks;
}

std::string modsFromTicks(const std::vector<bool>& ticks, const ModTable& table) {
    std::string mods;
    for (int i = 0; i <= table.lastIndex && static_cast<size_t>(i) < ticks.size(); ++i)
        if (ticks[static_cast<size_t>(i)])
            mods += table.dir[i] + ";";
    return mods;
}

namespace {
// The slot a save goes to: the selected one, or a new one with a fresh id; -1 when full.
template <typename Table, typename NewId> int saveSlot(Table& table, int selected, NewId newId) {
    if (selected >= 0 && selected <= table.lastIndex)
        return selected;
    if (table.count() >= TableCapacity)
        return -1;
    const int k = table.lastIndex + 1;
    table.id[k] = newId();
    table.lastIndex = k;
    return k;
}
} // namespace

bool saveModEntry(ModTable& table, int selected, const std::string& name, const std::string& dir,
                  std::mt19937& rng) {
    const int k = saveSlot(table, selected, [&] { return newModId(table, rng); });
    if (k < 0)
        return false;
    if (k != selected)
        table.checked[k] = false; // a new mod starts unticked
    table.name[k] = name;
    table.dir[k] = dir;
    return true;
}

bool saveServerEntry(ServerTable& servers, int selected, const ServerFields& fields,
                     const std::vector<bool>& ticks, const ModTable& mods, std::mt19937& rng) {
    const int k = saveSlot(servers, selected, [&] { return newServerId(servers, rng); });
    if (k < 0)
        return false;
    servers.name[k] = fields.name;
    servers.ip[k] = fields.ip;
    servers.port[k] = fields.port;
    servers.queryPort[k] = fields.queryPort;
    servers.pass[k] = fields.pass;
    servers.sockets[k] = true;
    servers.mods[k] = modsFromTicks(ticks, mods);
    return true;
}

namespace {
// Moves the slots behind the selected one up by one, in place; returns the new lastIndex.
template <typename Move> int32_t closeGap(int32_t lastIndex, int selected, Move move) {
    int w = 0;
    for (int j = 0; j <= lastIndex; ++j) {
        if (w != j)
            move(w, j);
        if (j != selected)
            ++w;
    }
    return w - 1;
}
} // namespace

void deleteModEntry(ModTable& table, int selected) {
    table.lastIndex = closeGap(table.lastIndex, selected, [&](int w, int j) {
        table.name[w] = table.name[j];
        table.id[w] = table.id[j];
        table.dir[w] = table.dir[j];
        table.checked[w] = table.checked[j];
    });
}

void deleteServerEntry(ServerTable& servers, int selected) {
    servers.lastIndex = closeGap(servers.lastIndex, selected, [&](int w, int j) {
        servers.name[w] = servers.name[j];
        servers.ip[w] = servers.ip[j];
        servers.pass[w] = servers.pass[j];
        servers.port[w] = servers.port[j];
        servers.queryPort[w] = servers.queryPort[j];
        servers.sockets[w] = servers.sockets[j];
        servers.mods[w] = servers.mods[j];
    });
}

bool sameAsciiNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    for (size_t i = 0; i < a.size(); ++i)
        if (lower(a[i]) != lower(b[i]))
            return false;
    return true;
}

namespace {
bool hiddenOrSystem(const fs::directory_entry& entry, const std::string& name) {
#ifdef _WIN32
    (void)name;
    const DWORD a = GetFileAttributesW(entry.path().c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM));
#else
    (void)entry;
    return !name.empty() && name[0] == '.';
#endif
}

bool isDir(const fs::path& p) {
    std::error_code ec;
    return fs::is_directory(p, ec);
}

// Mods ship "addons" or "dta" spelled in any case ("Addons", "AddOns"); on a file system that
// tells case apart, only a look at every entry finds them.
bool holdsGameData(const fs::path& folder) {
    if (isDir(folder / "addons") || isDir(folder / "dta"))
        return true;
    std::error_code ec;
    fs::directory_iterator it(folder, fs::directory_options::skip_permission_denied, ec);
    for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
        const std::string name = pathToUtf8(it->path().filename());
        if ((sameAsciiNoCase(name, "addons") || sameAsciiNoCase(name, "dta")) && isDir(it->path()))
            return true;
    }
    return false;
}
} // namespace

ModScan scanForMods(const std::string& gamePath, const ModTable& table) {
    ModScan scan;
    if (gamePath.empty()) {
        scan.gameFolderUnknown = true;
        return scan;
    }
    const int room = std::min(MaxFoundMods, TableCapacity - table.count());
    const fs::path root = pathFromUtf8(gamePath);
    std::error_code ec;
    fs::directory_iterator it(root, fs::directory_options::skip_permission_denied, ec);
    for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
        const std::string name = pathToUtf8(it->path().filename());
        if (name == "." || name == ".." || hiddenOrSystem(*it, name))
            continue;
        const fs::path folder = root / it->path().filename();
        if (!holdsGameData(folder))
            continue;
        bool known = false;
        for (int i = 0; i <= table.lastIndex && !known; ++i)
            known = sameAsciiNoCase(table.name[i], name);
        if (known)
            continue;
        if (static_cast<int>(scan.found.size()) < room)
            scan.found.push_back(name);
        else
            ++scan.leftOut;
    }
    scan.scanLimitHit = scan.leftOut > 0 && room == MaxFoundMods;
    return scan;
}

std::string scanQuestion(const ModScan& scan) {
    std::string q = "Found mods:\r\n";
    for (const auto& n : scan.found)
        q += n + "\r\n";
    q += "\r\n\r\n";
    if (scan.leftOut > 0)
        q += leftOutMessage(scan) + "\r\n\r\n";
    return q + "Add to mods list?";
}

std::string tableFullMessage(const char* what) {
    return std::string("The ") + what + " list is full (" + std::to_string(TableCapacity) +
           " entries). Delete an entry before adding a new one.";
}

std::string leftOutMessage(const ModScan& scan) {
    const int n = scan.leftOut;
    if (scan.scanLimitHit)
        return std::to_string(n) + (n == 1 ? " more mod folder is" : " more mod folders are") +
               " left out: one scan adds at most " + std::to_string(MaxFoundMods) +
               " mods. Scan again to add " + (n == 1 ? "it." : "them.");
    return std::to_string(n) + (n == 1 ? " more mod folder does" : " more mod folders do") +
           " not fit in the mod list (at most " + std::to_string(TableCapacity) + " entries) and " +
           (n == 1 ? "is" : "are") + " left out.";
}

void addFoundMods(ModTable& table, const std::vector<std::string>& names, std::mt19937& rng,
                  const std::function<void(const std::string&)>& trace) {
    for (const auto& n : names) {
        if (table.count() >= TableCapacity)
            return;
        if (trace)
            trace("ADD:" + n);
        const int k = table.lastIndex + 1;
        table.id[k] = newModId(table, rng, k);
        table.lastIndex = k;
        table.name[k] = n;
        table.dir[k] = n;
        table.checked[k] = false;
    }
}

} // namespace quorvale
