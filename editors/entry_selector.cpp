#include "entry_selector.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QScopedValueRollback>

EntrySelector::EntrySelector(QComboBox* box, std::function<void()> onChange)
    : QObject(box), box_(box), onChange_(std::move(onChange)) {
    box_->setCompleter(nullptr); // the typed text is the new entry's name, as typed
    // Enter would otherwise pick an item whose name equals the typed text.
    box_->setDuplicatesEnabled(true);
    // The box has the focus and hands its key and focus events on to its line edit.
    box_->installEventFilter(this);
    box_->lineEdit()->installEventFilter(this);
    connect(box_->lineEdit(), &QLineEdit::textEdited, this, [this] {
        typed_ = true;
        onChange_();
    });
    const auto picked = [this] {
        if (finishingEdit_)
            return;
        typed_ = false;
        onChange_();
    };
    connect(box_, &QComboBox::activated, this, picked);
    connect(box_, &QComboBox::currentIndexChanged, this, picked);
}

bool EntrySelector::eventFilter(QObject* watched, QEvent* event) {
    // When the edit is finished (focus leaves, or Enter), the combo box selects the item whose
    // text equals the typed one. A typed name is a new entry even when it matches one, so that
    // selection is no pick.
    const bool finishes = event->type() == QEvent::FocusOut ||
                          (event->type() == QEvent::KeyPress &&
                           (static_cast<QKeyEvent*>(event)->key() == Qt::Key_Return ||
                            static_cast<QKeyEvent*>(event)->key() == Qt::Key_Enter));
    if (!finishes || !typed_ || finishingEdit_)
        return false;
    const QScopedValueRollback<bool> finishing(finishingEdit_, true);
    return watched->event(event); // past this filter, with the flag set
}
