#pragma once

#include <functional>

class QWidget;

// Sets up the application, creates the windows in their order and runs the message loop.
// afterShow sees the main window once it is shown (the start-up benchmark hooks in there).
int runLauncher(int argc, char** argv, const std::function<void(QWidget*)>& afterShow = {});
