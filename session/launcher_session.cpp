#include "launcher_session.h"

#include "error_handler.h"
#include "errors.h"
#include "launch.h"
#include "list_editing.h"
#include "qt_text.h"
#include "server_mods.h"

#include <QElapsedTimer>
#include <QEventLoop>

namespace {
constexpr int kSaveRetryMs = 200;
constexpr int kQuitWaitMs = 3000;
} // namespace

using namespace quorvale;

LauncherSession::LauncherSession(const AppContext& context, QObject* parent)
    : QObject(parent),
      // Operation Arrowhead and its BattlEye start are what today's servers run; the list is
      // spelled out in both cases, as a Linux file chooser tells case apart.
      executableDialog(QStringLiteral(
          "ArmA 2 Executable (Arma2.exe arma2.exe ArmA2OA.exe arma2oa.exe ArmA2OA_BE.exe "
          "arma2oa_be.exe);;All files (*)")),
      context_(context), state_(std::make_unique<LauncherState>()) {
    now_ = [clock = std::make_shared<QElapsedTimer>()] {
        if (!clock->isValid())
            clock->start();
        return clock->elapsed();
    };
    saveRetry_.setInterval(kSaveRetryMs);
    connect(&saveRetry_, &QTimer::timeout, this, &LauncherSession::retrySave);
}

LauncherSession::~LauncherSession() = default;

void LauncherSession::reloadSettings() {
    try {
        readRegistry(*context_.store, *state_, *this, context_.userProfile, context_.winePrefix);
    } catch (const StoreBusyError&) {
        waitForStore();
    }
}

void LauncherSession::storeSettings() {
    try {
        saveRegistry(*context_.store, *state_);
    } catch (const StoreBusyError&) {
        waitForStore();
    }
}

void LauncherSession::storeBeforeQuit() {
    if (quitting_)
        return; // a second close while waiting: the program ends now
    try {
        storeSettings();
        if (saveWaits_ && !waitForTheOtherSave())
            throw StoreWriteError("The settings were not saved: another Quorvale is still saving "
                                  "them.\nThe changes made since the last save are lost.");
    } catch (const std::exception& e) {
        if (!quitUnattended_)
            throw;
        qWarning("%s", e.what()); // nobody is there to answer a box
    }
}

// Tries the save again for a few seconds, events flowing; true once it is made.
bool LauncherSession::waitForTheOtherSave() {
    saveRetry_.stop();
    quitting_ = true;
    QEventLoop wait;
    QTimer retry;
    bool saved = false;
    std::exception_ptr failed;
    connect(&retry, &QTimer::timeout, &wait, [&] {
        try {
            context_.store->flush();
            saved = true;
        } catch (const StoreBusyError&) {
            return;
        } catch (...) {
            failed = std::current_exception();
        }
        wait.quit();
    });
    retry.start(kSaveRetryMs);
    QTimer::singleShot(kQuitWaitMs, &wait, &QEventLoop::quit);
    // The window keeps painting; clicks wait, so nothing starts in a program that is ending.
    wait.exec(QEventLoop::ExcludeUserInputEvents);
    quitting_ = false;
    if (failed)
        std::rethrow_exception(failed);
    if (saved)
        stopWaiting();
    return saved;
}

QString LauncherSession::saveNotice() const {
    return saveWaits_ ? QStringLiteral("Waiting for another Quorvale to save the settings…")
                      : QString();
}

void LauncherSession::waitForStore() {
    if (!saveRetry_.isActive() && !quitting_)
        saveRetry_.start();
    if (!saveWaits_) {
        saveWaits_ = true;
        Q_EMIT saveWaitingChanged();
    }
}

// A timer's handler: an error other than the wait is shown after it.
void LauncherSession::retrySave() {
    try {
        context_.store->flush();
    } catch (const StoreBusyError&) {
        return;
    } catch (const std::exception& e) {
        stopWaiting();
        reportErrorLater(e);
        return;
    }
    stopWaiting();
}

void LauncherSession::stopWaiting() {
    saveRetry_.stop();
    if (saveWaits_) {
        saveWaits_ = false;
        Q_EMIT saveWaitingChanged();
    }
}

void LauncherSession::storeAndReload() {
    reloadAfter([&] { storeSettings(); });
}

// A write that cannot reach the disk is told, and the windows still show the tables as changed,
// since a launch uses them; the store keeps the change and writes it with the next save that
// can. The failure is told once, though the reload meets it again.
void LauncherSession::reloadAfter(const std::function<void()>& write, const bool* reload) {
    std::exception_ptr notWritten;
    try {
        write();
    } catch (const StoreBusyError&) {
        waitForStore();
    } catch (const StoreWriteError&) {
        notWritten = std::current_exception();
    }
    if (reload && !*reload && !notWritten)
        return;
    try {
        reloadSettings();
    } catch (const StoreWriteError&) {
        if (!notWritten)
            notWritten = std::current_exception();
    }
    if (notWritten) {
        try {
            std::rethrow_exception(notWritten);
        } catch (const StoreWriteError& e) {
            reportError(e);
        }
    }
}

