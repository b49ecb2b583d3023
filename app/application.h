#pragma once

#include <functional>
#include <memory>

class QWidget;
class TForm1;
class TForm2;
class TForm3;
class TForm4;
class TFormWatcher;
class AlertSink;
class TAboutDialog;
class TFormOptions;
class TFormDjoin;

// The windows behind the main window, each created once and owned by it.
struct LauncherWindows {
    LauncherWindows();
    LauncherWindows(LauncherWindows&&) noexcept;
    LauncherWindows& operator=(LauncherWindows&&) noexcept;
    ~LauncherWindows();

    std::unique_ptr<AlertSink> ownAlerts;
    TForm2* modEditor = nullptr; // dialogs of the main window, which deletes them
    TForm3* serverEditor = nullptr;
    std::unique_ptr<TForm4> browser; // windows of their own
    TAboutDialog* about = nullptr;
    std::unique_ptr<TFormWatcher> watcher;
    TFormOptions* options = nullptr;
    TFormDjoin* directJoin = nullptr;
};

// Creates the other windows, hidden, in their order and hands them to the main window.
// Alerts go to the given sink, else to sound and the taskbar.
LauncherWindows createWindows(TForm1& main, AlertSink* alerts = nullptr);

// Sets up the application, creates the windows in their order and runs the message loop.
// afterShow sees the main window once it is shown (the start-up benchmark hooks in there).
int runLauncher(int argc, char** argv, const std::function<void(QWidget*)>& afterShow = {});
