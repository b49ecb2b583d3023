#include "main_window.h"
#include "list_reordering.h"
#include "qt_text.h"

#include "command_line.h"
#include "error_handler.h"
#include "form_keys.h"
#include "jpeg_image.h"
#include "launcher_session.h"
#include "local_address.h"

#include <QClipboard>
#include <QCloseEvent>
#include <QFile>
#include <QGuiApplication>
#include <QKeyEvent>
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

MainWindow::MainWindow(LauncherSession& session, QWidget* parent)
    : QMainWindow(parent), session_(session) {
    ui.setupUi(this);
    applyFormKeys(this);
    setFixedSize(size());

    // A banner that cannot be read is told; the window works without it.
    QFile banner(QStringLiteral(":/banner.jpg"));
    if (banner.open(QIODevice::ReadOnly))
        guardedLater(
            [&] { ui.bannerLabel->setPixmap(QPixmap::fromImage(decodeBanner(banner.readAll()))); });

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
    // Mods load in this list's order: the player drags them, or moves one with Ctrl+Up/Down.
    new ListReordering(ui.modList, [this] { takeModOrder(); });
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

    // What a load finds is shown here; the name typed here is the one every launch uses.
    session_.setDialogParent(this);
    connect(&session_, &LauncherSession::localAddressWanted, this,
            [this] { ui.localAddressBox->setText(localIPv4Address().toUpper()); });
    connect(&session_, &LauncherSession::playerNameLoaded, ui.playerNameBox,
            &QComboBox::setEditText);
    connect(&session_, &LauncherSession::playerChoicesLoaded, this, &MainWindow::showPlayerChoices);
    connect(&session_, &LauncherSession::modsLoaded, this, &MainWindow::fillModList);
    // The executable's line says when the settings wait for another Quorvale's save.
    const auto showExecutable = [this] {
        const QString notice = session_.saveNotice();
        ui.executableLabel->setText(
            notice.isEmpty() ? toQString(session_.state().settings.executable) : notice);
    };
    connect(&session_, &LauncherSession::executableLoaded, this, showExecutable);
    connect(&session_, &LauncherSession::saveWaitingChanged, this, showExecutable);
    connect(&session_, &LauncherSession::launchStarting, this, &MainWindow::pauseLaunchButtons);
    connect(&session_, &LauncherSession::closeRequested, this, &QWidget::close);
    connect(ui.playerNameBox, &QComboBox::editTextChanged, this,
            [this](const QString& text) { session_.setPlayerName(text.toStdString()); });
    connect(ui.playerNameBox->lineEdit(), &QLineEdit::textEdited, this,
            [this] { session_.playerTypedName(); });
    connect(ui.playerNameBox, &QComboBox::activated, this, [this] { session_.playerTypedName(); });

    // A load that fails is reported and the window opens all the same.
    guarded([&] {
        session_.reloadSettings();
        fillModList();
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

void MainWindow::fillModList() {
    QListWidget* list = ui.modList;
    const QSignalBlocker block(list);
    list->clear();
    for (const ModEntry& m : session_.state().mods.entries) {
        auto* item = new QListWidgetItem(toQString(m.name), list);
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable |
                       Qt::ItemIsDragEnabled);
        item->setCheckState(m.checked ? Qt::Checked : Qt::Unchecked);
        item->setData(Qt::UserRole, m.id);
    }
}

void MainWindow::takeModOrder() {
    // The list's order becomes the table's; each item knows its mod by id.
    auto& mods = session_.state().mods.entries;
    std::vector<ModEntry> ordered;
    for (int k = 0; k < ui.modList->count(); ++k) {
        const int32_t id = ui.modList->item(k)->data(Qt::UserRole).toInt();
        const auto it =
            std::find_if(mods.begin(), mods.end(), [id](const ModEntry& m) { return m.id == id; });
        if (it == mods.end() || ordered.size() >= mods.size())
            return; // the list is not the table's: leave both
        ordered.push_back(*it);
    }
    if (ordered.size() == mods.size())
        mods = std::move(ordered);
}

std::string MainWindow::playerNameText() const {
    return ui.playerNameBox->currentText().toStdString();
}

void MainWindow::pauseLaunchButtons() {
    // Disabling the focused button hands the focus on to "ch&ange"; it comes back with the
    // buttons, so that the next key press does not choose a new executable.
    const auto buttons = {ui.startSingleplayerButton, ui.serverListButton, ui.directJoinButton};
    if (std::find(buttons.begin(), buttons.end(), focusWidget()) != buttons.end())
        focusAfterLaunch_ = focusWidget();
    for (QPushButton* b : buttons)
        b->setEnabled(false);
    launchButtonsTimer.start();
}

void MainWindow::showPlayerChoices(const QStringList& names) {
    // The list is new; the name in the box stays.
    const QString text = ui.playerNameBox->currentText();
    ui.playerNameBox->clear();
    ui.playerNameBox->addItems(names);
    ui.playerNameBox->setEditText(text);
}

void MainWindow::closeEvent(QCloseEvent* event) {
    guarded([&] { session_.storeBeforeQuit(); });
    event->accept();
    Q_EMIT closed();
}

// --- handlers

void MainWindow::changeExecutable() {
    guarded([&] { session_.changeExecutable(); });
}

void MainWindow::openDirectJoin() {
    showWindow(&Windows::directJoin);
}

void MainWindow::startSingleplayer() {
    guarded([&] { session_.launchGame(singlePlayerConnect(playerNameText()), kTickedMods); });
}

void MainWindow::openServerBrowser() {
    if (session_.state().servers.entries.empty()) {
        session_.prompter().message(
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
    auto& mods = session_.state().mods.entries;
    for (int k = 0; k < ui.modList->count() && k < static_cast<int>(mods.size()); ++k)
        mods[static_cast<size_t>(k)].checked = ui.modList->item(k)->checkState() == Qt::Checked;
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
    guarded([&] { session_.launchGame(windowedConnect(playerNameText()), kTickedMods); });
}

void MainWindow::hostGame() {
    guarded([&] { session_.launchGame(hostConnect(playerNameText()), kTickedMods); });
}

void MainWindow::startDedicatedServer() {
    guarded([&] { session_.launchGame(dedicatedServerConnect(playerNameText()), kTickedMods); });
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
