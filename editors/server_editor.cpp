#include "server_editor.h"
#include "qt_text.h"

#include "entry_selector.h"
#include "error_handler.h"
#include "form_keys.h"
#include "launcher_session.h"
#include "list_editing.h"
#include "reload_on_activation.h"
#include "text.h"

#include <QStyle>

using namespace quorvale;

ServerEditor::ServerEditor(LauncherSession& session, QWidget* parent)
    : QDialog(parent), session_(session) {
    ui.setupUi(this);
    applyFormKeys(this, ui.saveServerButton);
    setFixedSize(size());
    ui.saveServerButton->setIcon(style()->standardIcon(QStyle::SP_DialogApplyButton));
    ui.deleteServerButton->setIcon(style()->standardIcon(QStyle::SP_DialogCancelButton));
    selector_ = new EntrySelector(ui.serverSelector, [this] { showSelectedServer(); });
    connect(ui.saveServerButton, &QPushButton::clicked, this, &ServerEditor::saveServer);
    connect(ui.deleteServerButton, &QPushButton::clicked, this, &ServerEditor::deleteServer);
    // An empty query port means the game port + 1: show which port that is.
    connect(ui.serverPortEdit, &QLineEdit::textChanged, this, [this](const QString& text) {
        uint16_t port = 0;
        const bool known = tryParsePort(text.toStdString(), port) && port < 65535;
        ui.serverQueryPortEdit->setPlaceholderText(known ? QString::number(port + 1)
                                                         : QStringLiteral("port + 1"));
    });
    new ReloadOnActivation(this, [this] { refreshFields(); });
}

void ServerEditor::refreshFields() {
    selector_->fill(session_.state().servers.entries);
    showSelectedServer();
}

void ServerEditor::showSelectedServer() {
    const ServerTable& s = session_.state().servers;
    const int k = selector_->selectedSlot();
    const bool existing = s.holds(k);
    const ServerEntry none;
    const ServerEntry& e = existing ? s.entries[static_cast<size_t>(k)] : none;
    ui.serverNameEdit->setText(existing ? toQString(e.name) : ui.serverSelector->currentText());
    ui.serverHostEdit->setText(toQString(e.host));
    ui.serverPortEdit->setText(existing ? toQString(e.port) : QStringLiteral("2302"));
    ui.serverPasswordEdit->setText(toQString(e.password));
    ui.serverQueryPortEdit->setText(toQString(e.queryPort));

    const std::vector<bool> ticks =
        existing ? modTicks(e.mods, session_.state().mods) : std::vector<bool>{};
    ui.serverModList->clear();
    const QStringList names = session_.modNames();
    for (int i = 0; i < names.size(); ++i) {
        auto* item = new QListWidgetItem(names[i], ui.serverModList);
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
        const bool ticked = static_cast<size_t>(i) < ticks.size() && ticks[static_cast<size_t>(i)];
        item->setCheckState(ticked ? Qt::Checked : Qt::Unchecked);
    }
    // Mods the server still sends that are not among the player's any more: shown, so that the
    // player sees them and can untick them.
    unknownFolders_ =
        existing ? unknownModFolders(e.mods, session_.state().mods) : std::vector<std::string>{};
    for (const std::string& folder : unknownFolders_) {
        auto* item = new QListWidgetItem(
            QStringLiteral("%1 (not among your mods)").arg(toQString(folder)), ui.serverModList);
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
        item->setCheckState(Qt::Checked);
        item->setForeground(palette().color(QPalette::Disabled, QPalette::Text));
    }
}

void ServerEditor::saveServer() {
    guarded([&] {
        std::vector<bool> ticks;
        std::vector<std::string> unknown;
        const int known = ui.serverModList->count() - static_cast<int>(unknownFolders_.size());
        for (int i = 0; i < ui.serverModList->count(); ++i) {
            const bool ticked = ui.serverModList->item(i)->checkState() == Qt::Checked;
            if (i < known)
                ticks.push_back(ticked);
            else if (ticked)
                unknown.push_back(unknownFolders_[static_cast<size_t>(i - known)]);
        }
        // The query port is ours alone: a typo is caught here, before the list shows a server
        // that is never asked.
        const std::string queryPort = ui.serverQueryPortEdit->text().trimmed().toStdString();
        uint16_t number = 0;
        if (!queryPort.empty() && !tryParsePort(queryPort, number)) {
            session_.prompter().message(
                QStringLiteral("Query port: %1").arg(toQString(badPortMessage(queryPort))));
            ui.serverQueryPortEdit->setFocus();
            ui.serverQueryPortEdit->selectAll();
            return;
        }
        const ServerFields fields{ui.serverNameEdit->text().toStdString(),
                                  ui.serverHostEdit->text().toStdString(),
                                  ui.serverPortEdit->text().toStdString(),
                                  ui.serverPasswordEdit->text().toStdString(), queryPort};
        std::mt19937 rng = clockSeededRng();
        if (!saveServerEntry(session_.state().servers, selector_->selectedSlot(), fields, ticks,
                             session_.state().mods, rng, unknown)) {
            session_.prompter().message(toQString(tableFullMessage("server")));
            return;
        }
        session_.storeAndReload();
        refreshFields();
    });
}

void ServerEditor::deleteServer() {
    guarded([&] {
        if (!session_.prompter().confirm(QStringLiteral("Are you sure?")))
            return;
        deleteServerEntry(session_.state().servers, selector_->selectedSlot());
        session_.storeAndReload();
        refreshFields();
    });
}
