#include "server_editor.h"
#include "qt_text.h"

#include "entry_selector.h"
#include "error_handler.h"
#include "form_keys.h"
#include "list_editing.h"
#include "main_window.h"
#include "reload_on_activation.h"
#include "text.h"

#include <QStyle>

using namespace quorvale;

ServerEditor::ServerEditor(MainWindow& main) : QDialog(&main), main_(main) {
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
    const ServerTable& s = main_.state().servers;
    selector_->fill(s.name, s.count());
    showSelectedServer();
}

void ServerEditor::showSelectedServer() {
    const ServerTable& s = main_.state().servers;
    const int k = selector_->selectedSlot();
    const bool existing = k >= 0 && k <= s.lastIndex;
    ui.serverNameEdit->setText(existing ? qs(s.name[k]) : ui.serverSelector->currentText());
    ui.serverHostEdit->setText(existing ? qs(s.ip[k]) : QString());
    ui.serverPortEdit->setText(existing ? qs(s.port[k]) : QStringLiteral("2302"));
    ui.serverPasswordEdit->setText(existing ? qs(s.pass[k]) : QString());
    ui.serverQueryPortEdit->setText(existing ? qs(s.queryPort[k]) : QString());

    const std::vector<bool> ticks =
        existing ? modTicks(s.mods[k], main_.state().mods) : std::vector<bool>{};
    ui.serverModList->clear();
    const QStringList names = main_.modListTexts();
    for (int i = 0; i < names.size(); ++i) {
        auto* item = new QListWidgetItem(names[i], ui.serverModList);
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
        const bool ticked = static_cast<size_t>(i) < ticks.size() && ticks[static_cast<size_t>(i)];
        item->setCheckState(ticked ? Qt::Checked : Qt::Unchecked);
    }
}

void ServerEditor::saveServer() {
    guarded([&] {
        std::vector<bool> ticks;
        for (int i = 0; i < ui.serverModList->count(); ++i)
            ticks.push_back(ui.serverModList->item(i)->checkState() == Qt::Checked);
        // The query port is ours alone: a typo is caught here, before the list shows a server
        // that is never asked.
        const std::string queryPort = ui.serverQueryPortEdit->text().trimmed().toStdString();
        uint16_t number = 0;
        if (!queryPort.empty() && !tryParsePort(queryPort, number)) {
            main_.context().prompter->message(
                QStringLiteral("Query port: %1").arg(qs(badPortMessage(queryPort))));
            ui.serverQueryPortEdit->setFocus();
            ui.serverQueryPortEdit->selectAll();
            return;
        }
        const ServerFields fields{ui.serverNameEdit->text().toStdString(),
                                  ui.serverHostEdit->text().toStdString(),
                                  ui.serverPortEdit->text().toStdString(),
                                  ui.serverPasswordEdit->text().toStdString(), queryPort};
        std::mt19937 rng = clockSeededRng();
        if (!saveServerEntry(main_.state().servers, selector_->selectedSlot(), fields, ticks,
                             main_.state().mods, rng)) {
            main_.context().prompter->message(qs(tableFullMessage("server")));
            return;
        }
        main_.storeAndReload();
        refreshFields();
    });
}

void ServerEditor::deleteServer() {
    guarded([&] {
        if (!main_.context().prompter->confirm(QStringLiteral("Are you sure?")))
            return;
        deleteServerEntry(main_.state().servers, selector_->selectedSlot());
        main_.storeAndReload();
        refreshFields();
    });
}
