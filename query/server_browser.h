#pragma once

#include "query_pass.h"
#include "udp_endpoint.h"
#include "ui_server_browser.h"

#include <QMainWindow>
#include <QTimer>

class TForm1;
class TFormWatcher;
class QLabel;

// "Servers": the favourite servers with their state, queried in one pass; joins the selected
// one or watches it.
class TForm4 : public QMainWindow {
    Q_OBJECT
public:
    explicit TForm4(TForm1& main);
    // The watcher is created after the browser.
    void setWatcher(TFormWatcher* watcher) { watcher_ = watcher; }
    ~TForm4() override;

    void LayoutColumns();
    void QueryServers();
    void ShowPlayers();
    // The selected server's slot, or -1 when no row is selected.
    int selectedSlot() const;
    // Joins the server of a slot, as "&Join server" does for the selected one.
    void joinSlot(int slot);
    QString statusText() const;

    Ui::TForm4 ui;
    TNMUDP udps;
    QueryPass pass;
    QTimer Timer1;
    QTimer Timer2;

Q_SIGNALS:
    void statusShown(const QString& text);

protected:
    void resizeEvent(QResizeEvent* event) override;

private Q_SLOTS:
    void FormActivate();
    void Timer1Timer();
    void Timer2Timer();
    void BitBtn1Click();
    void BitBtn2Click();
    void BitBtn3Click();
    void SGridClick();
    void serverUpdated(int slot);

private:
    void setStatus(const QString& text);
    void setCell(int row, int column, const QString& text);
    void updateButtons();

    TForm1& main_;
    TFormWatcher* watcher_ = nullptr;
    QLabel* status_;
    QString passError_;  // a server of this pass that could not be queried
    QString replyError_; // the latest datagram's parse error
};
