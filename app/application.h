#pragma once

#include <functional>

class QWidget;
class TForm1;
class TForm2;
class TForm3;

// The windows behind the main window, each created once and owned by it.
struct LauncherWindows {
    TForm2* modEditor = nullptr;
    TForm3* serverEditor = nullptr;
};

// Creates the other windows, hidden, in their order and hands them to the main window.
LauncherWindows createWindows(TForm1& main);

// Sets up the application, creates the windows in their order and runs the message loop.
// afterShow sees the main window once it is shown (the start-up benchmark hooks in there).
int runLauncher(int argc, char** argv, const std::function<void(QWidget*)>& afterShow = {});
