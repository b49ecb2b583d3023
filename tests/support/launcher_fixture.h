#pragma once

#include "alert_sink.h"
#include "application.h"
#include "error_handler.h"
#include "launcher_session.h"
#include "main_window.h"
#include "process_starter.h"
#include "reg_file_store.h"
#include "registry_io.h"
#include "scripted_prompter.h"
#include "stub_records.h"
#include "test_store.h"

#include <fstream>
#include <functional>
#include <memory>
#include <sstream>

namespace quorvale_test {
using namespace quorvale;

// Stands in for the speakers and the taskbar: records each alert in order.
struct RecordingAlerts : AlertSink {
    QStringList calls;
    bool filesPlay = true; // whether a file that exists can be played
    void flash(QWidget*) override { calls << QStringLiteral("flash"); }
    void playDefaultSound() override { calls << QStringLiteral("default"); }
    bool playFile(const QString& path) override {
        if (!filesPlay || !isPlayableWav(path))
            return false;
        calls << QStringLiteral("file ") + path;
        return true;
    }
    void systemSound() override { calls << QStringLiteral("system"); }
};

// Records each start and passes it on to the real one, which starts the stub game.
struct RecordingStarter : ProcessStarter {
    SystemProcessStarter real;
    std::vector<std::string> lines;
    std::function<void()> during;
    StartResult start(const std::string& line, const std::string& dir,
                      const WindowsRunner& runner) override {
        lines.push_back(line);
        if (during)
            during();
        return real.start(line, dir, runner);
    }
};

// A store file prepared as an earlier run would have left it, and the window on top of it.
struct Launcher {
    TempDir dir;
    std::string reg = dir.file("registry.reg");
    std::string gameDir = dir.file("ArmA 2");
    std::string exe = placeStub(gameDir + "/arma2.exe");
    std::string out = dir.file("records");
    std::string winePrefix; // none unless a test makes one
    ScriptedPrompter prompter;
    RecordingStarter starter;
    std::unique_ptr<RegFileStore> store;
    RecordingAlerts alerts;
    std::unique_ptr<LauncherSession> session;
    std::unique_ptr<MainWindow> form;
    LauncherWindows windows;
    // The browser's and the watcher's ports: the system picks them, unless a test reopens
    // with the program's own.
    int browserPort = 0;
    int watcherPort = 0;

    explicit Launcher(const std::function<void(RegFileStore&)>& fill = {},
                      bool launcherKey = true) {
        qputenv("QUORVALE_STUB_OUT", QByteArray::fromStdString(out));
        if (launcherKey) {
            RegFileStore s(reg);
            openLauncherKey(s, exe);
            if (fill)
                fill(s);
            s.closeKey();
        }
        open();
    }
    // Opens the window again on the store file; prepare gets the store first.
    void open(const std::function<void(RegFileStore&)>& prepare = {}) {
        windows = LauncherWindows();
        form.reset();
        session.reset();
        store = std::make_unique<RegFileStore>(reg);
        if (prepare)
            prepare(*store);
        setErrorPrompter(&prompter);
        AppContext ctx{store.get(), &starter,    &prompter,  dir.file("home"),
                       winePrefix,  browserPort, watcherPort};
        session = std::make_unique<LauncherSession>(ctx);
        // Each look at the clock is two seconds on: launches in a test never come too soon,
        // unless it sets a clock of its own.
        session->setClock([ms = qint64(0)]() mutable { return ms += 2000; });
        form = std::make_unique<MainWindow>(*session);
        windows = createWindows(*form, &alerts);
    }
    static void mod(RegFileStore& s, const char* id, const char* name, int checked) {
        s.openKey(std::string(kModsKey) + "\\" + id, true);
        s.writeString("name", name);
        s.writeString("dir", std::string("@") + name);
        s.writeInteger("checked", checked);
    }
    LauncherState& state() { return session->state(); }
    int storedChecked(const char* id) {
        return storedValue(reg, std::string(kModsKey) + "\\" + id, "checked");
    }
    static int storedValue(const std::string& file, const std::string& key, const char* name) {
        RegFileStore s(file);
        s.openKeyReadOnly(key);
        return s.readInteger(name);
    }
};

// Whether a process has a handler of its own for a signal (Linux: SigCgt in /proc).
inline bool catchesSignal(qint64 pid, int signal) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("SigCgt:", 0) == 0)
            return (std::stoull(line.substr(7), nullptr, 16) >> (signal - 1)) & 1;
    return false;
}

} // namespace quorvale_test
