#include "registry_io.h"
#include "paths.h"

#include "errors.h"
#include "text.h"
#ifndef _WIN32
#include "wine_prefix.h"
#endif

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <set>
#include <utility>

namespace fs = std::filesystem;

namespace quorvale {

namespace {

bool readBoolWithFallback(RegistryStore& s, const char* name, bool fallback) {
    try {
        return s.readInteger(name) != 0;
    } catch (const RegistryError&) {
        return fallback;
    }
}

int32_t readIntWithFallback(RegistryStore& s, const char* name, int32_t fallback) {
    try {
        return s.readInteger(name);
    } catch (const RegistryError&) {
        return fallback;
    }
}

std::string readStringWithFallback(RegistryStore& s, const char* name) {
    try {
        return s.readString(name);
    } catch (const RegistryError&) {
        return {};
    }
}

void tellOverflow(LoadHost& host, StoredKeys& keys, const char* what, size_t listed) {
    if (listed <= static_cast<size_t>(TableCapacity) || keys.overflowTold)
        return;
    keys.overflowTold = true;
    host.showMessage("The settings hold " + std::to_string(listed) + " " + what +
                     ". Quorvale shows the first " + std::to_string(TableCapacity) +
                     " and leaves the other " + std::to_string(listed - TableCapacity) +
                     " in the settings as they are.");
}

// Lists a table key's subkeys and loads each entry in store order; an entry that fails to
// load ends the load with the entries before it kept (lastIndex counts only those).
template <typename Table, typename LoadEntry>
void loadTable(RegistryStore& store, Table& table, const char* key, const char* what,
               LoadHost& host, LoadEntry loadEntry) {
    store.openKey(key, true);
    auto names = store.subKeyNames();
    table.keys.listed = names;
    table.keys.loaded.clear();
    table.lastIndex = -1;
    tellOverflow(host, table.keys, what, names.size());
    const size_t n = std::min(names.size(), static_cast<size_t>(TableCapacity));
    for (size_t i = 0; i < n; ++i) {
        const int32_t id = strToInt(names[i]);
        store.openKey(std::string(key) + "\\" + names[i], true);
        table.id[i] = id;
        loadEntry(static_cast<int>(i));
        table.keys.loaded.push_back(names[i]);
        table.lastIndex = static_cast<int32_t>(i);
    }
}

// Writes every entry, then removes the subkeys this process loaded that no entry names any
// more. Subkeys it never loaded are left alone.
template <typename Table, typename WriteEntry>
void saveTable(RegistryStore& store, Table& table, const char* key, WriteEntry writeEntry) {
    std::set<std::string, bool (*)(const std::string&, const std::string&)> kept(
        [](const std::string& a, const std::string& b) { return compareNames(a, b) < 0; });
    store.openKey(key, true);
    for (int i = 0; i <= table.lastIndex; ++i) {
        const std::string sub = std::to_string(table.id[i]);
        store.openKey(std::string(key) + "\\" + sub, true);
        writeEntry(i);
        kept.insert(sub);
    }
    store.openKey(key, true);
    std::vector<std::string> loaded;
    for (const auto& name : table.keys.loaded) {
        if (!kept.count(name))
            store.deleteKey(name);
    }
    for (const auto& name : kept)
        loaded.push_back(name);
    // What this process now owns in the store: the entries it wrote.
    table.keys.loaded = std::move(loaded);
}

} // namespace

void readRegistry(RegistryStore& store, LauncherState& state, LoadHost& host,
                  const std::string& userProfile, const std::string& environmentPrefix) {
    if (const std::string notice = store.takeNotice(); !notice.empty())
        host.showMessage(notice);
    LauncherSettings& s = state.settings;

    // 1. Game folder.
    store.setRoot(RootKey::LocalMachine);
    const bool installKey = store.openKeyReadOnly(kGameInstallKey);
    s.gameInstallKeyFound = installKey;
    if (installKey)
        s.gamePath = store.readString("MAIN");
    store.closeKey();
    store.setRoot(RootKey::CurrentUser);
#ifndef _WIN32
    // A game the store does not place, and whose executable is not there yet, is looked for
    // where Linux players have it: installed in a Wine prefix.
    std::optional<std::pair<std::string, std::string>> inPrefix; // prefix, game folder
    const auto gameFolderFromPrefix = [&](const std::string& prefix) {
        if (installKey)
            return;
        if (!inPrefix || inPrefix->first != prefix)
            inPrefix.emplace(prefix, gameFolderInPrefix(prefix));
        if (!inPrefix->second.empty())
            s.gamePath = inPrefix->second;
    };
#endif

    // 2. Local address.
    host.refreshLocalAddress();

    // 3. First run.
    {
        KeyScope scope(store);
        if (!store.openKey(kLauncherKey, false)) {
            if (store.openKey(kLauncherKey, true)) {
#ifndef _WIN32
                gameFolderFromPrefix(environmentPrefix);
#endif
                host.showMessage("Select the ArmA 2 executable.");
                store.writeString("executable", host.chooseExecutable());
                store.writeInteger("nosplash", 1);
                store.writeInteger("window", 0);
                store.writeInteger("close", 0);
                store.writeInteger("watchers", 1);
                store.writeString("o_sound1", "none");
                store.writeString("o_sound2", "none");
                store.openKey(kModsKey, true);
                store.openKey(kServersKey, true);
            }
        }
        scope.close();
    }

    // 4.
    KeyScope scope(store);
    if (store.openKey(kLauncherKey, false)) {
        // 5. Executable.
        s.executable = store.readString("executable");
#ifndef _WIN32
        s.runner = readStringWithFallback(store, "runner");
        if (s.runner.empty())
            s.runner = "wine";
        s.wineprefix = readStringWithFallback(store, "wineprefix");
        const std::string prefix = winePrefixFolder(s.wineprefix, environmentPrefix);
#endif
        std::error_code ec;
        if (!fs::is_regular_file(pathFromUtf8(s.executable), ec)) {
#ifndef _WIN32
            gameFolderFromPrefix(prefix);
#endif
            host.showMessage("ArmA Executable not found! Select the correct ArmA executable.");
            const std::string chosen = host.chooseExecutable();
            store.writeString("executable", chosen);
            s.executable = chosen;
        }
        // Without the game's install key the game lives where its executable is.
        if (!installKey && fs::is_regular_file(pathFromUtf8(s.executable), ec))
            s.gamePath = pathToUtf8(pathFromUtf8(s.executable).parent_path());

        // 6.
        s.nosplash = store.readInteger("nosplash") != 0;
        s.window = store.readInteger("window") != 0;
        // 7.
        s.close = readBoolWithFallback(store, "close", false);
        s.runtir = readBoolWithFallback(store, "runtir", false);
        s.flash = readBoolWithFallback(store, "flash", true);
        s.watchers = readIntWithFallback(store, "watchers", 1);
        s.maxmem = readIntWithFallback(store, "maxmem", 0);
        // 8. The two sounds stand or fall together.
        try {
            s.sound1 = store.readString("sound1");
            s.sound2 = store.readString("sound2");
        } catch (const RegistryError&) {
            s.sound1 = "none";
            s.sound2 = "none";
        }
        s.extraParams = readStringWithFallback(store, "extraParams");
        s.extraExec = readStringWithFallback(store, "extraExec");
        if (s.sound1.empty())
            s.sound1 = "none";
        if (s.sound2.empty())
            s.sound2 = "none";

        // 9. Mods.
        ModTable& m = state.mods;
        loadTable(store, m, kModsKey, "mods", host, [&](int i) {
            m.name[i] = store.readString("name");
            m.dir[i] = store.readString("dir");
            m.checked[i] = store.readInteger("checked") != 0;
        });

        // 10. Servers.
        ServerTable& t = state.servers;
        loadTable(store, t, kServersKey, "servers", host, [&](int i) {
            t.name[i] = store.readString("name");
            t.ip[i] = store.readString("ip");
            t.port[i] = store.readString("port");
            t.pass[i] = store.readString("pass");
            t.sockets[i] = store.readInteger("sockets") != 0;
            t.mods[i] = store.readString("mods");
        });

        // 11. Player name.
        std::string player;
        if (store.openKey(kGameUserKey, false))
            player = store.readString("Player Name");
        host.setPlayerName(player);

        // 12. Profiles.
        std::vector<std::string> documents;
        if (!userProfile.empty())
            documents.push_back(pathToUtf8(pathFromUtf8(userProfile) / "My Documents"));
#ifndef _WIN32
        for (const std::string& folder : documentFoldersInPrefix(prefix))
            documents.push_back(folder);
#endif
        host.setPlayerList(findProfiles(documents));
    }
    // 13.
    scope.close();
    host.refillModList();
    host.setExecutableLabel(s.executable);
}

void saveRegistry(RegistryStore& store, LauncherState& state) {
    store.setRoot(RootKey::CurrentUser);
    KeyScope scope(store);
    if (!store.openKey(kLauncherKey, false)) {
        scope.close();
        return;
    }
    const LauncherSettings& s = state.settings;
    store.writeString("executable", s.executable);
    store.writeInteger("nosplash", s.nosplash ? 1 : 0);
    store.writeInteger("window", s.window ? 1 : 0);
    store.writeInteger("runtir", s.runtir ? 1 : 0);
    store.writeInteger("flash", s.flash ? 1 : 0);
    store.writeInteger("close", s.close ? 1 : 0);
    store.writeString("sound1", s.sound1);
    store.writeString("sound2", s.sound2);
    store.writeInteger("watchers", s.watchers);
    store.writeInteger("maxmem", s.maxmem);
    store.writeString("extraParams", s.extraParams);
    store.writeString("extraExec", s.extraExec);
#ifndef _WIN32
    store.writeString("runner", s.runner);
    store.writeString("wineprefix", s.wineprefix);
#endif

    ModTable& m = state.mods;
    saveTable(store, m, kModsKey, [&](int i) {
        store.writeString("name", m.name[i]);
        store.writeString("dir", m.dir[i]);
        store.writeInteger("checked", m.checked[i] ? 1 : 0);
    });
    ServerTable& t = state.servers;
    saveTable(store, t, kServersKey, [&](int i) {
        store.writeString("name", t.name[i]);
        store.writeString("ip", t.ip[i]);
        store.writeString("pass", t.pass[i]);
        store.writeString("port", t.port[i]);
        store.writeString("mods", t.mods[i]);
        store.writeInteger("sockets", t.sockets[i] ? 1 : 0);
    });
    scope.close();
}

void writeExecutableChoice(RegistryStore& store, LoadHost& host) {
    store.setRoot(RootKey::CurrentUser);
    KeyScope scope(store);
    if (store.openKey(kLauncherKey, false)) {
        host.showMessage("Select the ArmA 2 executable.");
        store.writeString("executable", host.chooseExecutable());
    }
    scope.close();
}

std::string userProfileFolder() {
    if (const char* p = std::getenv("USERPROFILE"); p && *p)
        return p;
    if (const char* h = std::getenv("HOME"); h && *h)
        return h;
    return {};
}

std::vector<std::string> findProfiles(const std::vector<std::string>& documentFolders) {
    static const std::string ext = ".armaprofile";
    std::vector<std::string> names;
    for (const std::string& documents : documentFolders) {
        const fs::path folder = pathFromUtf8(documents) / "ArmA 2";
        std::error_code ec;
        fs::directory_iterator it(folder, ec), end;
        for (; !ec && it != end; it.increment(ec)) {
            const std::string file = pathToUtf8(it->path().filename());
            std::string lower = file;
            std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) {
                return static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
            });
            if (lower.size() < ext.size() ||
                lower.compare(lower.size() - ext.size(), ext.size(), ext))
                continue;
            // Cut before the first ".ArmAProfile"; the match ignores case as the file search does.
            names.push_back(file.substr(0, lower.find(ext)));
        }
    }
    // The order a Windows folder search gives on NTFS: by name, without regard to case; a name
    // found in two folders is one profile.
    std::stable_sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
        return compareNames(a, b) < 0;
    });
    names.erase(std::unique(names.begin(), names.end(), sameName), names.end());
    return names;
}

namespace {
template <typename Table> int32_t newId(const Table& table, std::mt19937& rng, int32_t base) {
    std::uniform_int_distribution<int32_t> dist(0, 9'999'999);
    for (;;) {
        const int32_t id = dist(rng) + base;
        const std::string text = std::to_string(id);
        bool used = false;
        for (int i = 0; i <= table.lastIndex && !used; ++i)
            used = table.id[i] == id;
        for (size_t k = 0; k < table.keys.listed.size() && !used; ++k)
            used = sameName(table.keys.listed[k], text);
        if (!used)
            return id;
    }
}
} // namespace

int32_t newModId(const ModTable& mods, std::mt19937& rng, int32_t base) {
    return newId(mods, rng, base);
}
int32_t newServerId(const ServerTable& servers, std::mt19937& rng, int32_t base) {
    return newId(servers, rng, base);
}

} // namespace quorvale
