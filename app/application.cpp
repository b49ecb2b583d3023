#include "application.h"

#include "about_dialog.h"
#include "alert_sink.h"
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
#include "window_placement.h"

#include <QPointer>
#include <QTimer>

#ifdef _WIN32
#include "win32_registry_store.h"
#else
#include "wine_prefix.h"

#include <QSocketNotifier>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>
#endif

LauncherWindows::LauncherWindows() = default;
LauncherWindows::LauncherWindows(LauncherWindows&&) noexcept = default;
LauncherWindows& LauncherWindows::operator=(LauncherWindows&&) noexcept = default;
LauncherWindows::~LauncherWindows() = default;

LauncherWindows createWindows(MainWindow& main, AlertSink* alerts) {
    LauncherWindows w;
    if (!alerts) {
        w.ownAlerts = std::make_unique<DesktopAlertSink>();
        alerts = w.ownAlerts.get();
    }
    LauncherSession& session = main.session();
    w.modEditor = new ModEditor(session, &main);
    w.serverEditor = new ServerEditor(session, &main);
    w.browser = std::make_unique<ServerBrowser>(session);
    w.about = new AboutDialog(&main);
    w.watcher = std::make_unique<ServerWatcher>(session, *alerts);
    w.options = new OptionsDialog(session, &main);
    w.directJoin = new DirectJoinDialog(session, &main);
    // Where each window first opens: over the main window, the About box over the screen.
    for (QWidget* window :
         {static_cast<QWidget*>(w.browser.get()), static_cast<QWidget*>(w.watcher.get()),
          static_cast<QWidget*>(w.directJoin)})
        placeCentredOnFirstShow(window, &main);
    placeCentredOnFirstShow(w.about, nullptr);
    w.browser->setWatcher(w.watcher.get());
    w.watcher->setMainWindow(&main);
    w.watcher->setBrowser(w.browser.get());
    QPointer<ServerWatcher> watcher = w.watcher.get();
    session.setWatchServer([watcher](QWidget* opener, const QString& host, const std::string& port,
                                     std::function<void()> join) {
        if (watcher)
            watcher->watch(opener, host, port, std::move(join));
    });
    MainWindow::Windows open;
    open.modEditor = w.modEditor;
    open.serverEditor = w.serverEditor;
    open.browser = w.browser.get();
    open.about = w.about;
    open.options = w.options;
    open.directJoin = w.directJoin;
    main.setWindows(open);
    return w;
}

namespace {
// Runs a function once, when the window it watches first paints.
class FirstPaint : public QObject {
public:
    FirstPaint(QWidget* window, std::function<void()> f) : QObject(window), f_(std::move(f)) {
        window->installEventFilter(this);
    }
    bool eventFilter(QObject* o, QEvent* e) override {
        if (e->type() == QEvent::Paint && f_) {
            auto f = std::move(f_);
            f_ = nullptr;
            f();
        }
        return QObject::eventFilter(o, e);
    }

private:
    std::function<void()> f_;
};

#ifndef _WIN32
int gSignalPipe[2] = {-1, -1};

void onTerminationSignal(int) {
    const int saved = errno;
    const char byte = 1;
    (void)!::write(gSignalPipe[1], &byte, 1);
    errno = saved;
}

// SIGTERM (the desktop session ending) and SIGHUP (its terminal gone) end the program as
// "&Quit" does, saving first. The handler only writes to a pipe; the event loop reads it.
void quitOnTerminationSignals(MainWindow& mainWindow) {
    if (::pipe2(gSignalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    auto* notifier = new QSocketNotifier(gSignalPipe[0], QSocketNotifier::Read, &mainWindow);
    QObject::connect(notifier, &QSocketNotifier::activated, &mainWindow, [&mainWindow] {
        char bytes[16];
        while (::read(gSignalPipe[0], bytes, sizeof bytes) > 0) {
        }
        mainWindow.session().setQuitUnattended();
        // From the queue: the close may wait for a save with events flowing.
        QMetaObject::invokeMethod(
            &mainWindow, [&mainWindow] { mainWindow.close(); }, Qt::QueuedConnection);
    });
    struct sigaction action {};
    action.sa_handler = onTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : {SIGTERM, SIGHUP}) {
        struct sigaction before {};
        // A signal ignored by whoever started the program (nohup) stays ignored.
        if (sigaction(signal, nullptr, &before) == 0 && before.sa_handler != SIG_IGN)
            sigaction(signal, &action, nullptr);
    }
}
#endif
} // namespace

int runLauncher(int argc, char** argv, const std::function<void(QWidget*)>& afterShow) {
    QuorvaleApplication app(argc, argv);
    setUpApplication(app);

    QtPrompter prompter;
    setErrorPrompter(&prompter);
#ifdef _WIN32
    quorvale::Win32RegistryStore store;
#else
    quorvale::RegFileStore store(quorvale::RegFileStore::defaultPath());
#endif
    quorvale::SystemProcessStarter starter;
#ifdef _WIN32
    const std::string winePrefix;
#else
    const std::string winePrefix = quorvale::environmentWinePrefix();
#endif
    AppContext context{&store, &starter, &prompter, quorvale::userProfileFolder(), winePrefix};
    LauncherSession session(context);

    QApplication::setQuitOnLastWindowClosed(false); // the main window's close ends the program
    MainWindow mainWindow(session);
    // The other windows follow once the main window is on the screen, in their order, so the
    // player sees it sooner; a menu command that comes first creates them on the spot.
    LauncherWindows windows;
    const auto createRest = [&] {
        if (!windows.browser)
            windows = createWindows(mainWindow);
    };
    mainWindow.setWindowFactory(createRest);
    auto* painted =
        new FirstPaint(&mainWindow, [createRest] { QTimer::singleShot(0, qApp, createRest); });
    Q_UNUSED(painted);
    QObject::connect(&mainWindow, &MainWindow::closed, &app, &QApplication::quit);
    // The session's end (logging out, shutting down) saves as a close does, without a box that
    // would hold it up; so does a quit that never closed the window.
    const auto saveQuietly = [&] {
        try {
            session.storeSettings();
        } catch (const std::exception& e) {
            qWarning("%s", e.what());
        }
    };
#ifndef QT_NO_SESSIONMANAGER
    QObject::connect(&app, &QGuiApplication::commitDataRequest, &session, saveQuietly);
#endif
    QObject::connect(&app, &QCoreApplication::aboutToQuit, &session, [&] {
        if (mainWindow.isVisible())
            saveQuietly();
    });
#ifndef _WIN32
    quitOnTerminationSignals(mainWindow);
#endif
    mainWindow.show();
    if (afterShow)
        afterShow(&mainWindow);
    const int rc = app.exec();
    setErrorPrompter(nullptr);
    return rc;
}
