#include "list_reordering.h"

#include <QKeyEvent>
#include <QListWidget>

ListReordering::ListReordering(QListWidget* list, std::function<void()> reordered)
    : QObject(list), list_(list), reordered_(std::move(reordered)) {
    list->setDragDropMode(QAbstractItemView::InternalMove);
    list->setDefaultDropAction(Qt::MoveAction);
    list->installEventFilter(this);
    // A drop moves the row once the drag has ended: the new order is read after it.
    const auto later = [this] { reordered_(); };
    connect(list->model(), &QAbstractItemModel::rowsMoved, this, later, Qt::QueuedConnection);
    connect(list->model(), &QAbstractItemModel::rowsInserted, this, later, Qt::QueuedConnection);
}

void ListReordering::moveCurrent(int step) {
    const int from = list_->currentRow();
    const int to = from + step;
    if (from < 0 || to < 0 || to >= list_->count())
        return;
    {
        const QSignalBlocker block(list_);
        list_->insertItem(to, list_->takeItem(from));
        list_->setCurrentRow(to);
    }
    reordered_();
}

bool ListReordering::eventFilter(QObject* watched, QEvent* event) {
    if (watched == list_ && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        const int step = key->key() == Qt::Key_Up ? -1 : key->key() == Qt::Key_Down ? 1 : 0;
        if (step && (key->modifiers() & Qt::ControlModifier)) {
            moveCurrent(step);
            return true;
        }
    }
    return QObject::eventFilter(watched, event);
}
