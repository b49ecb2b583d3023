#include "mod_editor.h"
#include "qt_text.h"

#include "entry_selector.h"
#include "error_handler.h"
#include "form_keys.h"
#include "list_editing.h"
#include "main_window.h"
#include "reload_on_activation.h"

#include <QLoggingCategory>
#include <QStyle>

Q_LOGGING_CATEGORY(lcModScan, "quorvale.modscan")

using namespace quorvale;

ModEditor::ModEditor(MainWindow& main) : QDialog(&main), main_(main) {
    ui.setupUi(this);
    applyFormKeys(this, ui.saveModButton);
    setFixedSize(size());
    ui.saveModButton->setIcon(style()->standardIcon(QStyle::SP_DialogApplyButton));
    ui.deleteModButton->setIcon(style()->standardIcon(QStyle::SP_DialogCancelButton));
    selector_ = new EntrySelector(ui.modSelector, [this] { showSelectedMod(); });
    connect(ui.saveModButton, &QPushButton::clicked, this, &ModEditor::saveMod);
    connect(ui.deleteModButton, &QPushButton::clicked, this, &ModEditor::deleteMod);
    connect(ui.autoScanButton, &QPushButton::clicked, this, &ModEditor::autoScan);
    new ReloadOnActivation(this, [this] { refreshFields(); });
}

void ModEditor::refreshFields() {
    const ModTable& m = main_.state().mods;
    selector_->fill(m.name, m.count());
    showSelectedMod();
}

void ModEditor::showSelectedMod() {
    const ModTable& m = main_.state().mods;
    const int k = selector_->selectedSlot();
    if (k >= 0 && k <= m.lastIndex) {
        ui.modNameEdit->setText(qs(m.name[k]));
        ui.modFolderEdit->setText(qs(m.dir[k]));
    } else {
        ui.modNameEdit->setText(ui.modSelector->currentText());
        ui.modFolderEdit->clear();
    }
}

void ModEditor::saveMod() {
    guarded([&] {
        std::mt19937 rng = clockSeededRng();
        if (!saveModEntry(main_.state().mods, selector_->selectedSlot(),
                          ui.modNameEdit->text().toStdString(),
                          ui.modFolderEdit->text().toStdString(), rng)) {
            main_.context().prompter->message(qs(tableFullMessage("mod")));
            return;
        }
        main_.storeAndReload();
        refreshFields();
    });
}

void ModEditor::deleteMod() {
    guarded([&] {
        if (!main_.context().prompter->confirm(QStringLiteral("Are you sure?")))
            return;
        deleteModEntry(main_.state().mods, selector_->selectedSlot());
        main_.storeAndReload();
        refreshFields();
    });
}

void ModEditor::autoScan() {
    guarded([&] {
        Prompter& prompter = *main_.context().prompter;
        const ModScan scan = scanForMods(main_.state().settings.gamePath, main_.state().mods);
        if (scan.gameFolderUnknown) {
            prompter.message(QString::fromUtf8(main_.state().settings.gameInstallKeyFound
                                                   ? kGameFolderNotInInstallKey
                                                   : kGameFolderUnknown));
            return;
        }
        if (scan.found.empty()) {
            prompter.message(scan.leftOut > 0 ? qs(leftOutMessage(scan))
                                              : QStringLiteral("No new mods found."));
            return;
        }
        if (!prompter.confirm(qs(scanQuestion(scan))))
            return;
        addFoundMods(scan.found);
        refreshFields();
    });
}

void ModEditor::addFoundMods(const std::vector<std::string>& names) {
    std::mt19937 rng = clockSeededRng();
    quorvale::addFoundMods(main_.state().mods, names, rng, [](const std::string& line) {
        qCDebug(lcModScan).noquote() << qs(line);
    });
    main_.storeAndReload();
}
