#include "server_editor.h"
#include "qt_text.h"

#include "entry_selector.h"
#include "error_handler.h"
#include "form_keys.h"
#include "launcher_session.h"
#include "list_editing.h"
#include "list_reordering.h"
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
    new ListReordering(ui.serverModList, [] {});
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

    // The server's mods in its order, ticked, then the player's other mods. A folder that is
    // not among the player's mods any more is shown, so that the player sees it and can untick
    // it.
    ui.serverModList->clear();
    const ModTable& mods = session_.state().mods;
    for (const ServerModItem& m : serverModItems(existing ? e.mods : std::string(), mods)) {
        const QString folder = toQString(m.folder);
        auto* item = new QListWidgetItem(
            mods.holds(m.slot) ? toQString(mods.entries[static_cast<size_t>(m.slot)].name)
                               : QStringLiteral("%1 (not among your mods)").arg(folder),
            ui.serverModList);
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable |
                       Qt::ItemIsDragEnabled);
        item->setCheckState(m.ticked ? Qt::Checked : Qt::Unchecked);
        item->setData(Qt::UserRole, folder);
        if (!mods.holds(m.slot))
            item->setForeground(palette().color(QPalette::Disabled, QPalette::Text));
    }
}

void ServerEditor::saveServer() {
    guarded([&] {
        // The list's order is the server's load order.
        std::vector<ServerModItem> items;
        for (int i = 0; i < ui.serverModList->count(); ++i) {
            const QListWidgetItem* item = ui.serverModList->item(i);
            items.push_back({item->data(Qt::UserRole).toString().toStdString(), -1,
                             item->checkState() == Qt::Checked});
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
        if (!saveServerEntry(session_.state().servers, selector_->selectedSlot(), fields,
                             modsFromItems(items), rng)) {
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
