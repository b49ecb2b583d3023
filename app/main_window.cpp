#include "main_window.h"
#include "qt_text.h"

#include "command_line.h"
#include "error_handler.h"
#include "errors.h"
#include "form_keys.h"
#include "jpeg_image.h"
#include "launch.h"
#include "local_address.h"

#include <QClipboard>
#include <QCloseEvent>
#include <QFile>
#include <QGuiApplication>
#include <QLineEdit>
#include <QListWidget>
#include <QStyle>
#include <QStyledItemDelegate>
#include <algorithm>

using namespace quorvale;

namespace {

// Items of one fixed height, as the check list draws them.
class FixedHeightDelegate : public QStyledItemDelegate {
public:
    FixedHeightDelegate(int height, QObject* parent)
        : QStyledItemDelegate(parent), height_(height) {}
    QSize sizeHint(const QStyleOptionViewItem& o, const QModelIndex& i) const override {
        return {QStyledItemDelegate::sizeHint(o, i).width(), height_};
    }

private:
    int height_;
};
} // namespace

MainWindow::MainWindow(const AppContext& context, QWidget* parent)
    : QMainWindow(parent),
      executableDialog(QStringLiteral("ArmA 2 Executable (Arma2.exe arma2.exe);;All files (*)")),
      context_(context), state_(std::make_unique<LauncherState>()) {
    ui.setupUi(this);
    applyFormKeys(this);
    setFixedSize(size());

    QFile banner(QStringLiteral(":/banner.jpg"));
    QString error;
    if (banner.open(QIODevice::ReadOnly)) {
        const QImage img = decodeJpeg(banner.readAll(), &error);
        if (!img.isNull())
            ui.bannerLabel->setPixmap(QPixmap::fromImage(img));
    }

    ui.directJoinButton->setIcon(style()->standardIcon(QStyle::SP_ArrowRight));
    ui.serverListButton->setIcon(style()->standardIcon(QStyle::SP_FileDialogDetailedView));
    ui.startSingleplayerButton->setIcon(style()->standardIcon(QStyle::SP_MediaPlay));
    for (QPushButton* b : {ui.directJoinButton, ui.serverListButton, ui.startSingleplayerButton})
        b->setIconSize(QSize(16, 16));

    QPalette menuColour = ui.localAddressBox->palette();
    menuColour.setColor(QPalette::Base, palette().color(QPalette::Window));
    // The selection stays visible without the focus, as after "&Copy to clipboard".
    QPalette address = menuColour;
    for (const QPalette::ColorRole role : {QPalette::Highlight, QPalette::HighlightedText})
        address.setColor(QPalette::Inactive, role, address.color(QPalette::Active, role));
    ui.localAddressBox->setPalette(address);
    ui.localAddressBox->installEventFilter(this);
    ui.modList->setPalette(menuColour);
    ui.modList->setFont(listFont());
    ui.modList->setUniformItemSizes(true);
    ui.modList->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    ui.modList->setItemDelegate(new FixedHeightDelegate(16, ui.modList));
    QFont small = font();
    small.setPixelSize(9);
    ui.copyAddressButton->setFont(small);
    ui.executableLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);

    launchButtonsTimer.setInterval(10);
    launchButtonsTimer.setSingleShot(true);
    connect(&launchButtonsTimer, &QTimer::timeout, this, &MainWindow::enableLaunchButtons);

    connect(ui.changeExecutableButton, &QPushButton::clicked, this, &MainWindow::changeExecutable);
    connect(ui.directJoinButton, &QPushButton::clicked, this, &MainWindow::openDirectJoin);
    connect(ui.startSingleplayerButton, &QPushButton::clicked, this,
            &MainWindow::startSingleplayer);
    connect(ui.serverListButton, &QPushButton::clicked, this, &MainWindow::openServerBrowser);
    connect(ui.copyAddressButton, &QAbstractButton::clicked, this, &MainWindow::copyAddress);
    connect(ui.modList, &QListWidget::itemChanged, this, &MainWindow::storeModTicks);
    connect(ui.optionsAction, &QAction::triggered, this, &MainWindow::openOptions);
    connect(ui.modsAction, &QAction::triggered, this, &MainWindow::openModEditor);
    connect(ui.serversAction, &QAction::triggered, this, &MainWindow::openServerEditor);
    connect(ui.launchWindowedAction, &QAction::triggered, this, &MainWindow::launchWindowed);
    connect(ui.hostGameAction, &QAction::triggered, this, &MainWindow::hostGame);
    connect(ui.dedicatedServerAction, &QAction::triggered, this, &MainWindow::startDedicatedServer);
    connect(ui.quitAction, &QAction::triggered, this, &MainWindow::quit);
    connect(ui.aboutAction, &QAction::triggered, this, &MainWindow::openAbout);

    // FormCreate: a load that fails is reported and the window opens all the same.
    guarded([&] {
        reloadSettings();
        fillModList(ui.modList);
    });
}

