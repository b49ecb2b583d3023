#include "launcher_session.h"

#include "error_handler.h"
#include "errors.h"
#include "launch.h"
#include "qt_text.h"

#include <QElapsedTimer>

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
}

LauncherSession::~LauncherSession() = default;

void LauncherSession::reloadSettings() {
    readRegistry(*context_.store, *state_, *this, context_.userProfile, context_.winePrefix);
}

void LauncherSession::storeSettings() {
    saveRegistry(*context_.store, *state_);
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

void LauncherSession::launchGame(const std::string& connectString, ModsOfServer modsOfServer) {
    constexpr qint64 kPressesIgnoredMs = 1000;
    if (launching_ || (lastLaunchMs_ && now_() - *lastLaunchMs_ < kPressesIgnoredMs))
        return;
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
