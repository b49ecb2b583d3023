#pragma once

#include <functional>
#include <memory>

class QWidget;
class MainWindow;
class ModEditor;
class ServerEditor;
class ServerBrowser;
class ServerWatcher;
class AlertSink;
class AboutDialog;
class OptionsDialog;
class DirectJoinDialog;

// The windows behind the main window, each created once and owned by it.
struct LauncherWindows {
    LauncherWindows();
    LauncherWindows(LauncherWindows&&) noexcept;
    LauncherWindows& operator=(LauncherWindows&&) noexcept;
    ~LauncherWindows();

    std::unique_ptr<AlertSink> ownAlerts;
    ModEditor* modEditor = nullptr; // dialogs of the main window, which deletes them
    ServerEditor* serverEditor = nullptr;
    std::unique_ptr<ServerBrowser> browser; // windows of their own
    AboutDialog* about = nullptr;
    std::unique_ptr<ServerWatcher> watcher;
    OptionsDialog* options = nullptr;
    DirectJoinDialog* directJoin = nullptr;
};

// Creates the other windows, hidden, in their order and hands them to the main window.
// Alerts go to the given sink, else to sound and the taskbar.
LauncherWindows createWindows(MainWindow& main, AlertSink* alerts = nullptr);

// Sets up the application, creates the windows in their order and runs the message loop.
// afterShow sees the main window once it is shown (the start-up benchmark hooks in there).
int runLauncher(int argc, char** argv, const std::function<void(QWidget*)>& afterShow = {});
