#include "about_dialog.h"
#include "form_keys.h"

AboutDialog::AboutDialog(QWidget* parent)
    : QDialog(parent, Qt::Tool | Qt::MSWindowsFixedSizeDialogHint) {
    ui.setupUi(this);
    applyFormKeys(this, ui.okButton);
    setFixedSize(size());
    QFont big = font();
    big.setPixelSize(16);
    big.setBold(true);
    ui.nameLabel->setFont(big);
    ui.versionLabel->setText(QStringLiteral("Version " QUORVALE_VERSION));
    connect(ui.okButton, &QPushButton::clicked, this, &QDialog::accept);
}
