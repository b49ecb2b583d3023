#include "mod_editor.h"
#include "qt_text.h"

#include "entry_selector.h"
#include "error_handler.h"
#include "form_activation.h"
#include "list_editing.h"
#include "main_window.h"

#include <QLoggingCategory>
#include <QStyle>

Q_LOGGING_CATEGORY(lcModScan, "quorvale.modscan")

using namespace quorvale;

TForm2::TForm2(TForm1& main) : QDialog(&main), main_(main) {
    ui.setupUi(this);
    setFixedSize(size());
    ui.BitBtn2->setIcon(style()->standardIcon(QStyle::SP_DialogApplyButton));
    ui.BitBtn1->setIcon(style()->standardIcon(QStyle::SP_DialogCancelButton));
    selector_ = new EntrySelector(ui.ModList, [this] { ShowSelectedMod(); });
    connect(ui.BitBtn2, &QPushButton::clicked, this, &TForm2::BitBtn2Click);
    connect(ui.BitBtn1, &QPushButton::clicked, this, &TForm2::BitBtn1Click);
    connect(ui.BitBtn3, &QPushButton::clicked, this, &TForm2::BitBtn3Click);
    new FormActivation(this, [this] { FormActivate(); });
}

void TForm2::FormActivate() {
    const ModTable& m = main_.state().mods;
    selector_->fill(m.name, m.count());
    ShowSelectedMod();
}

void TForm2::ShowSelectedMod() {
    const ModTable& m = main_.state().mods;
    const int k = selector_->selectedSlot();
    if (k >= 0 && k <= m.lastIndex) {
        ui.Name->setText(qs(m.name[k]));
        ui.Dir->setText(qs(m.dir[k]));
    } else {
        ui.Name->setText(ui.ModList->currentText());
        ui.Dir->clear();
    }
}

void TForm2::BitBtn2Click() {
    guarded([&] {
        std::mt19937 rng = clockSeededRng();
        if (!saveModEntry(main_.state().mods, selector_->selectedSlot(),
                          ui.Name->text().toStdString(), ui.Dir->text().toStdString(), rng)) {
            main_.context().prompter->message(qs(tableFullMessage("mod")));
            return;
        }
        main_.storeAndReload();
        FormActivate();
    });
}

void TForm2::BitBtn1Click() {
    guarded([&] {
        if (!main_.context().prompter->confirm(QStringLiteral("Are you sure?")))
            return;
        deleteModEntry(main_.state().mods, selector_->selectedSlot());
        main_.storeAndReload();
        FormActivate();
    });
}

void TForm2::BitBtn3Click() {
    guarded([&] {
        Prompter& prompter = *main_.context().prompter;
        const ModScan scan = scanForMods(main_.state().settings.gamePath, main_.state().mods);
        if (scan.gameFolderUnknown) {
            prompter.message(QString::fromUtf8(kGameFolderUnknown));
            return;
        }
        if (scan.found.empty()) {
            prompter.message(scan.leftOut > 0 ? qs(leftOutMessage(scan.leftOut))
                                              : QStringLiteral("No new mods found."));
            return;
        }
        if (!prompter.confirm(qs(scanQuestion(scan))))
            return;
        AddFoundMods(scan.found);
        FormActivate();
    });
}

void TForm2::AddFoundMods(const std::vector<std::string>& names) {
    std::mt19937 rng = clockSeededRng();
    addFoundMods(main_.state().mods, names, rng,
                 [](const std::string& line) { qCDebug(lcModScan).noquote() << qs(line); });
    main_.storeAndReload();
}
