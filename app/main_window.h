#pragma once

#include "ui_main_window.h"

#include <QMainWindow>
#include <QPointer>
#include <QTimer>
#include <functional>

class LauncherSession;
class QListWidget;

// The main window: the mods to tick, the player name, the launch buttons and the menu that
// opens every other window. It loads the session's settings when it is created.
class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    explicit MainWindow(LauncherSession& session, QWidget* parent = nullptr);
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

    LauncherSession& session() { return session_; }
    std::string playerNameText() const;

    // The form's controls, reached by tests; other windows ask through the session.
    Ui::MainWindow ui;
    QTimer launchButtonsTimer;

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
    void fillModList();
    void takeModOrder();
    void pauseLaunchButtons();
    void showPlayerChoices(const QStringList& names);
    void showWindow(QWidget* Windows::*which);

    LauncherSession& session_;
    Windows windows_;
    std::function<void()> createWindows_;
    QPointer<QWidget> focusAfterLaunch_;
};
