#include "form_keys.h"

#include <QDialog>
#include <QKeyEvent>
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
} // namespace

void applyFormKeys(QWidget* form, QPushButton* defaultButton) {
    for (QPushButton* b : form->findChildren<QPushButton*>())
        b->setAutoDefault(true);
    for (QLineEdit* e : form->findChildren<QLineEdit*>())
        e->setMaxLength(std::numeric_limits<int>::max());
    if (defaultButton) {
        defaultButton->setDefault(true);
        if (!qobject_cast<QDialog*>(form))
            new DefaultButtonOnEnter(form, defaultButton);
    }
}
