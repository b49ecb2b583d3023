#include "about_dialog.h"

#include <QScreen>

TAboutDialog::TAboutDialog(QWidget* parent)
    : QDialog(parent, Qt::Tool | Qt::MSWindowsFixedSizeDialogHint) {
    ui.setupUi(this);
    setFixedSize(size());
    QFont big = font();
    big.setPixelSize(16);
    big.setBold(true);
    ui.Label1->setFont(big);
    ui.Label3->setText(QStringLiteral("Version " QUORVALE_VERSION));
    connect(ui.OKBtn, &QPushButton::clicked, this, &QDialog::accept);
    if (const QScreen* s = screen())
        move(s->availableGeometry().center() - rect().center());
}
