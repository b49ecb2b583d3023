#include "registry_io.h"
#include "paths.h"

#include "errors.h"
#include "text.h"
#ifndef _WIN32
#include "wine_prefix.h"
#endif

#include <algorithm>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <optional>
#include <set>
#include <utility>

namespace fs = std::filesystem;

namespace quorvale {

namespace {

// Reads of the launcher key's own values. Each value read (or fallen back) counts as read,
// so that the save writes it back; a value the load never came to is not written.
class SettingsLoad {
public:
    SettingsLoad(RegistryStore& store, LauncherState& state)
        : store_(store), stored_(state.storedSettings) {
        stored_.read.clear();
        stored_.asLoaded = state.settings;
    }
    // No fallback: a failed read throws.
    bool flag(const char* name) { return read(name, store_.readInteger(name) != 0); }
    std::string text(const char* name) { return read(name, store_.readString(name)); }
    bool flag(const char* name, bool fallback) { return number(name, fallback ? 1 : 0) != 0; }
    int32_t number(const char* name, int32_t fallback) {
        try {
            return read(name, store_.readInteger(name));
        } catch (const RegistryError&) {
            return read(name, fallback);
        }
    }
    std::string text(const char* name, const std::string& fallback) {
        try {
            return read(name, store_.readString(name));
        } catch (const RegistryError&) {
            return read(name, fallback);
        }
    }
    template <typename T> T read(const char* name, T value) {
        stored_.read.insert(name);
        return value;
    }

private:
    RegistryStore& store_;
    StoredValues& stored_;
};

// Writes of the launcher key's own values: each one only when this run read it or the player
// changed it since the load.
class SettingsSave {
public:
    SettingsSave(RegistryStore& store, LauncherState& state)
        : store_(store), stored_(state.storedSettings), now_(state.settings) {}
    void put(const char* name, std::string LauncherSettings::*field) {
        if (wanted(name, field))
            store_.writeString(name, now_.*field);
    }
    void put(const char* name, bool LauncherSettings::*field) {
        if (wanted(name, field))
            store_.writeInteger(name, now_.*field ? 1 : 0);
    }
    void put(const char* name, int32_t LauncherSettings::*field) {
        if (wanted(name, field))
            store_.writeInteger(name, now_.*field);
    }

private:
    template <typename T> bool wanted(const char* name, T LauncherSettings::*field) {
        if (!stored_.read.count(name) && now_.*field == stored_.asLoaded.*field)
            return false;
        stored_.read.insert(name); // written: this run's from now on
        return true;
    }
    RegistryStore& store_;
    StoredValues& stored_;
    const LauncherSettings& now_;
};

// A table value added later: missing or unreadable is empty and does not end the load.
std::string optionalText(RegistryStore& store, const char* name) {
    if (!store.valueExists(name))
        return {};
    try {
        return store.readString(name);
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
                  const std::string& userProfile,
                  [[maybe_unused]] const std::string& environmentPrefix) {
    if (const std::string notice = store.takeNotice(); !notice.empty())
        host.showMessage(notice);
    LauncherSettings& s = state.settings;
    SettingsLoad in(store, state);
    // A store that cannot write its file does not end the load: what it holds in memory is
    // loaded and shown, so that the window and a launch agree; the failure is told at the end.
    std::exception_ptr notWritten;
    auto closeKeepingFailure = [&](KeyScope& scope) {
        try {
            scope.close();
        } catch (const StoreWriteError&) {
            if (!notWritten)
                notWritten = std::current_exception();
        }
    };

    // 1. Game folder.
    store.setRoot(RootKey::LocalMachine);
    bool installKey;
    {
        KeyScope scope(store);
        installKey = store.openKeyReadOnly(kGameInstallKey);
        if (installKey)
            s.gamePath = store.readString("MAIN");
        closeKeepingFailure(scope);
    }
    s.gameInstallKeyFound = installKey;
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
        closeKeepingFailure(scope);
    }

    // 4.
    KeyScope scope(store);
    if (store.openKey(kLauncherKey, false)) {
        // 5. Executable.
        s.executable = in.text("executable");
#ifndef _WIN32
        // Older stores have neither value; a save leaves them without until the player sets one.
        s.runner = store.valueExists("runner") ? in.text("runner", "") : std::string();
        if (s.runner.empty())
            s.runner = "wine";
        s.wineprefix = store.valueExists("wineprefix") ? in.text("wineprefix", "") : std::string();
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
        s.nosplash = in.flag("nosplash");
        s.window = in.flag("window");
        // 7.
        s.close = in.flag("close", false);
        s.runtir = in.flag("runtir", false);
        s.flash = in.flag("flash", true);
        s.watchers = in.number("watchers", 1);
        s.maxmem = in.number("maxmem", 0);
        // 8. The two sounds stand or fall together.
        try {
            s.sound1 = in.text("sound1");
            s.sound2 = in.text("sound2");
        } catch (const RegistryError&) {
            s.sound1 = in.read("sound1", std::string("none"));
            s.sound2 = in.read("sound2", std::string("none"));
        }
        s.extraParams = in.text("extraParams", "");
        s.extraExec = in.text("extraExec", "");
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
            t.queryPort[i] = optionalText(store, "queryport");
        });

