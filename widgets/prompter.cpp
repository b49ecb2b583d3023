#include "prompter.h"

#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QVBoxLayout>
#include <algorithm>

namespace {
// Texts carry Windows line breaks; a label wants plain ones.
QString shown(QString text) {
    return text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
}

// A box opened while a window stays on top of the others (the server watcher) would open
// beneath it, out of the player's reach: it stays on top too.
void keepWithinReach(QWidget& box) {
    const auto windows = QApplication::topLevelWidgets();
    if (std::any_of(windows.begin(), windows.end(), [](const QWidget* w) {
            return w->isVisible() && w->windowFlags().testFlag(Qt::WindowStaysOnTopHint);
        }))
        box.setWindowFlag(Qt::WindowStaysOnTopHint);
}

// Past this many lines a box would outgrow a small screen.
constexpr int kMaxBoxLines = 30;

// A box as tall as the screen allows whose text scrolls, so that its buttons stay in reach
// however long the text (the auto scan lists every folder it found).
QMessageBox::StandardButton scrollingBox(QMessageBox::Icon icon, const QString& title,
                                         const QString& text,
                                         QDialogButtonBox::StandardButtons buttons) {
    QDialog box;
    box.setWindowTitle(title);
    box.setWindowModality(Qt::ApplicationModal);
    auto* layout = new QVBoxLayout(&box);
    auto* row = new QHBoxLayout;
    if (icon != QMessageBox::NoIcon) {
        auto* picture = new QLabel(&box);
        const int size = box.style()->pixelMetric(QStyle::PM_MessageBoxIconSize);
        picture->setPixmap(box.style()->standardIcon(QStyle::SP_MessageBoxQuestion).pixmap(size));
        row->addWidget(picture, 0, Qt::AlignTop);
    }
    auto* view = new QPlainTextEdit(text, &box);
    view->setReadOnly(true);
    view->setLineWrapMode(QPlainTextEdit::NoWrap);
    row->addWidget(view);
    layout->addLayout(row);
    auto* choices = new QDialogButtonBox(buttons, &box);
    layout->addWidget(choices);
    QMessageBox::StandardButton answer = QMessageBox::NoButton;
    QObject::connect(choices, &QDialogButtonBox::clicked, &box, [&](QAbstractButton* b) {
        answer = static_cast<QMessageBox::StandardButton>(choices->standardButton(b));
        box.accept();
    });
    if (QPushButton* first = choices->buttons().isEmpty()
                                 ? nullptr
                                 : qobject_cast<QPushButton*>(choices->buttons().constFirst()))
        first->setFocus();
    const QRect screen = QGuiApplication::primaryScreen()
                             ? QGuiApplication::primaryScreen()->availableGeometry()
                             : QRect(0, 0, 800, 600);
    box.resize(std::min(480, screen.width()), std::min(520, screen.height() * 3 / 4));
    keepWithinReach(box);
    box.exec();
    return answer;
}
} // namespace

void QtPrompter::message(const QString& text) {
    if (text.count(QLatin1Char('\n')) > kMaxBoxLines) {
        scrollingBox(QMessageBox::NoIcon, QStringLiteral("Quorvale"), shown(text),
                     QDialogButtonBox::Ok);
        return;
    }
    QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Quorvale"), shown(text), QMessageBox::Ok);
    box.setTextFormat(Qt::PlainText); // paths from Steam's files and servers' names are no markup
    box.setWindowModality(Qt::ApplicationModal);
    keepWithinReach(box);
    box.exec();
}

bool QtPrompter::confirm(const QString& text) {
    if (text.count(QLatin1Char('\n')) > kMaxBoxLines)
        return scrollingBox(QMessageBox::Question, QStringLiteral("Confirm"), shown(text),
                            QDialogButtonBox::Yes | QDialogButtonBox::No) == QMessageBox::Yes;
    QMessageBox box(QMessageBox::Question, QStringLiteral("Confirm"), shown(text),
                    QMessageBox::Yes | QMessageBox::No);
    box.setTextFormat(Qt::PlainText);
    box.setWindowModality(Qt::ApplicationModal);
    keepWithinReach(box);
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
    // Qt answers with '/'; Windows paths are stored as Windows writes them.
    return QDir::toNativeSeparators(dlg.selectedFiles().constFirst());
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
