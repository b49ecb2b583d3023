#include "options_dialog.h"
#include "qt_text.h"

#include "error_handler.h"
#include "form_keys.h"
#include "launcher_session.h"
#include "list_editing.h"
#include "reload_on_activation.h"

#include <QStyle>
#include <algorithm>

#ifndef _WIN32
#include "steam_library.h"
#endif

using namespace quorvale;

OptionsDialog::OptionsDialog(LauncherSession& session, QWidget* parent)
    : QDialog(parent), soundDialog(QStringLiteral("WAV files (*.wav);;All files (*)")),
      programDialog(QStringLiteral("Executable files (*.exe *.bat);;All files (*)")),
      session_(session) {
    ui.setupUi(this);
    applyFormKeys(this, ui.okButton);
#ifdef _WIN32
    // Windows starts its own programs: no runner, no prefix, the dialog as it always was.
    ui.runnerGroup->hide();
    ui.winePrefixGroup->hide();
    for (QGroupBox* g : {ui.masterServerGroup, ui.appIdGroup, ui.webApiKeyGroup})
        g->move(g->x(), 296);
    for (QPushButton* b : {ui.okButton, ui.cancelButton})
        b->move(b->x(), 352);
    resize(width(), 385);
#else
    ui.winePrefixEdit->setPlaceholderText(toQString(session.context().winePrefix));
    // The buttons stand below the runner's fields here, and Tab reaches them last.
    QWidget* order[] = {ui.chooseNewGameSoundButton,
                        ui.additionalParametersEdit,
                        ui.preLaunchProgramEdit,
                        ui.choosePreLaunchProgramButton,
                        ui.runnerBox,
                        ui.winePrefixEdit,
                        ui.masterServerEdit,
                        ui.appIdEdit,
                        ui.webApiKeyEdit,
                        ui.cancelButton,
                        ui.okButton};
    for (size_t i = 0; i + 1 < std::size(order); ++i)
        setTabOrder(order[i], order[i + 1]);
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
    const LauncherSettings& s = session_.state().settings;
    ui.skipSplashBox->setChecked(s.noSplash);
    ui.windowedBox->setChecked(s.windowed);
    ui.closeAfterLaunchBox->setChecked(s.closeAfterLaunch);
    ui.trackIrBox->setChecked(s.runTrackIr);
    ui.flashTaskbarBox->setChecked(s.flashTaskbar);

    // A value outside 0..2 selects no button, which an exclusive group cannot show.
    QRadioButton* radios[] = {ui.noSoundsButton, ui.defaultSoundsButton, ui.customSoundsButton};
    const int sound = static_cast<int>(s.alertSound);
    for (QRadioButton* r : radios)
        r->setAutoExclusive(false);
    for (int i = 0; i < 3; ++i)
        radios[i]->setChecked(sound == i);
    for (QRadioButton* r : radios)
        r->setAutoExclusive(true);
    // Qt moves the group's tab stop to a button checked while it is exclusive, not to one
    // checked above: Tab into the group must land on the selected button.
    const bool none = sound < 0 || sound > 2;
    for (int i = 0; i < 3; ++i)
        radios[i]->setFocusPolicy(sound == i || (none && i == 0) ? Qt::StrongFocus
                                                                 : Qt::ClickFocus);
    updateSoundFields();

    ui.newGameSoundEdit->setText(toQString(s.newGameSound));
    ui.playersSoundEdit->setText(toQString(s.playersBackSound));
    ui.additionalParametersEdit->setText(toQString(s.additionalParameters));
    ui.preLaunchProgramEdit->setText(toQString(s.preLaunchProgram));
#ifndef _WIN32
    showRunner(s.runner);
#endif
    ui.winePrefixEdit->setText(toQString(s.winePrefix));
    ui.masterServerEdit->setText(toQString(s.masterServer));
    ui.appIdEdit->setText(toQString(s.masterAppId));
    ui.webApiKeyEdit->setText(toQString(s.webApiKey));
    ui.memoryBar->setValue(std::clamp(s.maxMemory, 0, 2048));
    showMemoryLimit(ui.memoryBar->value());
}

#ifndef _WIN32
// Wine, each Proton and Steam by name; a stored value that is none of them is a command the
// player typed, shown as it is.
void OptionsDialog::showRunner(const std::string& stored) {
    QComboBox* box = ui.runnerBox;
    box->clear();
    for (const RunnerOption& option : runnerOptions(findSteamInstalls())) {
        box->addItem(toQString(option.label), toQString(option.value));
        const RunnerValue value = parseRunnerValue(option.value);
        if (value.kind == RunnerValue::Proton)
            box->setItemData(box->count() - 1, toQString(value.text), Qt::ToolTipRole);
    }
    if (const int i = box->findData(toQString(stored)); i >= 0)
        box->setCurrentIndex(i);
    else
        box->setEditText(toQString(stored));
}

// The value of the entry whose name the field shows, else the text typed.
std::string OptionsDialog::chosenRunner() const {
    const QComboBox* box = ui.runnerBox;
    const QString text = box->currentText();
    int i = box->currentIndex();
    if (i < 0 || box->itemText(i) != text)
        i = box->findText(text);
    return i >= 0 ? box->itemData(i).toString().toStdString() : text.toStdString();
}
#endif

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
    if (const auto chosen = dialog.choose(session_.prompter(), this))
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
    // A setting that cannot be used is told, and the dialog stays open on it.
    const std::string master = ui.masterServerEdit->text().trimmed().toStdString();
    const std::string appId = ui.appIdEdit->text().trimmed().toStdString();
    const std::string key = ui.webApiKeyEdit->text().trimmed().toStdString();
    for (auto [problem, field] :
         {std::pair{master.empty() ? std::string() : masterAddressProblem(master),
                    ui.masterServerEdit},
          {appIdProblem(appId), ui.appIdEdit},
          {webApiKeyProblem(key), ui.webApiKeyEdit}})
        if (!problem.empty()) {
            session_.prompter().message(toQString(problem));
            field->setFocus();
            field->selectAll();
            return;
        }
    LauncherSettings& s = session_.state().settings;
    s.masterServer = master;
    s.masterAppId = appId;
    s.webApiKey = key;
    s.noSplash = ui.skipSplashBox->isChecked();
    s.windowed = ui.windowedBox->isChecked();
    s.closeAfterLaunch = ui.closeAfterLaunchBox->isChecked();
    s.runTrackIr = ui.trackIrBox->isChecked();
    s.newGameSound = ui.newGameSoundEdit->text().toStdString();
    s.playersBackSound = ui.playersSoundEdit->text().toStdString();
    s.flashTaskbar = ui.flashTaskbarBox->isChecked();
    s.maxMemory = ui.memoryBar->value();
    s.additionalParameters = ui.additionalParametersEdit->text().toStdString();
    s.preLaunchProgram = ui.preLaunchProgramEdit->text().toStdString();
#ifndef _WIN32
    s.runner = chosenRunner();
    s.winePrefix = ui.winePrefixEdit->text().toStdString();
#endif
    if (ui.noSoundsButton->isChecked())
        s.alertSound = AlertSound::None;
    else if (ui.defaultSoundsButton->isChecked())
        s.alertSound = AlertSound::Default;
    else if (ui.customSoundsButton->isChecked())
        s.alertSound = AlertSound::Files;
    guarded([&] { session_.storeSettings(); });
    hide();
}

void OptionsDialog::discardAndClose() {
    hide();
}
