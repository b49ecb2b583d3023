// Load and save of a store holding a full mod table and a full server table.
#include "bench_util.h"
#include "reg_file.h"
#include "reg_file_store.h"
#include "registry_io.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

using namespace quorvale;

namespace {

struct QuietHost : LoadHost {
    void showMessage(const std::string&) override {}
    std::string chooseExecutable() override { return {}; }
    void refreshLocalAddress() override {}
    void setLoadedPlayerName(const std::string&) override {}
    void setPlayerList(const std::vector<std::string>&) override {}
    void refillModList() override {}
    void setExecutableLabel(const std::string&) override {}
};

// A store file holding one binary value of the given size, as regedit writes it: wrapped over
// lines of about 80 characters, or (the baseline) on one line.
std::string hexValueFile(size_t bytes, bool wrapped) {
    if (wrapped) {
        RegTree tree;
        RegValue v;
        v.name = "blob";
        v.type = ValueType::Binary;
        v.raw.assign(bytes, 0x5a);
        tree.findOrCreate("HKEY_CURRENT_USER", "\\Software\\Blob").values.emplace("blob", v);
        return serializeRegFile(tree);
    }
    std::string text = "Windows Registry Editor Version 5.00\r\n\r\n"
                       "[HKEY_CURRENT_USER\\Software\\Blob]\r\n\"blob\"=hex:";
    for (size_t i = 0; i < bytes; ++i)
        text += i + 1 < bytes ? "5a," : "5a\r\n\r\n";
    std::string utf16 = "\xFF\xFE";
    for (const char c : text) {
        utf16 += c;
        utf16 += '\0';
    }
    return utf16;
}

void reportWrappedHexParse() {
    for (const size_t kib : {64, 256, 1024}) {
        const std::string wrapped = hexValueFile(kib * 1024, true);
        const std::string oneLine = hexValueFile(kib * 1024, false);
        auto parse = [](const std::string& bytes) {
            RegTree tree;
            RegParseError err;
            if (!parseRegFile(bytes, tree, err))
                std::printf("parse failed: %s\n", err.message.c_str());
        };
        const double w = medianMs(5, [&] { parse(wrapped); });
        const double o = medianMs(5, [&] { parse(oneLine); });
        char what[64];
        std::snprintf(what, sizeof what, "parse wrapped hex, %zu KiB", kib);
        report(what, w, o, "same bytes on one line");
    }
}

} // namespace

int main() {
    char tmpl[] = "/tmp/quorvale-bench-XXXXXX";
    const std::string dir = mkdtemp(tmpl);
    const std::string path = dir + "/registry.reg";
    const std::string exe = dir + "/arma2.exe";
    std::ofstream(exe) << "x";

    auto state = std::make_unique<LauncherState>();
    {
        RegFileStore s(path);
        s.openKey(kLauncherKey, true);
        s.writeString("executable", exe);
        s.writeInteger("nosplash", 1);
        s.writeInteger("window", 0);
        s.closeKey();
    }
    {
        QuietHost host;
        RegFileStore s(path);
        readRegistry(s, *state, host, "");
    }
    state->mods.entries.resize(TableCapacity);
    state->servers.entries.resize(TableCapacity);
    for (int i = 0; i < TableCapacity; ++i) {
        state->mods.entries[i].id = 1000000 + i;
        state->mods.entries[i].name = "Mod number " + std::to_string(i);
        state->mods.entries[i].folder = "@mod" + std::to_string(i);
        state->mods.entries[i].checked = i % 3 == 0;
        state->servers.entries[i].id = 2000000 + i;
        state->servers.entries[i].name = "Server number " + std::to_string(i);
        state->servers.entries[i].host = "192.0.2." + std::to_string(i % 250);
        state->servers.entries[i].port = std::to_string(2302 + i);
        state->servers.entries[i].password = i % 2 ? "" : "secret";
        state->servers.entries[i].mods = "@mod1;@mod2;";
        state->servers.entries[i].joinWithSockets = true;
    }
    {
        RegFileStore s(path);
        saveRegistry(s, *state);
    }
    const auto size = std::filesystem::file_size(path);

    const int runs = 21;
    const double load = medianMs(runs, [&] {
        QuietHost host;
        RegFileStore s(path);
        auto st = std::make_unique<LauncherState>();
        readRegistry(s, *st, host, "");
    });
    bool flip = false;
    const double save = medianMs(runs, [&] {
        RegFileStore s(path);
        state->settings.maxMemory = (flip = !flip) ? 512 : 1024; // a change, so the file is written
        saveRegistry(s, *state);
    });

    // Baselines: the same bytes read, and written the same safe way, without any parsing.
    std::string bytes;
    const double readRaw = medianMs(runs, [&] {
        std::ifstream in(path, std::ios::binary);
        std::ostringstream ss;
        ss << in.rdbuf();
        bytes = ss.str();
    });
    const double writeRaw = medianMs(runs, [&] { replaceFileAtomically(path, bytes); });

    std::printf("store file: %d mods + %d servers, %llu bytes\n", TableCapacity, TableCapacity,
                static_cast<unsigned long long>(size));
    report("load (file -> tables)", load, readRaw, "read file bytes");
    report("save (tables -> file, fsync)", save, writeRaw, "atomic write same bytes");
    std::printf("target: load <= 30 ms: %s, save <= 30 ms: %s\n", load <= 30 ? "met" : "MISSED",
                save <= 30 ? "met" : "MISSED");
    std::filesystem::remove_all(dir);
    reportWrappedHexParse();
    return 0;
}
