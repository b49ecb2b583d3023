#include "server_editor.h"
#include "qt_text.h"

#include "entry_selector.h"
#include "error_handler.h"
#include "form_activation.h"
#include "list_editing.h"
#include "main_window.h"

#include <QStyle>

using namespace quorvale;

TForm3::TForm3(TForm1& main) : QDialog(&main), main_(main) {
    ui.setupUi(this);
    setFixedSize(size());
    ui.BitBtn1->setIcon(style()->standardIcon(QStyle::SP_DialogApplyButton));
    ui.BitBtn2->setIcon(style()->standardIcon(QStyle::SP_DialogCancelButton));
    selector_ = new EntrySelector(ui.ServerList, [this] { ShowSelectedServer(); });
    connect(ui.BitBtn1, &QPushButton::clicked, this, &TForm3::BitBtn1Click);
    connect(ui.BitBtn2, &QPushButton::clicked, this, &TForm3::BitBtn2Click);
    new FormActivation(this, [this] { FormActivate(); });
}

void TForm3::FormActivate() {
    const ServerTable& s = main_.state().servers;
    selector_->fill(s.name, s.count());
    ShowSelectedServer();
}

void TForm3::ShowSelectedServer() {
    const ServerTable& s = main_.state().servers;
    const int k = selector_->selectedSlot();
    const bool existing = k >= 0 && k <= s.lastIndex;
    ui.name->setText(existing ? qs(s.name[k]) : ui.ServerList->currentText());
    ui.host->setText(existing ? qs(s.ip[k]) : QString());
    ui.port->setText(existing ? qs(s.port[k]) : QStringLiteral("2302"));
    ui.pass->setText(existing ? qs(s.pass[k]) : QString());

    const std::vector<bool> ticks =
        existing ? modTicks(s.mods[k], main_.state().mods) : std::vector<bool>{};
    ui.modlistb->clear();
    const QListWidget* mainList = main_.ui.ModList;
    for (int i = 0; i < mainList->count(); ++i) {
        auto* item = new QListWidgetItem(mainList->item(i)->text(), ui.modlistb);
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
        const bool ticked = static_cast<size_t>(i) < ticks.size() && ticks[static_cast<size_t>(i)];
        item->setCheckState(ticked ? Qt::Checked : Qt::Unchecked);
    }
}

void TForm3::BitBtn1Click() {
    guarded([&] {
        std::vector<bool> ticks;
        for (int i = 0; i < ui.modlistb->count(); ++i)
            ticks.push_back(ui.modlistb->item(i)->checkState() == Qt::Checked);
        const ServerFields fields{ui.name->text().toStdString(), ui.host->text().toStdString(),
                                  ui.port->text().toStdString(), ui.pass->text().toStdString()};
        std::mt19937 rng = clockSeededRng();
        if (!saveServerEntry(main_.state().servers, selector_->selectedSlot(), fields, ticks,
                             main_.state().mods, rng)) {
            main_.context().prompter->message(qs(tableFullMessage("server")));
            return;
        }
        main_.storeAndReload();
        FormActivate();
    });
}

void TForm3::BitBtn2Click() {
    guarded([&] {
        if (!main_.context().prompter->confirm(QStringLiteral("Are you sure?")))
            return;
        deleteServerEntry(main_.state().servers, selector_->selectedSlot());
        main_.storeAndReload();
        FormActivate();
    });
}
