#pragma once

#include "app_context.h"
#include "prompter.h"
#include "registry_io.h"
#include "settings.h"
#include "ui_main_window.h"

#include <QMainWindow>
#include <QPointer>
#include <QTimer>
#include <functional>
#include <memory>

class QListWidget;

// The main window: owns the settings and both tables, loads and stores them, and starts the
// game for every other window.
class MainWindow : public QMainWindow, private quorvale::LoadHost {
    Q_OBJECT
public:
    explicit MainWindow(const AppContext& context, QWidget* parent = nullptr);
    ~MainWindow() override;

    // The windows the menu and buttons open, created after this one.
    struct Windows {
        QWidget* modEditor = nullptr;
        QWidget* serverEditor = nullptr;
        QWidget* browser = nullptr;
        QWidget* about = nullptr;
        QWidget* options = nullptr;
        QWidget* directJoin = nullptr;
    };
    void setWindows(const Windows& w) { windows_ = w; }
    // Creates the other windows when one is wanted before start-up has made them.
    void setWindowFactory(std::function<void()> f) { createWindows_ = std::move(f); }

    quorvale::LauncherState& state() { return *state_; }
    const AppContext& context() const { return context_; }

    void reloadSettings();
    void storeSettings();
    // What every editor does after a change: store everything, then load it again.
    void storeAndReload();
    // Runs a write to the store, then loads everything again, also when the write failed.
    void reloadAfter(const std::function<void()>& write);
    void launchGame(const std::string& connectString, int32_t launchMode);
    void fillModList(QListWidget* list);
    std::string playerNameText() const;
    // The mod list's names in its order, and the player names offered, for the other windows.
    QStringList modListTexts() const;
    QStringList playerNameChoices() const;

    // The form's controls, reached by tests; other windows ask through methods.
    Ui::MainWindow ui;
    QTimer launchButtonsTimer;
    FileDialogState executableDialog;

Q_SIGNALS:
    void closed();

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private Q_SLOTS:
    void changeExecutable();
    void openDirectJoin();
    void startSingleplayer();
    void openServerBrowser();
    void copyAddress();
    void storeModTicks();
    void enableLaunchButtons();
    void openOptions();
    void openModEditor();
    void openServerEditor();
    void launchWindowed();
    void hostGame();
    void startDedicatedServer();
    void quit();
    void openAbout();

private:
    // LoadHost
    void showMessage(const std::string& text) override;
    std::string chooseExecutable() override;
    void refreshLocalAddress() override;
    void setPlayerName(const std::string& text) override;
    void setPlayerList(const std::vector<std::string>& names) override;
    void refillModList() override;
    void setExecutableLabel(const std::string& text) override;

    void showWindow(QWidget* Windows::*which);

    AppContext context_;
    std::unique_ptr<quorvale::LauncherState> state_;
    Windows windows_;
    std::function<void()> createWindows_;
    QPointer<QWidget> focusAfterLaunch_;
};
