#include "mod_editor.h"
#include "qt_text.h"

#include "entry_selector.h"
#include "error_handler.h"
#include "form_keys.h"
#include "launcher_session.h"
#include "list_editing.h"
#include "reload_on_activation.h"

#include <QLoggingCategory>
#include <QStyle>

Q_LOGGING_CATEGORY(lcModScan, "quorvale.modscan")

using namespace quorvale;

ModEditor::ModEditor(LauncherSession& session, QWidget* parent)
    : QDialog(parent), session_(session) {
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
    selector_->fill(session_.state().mods.entries);
    showSelectedMod();
}

void ModEditor::showSelectedMod() {
    const ModTable& m = session_.state().mods;
    const int k = selector_->selectedSlot();
    if (m.holds(k)) {
        const ModEntry& mod = m.entries[static_cast<size_t>(k)];
        ui.modNameEdit->setText(toQString(mod.name));
        ui.modFolderEdit->setText(toQString(mod.folder));
    } else {
        ui.modNameEdit->setText(ui.modSelector->currentText());
        ui.modFolderEdit->clear();
    }
}

void ModEditor::saveMod() {
    guarded([&] {
        std::mt19937 rng = clockSeededRng();
        if (!saveModEntry(session_.state().mods, selector_->selectedSlot(),
                          ui.modNameEdit->text().toStdString(),
                          ui.modFolderEdit->text().toStdString(), rng)) {
            session_.prompter().message(toQString(tableFullMessage("mod")));
            return;
        }
        session_.storeAndReload();
        refreshFields();
    });
}

void ModEditor::deleteMod() {
    guarded([&] {
        if (!session_.prompter().confirm(QStringLiteral("Are you sure?")))
            return;
        deleteModEntry(session_.state().mods, selector_->selectedSlot());
        session_.storeAndReload();
        refreshFields();
    });
}

void ModEditor::autoScan() {
    guarded([&] {
        Prompter& prompter = session_.prompter();
        const ModScan scan = scanForMods(session_.state().settings.gamePath, session_.state().mods);
        if (scan.gameFolderUnknown) {
            prompter.message(QString::fromUtf8(session_.state().settings.gameInstallKeyFound
                                                   ? kGameFolderNotInInstallKey
                                                   : kGameFolderUnknown));
            return;
        }
        if (scan.found.empty()) {
            prompter.message(scan.leftOut > 0 ? toQString(leftOutMessage(scan))
                                              : QStringLiteral("No new mods found."));
            return;
        }
        if (!prompter.confirm(toQString(scanQuestion(scan))))
            return;
        addFoundMods(scan.found, scan.names);
        refreshFields();
    });
}

void ModEditor::addFoundMods(const std::vector<std::string>& folders,
                             const std::vector<std::string>& displayNames) {
    std::mt19937 rng = clockSeededRng();
    quorvale::addFoundMods(
        session_.state().mods, folders, rng,
        [](const std::string& line) { qCDebug(lcModScan).noquote() << toQString(line); },
        displayNames);
    session_.storeAndReload();
}
