#pragma once

#include "ui_direct_join.h"

#include <QWidget>

class TForm1;
class TFormWatcher;

// "Direct join server": joins or watches a server that is not in the list.
class TFormDjoin : public QWidget {
    Q_OBJECT
public:
    TFormDjoin(TForm1& main, TFormWatcher& watcher);

    // The join string of the typed server.
    std::string joinString() const;

    Ui::TFormDjoin ui;

protected:
    void showEvent(QShowEvent* event) override;

private Q_SLOTS:
    void BitBtn1Click();
    void BitBtn2Click();

private:
    TForm1& main_;
    TFormWatcher& watcher_;
    bool placed_ = false;
};
