#include "options_dialog.h"
#include "qt_text.h"

#include "error_handler.h"
#include "form_keys.h"
#include "main_window.h"
#include "reload_on_activation.h"

#include <QStyle>
#include <algorithm>

using namespace quorvale;

OptionsDialog::OptionsDialog(MainWindow& main)
    : QDialog(&main), soundDialog(QStringLiteral("WAV files (*.wav);;All files (*)")),
      programDialog(QStringLiteral("Executable files (*.exe *.bat);;All files (*)")), main_(main) {
    ui.setupUi(this);
    applyFormKeys(this, ui.okButton);
#ifdef _WIN32
    // Windows starts its own programs: no runner, no prefix, the dialog as it always was.
    ui.runnerGroup->hide();
    ui.winePrefixGroup->hide();
    resize(width(), 299);
#else
    ui.winePrefixEdit->setPlaceholderText(qs(main.context().winePrefix));
#endif
    setFixedSize(size());
    ui.okButton->setIcon(style()->standardIcon(QStyle::SP_DialogApplyButton));
    ui.cancelButton->setIcon(style()->standardIcon(QStyle::SP_DialogCancelButton));
    for (QRadioButton* r : {ui.noSoundsButton, ui.defaultSoundsButton, ui.customSoundsButton})
        connect(r, &QRadioButton::toggled, this, [this](bool on) {
            if (on)
                updateSoundFields();
        });
    connect(ui.memoryBar, &QSlider::valueChanged, this, &OptionsDialog::showMemoryLimit);
    connect(ui.chooseNewGameSoundButton, &QPushButton::clicked, this,
            &OptionsDialog::chooseNewGameSound);
    connect(ui.choosePlayersSoundButton, &QPushButton::clicked, this,
            &OptionsDialog::choosePlayersSound);
    connect(ui.choosePreLaunchProgramButton, &QPushButton::clicked, this,
            &OptionsDialog::choosePreLaunchProgram);
    connect(ui.okButton, &QPushButton::clicked, this, &OptionsDialog::saveAndClose);
    connect(ui.cancelButton, &QPushButton::clicked, this, &OptionsDialog::discardAndClose);
    new ReloadOnActivation(this, [this] { refreshFields(); });
}

void OptionsDialog::refreshFields() {
    const LauncherSettings& s = main_.state().settings;
    ui.skipSplashBox->setChecked(s.nosplash);
    ui.windowedBox->setChecked(s.window);
    ui.closeAfterLaunchBox->setChecked(s.close);
    ui.trackIrBox->setChecked(s.runtir);
    ui.flashTaskbarBox->setChecked(s.flash);

    // A value outside 0..2 selects no button, which an exclusive group cannot show.
    QRadioButton* radios[] = {ui.noSoundsButton, ui.defaultSoundsButton, ui.customSoundsButton};
    for (QRadioButton* r : radios)
        r->setAutoExclusive(false);
    for (int i = 0; i < 3; ++i)
        radios[i]->setChecked(s.watchers == i);
    for (QRadioButton* r : radios)
        r->setAutoExclusive(true);
    // Qt moves the group's tab stop to a button checked while it is exclusive, not to one
    // checked above: Tab into the group must land on the selected button.
    const bool none = s.watchers < 0 || s.watchers > 2;
    for (int i = 0; i < 3; ++i)
        radios[i]->setFocusPolicy(s.watchers == i || (none && i == 0) ? Qt::StrongFocus
                                                                      : Qt::ClickFocus);
    updateSoundFields();

    ui.newGameSoundEdit->setText(qs(s.sound1));
    ui.playersSoundEdit->setText(qs(s.sound2));
    ui.additionalParametersEdit->setText(qs(s.extraParams));
    ui.preLaunchProgramEdit->setText(qs(s.extraExec));
    ui.runnerEdit->setText(qs(s.runner));
    ui.winePrefixEdit->setText(qs(s.wineprefix));
    ui.memoryBar->setValue(std::clamp(s.maxmem, 0, 2048));
    showMemoryLimit(ui.memoryBar->value());
}

void OptionsDialog::updateSoundFields() {
    const bool custom = !ui.noSoundsButton->isChecked() && !ui.defaultSoundsButton->isChecked();
    for (QWidget* w :
         {static_cast<QWidget*>(ui.newGameSoundEdit), static_cast<QWidget*>(ui.playersSoundEdit),
          static_cast<QWidget*>(ui.chooseNewGameSoundButton),
          static_cast<QWidget*>(ui.choosePlayersSoundButton)})
        w->setEnabled(custom);
}

void OptionsDialog::showMemoryLimit(int position) {
    ui.memoryLabel->setText(position == 0 ? QStringLiteral("Automatic")
                                          : QString::number(position) + QStringLiteral(" MB"));
}

void OptionsDialog::chooseInto(FileDialogState& dialog, QLineEdit* field) {
    if (const auto chosen = dialog.choose(*main_.context().prompter, this))
        field->setText(*chosen);
}

void OptionsDialog::chooseNewGameSound() {
    chooseInto(soundDialog, ui.newGameSoundEdit);
}
void OptionsDialog::choosePlayersSound() {
    chooseInto(soundDialog, ui.playersSoundEdit);
}
void OptionsDialog::choosePreLaunchProgram() {
    chooseInto(programDialog, ui.preLaunchProgramEdit);
}

void OptionsDialog::saveAndClose() {
    LauncherSettings& s = main_.state().settings;
    s.nosplash = ui.skipSplashBox->isChecked();
    s.window = ui.windowedBox->isChecked();
    s.close = ui.closeAfterLaunchBox->isChecked();
    s.runtir = ui.trackIrBox->isChecked();
    s.sound1 = ui.newGameSoundEdit->text().toStdString();
    s.sound2 = ui.playersSoundEdit->text().toStdString();
    s.flash = ui.flashTaskbarBox->isChecked();
    s.maxmem = ui.memoryBar->value();
    s.extraParams = ui.additionalParametersEdit->text().toStdString();
    s.extraExec = ui.preLaunchProgramEdit->text().toStdString();
#ifndef _WIN32
    s.runner = ui.runnerEdit->text().toStdString();
    s.wineprefix = ui.winePrefixEdit->text().toStdString();
#endif
    if (ui.noSoundsButton->isChecked())
        s.watchers = 0;
    else if (ui.defaultSoundsButton->isChecked())
        s.watchers = 1;
    else if (ui.customSoundsButton->isChecked())
        s.watchers = 2;
    guarded([&] { main_.storeSettings(); });
    hide();
}

void OptionsDialog::discardAndClose() {
    hide();
}
