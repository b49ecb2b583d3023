#include "options_dialog.h"
#include "qt_text.h"

#include "error_handler.h"
#include "form_activation.h"
#include "main_window.h"

#include <QStyle>
#include <algorithm>

using namespace quorvale;

TFormOptions::TFormOptions(TForm1& main)
    : QDialog(&main), OpenDialog1(QStringLiteral("WAV files (*.wav);;All files (*)")),
      OpenDialog2(QStringLiteral("Executable files (*.exe *.bat);;All files (*)")), main_(main) {
    ui.setupUi(this);
    setFixedSize(size());
    ui.BitBtn2->setIcon(style()->standardIcon(QStyle::SP_DialogApplyButton));
    ui.BitBtn1->setIcon(style()->standardIcon(QStyle::SP_DialogCancelButton));
    for (QRadioButton* r : {ui.sounds1, ui.sounds2, ui.sounds3})
        connect(r, &QRadioButton::toggled, this, [this](bool on) {
            if (on)
                UpdateJuttu();
        });
    connect(ui.memUse, &QSlider::valueChanged, this, &TFormOptions::memUseChange);
    connect(ui.Button2, &QPushButton::clicked, this, &TFormOptions::Button2Click);
    connect(ui.Button1, &QPushButton::clicked, this, &TFormOptions::Button1Click);
    connect(ui.Button3, &QPushButton::clicked, this, &TFormOptions::Button3Click);
    connect(ui.BitBtn2, &QPushButton::clicked, this, &TFormOptions::BitBtn2Click);
    connect(ui.BitBtn1, &QPushButton::clicked, this, &TFormOptions::BitBtn1Click);
    new FormActivation(this, [this] { FormActivate(); });
}

void TFormOptions::FormActivate() {
    const LauncherSettings& s = main_.state().settings;
    ui.CheckBox1->setChecked(s.nosplash);
    ui.CheckBox2->setChecked(s.window);
    ui.CheckBox3->setChecked(s.close);
    ui.CheckBox4->setChecked(s.runtir);
    ui.CheckBox5->setChecked(s.flash);

    // A value outside 0..2 selects no button, which an exclusive group cannot show.
    QRadioButton* radios[] = {ui.sounds1, ui.sounds2, ui.sounds3};
    for (QRadioButton* r : radios)
        r->setAutoExclusive(false);
    for (int i = 0; i < 3; ++i)
        radios[i]->setChecked(s.watchers == i);
    for (QRadioButton* r : radios)
        r->setAutoExclusive(true);
    UpdateJuttu();

    ui.sound1->setText(qs(s.sound1));
    ui.sound2->setText(qs(s.sound2));
    ui.additionalParams->setText(qs(s.extraParams));
    ui.extraExec->setText(qs(s.extraExec));
    ui.memUse->setValue(std::clamp(s.maxmem, 0, 2048));
    memUseChange(ui.memUse->value());
}

void TFormOptions::UpdateJuttu() {
    const bool custom = !ui.sounds1->isChecked() && !ui.sounds2->isChecked();
    for (QWidget* w : {static_cast<QWidget*>(ui.sound1), static_cast<QWidget*>(ui.sound2),
                       static_cast<QWidget*>(ui.Button2), static_cast<QWidget*>(ui.Button1)})
        w->setEnabled(custom);
}

void TFormOptions::memUseChange(int position) {
    ui.memUseLabel->setText(position == 0 ? QStringLiteral("Automatic")
                                          : QString::number(position) + QStringLiteral(" MB"));
}

void TFormOptions::chooseInto(FileDialogState& dialog, QLineEdit* field) {
    if (const auto chosen = dialog.choose(*main_.context().prompter, this))
        field->setText(*chosen);
}

void TFormOptions::Button2Click() {
    chooseInto(OpenDialog1, ui.sound1);
}
void TFormOptions::Button1Click() {
    chooseInto(OpenDialog1, ui.sound2);
}
void TFormOptions::Button3Click() {
    chooseInto(OpenDialog2, ui.extraExec);
}

void TFormOptions::BitBtn2Click() {
    LauncherSettings& s = main_.state().settings;
    s.nosplash = ui.CheckBox1->isChecked();
    s.window = ui.CheckBox2->isChecked();
    s.close = ui.CheckBox3->isChecked();
    s.runtir = ui.CheckBox4->isChecked();
    s.sound1 = ui.sound1->text().toStdString();
    s.sound2 = ui.sound2->text().toStdString();
    s.flash = ui.CheckBox5->isChecked();
    s.maxmem = ui.memUse->value();
    s.extraParams = ui.additionalParams->text().toStdString();
    s.extraExec = ui.extraExec->text().toStdString();
    if (ui.sounds1->isChecked())
        s.watchers = 0;
    else if (ui.sounds2->isChecked())
        s.watchers = 1;
    else if (ui.sounds3->isChecked())
        s.watchers = 2;
    guarded([&] { main_.SaveRegistry(); });
    hide();
}

void TFormOptions::BitBtn1Click() {
    hide();
}