MainWindow::~MainWindow() = default;

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    // A line edit drops its selection when it loses the focus; the address box keeps it.
    if (watched == ui.localAddressBox && event->type() == QEvent::FocusOut &&
        ui.localAddressBox->hasSelectedText()) {
        QPointer<QLineEdit> box = ui.localAddressBox;
        const int start = box->selectionStart();
        const int length = box->selectionLength();
        QMetaObject::invokeMethod(
            this,
            [box, start, length] {
                if (box && !box->hasFocus())
                    box->setSelection(start, length);
            },
            Qt::QueuedConnection);
    }
    return QMainWindow::eventFilter(watched, event);
}

void MainWindow::reloadSettings() {
    readRegistry(*context_.store, *state_, *this, context_.userProfile, context_.winePrefix);
}

void MainWindow::storeSettings() {
    saveRegistry(*context_.store, *state_);
}

void MainWindow::storeAndReload() {
    reloadAfter([&] { storeSettings(); });
}

// A write that cannot reach the disk is told, and the windows still show the tables as changed,
// since a launch uses them; the store keeps the change and writes it with the next save that
// can. The failure is told once, though the reload meets it again.
void MainWindow::reloadAfter(const std::function<void()>& write) {
    std::exception_ptr notWritten;
    try {
        write();
    } catch (const StoreWriteError&) {
        notWritten = std::current_exception();
    }
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

void MainWindow::fillModList(QListWidget* list) {
    const QSignalBlocker block(list);
    list->clear();
    const ModTable& m = state_->mods;
    for (int i = 0; i <= m.lastIndex; ++i) {
        auto* item = new QListWidgetItem(qs(m.name[i]), list);
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
        item->setCheckState(m.checked[i] ? Qt::Checked : Qt::Unchecked);
    }
}

QStringList MainWindow::modListTexts() const {
    QStringList texts;
    for (int i = 0; i < ui.modList->count(); ++i)
        texts << ui.modList->item(i)->text();
    return texts;
}

QStringList MainWindow::playerNameChoices() const {
    QStringList names;
    for (int i = 0; i < ui.playerNameBox->count(); ++i)
        names << ui.playerNameBox->itemText(i);
    return names;
}

std::string MainWindow::playerNameText() const {
    return ui.playerNameBox->currentText().toStdString();
}

void MainWindow::launchGame(const std::string& connectString, int32_t launchMode) {
    // Disabling the focused button hands the focus on to "ch&ange"; it comes back with the
    // buttons, so that the next key press does not choose a new executable.
    const auto buttons = {ui.startSingleplayerButton, ui.serverListButton, ui.directJoinButton};
    if (std::find(buttons.begin(), buttons.end(), focusWidget()) != buttons.end())
        focusAfterLaunch_ = focusWidget();
    for (QPushButton* b : buttons)
        b->setEnabled(false);
    launchButtonsTimer.start();
    const LaunchResult r = quorvale::launchGame(*state_, *context_.store, *context_.starter,
                                                connectString, launchMode);
    if (!r.gameStarted)
        context_.prompter->message(qs(r.error));
    if (r.closeLauncher)
        close();
}

void MainWindow::closeEvent(QCloseEvent* event) {
    guarded([&] { storeSettings(); });
    event->accept();
    Q_EMIT closed();
}

// --- handlers

void MainWindow::changeExecutable() {
    guarded([&] { reloadAfter([&] { writeExecutableChoice(*context_.store, *this); }); });
}

void MainWindow::openDirectJoin() {
    showWindow(&Windows::directJoin);
}

void MainWindow::startSingleplayer() {
    guarded([&] { launchGame(singlePlayerConnect(playerNameText()), -1); });
}

void MainWindow::openServerBrowser() {
    if (state_->servers.lastIndex < 0) {
        context_.prompter->message(
            QStringLiteral("No server entries found, add servers first using the options menu"));
        return;
    }
    showWindow(&Windows::browser);
}

void MainWindow::copyAddress() {
    ui.localAddressBox->selectAll();
    QGuiApplication::clipboard()->setText(ui.localAddressBox->selectedText());
    ui.localAddressBox->setFocus();
}

void MainWindow::storeModTicks() {
    ModTable& m = state_->mods;
    for (int k = 0; k < ui.modList->count() && k < TableCapacity; ++k)
        m.checked[k] = ui.modList->item(k)->checkState() == Qt::Checked;
}

void MainWindow::enableLaunchButtons() {
    for (QPushButton* b : {ui.startSingleplayerButton, ui.serverListButton, ui.directJoinButton})
        b->setEnabled(true);
    launchButtonsTimer.stop();
    if (focusAfterLaunch_)
        focusAfterLaunch_->setFocus();
    focusAfterLaunch_ = nullptr;
}

void MainWindow::openOptions() {
    showWindow(&Windows::options);
}
void MainWindow::openModEditor() {
    showWindow(&Windows::modEditor);
}
void MainWindow::openServerEditor() {
    showWindow(&Windows::serverEditor);
}

void MainWindow::launchWindowed() {
    guarded([&] { launchGame(windowedConnect(playerNameText()), -1); });
}

void MainWindow::hostGame() {
    guarded([&] { launchGame(hostConnect(playerNameText()), -1); });
}

void MainWindow::startDedicatedServer() {
    guarded([&] { launchGame(dedicatedServerConnect(playerNameText()), -1); });
}

void MainWindow::quit() {
    close();
}
void MainWindow::openAbout() {
    showWindow(&Windows::about);
}

void MainWindow::showWindow(QWidget* Windows::*which) {
    if (!(windows_.*which) && createWindows_)
        createWindows_(); // a click that came before the windows did
    QWidget* w = windows_.*which;
    if (!w)
        return;
    w->show();
    w->raise();
    w->activateWindow();
}

// --- what a load needs from this window

void MainWindow::showMessage(const std::string& text) {
    context_.prompter->message(qs(text));
}

std::string MainWindow::chooseExecutable() {
    // Until a file is chosen, the dialog opens in the game's folder, which a load may have found
    // in a Wine prefix (a hidden folder that a player would hardly find in the dialog).
    executableDialog.setStartFolder(qs(state_->settings.gamePath));
    return executableDialog.execute(*context_.prompter, this).toStdString();
}

void MainWindow::refreshLocalAddress() {
    ui.localAddressBox->setText(localIPv4Address().toUpper());
}

void MainWindow::setPlayerName(const std::string& text) {
    ui.playerNameBox->setEditText(qs(text));
}

void MainWindow::setPlayerList(const std::vector<std::string>& names) {
    const QString text = ui.playerNameBox->currentText();
    ui.playerNameBox->clear();
    for (const auto& n : names)
        ui.playerNameBox->addItem(qs(n));
    ui.playerNameBox->setEditText(text);
}

void MainWindow::refillModList() {
    fillModList(ui.modList);
}

void MainWindow::setExecutableLabel(const std::string& text) {
    ui.executableLabel->setText(qs(text));
}
