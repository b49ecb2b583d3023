// Opens every window on a prepared store and writes a PNG of each: scripts/screenshot runs it
// under Xvfb so that a person can look at what the player sees.
#include "about_dialog.h"
#include "application.h"
#include "direct_join_dialog.h"
#include "error_handler.h"
#include "launcher_session.h"
#include "main_window.h"
#include "mod_editor.h"
#include "options_dialog.h"
#include "prompter.h"
#include "reg_file_store.h"
#include "server_browser.h"
#include "server_editor.h"
#include "server_watcher.h"

#include <QDir>
#include <QTimer>

namespace {

struct SilentPrompter : Prompter {
    void message(const QString& text) override { qInfo("message: %s", qPrintable(text)); }
    bool confirm(const QString&) override { return false; }
    std::optional<QString> chooseFile(QWidget*, const QString&, const QString&) override {
        return std::nullopt;
    }
};

void wait(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

void shoot(QWidget* w, const QString& dir, const QString& name) {
    w->show();
    w->raise();
    QApplication::processEvents();
    QTimer t;
    QEventLoop loop;
    QTimer::singleShot(300, &loop, &QEventLoop::quit);
    loop.exec();
    const QString path = dir + QLatin1Char('/') + name + QStringLiteral(".png");
    w->grab().save(path);
    qInfo("wrote %s", qPrintable(path));
}

} // namespace

int main(int argc, char** argv) {
    QuorvaleApplication app(argc, argv);
    setUpApplication(app);
    const QString outDir = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(".");
    const std::string store = argc > 2 ? argv[2] : "registry.reg";
    QDir().mkpath(outDir);

    SilentPrompter prompter;
    setErrorPrompter(&prompter);
    quorvale::RegFileStore reg(store);
    quorvale::SystemProcessStarter starter;
    AppContext ctx{&reg, &starter, &prompter, qEnvironmentVariable("HOME").toStdString(), {}};
    LauncherSession session(ctx);
    MainWindow form1(session);
    const LauncherWindows w = createWindows(form1);
    shoot(&form1, outDir, QStringLiteral("main_window"));
    w.modEditor->refreshFields();
    shoot(w.modEditor, outDir, QStringLiteral("mod_editor"));
    w.serverEditor->refreshFields();
    shoot(w.serverEditor, outDir, QStringLiteral("server_editor"));
    w.serverEditor->hide();
    // The browser queries half a second after it becomes active; give the replies time.
    w.browser->show();
    w.browser->activateWindow();
    wait(1500);
    w.browser->ui.serverGrid->setCurrentCell(2, 0);
    shoot(w.browser.get(), outDir, QStringLiteral("server_browser"));
    w.browser->ui.watcherButton->click();
    wait(500);
    shoot(w.watcher.get(), outDir, QStringLiteral("watcher_small"));
    w.watcher->toggleDetails();
    w.watcher->updateStatus();
    wait(500);
    shoot(w.watcher.get(), outDir, QStringLiteral("watcher_large"));
    w.watcher->close();
    w.options->refreshFields();
    shoot(w.options, outDir, QStringLiteral("options"));
    w.options->hide();
    w.directJoin->ui.hostEdit->setText(QStringLiteral("arma.example.org"));
    shoot(w.directJoin, outDir, QStringLiteral("direct_join"));
    w.directJoin->hide();
    shoot(w.about, outDir, QStringLiteral("about"));
    return 0;
}
