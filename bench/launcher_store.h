#pragma once

#include "prompter.h"
#include "reg_file_store.h"
#include "registry_io.h"
#include "temp_dir.h"

#include <cstdio>
#include <optional>
#include <string>

// A store with the launcher's key and an executable in dir, as a player's after the first start;
// returns the store file's path.
inline std::string writeLauncherStore(const TempDir& dir) {
    const std::string reg = dir.file("registry.reg");
    writeAll(dir.file("arma2.exe"), "");
    quorvale::RegFileStore s(reg);
    s.openKey(quorvale::kLauncherKey, true);
    s.writeString("executable", dir.file("arma2.exe"));
    s.writeInteger("nosplash", 1);
    s.writeInteger("window", 0);
    s.closeKey();
    return reg;
}

// Says each message on the standard output and answers every question with No.
struct QuietPrompter : Prompter {
    void message(const QString& t) override { std::printf("message: %s\n", qPrintable(t)); }
    bool confirm(const QString&) override { return false; }
    std::optional<QString> chooseFile(QWidget*, const QString&, const QString&) override {
        return std::nullopt;
    }
};
