#pragma once

#include "app_context.h"
#include "prompter.h"
#include "registry_io.h"
#include "settings.h"
#include "ui_main_window.h"

#include <QMainWindow>
#include <QTimer>
#include <functional>
#include <memory>

class QListWidget;

// The main window: owns the settings and both tables, loads and stores them, and starts the
// game for every other window.
class TForm1 : public QMainWindow, private quorvale::LoadHost {
    Q_OBJECT
public:
    explicit TForm1(const AppContext& context, QWidget* parent = nullptr);
    ~TForm1() override;

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

    void ReadRegistry();
    void SaveRegistry();
    // What every editor does after a change: store everything, then load it again.
    void storeAndReload();
    void LaunchOFP(const std::string& connectString, int32_t launchMode);
    void UpdateModList(QListWidget* list);
    std::string playerNameText() const;

    Ui::TForm1 ui;
    QTimer Timer1;
    FileDialogState OpenDialog1;

Q_SIGNALS:
    void closed();

protected:
    void closeEvent(QCloseEvent* event) override;

private Q_SLOTS:
    void Button1Click();
    void BitBtn2Click();
    void BitBtn3Click();
    void BitBtn5Click();
    void SpeedButton2Click();
    void ModListClickCheck();
    void Timer1Timer();
    void Options2Click();
    void Mods1Click();
    void Servers1Click();
    void Launchwindowed1Click();
    void OFPPreferences1Click();
    void Launchdedicatedserver1Click();
    void quit1Click();
    void About1Click();

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
};
