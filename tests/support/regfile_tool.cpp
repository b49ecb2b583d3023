// Drives RegFileStore from the shell for the tests that compare it with Wine's reg.exe.
//   regfile_tool sample FILE               writes a store with every kind of value we keep
//   regfile_tool subtree FILE ROOT PATH OUT  the export of one key, as "reg export" writes it
//   regfile_tool dump FILE                 every key and value with its type, one a line
#include "reg_file.h"
#include "reg_file_store.h"

#include <cstdio>
#include <fstream>
#include <iostream>
#include <string>

using namespace quorvale;

namespace {

void sample(const std::string& file) {
    RegFileStore s(file);
    const std::string base = "\\Software\\Oskelan\\Quorvale";
    s.openKey(base, true);
    s.writeString("executable", "C:\\Program Files\\Bohemia Interactive\\ArmA 2\\arma2.exe");
    s.writeInteger("nosplash", 1);
    s.writeInteger("maxmem", -1);
    s.writeString("B", "upper");
    s.writeString("a", "lower");
    s.writeString("extraParams", "-world=empty \"-profiles=C:\\My Profiles\\\"");
    s.writeString("sound1", "");
    s.writeString("Zoë", "Jörg Ж 日本 \xF0\x9F\x98\x80");
    s.writeExpandString("o_expand", "%USERPROFILE%\\My Documents\\ArmA 2\\a rather long path "
                                    "that has to wrap over several lines.wav");
    for (const char* id : {"9", "10", "_x", "a", "4711"}) {
        s.openKey(base + "\\mods\\" + id, true);
        s.writeString("name", std::string("Mod ") + id);
        s.writeString("dir", std::string("@") + id);
        s.writeInteger("checked", id[0] == '1' ? 1 : 0);
    }
    s.openKey(base + "\\servers", true);
    s.closeKey();
}

int subtree(const std::string& file, const std::string& root, const std::string& path,
            const std::string& out) {
    RegFileStore s(file);
    const RegKey* k = s.tree().find(root, path);
    if (!k) {
        std::cerr << "no such key\n";
        return 1;
    }
    std::ofstream(out, std::ios::binary) << serializeRegSubtree(*k, root + path);
    return 0;
}

void dumpKey(const RegKey& k, const std::string& path) {
    for (const auto& [n, v] : k.values) {
        std::cout << path << " | " << (v.name.empty() ? "@" : v.name) << " | "
                  << static_cast<unsigned>(v.type) << " | ";
        if (v.type == ValueType::String || v.type == ValueType::ExpandString)
            std::cout << expandStringText(v);
        else if (v.type == ValueType::Dword)
            std::cout << v.dword;
        else
            for (const auto b : v.raw)
                std::printf("%02x", b), std::fflush(stdout);
        std::cout << "\n";
    }
    for (const auto& [n, sub] : k.subkeys)
        dumpKey(*sub, path + "\\" + sub->name);
}

} // namespace

int main(int argc, char** argv) {
    const std::string cmd = argc > 1 ? argv[1] : "";
    if (cmd == "sample" && argc == 3) {
        sample(argv[2]);
        return 0;
    }
    if (cmd == "subtree" && argc == 6)
        return subtree(argv[2], argv[3], argv[4], argv[5]);
    if (cmd == "dump" && argc == 3) {
        RegFileStore s(argv[2]);
        if (const std::string n = s.takeNotice(); !n.empty()) {
            std::cerr << n << "\n";
            return 1;
        }
        for (const auto& [n, root] : s.tree().roots())
            dumpKey(*root, root->name);
        return 0;
    }
    std::cerr << "usage: regfile_tool sample FILE | subtree FILE ROOT PATH OUT | dump FILE\n";
    return 2;
}
