#pragma once

class QWidget;
class QPushButton;

// Keyboard rules every window keeps, as Windows has them: a focused push button takes Enter;
// the default button takes it when no other button has the focus (Qt does this only inside a
// QDialog); text fields take text of any length (Qt stops at 32,767 characters) and are named
// for screen readers by the caption beside them.
void applyFormKeys(QWidget* form, QPushButton* defaultButton = nullptr);
