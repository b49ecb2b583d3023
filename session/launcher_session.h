#pragma once

#include "app_context.h"
#include "command_line.h"
#include "prompter.h"
#include "registry_io.h"
#include "settings.h"

#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// One run of the launcher below its windows: the settings and both tables, their store, the
// process starter and the launch. Every window works through it; none reaches into another.
class LauncherSession : public QObject, private quorvale::LoadHost {
    Q_OBJECT
public:
    explicit LauncherSession(const AppContext& context, QObject* parent = nullptr);
    ~LauncherSession() override;

    quorvale::LauncherState& state() { return *state_; }
    const quorvale::LauncherState& state() const { return *state_; }
    const AppContext& context() const { return context_; }
    Prompter& prompter() const { return *context_.prompter; }

    // A save that finds another Quorvale saving the store keeps its changes and tries again
    // every moment until it can, saying so through saveNotice(); no box, no wait.
    void reloadSettings();
    void storeSettings();
    // The save as the program ends: another Quorvale's save is waited for a few seconds, events
    // flowing, and a save that still cannot be made is told.
    void storeBeforeQuit();
    // The program ends with nobody at the screen (a termination signal): what storeBeforeQuit
    // cannot save goes to the log, not into a box.
    void setQuitUnattended() { quitUnattended_ = true; }
    // What the main window shows while changes wait for another Quorvale's save; else empty.
    QString saveNotice() const;
    // What every editor does after a change: store everything, then load it again.
    void storeAndReload();
    // Runs a write to the store, then loads everything again, also when the write failed;
    // not when the write cleared *reload.
    void reloadAfter(const std::function<void()>& write, const bool* reload = nullptr);
    // "ch&ange": asks for the executable and stores the choice.
    void changeExecutable();
    // Starts the game; every way of starting it comes here. A press that comes while a launch
    // is under way, or within a second of one, is ignored: a double click starts one game.
    // Whether the game started.
    bool launchGame(const std::string& connectString, quorvale::ModsOfServer modsOfServer);
    // A join from the server list or the direct join: a server without a stored mod list (or
    // none in the list) loads the known mods among serverMods (the display names the server
    // told), in its order, after asking whether to join when it names mods the player does not
    // have. Else as launchGame. Whether the game started.
    bool joinServer(const std::string& connectString, quorvale::ModsOfServer stored,
                    const std::optional<std::vector<std::string>>& serverMods);
    // A game started on this server: it goes first in the stored history.
    void rememberJoined(const quorvale::ServerEntry& server);
    // Adds a server of the internet or history list to the favourites and stores them; returns
    // what happened, in words.
    QString addFavourite(const quorvale::ServerEntry& server);
    // Milliseconds on a monotonic clock; tests set one that they move themselves.
    void setClock(std::function<qint64()> clock) { now_ = std::move(clock); }

    // The player name as the main window shows it, and the names it offers. Once the player
    // has typed or picked a name, a reload leaves it and refreshes only the choices.
    std::string playerName() const { return playerName_; }
    void setPlayerName(const std::string& name) { playerName_ = name; }
    void playerTypedName() { nameTyped_ = true; }
    QStringList playerNameChoices() const { return playerChoices_; }
    // The known mods' names in table order.
    QStringList modNames() const;

    // Opens the watcher on a server that is not in the list; the watcher registers itself.
    using WatchServer = std::function<void(QWidget* opener, const QString& host,
                                           const std::string& port, std::function<void()> join)>;
    void setWatchServer(WatchServer watch) { watchServer_ = std::move(watch); }
    void watchServer(QWidget* opener, const QString& host, const std::string& port,
                     std::function<void()> join) const;

    // The executable chooser, which opens over this window.
    void setDialogParent(QWidget* parent) { dialogParent_ = parent; }
    FileDialogState executableDialog;

Q_SIGNALS:
    // A load reached these: the windows show them.
    void localAddressWanted();
    void playerNameLoaded(const QString& name);
    void playerChoicesLoaded(const QStringList& names);
    void modsLoaded();
    void executableLoaded(const QString& path);
    // A launch is about to start the game; the launch buttons rest for a moment.
    void launchStarting();
    // The game started with close-after-launch set.
    void closeRequested();
    // saveNotice() changed.
    void saveWaitingChanged();

private:
    void waitForStore();
    bool waitForTheOtherSave();
    void retrySave();
    void stopWaiting();

    // LoadHost
    void showMessage(const std::string& text) override;
    std::string chooseExecutable() override;
    void refreshLocalAddress() override;
    void setLoadedPlayerName(const std::string& text) override;
    void setPlayerList(const std::vector<std::string>& names) override;
    void refillModList() override;
    void setExecutableLabel(const std::string& text) override;

    AppContext context_;
    std::unique_ptr<quorvale::LauncherState> state_;
    std::string playerName_;
    bool nameTyped_ = false;
    bool launching_ = false;
    std::optional<qint64> lastLaunchMs_;
    std::function<qint64()> now_;
    QStringList playerChoices_;
    WatchServer watchServer_;
    QPointer<QWidget> dialogParent_;
    QTimer saveRetry_;
    bool saveWaits_ = false;
    bool quitting_ = false;
    bool quitUnattended_ = false;
};