void LauncherSession::changeExecutable() {
    // A cancelled chooser changes nothing, so nothing is reloaded: unsaved ticks stay.
    bool written = true;
    reloadAfter([&] { written = writeExecutableChoice(*context_.store, *this); }, &written);
}

bool LauncherSession::launchGame(const std::string& connectString, ModsOfServer modsOfServer) {
    constexpr qint64 kPressesIgnoredMs = 1000;
    if (launching_ || (lastLaunchMs_ && now_() - *lastLaunchMs_ < kPressesIgnoredMs))
        return false;
    launching_ = true;
    struct Done {
        LauncherSession* s;
        ~Done() {
            s->launching_ = false;
            s->lastLaunchMs_ = s->now_();
        }
    } done{this};
    Q_EMIT launchStarting();
    const LaunchResult r = quorvale::launchGame(*state_, *context_.store, *context_.starter,
                                                connectString, modsOfServer);
    if (!r.gameStarted)
        prompter().message(toQString(r.error));
    if (r.closeLauncher)
        Q_EMIT closeRequested();
    return r.gameStarted;
}

void LauncherSession::rememberJoined(const ServerEntry& server) {
    quorvale::rememberJoined(state_->settings.history, server);
    storeSettings();
}

QString LauncherSession::addFavourite(const ServerEntry& server) {
    ServerTable& servers = state_->servers;
    const QString name = toQString(server.name.empty() ? server.host : server.name);
    if (const int slot = favouriteSlot(servers, server.host, server.port); slot >= 0)
        return QStringLiteral("%1:%2 is already a favourite, as \"%3\".")
            .arg(toQString(server.host), toQString(server.port),
                 toQString(servers.entries[static_cast<size_t>(slot)].name));
    std::mt19937 rng = clockSeededRng();
    if (!saveServerEntry(servers, -1,
                         {server.name.empty() ? server.host : server.name, server.host, server.port,
                          server.password, server.queryPort},
                         std::string(), rng))
        return toQString(tableFullMessage("server"));
    storeAndReload();
    return QStringLiteral("\"%1\" is now a favourite.").arg(name);
}

bool LauncherSession::joinServer(const std::string& connectString, ModsOfServer stored,
                                 const std::optional<std::vector<std::string>>& serverMods) {
    const bool storedList =
        stored.slot && state_->servers.holds(*stored.slot) &&
        !state_->servers.entries[static_cast<size_t>(*stored.slot)].mods.empty();
    if (storedList || !serverMods)
        return launchGame(connectString, stored);
    const auto matches = matchServerMods(*serverMods, state_->mods);
    const std::vector<std::string> missing = missingMods(matches);
    if (!missing.empty() && !prompter().confirm(toQString(missingModsQuestion(missing))))
        return false;
    return launchGame(connectString, ModsOfServer::named(matchedFolders(matches, state_->mods)));
}

QStringList LauncherSession::modNames() const {
    QStringList names;
    for (const ModEntry& m : state_->mods.entries)
        names << toQString(m.name);
    return names;
}

void LauncherSession::watchServer(QWidget* opener, const QString& host, const std::string& port,
                                  std::function<void()> join) const {
    if (watchServer_)
        watchServer_(opener, host, port, std::move(join));
}

// --- what a load needs from the windows

void LauncherSession::showMessage(const std::string& text) {
    prompter().message(toQString(text));
}

std::string LauncherSession::chooseExecutable() {
    // Until a file is chosen, the dialog opens in the game's folder, which a load may have found
    // in a Wine prefix (a hidden folder that a player would hardly find in the dialog).
    executableDialog.setStartFolder(toQString(state_->settings.gamePath));
    return executableDialog.execute(prompter(), dialogParent_).toStdString();
}

void LauncherSession::refreshLocalAddress() {
    Q_EMIT localAddressWanted();
}

void LauncherSession::setLoadedPlayerName(const std::string& text) {
    if (nameTyped_)
        return;
    playerName_ = text;
    Q_EMIT playerNameLoaded(toQString(text));
}

void LauncherSession::setPlayerList(const std::vector<std::string>& names) {
    playerChoices_.clear();
    for (const auto& n : names)
        playerChoices_ << toQString(n);
    Q_EMIT playerChoicesLoaded(playerChoices_);
}

void LauncherSession::refillModList() {
    Q_EMIT modsLoaded();
}

void LauncherSession::setExecutableLabel(const std::string& text) {
    Q_EMIT executableLoaded(toQString(text));
}
