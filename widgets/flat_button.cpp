#include "flat_button.h"

#include <QPainter>
#include <QStyleOptionFocusRect>

QSize FlatButton::sizeHint() const {
    return fontMetrics().size(Qt::TextShowMnemonic, text()) + QSize(4, 0);
}

void FlatButton::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const QPoint shift = isDown() ? QPoint(1, 1) : QPoint();
    style()->drawItemText(&p, rect().translated(shift), Qt::AlignCenter | Qt::TextShowMnemonic,
                          palette(), isEnabled(), text(), QPalette::ButtonText);
    if (hasFocus()) {
        QStyleOptionFocusRect focus;
        focus.initFrom(this);
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, &p, this);
    }
}
