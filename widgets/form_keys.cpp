#include "form_keys.h"

#include <QComboBox>
#include <QDialog>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <limits>

namespace {
// Enter that no control took reaches the window: it presses the default button.
class DefaultButtonOnEnter : public QObject {
public:
    DefaultButtonOnEnter(QWidget* form, QPushButton* button) : QObject(form), button_(button) {
        form->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() != QEvent::KeyPress)
            return false;
        const auto* key = static_cast<QKeyEvent*>(event);
        const Qt::KeyboardModifiers mods = key->modifiers() & ~Qt::KeypadModifier;
        if ((key->key() != Qt::Key_Return && key->key() != Qt::Key_Enter) || mods != Qt::NoModifier)
            return false;
        if (!button_ || !button_->isEnabled() || !button_->isVisible())
            return false;
        button_->click();
        return true;
    }

private:
    QPointer<QPushButton> button_;
};

// A caption as a screen reader should say it: no access key marks, no closing colon.
QString spoken(QString caption) {
    QString out;
    for (int i = 0; i < caption.size(); ++i) {
        if (caption[i] == QLatin1Char('&') && i + 1 < caption.size())
            ++i; // "&&" is a literal "&", "&x" marks x
        out += caption[i];
    }
    out = out.trimmed();
    if (out.endsWith(QLatin1Char(':')))
        out.chop(1);
    return out;
}

// The caption beside a field: the nearest label above it or to its left (one after or below it
// only when there is none), else its group's title.
QString captionOf(const QWidget* field) {
    QString name;
    int best = std::numeric_limits<int>::max();
    const QRect f = field->geometry();
    for (const QLabel* l :
         field->parentWidget()->findChildren<QLabel*>(Qt::FindDirectChildrenOnly)) {
        const QRect g = l->geometry();
        const bool across = g.left() < f.right() && g.right() > f.left();
        const bool above = across && g.bottom() <= f.top() + 2;
        const bool level = g.top() < f.bottom() && g.bottom() > f.top();
        const bool before = level && g.right() <= f.left() + 2;
        const bool after = level && g.left() >= f.right() - 2;
        const bool below = across && g.top() >= f.bottom() - 2;
        const int distance = above    ? f.top() - g.bottom()
                             : before ? f.left() - g.right()
                             : after  ? 1000 + g.left() - f.right()
                                      : 1000 + g.top() - f.bottom();
        if ((above || before || after || below) && !l->text().isEmpty() && distance < best) {
            best = distance;
            name = spoken(l->text());
        }
    }
    if (const auto* group = qobject_cast<const QGroupBox*>(field->parentWidget());
        name.isEmpty() && group)
        name = spoken(group->title());
    return name;
}
} // namespace

void applyFormKeys(QWidget* form, QPushButton* defaultButton) {
    for (QPushButton* b : form->findChildren<QPushButton*>())
        b->setAutoDefault(true);
    for (QLineEdit* e : form->findChildren<QLineEdit*>())
        e->setMaxLength(std::numeric_limits<int>::max());
    // Each text field is named by the caption beside it, for screen readers.
    for (QWidget* w : form->findChildren<QWidget*>()) {
        const bool field = qobject_cast<QComboBox*>(w) ||
                           (qobject_cast<QLineEdit*>(w) && !qobject_cast<QComboBox*>(w->parent()));
        if (field && w->accessibleName().isEmpty())
            w->setAccessibleName(captionOf(w));
    }
    if (defaultButton) {
        defaultButton->setDefault(true);
        if (!qobject_cast<QDialog*>(form))
            new DefaultButtonOnEnter(form, defaultButton);
    }
}