        // 11. Player name.
        std::string player;
        if (store.openKey(kGameUserKey, false))
            player = store.readString("Player Name");
        host.setPlayerName(player);

        // 12. Profiles.
        std::vector<std::string> documents;
        if (!userProfile.empty())
            for (const char* folder : {"Documents", "My Documents"})
                documents.push_back(pathToUtf8(pathFromUtf8(userProfile) / folder));
#ifndef _WIN32
        for (const std::string& folder : documentFoldersInPrefix(prefix))
            documents.push_back(folder);
#endif
        host.setPlayerList(findProfiles(documents));
    }
    // 13.
    closeKeepingFailure(scope);
    host.refillModList();
    host.setExecutableLabel(s.executable);
    if (notWritten)
        std::rethrow_exception(notWritten);
}

void saveRegistry(RegistryStore& store, LauncherState& state) {
    store.setRoot(RootKey::CurrentUser);
    KeyScope scope(store);
    if (!store.openKey(kLauncherKey, false)) {
        scope.close();
        return;
    }
    {
        SettingsSave out(store, state);
        out.put("executable", &LauncherSettings::executable);
        out.put("nosplash", &LauncherSettings::nosplash);
        out.put("window", &LauncherSettings::window);
        out.put("runtir", &LauncherSettings::runtir);
        out.put("flash", &LauncherSettings::flash);
        out.put("close", &LauncherSettings::close);
        out.put("sound1", &LauncherSettings::sound1);
        out.put("sound2", &LauncherSettings::sound2);
        out.put("watchers", &LauncherSettings::watchers);
        out.put("maxmem", &LauncherSettings::maxmem);
        out.put("extraParams", &LauncherSettings::extraParams);
        out.put("extraExec", &LauncherSettings::extraExec);
#ifndef _WIN32
        out.put("runner", &LauncherSettings::runner);
        out.put("wineprefix", &LauncherSettings::wineprefix);
#endif
    }
    state.storedSettings.asLoaded = state.settings;

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
        // Written only when set, so that stores stay as older builds wrote them; a value left
        // from before is emptied, as the slot may now hold another server.
        if (!t.queryPort[i].empty() || store.valueExists("queryport"))
            store.writeString("queryport", t.queryPort[i]);
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

namespace {

int hexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if ((c | 0x20) >= 'a' && (c | 0x20) <= 'f')
        return (c | 0x20) - 'a' + 10;
    return -1;
}

// The game writes a profile's blanks and other characters as %XX in its file and folder names.
std::string percentDecoded(const std::string& s) {
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        const int hi = s[i] == '%' && i + 2 < s.size() ? hexDigit(s[i + 1]) : -1;
        const int lo = hi >= 0 ? hexDigit(s[i + 2]) : -1;
        if (lo < 0) {
            out += s[i];
            continue;
        }
        out += static_cast<char>(hi * 16 + lo);
        i += 2;
    }
    return isValidUtf8(out) ? out : s;
}

// The profiles in one folder: ArmA 2's, Operation Arrowhead's and the older kind, each name
// cut before the first occurrence of its extension, which matches without regard to case as the
// file search does.
void addProfilesIn(const fs::path& folder, std::vector<std::string>& names) {
    static const std::string exts[] = {".armaprofile", ".arma2profile", ".arma2oaprofile"};
    std::error_code ec;
    fs::directory_iterator it(folder, ec), end;
    for (; !ec && it != end; it.increment(ec)) {
        const std::string file = pathToUtf8(it->path().filename());
        std::string lower = file;
        std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) {
            return static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
        });
        for (const std::string& ext : exts) {
            if (lower.size() >= ext.size() &&
                !lower.compare(lower.size() - ext.size(), ext.size(), ext)) {
                names.push_back(percentDecoded(file.substr(0, lower.find(ext))));
                break;
            }
        }
    }
}

} // namespace

std::vector<std::string> findProfiles(const std::vector<std::string>& documentFolders) {
    std::vector<std::string> names;
    for (const std::string& documents : documentFolders) {
        const fs::path base = pathFromUtf8(documents);
        addProfilesIn(base / "ArmA 2", names);
        // Every profile but the default one has a folder of its own here.
        std::error_code ec;
        fs::directory_iterator it(base / "ArmA 2 Other Profiles", ec), end;
        for (; !ec && it != end; it.increment(ec))
            addProfilesIn(it->path(), names);
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
