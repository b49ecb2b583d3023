#include "prompter.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>

namespace {
// Texts carry Windows line breaks; a label wants plain ones.
QString shown(QString text) {
    return text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
}
} // namespace

void QtPrompter::message(const QString& text) {
    QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Quorvale"), shown(text), QMessageBox::Ok);
    box.setWindowModality(Qt::ApplicationModal);
    box.exec();
}

bool QtPrompter::confirm(const QString& text) {
    QMessageBox box(QMessageBox::Question, QStringLiteral("Confirm"), shown(text),
                    QMessageBox::Yes | QMessageBox::No);
    box.setWindowModality(Qt::ApplicationModal);
    return box.exec() == QMessageBox::Yes;
}

std::optional<QString> QtPrompter::chooseFile(QWidget* parent, const QString& filter,
                                              const QString& current) {
    const bool folder = current.endsWith(QLatin1Char('/'));
    QFileDialog dlg(parent, QString(),
                    current.isEmpty() || folder ? current : QFileInfo(current).path(), filter);
    dlg.setFileMode(QFileDialog::ExistingFile);
    dlg.setAcceptMode(QFileDialog::AcceptOpen);
    dlg.setOption(QFileDialog::ReadOnly, false);
    if (!current.isEmpty() && !folder)
        dlg.selectFile(current);
    if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty())
        return std::nullopt;
    return dlg.selectedFiles().constFirst();
}

QString FileDialogState::execute(Prompter& prompter, QWidget* parent) {
    choose(prompter, parent);
    return fileName_;
}

std::optional<QString> FileDialogState::choose(Prompter& prompter, QWidget* parent) {
    const QString start = fileName_.isEmpty() && !startFolder_.isEmpty()
                              ? startFolder_ + QLatin1Char('/')
                              : fileName_;
    const auto chosen = prompter.chooseFile(parent, filter_, start);
    if (chosen)
        fileName_ = *chosen;
    return chosen;
}
