#include "internet_list.h"
#include "launcher_fixture.h"
#include "list_editing.h"
#include "message_log.h"
#include "responder.h"
#include "server_browser.h"
#include "server_mods_view.h"
#include "server_watcher.h"

#ifndef _WIN32
#include <QAudioDevice>
#include <QMediaDevices>
#endif
#include <QSignalSpy>
#include <QtTest>
#ifndef _WIN32
#include <sys/stat.h>
#endif

using namespace quorvale;
using quorvale_test::Launcher;

namespace {

struct StoredServer {
    std::string id, name, ip, port, pass = "";
    int sockets = 1;
    std::string mods = "";
    std::string queryPort = "";
};

void servers(RegFileStore& s, const std::vector<StoredServer>& list) {
    for (const auto& e : list) {
        s.openKey(std::string(kServersKey) + "\\" + e.id, true);
        s.writeString("name", e.name);
        s.writeString("ip", e.ip);
        s.writeString("port", e.port);
        s.writeString("pass", e.pass);
        s.writeString("mods", e.mods);
        s.writeInteger("sockets", e.sockets);
        if (!e.queryPort.empty())
            s.writeString("queryport", e.queryPort);
    }
}

// A server's text as shown, without the marks that isolate its direction.
QString plain(QString t) {
    if (t.startsWith(QChar(0x2068)) && t.endsWith(QChar(0x2069)))
        t = t.mid(1, t.size() - 2);
    return t;
}

QString cell(ServerBrowser& b, int row, int col) {
    const QTableWidgetItem* i = b.ui.serverGrid->item(row, col);
    return i ? plain(i->text()) : QStringLiteral("<none>");
}

QStringList playerRows(QTableWidget* g) {
    QStringList rows;
    for (int r = 0; r < g->rowCount(); ++r) {
        const auto* a = g->item(r, 0);
        const auto* b = g->item(r, 1);
        rows << (a ? plain(a->text()) : QString()) + QLatin1Char('|') + (b ? b->text() : QString());
    }
    return rows;
}

QColor colourOf(QLabel* l) {
    return l->palette().color(QPalette::WindowText);
}
// A server of today: it answers only the Steam query, at the game port + 1.
void answerSteamOnly(Responder& r, bool challenge = true, int split = 0) {
    r.answersGameSpy = false;
    r.answersA2s = true;
    r.a2s.challenge = challenge;
    r.a2s.splitParts = split;
}

const QColor kGreen(0, 128, 0);
const QColor kMaroon(128, 0, 0);

// A WAV file that plays: a RIFF PCM header and a few samples.
std::string writeWav(const TempDir& dir, const char* name) {
    QByteArray w("RIFF\x2c\0\0\0WAVEfmt \x10\0\0\0\x01\0\x01\0\x22\x56\0\0\x44\xac\0\0\x02\0\x10\0"
                 "data\x08\0\0\0\0\0\0\0\0\0\0\0",
                 52);
    const std::string path = dir.file(name);
    writeAll(path, w.toStdString());
    return path;
}

// Sends one query from the watcher and waits until its reply has been handled.
void poll(ServerWatcher& w) {
    QSignalSpy spy(&w.endpoint, &UdpEndpoint::dataReceived);
    w.updateStatus();
    QVERIFY(spy.wait(2000));
}

// Opens the watcher on a server of the test.
ServerWatcher& watchOn(Launcher& l, const Responder& server) {
    ServerWatcher& w = *l.windows.watcher;
    w.watch(nullptr, QStringLiteral("127.0.0.1"), server.port(), {});
    return w;
}

// The player works in another window while the watcher waits.
struct Elsewhere : QWidget {
    Elsewhere() {
        show();
        activateWindow();
        QTRY_VERIFY(QApplication::activeWindow() == this);
    }
};

} // namespace

class TestServerWindows : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { QApplication::setApplicationName(QStringLiteral("Quorvale")); }
    void init() { resetErrorHandler(); }

    void repliesFillTheRowsWhoseAddressAndPortMatch() {
        Responder server(3);
        const std::string p = server.port();
        Launcher l([&](RegFileStore& s) {
            servers(s, {{"1", "Dotted", "127.0.0.1", p},
                        {"2", "Named", "localhost", p},
                        {"3", "Zero", "127.0.0.1", "0" + p}});
        });
        ServerBrowser& b = *l.windows.browser;
        QCOMPARE(b.windowTitle(), QStringLiteral("Servers"));
        QStringList shown;
        connect(&b, &ServerBrowser::statusShown, this, [&](const QString& t) { shown << t; });
        QSignalSpy replies(&b.endpoint, &UdpEndpoint::dataReceived);
        l.form->ui.serverListButton->click();
        QVERIFY(b.isVisible());
        b.queryServers();
        QCOMPARE(shown.value(0), QStringLiteral("Querying servers..."));
        QTRY_VERIFY(shown.contains(QStringLiteral("Query done...")));
        QCOMPARE(b.ui.serverGrid->horizontalHeaderItem(3)->text(), QStringLiteral("Players"));
        QCOMPARE(cell(b, 2, 1), QString::fromStdString("127.0.0.1:0" + p));
        QTRY_VERIFY(cell(b, 0, 2) != QStringLiteral("??"));
        QTRY_VERIFY(cell(b, 1, 2) != QStringLiteral("??"));
        QCOMPARE(cell(b, 0, 3), QStringLiteral("3/32"));
        QCOMPARE(cell(b, 1, 3), QStringLiteral("3/32"));
        QCOMPARE(cell(b, 0, 4), QStringLiteral("co@10 Domination"));
        QTRY_VERIFY(cell(b, 2, 2) != QStringLiteral("??"));
        QCOMPARE(cell(b, 2, 3), QStringLiteral("3/32"));
        QCOMPARE(cell(b, 2, 4), QStringLiteral("co@10 Domination"));
        QCOMPARE(b.statusText(), QStringLiteral("Ready"));
        b.ui.serverGrid->setCurrentCell(1, 0);
        // Three requests reached the one server (port "0P" is the same number), and each of
        // its replies belongs to all three entries; a reply replaces the players of the last.
        QCOMPARE(server.requests, 3);
        QCOMPARE(playerRows(b.ui.playerGrid), (QStringList{"P0|0", "P1|1", "P2|2"}));
        b.ui.serverGrid->setCurrentCell(2, 0);
        QCOMPARE(playerRows(b.ui.playerGrid), (QStringList{"P0|0", "P1|1", "P2|2"}));
    }

    // One list, both protocols: each row is filled by the query its server answers, says which,
    // and joins on the game port as before.
    void aMixedListFillsEveryRowFromItsOwnQuery() {
        Responder gameSpy(2), steam(0), both(1), silent(0), elsewhere(0), queryHere(2), typo(1);
        steam.state.players = {{QStringLiteral("Zoë"), 5},
                               {QStringLiteral("Miyu 美優"), -1},
                               {QStringLiteral("José"), 0}};
        steam.state.mission = QStringLiteral("Évasion");
        answerSteamOnly(steam, true, 3);
        both.answersA2s = true;
        silent.silent = true;
        elsewhere.silent = true; // the game port of a server whose query port is stored
        answerSteamOnly(queryHere, false);
        const std::string stored = std::to_string(queryHere.portNumber() + 1);
        Launcher l([&](RegFileStore& s) {
            servers(s, {{"1", "GameSpy", "127.0.0.1", gameSpy.port()},
                        {"2", "Steam", "127.0.0.1", steam.port()},
                        {"3", "Both", "127.0.0.1", both.port()},
                        {"4", "Silent", "127.0.0.1", silent.port()},
                        {"5", "Stored", "127.0.0.1", elsewhere.port(), "", 1, "", stored},
                        {"6", "Typo", "127.0.0.1", typo.port(), "", 1, "", "abc"}});
        });
        ServerBrowser& b = *l.windows.browser;
        QCOMPARE(b.ui.serverGrid->horizontalHeaderItem(5)->text(), QStringLiteral("Query"));
        b.queryServers();
        QTRY_VERIFY(!b.passDoneTimer.isActive() && b.ui.refreshButton->isEnabled());
        const QStringList players{"2/32", "3/34", "1/32", " ", "2/34", "1/32"};
        const QStringList via{"GS", "Steam", "GS", " ", "Steam", "GS"};
        for (int row = 0; row < 6; ++row) {
            QCOMPARE(cell(b, row, 3), players[row]);
            QCOMPARE(cell(b, row, 5), via[row]);
            QCOMPARE(cell(b, row, 2) == QStringLiteral("??"), row == 3);
        }
        QCOMPARE(cell(b, 1, 4), QStringLiteral("Évasion"));
        QCOMPARE(plain(b.ui.serverGrid->item(1, 4)->toolTip()), QStringLiteral("Évasion"));
        QCOMPARE(b.ui.serverGrid->item(4, 5)->toolTip(),
                 QString::fromStdString("Answered the Steam query on port " + stored));
        b.ui.serverGrid->setCurrentCell(1, 0);
        QCOMPARE(playerRows(b.ui.playerGrid), (QStringList{"Zoë|5", "Miyu 美優|-1", "José|0"}));
        QCOMPARE(elsewhere.a2sRequests, 0);
        for (int row : {1, 4}) {
            b.joinSlot(row);
            const Responder& game = row == 1 ? steam : elsewhere;
            QVERIFY(l.starter.lines.back().find(" -connect=127.0.0.1 -port=" + game.port() + " ") !=
                    std::string::npos);
        }
    }

    // The list changes under the selection (an entry before it deleted): the picked server
    // stays picked, so Join joins it; and Refresh pressed by key keeps the focus, so that the
    // next Space does not open the watcher.
    void thePickedServerStaysPickedAndRefreshKeepsTheFocus() {
        Responder server(1);
        Launcher l([&](RegFileStore& s) {
            servers(s, {{"1", "A", "127.0.0.1", "2402"},
                        {"2", "B", "127.0.0.1", server.port()},
                        {"3", "C", "127.0.0.1", "2406"}});
        });
        ServerBrowser& b = *l.windows.browser;
        b.show();
        b.activateWindow();
        QTRY_VERIFY(QGuiApplication::focusWindow() == b.windowHandle());
        b.queryServers();
        QTRY_VERIFY(b.ui.refreshButton->isEnabled());
        b.ui.serverGrid->setCurrentCell(1, 0);
        deleteServerEntry(l.state().servers, 0);
        b.ui.refreshButton->setFocus();
        QTest::keyClick(b.ui.refreshButton, Qt::Key_Space);
        QCOMPARE(b.selectedSlot(), 0);
        QCOMPARE(cell(b, 0, 0), QStringLiteral("B"));
        QTRY_VERIFY(b.ui.refreshButton->isEnabled());
        QCOMPARE(QApplication::focusWidget(), b.ui.refreshButton);
        b.joinSlot(b.selectedSlot());
        QVERIFY(l.starter.lines.back().find("-port=" + server.port()) != std::string::npos);
    }

    void replyColumns_data() {
        QTest::addColumn<bool>("withMax");
        QTest::addColumn<QString>("mission");
        QTest::addColumn<QString>("players");
        QTest::addColumn<QString>("missionCell");
        QTest::newRow("noMaxPlayers") << false << "m"
                                      << "5/??"
                                      << "m";
        QTest::newRow("emptyMission") << true << ""
                                      << "5/32"
                                      << "";
        // the error stays on the status line; the row keeps what it could read
        QTest::newRow("maxplayers no number") << true << "m"
                                              << " "
                                              << " ";
        // A right-to-left override shows as what it is and turns nothing around it.
        QTest::newRow("rightToLeftOverride")
            << true << QString::fromUtf8("\u202eevil.exe\u202c gnp.") << "5/32"
            << "\\u202eevil.exe\\u202c gnp.";
    }
    void replyColumns() {
        QFETCH(bool, withMax);
        QFETCH(QString, mission);
        QFETCH(QString, players);
        QFETCH(QString, missionCell);
        Responder server(5);
        server.state.withMaxPlayers = withMax;
        server.state.mission = mission;
        const bool badMax = players == QLatin1String(" ");
        if (badMax)
            server.state.maxPlayersText = QStringLiteral("abc");
        Launcher l([&](RegFileStore& s) { servers(s, {{"1", "S", "127.0.0.1", server.port()}}); });
        ServerBrowser& b = *l.windows.browser;
        b.queryServers();
        if (badMax)
            QTRY_COMPARE(b.statusText(), QStringLiteral("'abc' is not a valid integer value"));
        QTRY_COMPARE(cell(b, 0, 3), players);
        QCOMPARE(cell(b, 0, 4), missionCell);
        if (!mission.isEmpty() && !badMax)
            QVERIFY(b.ui.serverGrid->item(0, 4)->text().startsWith(QChar(0x2068)));
    }

    // A server that falls silent shows no players, no score of its last answer, and is asked
    // again within the pass.
    void aSilentServerShowsNoPlayersAfterTheQuery() {
        Responder server(2);
        Launcher l([&](RegFileStore& s) { servers(s, {{"1", "S", "127.0.0.1", server.port()}}); });
        ServerBrowser& b = *l.windows.browser;
        b.queryServers();
        QTRY_COMPARE(playerRows(b.ui.playerGrid).size(), 2);
        QTRY_VERIFY(b.ui.refreshButton->isEnabled());
        server.silent = true;
        b.queryServers();
        QVERIFY(!b.ui.refreshButton->isEnabled());
        QTRY_VERIFY(b.ui.refreshButton->isEnabled());
        QCOMPARE(playerRows(b.ui.playerGrid), QStringList{"no players|"});
        QTRY_COMPARE(server.requests, 1 + 3);
    }

    void aBadPortMarksItsRowAndThePassGoesOn() {
        Responder server(1);
        Launcher l([&](RegFileStore& s) {
            servers(s, {{"1", "Bad", "127.0.0.1", "x2"},
                        {"2", "Good", "127.0.0.1", server.port()},
                        {"3", "NoHost", "", "2302"}});
        });
        ServerBrowser& b = *l.windows.browser;
        QStringList shown;
        connect(&b, &ServerBrowser::statusShown, this, [&](const QString& t) { shown << t; });
        b.queryServers();
        QCOMPARE(cell(b, 0, 2), QString()); // no ping; the Query cell says why, and has room
        QCOMPARE(cell(b, 0, 5), QStringLiteral("bad port"));
        QVERIFY(b.ui.serverGrid->fontMetrics().horizontalAdvance(cell(b, 0, 5)) <
                b.ui.serverGrid->columnWidth(5));
        QVERIFY(shown.contains(QStringLiteral("'x2' is not a valid integer value")));
        QTRY_VERIFY(shown.indexOf(QStringLiteral("Query done...")) >
                    shown.indexOf(QStringLiteral("'x2' is not a valid integer value")));
        QTRY_VERIFY(cell(b, 1, 2) != QStringLiteral("??"));
        QCOMPARE(cell(b, 0, 4), QStringLiteral("'x2' is not a valid integer value")); // readable
        QCOMPARE(b.ui.serverGrid->rowCount(), 3);
        QCOMPARE(cell(b, 2, 2), QStringLiteral("??")); // a send that fails keeps its row as it was
        QTRY_VERIFY(b.ui.refreshButton->isEnabled());
        QVERIFY(l.prompter.messages.isEmpty());
        b.ui.serverGrid->setCurrentCell(0, 0);
        b.ui.joinButton->click(); // the row said so: nothing starts
        QCOMPARE(l.prompter.messages, QStringList{"'x2' is not a valid integer value"});
        QVERIFY(l.starter.lines.empty());
    }

    void anUnknownHostIsToldOnTheStatusLine() {
        Responder server(1);
        Launcher l([&](RegFileStore& s) {
            servers(
                s, {{"1", "Gone", "gone.test", "2302"}, {"2", "Here", "127.0.0.1", server.port()}});
        });
        ServerBrowser& b = *l.windows.browser;
        b.endpoint.setResolver(
            [](const QString&, QObject* ctx, std::function<void(const QHostAddress&)> done) {
                QMetaObject::invokeMethod(
                    ctx, [done] { done(QHostAddress()); }, Qt::QueuedConnection);
            });
        QStringList shown;
        connect(&b, &ServerBrowser::statusShown, this, [&](const QString& t) { shown << t; });
        b.queryServers();
        QTRY_VERIFY(shown.contains(QStringLiteral("Invalid Host error occured.")));
        QTRY_VERIFY(shown.contains(QStringLiteral("Query done...")));
        QTRY_VERIFY(cell(b, 1, 2) != QStringLiteral("??"));
        QCOMPARE(cell(b, 0, 2), QStringLiteral("??"));
        QVERIFY(l.prompter.messages.isEmpty());
    }

    void withoutServersNothingCanBeJoinedOrWatched() {
        Launcher l;
        ServerBrowser& b = *l.windows.browser;
        b.queryServers();
        QCOMPARE(b.ui.serverGrid->rowCount(), 0);
        QVERIFY(!b.ui.joinButton->isEnabled());
        QVERIFY(!b.ui.watcherButton->isEnabled());
        b.joinSlot(b.selectedSlot());
        QTRY_VERIFY(b.ui.refreshButton->isEnabled());
        QCOMPARE(b.ui.playerGrid->rowCount(), 0);
        QVERIFY(l.starter.lines.empty());
        QVERIFY(!l.windows.watcher->isVisible());
    }

    void aReplyForTheSelectedServerShowsItsPlayersAtOnce() {
        Responder server(2);
        server.delayMs = 100;
        Launcher l([&](RegFileStore& s) { servers(s, {{"1", "S", "127.0.0.1", server.port()}}); });
        ServerBrowser& b = *l.windows.browser;
        b.queryServers();
        QCOMPARE(b.selectedSlot(), 0);
        QTRY_COMPARE(playerRows(b.ui.playerGrid), (QStringList{"P0|0", "P1|1"}));
        QVERIFY(b.passDoneTimer.isActive()); // before the grid's own refill at the end of the pass
    }

    void theJoinStringOfAServer() {
        Launcher l([&](RegFileStore& s) {
            servers(s, {{"1", "S", "10.0.0.5", "2302", "", 0, "@M;"}});
        });
        ServerBrowser& b = *l.windows.browser;
        // The main window's name, typed after the list was made, until one is typed here.
        QTest::keyClicks(l.form->ui.playerNameBox->lineEdit(), QStringLiteral("Main Name"));
        l.form->ui.serverListButton->click();
        QTRY_COMPARE(b.ui.playerNameBox->currentText(), QStringLiteral("Main Name"));
        b.queryServers();
        b.ui.playerNameBox->lineEdit()->selectAll();
        QTest::keyClicks(b.ui.playerNameBox->lineEdit(), QStringLiteral("Two Words"));
        l.form->activateWindow();
        b.activateWindow();
        QTRY_VERIFY(b.isActiveWindow());
        QCOMPARE(b.ui.playerNameBox->currentText(), QStringLiteral("Two Words"));
        b.ui.joinButton->click();
        QCOMPARE(l.starter.lines.size(), size_t(1));
        const std::string& line = l.starter.lines[0];
        QVERIFY2(line.find(" -connect=10.0.0.5 -port=2302 -dplay  \"-name=Two Words\"") !=
                     std::string::npos,
                 line.c_str());
        QVERIFY2(line.find("-mod=@M ") != std::string::npos, line.c_str());
    }

    void aJoinLoadsTheServersMods_data() {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<bool>("rules");   // the server answers the rules request
        QTest::addColumn<bool>("yes");     // to the box
        QTest::addColumn<QString>("line"); // what the game's line holds; none started: ""
        QTest::addColumn<bool>("asked");
        QTest::addColumn<int>("cut"); // a chunk of the list that never comes
        // clang-format off
        QTest::newRow("its known mods in its order") << "" << true << true << "-mod=@CBA_CO;@JSRS " << true << -1;
        QTest::newRow("No starts nothing") << "" << true << false << "" << true << -1;
        QTest::newRow("a stored list wins") << "@X;" << true << true << "-mod=@X " << false << -1;
        QTest::newRow("no rules: as before") << "" << false << true << "-connect=127.0.0.1" << false << -1;
        QTest::newRow("a cut list: as before") << "" << true << true << "-connect=127.0.0.1" << false << 1;
        // clang-format on
    }
    void aJoinLoadsTheServersMods() {
        QFETCH(QString, stored);
        QFETCH(bool, rules);
        QFETCH(bool, yes);
        QFETCH(QString, line);
        QFETCH(bool, asked);
        QFETCH(int, cut);
        Responder server(1);
        answerSteamOnly(server, true);
        server.a2s.missingChunk = cut;
        server.a2s.modNames = "Arma 2: British Armed Forces (Lite);@CBA_CO;@ACE;@JSRS;Arma 2;";
        server.a2s.modChunk = 11;
        server.a2s.rulesSplit = 3;
        server.a2s.answerRules = rules;
        Launcher l([&](RegFileStore& s) {
            Launcher::mod(s, "1", "JSRS", 1);
            Launcher::mod(s, "2", "CBA_CO", 0);
            servers(s, {{"1", "S", "127.0.0.1", server.port(), "", 1, stored.toStdString()}});
        });
        l.prompter.answers = {yes};
        ServerBrowser& b = *l.windows.browser;
        b.queryServers();
        const QStringList shown =
            rules ? QStringList{"Arma 2: British Armed Forces (Lite)|game", "@CBA_CO|known",
                                "@ACE|missing", "@JSRS|known", "Arma 2|game"}
                  : QStringList{"no mod list|"};
        if (cut < 0)
            QTRY_COMPARE_WITH_TIMEOUT(playerRows(b.modsView), shown, 5000);
        else
            QTRY_VERIFY_WITH_TIMEOUT(b.modsView->modsOf({"127.0.0.1", server.port(), ""}), 5000);
        // A tab with nothing picked shows no mods; back on the favourites, the server's again.
        b.listTabs->setCurrentIndex(ServerBrowser::HistoryTab);
        QCOMPARE(playerRows(b.modsView), QStringList());
        b.listTabs->setCurrentIndex(ServerBrowser::FavouritesTab);
        if (cut < 0)
            QTRY_COMPARE(playerRows(b.modsView), shown);
        b.ui.joinButton->click();
        QCOMPARE(l.prompter.questions.size(), asked ? 1 : 0);
        QCOMPARE(l.starter.lines.size(), size_t(line.isEmpty() ? 0 : 1));
        if (line.isEmpty())
            return;
        const QString started = QString::fromStdString(l.starter.lines[0]);
        QVERIFY2(started.contains(line), qPrintable(started));
        QCOMPARE(started.contains(QStringLiteral("-mod=")),
                 line.startsWith(QStringLiteral("-mod=")));
    }

    void enterJoinsTheSelectedServer_data() {
        QTest::addColumn<QString>("from");
        QTest::addColumn<bool>("joins");
        QTest::newRow("the grid") << "serverGrid" << true;
        // Space in a cell of a server that did not answer finds no other such row.
        QTest::newRow("the grid, after Space in the Mission cell") << "serverGrid " << true;
        QTest::newRow("the player box") << "playerNameBox" << true;
        QTest::newRow("Refresh has the focus") << "refreshButton" << false;
        QTest::newRow("the filter box") << "filterEdit" << false;
        QTest::newRow("a double-click on the row") << "double-click" << true;
        QTest::newRow("Escape closes the window") << "Escape" << false;
        QTest::newRow("the ping box") << "pingLimitBox" << false;
        QTest::newRow("the grid, its row hidden by the filter") << "filtered" << false;
    }
    void enterJoinsTheSelectedServer() {
        QFETCH(QString, from);
        QFETCH(bool, joins);
        Launcher l([&](RegFileStore& s) {
            servers(s, {{"1", "S", "10.0.0.5", "2302"}, {"2", "T", "10.0.0.6", "2303"}});
        });
        l.form->show();
        l.form->ui.serverListButton->click();
        ServerBrowser& b = *l.windows.browser;
        b.activateWindow();
        QTRY_VERIFY(QGuiApplication::focusWindow() == b.windowHandle());
        b.queryServers();
        const bool space = from.endsWith(QLatin1Char(' '));
        b.ui.serverGrid->setCurrentCell(1, space ? 4 : 0);
        QTRY_VERIFY(b.ui.refreshButton->isEnabled()); // after the pass
        if (from == QLatin1String("double-click")) {
            const QRect row = b.ui.serverGrid->visualRect(b.ui.serverGrid->model()->index(1, 0));
            QTest::mouseClick(b.ui.serverGrid->viewport(), Qt::LeftButton, {}, row.center());
            QTest::mouseDClick(b.ui.serverGrid->viewport(), Qt::LeftButton, {}, row.center());
        } else if (from == QLatin1String("filtered")) {
            b.filterEdit->setText(QStringLiteral("S"));
            b.ui.serverGrid->setFocus();
            QTest::keyClick(b.ui.serverGrid, Qt::Key_Return);
            QVERIFY(!b.ui.joinButton->isEnabled());
        } else if (from == QLatin1String("Escape")) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
            QVERIFY(!b.isVisible());
        } else {
            QWidget* focus = b.findChild<QWidget*>(from.trimmed());
            focus->setFocus();
            if (space)
                QTest::keyClick(focus, Qt::Key_Space);
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        }
        QCOMPARE(l.starter.lines.size(), size_t(joins ? 1 : 0));
        if (joins)
            QVERIFY(l.starter.lines[0].find("-connect=10.0.0.6 -port=2303") != std::string::npos);
    }

    // Tab leaves each table for the next control: the cells are no trap for the keyboard.
    void tabLeavesEveryTable() {
        Launcher l([&](RegFileStore& s) { servers(s, {{"1", "S", "10.0.0.5", "2302"}}); });
        l.windows.browser->queryServers();         // rows to walk
        l.windows.watcher->ui.moreButton->click(); // the large layout, with its tables
        l.windows.watcher->modsView->showText(QStringLiteral("asking..."));
        for (QWidget* w : {static_cast<QWidget*>(l.windows.browser.get()),
                           static_cast<QWidget*>(l.windows.watcher.get())}) {
            w->show();
            w->activateWindow();
            QTRY_VERIFY(QGuiApplication::focusWindow() == w->windowHandle());
            int tried = 0;
            for (QTableView* table : w->findChildren<QTableView*>()) {
                if (!table->isVisible() || table->model()->rowCount() == 0)
                    continue;
                table->setCurrentIndex(table->model()->index(0, 0)); // a cell to walk from
                table->setFocus();
                QTest::keyClick(table, Qt::Key_Tab);
                QVERIFY2(QApplication::focusWidget() != table, qPrintable(table->objectName()));
                ++tried;
            }
            QVERIFY(tried > 0);
            w->hide();
        }
    }

    void thePingSurvivesTheTickWrap() {
        Responder server(0);
        server.delayMs = 120;
        Launcher l([&](RegFileStore& s) { servers(s, {{"1", "S", "127.0.0.1", server.port()}}); });
        ServerBrowser& b = *l.windows.browser;
        QElapsedTimer real;
        real.start();
        const qint64 base = (qint64(1) << 32) - 60; // milliseconds: wraps before the reply
        b.pass.setClock([&] { return base * 1'000'000 + real.nsecsElapsed(); });
        b.queryServers();
        QTRY_VERIFY(cell(b, 0, 2) != QStringLiteral("??"));
        const uint32_t ping = cell(b, 0, 2).toUInt();
        QVERIFY2(ping >= 100 && ping < 60'000, qPrintable(cell(b, 0, 2)));
        QVERIFY(b.row(0).queryTick > 4'000'000'000u);
    }

    void theWatcherOpensOnTheSelectedServer() {
        Responder server(2);
        Launcher l([&](RegFileStore& s) {
            servers(s, {{"1", "A", "127.0.0.1", server.port()}, {"2", "B", "127.0.0.1", "2302"}});
        });
        l.form->show();
        ServerBrowser& b = *l.windows.browser;
        ServerWatcher& w = *l.windows.watcher;
        QCOMPARE(w.windowTitle(), QStringLiteral("Server Watcher"));
        QVERIFY(w.windowFlags() & Qt::WindowStaysOnTopHint);
        // the main window hides: the watcher needs a taskbar entry of its own for its alerts
        QCOMPARE(w.windowType(), Qt::Window);
        b.show();
        b.queryServers();
        QSignalSpy replies(&w.endpoint, &UdpEndpoint::dataReceived);
        b.ui.watcherButton->click();
        QVERIFY(w.isVisible());
        QVERIFY(!b.isVisible());
        QVERIFY(!l.form->isVisible());
        QVERIFY(w.pollTimer.isActive());
        QCOMPARE(w.ui.watchedHostLabel->text(),
                 QString::fromStdString("127.0.0.1:" + server.port()));
        QVERIFY(replies.wait(2000));
        QCOMPARE(w.ui.statusLabel->text(), QStringLiteral("Game in progress..."));
        QCOMPARE(w.ui.playersLabel->text(), QStringLiteral("2/32"));

        // Join joins the watched server even when the browser's selection moved on.
        b.ui.serverGrid->setCurrentCell(1, 0);
        w.ui.joinButton->click();
        QCOMPARE(l.starter.lines.size(), size_t(1));
        QVERIFY(l.starter.lines[0].find("-port=" + server.port()) != std::string::npos);
        QVERIFY(!w.isVisible());
        QVERIFY(b.isVisible());
        QVERIFY(l.form->isVisible());
        QCOMPARE(w.state.phase, WatcherPhase::Unknown);
        QVERIFY(!w.pollTimer.isActive());

        // Opened again, Enter is for Join and Escape closes it as Close does.
        b.ui.watcherButton->click();
        QCOMPARE(w.focusWidget(), w.ui.joinButton);
        w.activateWindow();
        QTRY_VERIFY(w.isActiveWindow());
        QTest::keyClick(&w, Qt::Key_Escape);
        QVERIFY(!w.isVisible());
        QVERIFY(b.isVisible());
        QCOMPARE(l.starter.lines.size(), size_t(1));
    }

    void aGameThatEndsAlertsOnce() {
        Responder server(2);
        Launcher l;
        const std::string wav = writeWav(l.dir, "end.wav");
        auto& s = l.state().settings;
        s.flashTaskbar = true;
        s.alertSound = AlertSound::Files;
        s.newGameSound = wav;
        ServerWatcher& w = watchOn(l, server);
        Elsewhere away;
        poll(w); // "7"
        QCOMPARE(colourOf(w.ui.statusLabel), kMaroon);
        QVERIFY(w.ui.redLamp->isVisible());
        server.state.gameState = QStringLiteral("8");
        poll(w);
        QTRY_COMPARE(l.alerts.calls, (QStringList{"flash", QString::fromStdString("file " + wav)}));
        QCOMPARE(w.ui.statusLabel->text(), QStringLiteral("Debriefing"));
        QCOMPARE(colourOf(w.ui.statusLabel), kGreen);
        QVERIFY(!w.ui.redLamp->isVisible());
        const bool lit = w.ui.greenLamp->isVisible();
        QTRY_VERIFY(w.ui.greenLamp->isVisible() != lit); // blinks
        poll(w);
        QCOMPARE(l.alerts.calls.size(), 2);
    }

    void alertsBySoundSetting_data() {
        QTest::addColumn<int>("watchers");
        QTest::addColumn<QString>("sound1");
        QTest::addColumn<bool>("foreground");
        QTest::addColumn<QStringList>("calls");
        QTest::newRow("none") << 0 << "none" << false << QStringList{"flash"};
        QTest::newRow("default") << 1 << "none" << false << QStringList{"flash", "default"};
        QTest::newRow("noFile") << 2 << "none" << false << QStringList{"flash", "system"};
        QTest::newRow("foreground") << 1 << "none" << true << QStringList{"default"};
        // a named pipe would block the open, and the whole program with it
#ifndef _WIN32
        QTest::newRow("named pipe") << 2 << "@fifo" << false << QStringList{"flash", "system"};
#endif
    }
    void alertsBySoundSetting() {
        QFETCH(int, watchers);
        QFETCH(QString, sound1);
        QFETCH(bool, foreground);
        QFETCH(QStringList, calls);
        Responder server(0);
        server.state.numPlayers = QStringLiteral("4");
        Launcher l;
        auto& s = l.state().settings;
        s.flashTaskbar = true;
        s.alertSound = static_cast<AlertSound>(watchers);
        s.newGameSound = sound1.toStdString();
#ifndef _WIN32
        if (sound1 == QLatin1String("@fifo")) {
            s.newGameSound = l.dir.file("pipe.wav");
            QCOMPARE(mkfifo(s.newGameSound.c_str(), 0600), 0);
        }
#endif
        ServerWatcher& w = watchOn(l, server);
        Elsewhere away;
        if (foreground) {
            w.activateWindow();
            QTRY_VERIFY(QApplication::activeWindow() == &w);
        }
        poll(w);
        server.state.numPlayers = QStringLiteral("0"); // the server empties during the game
        poll(w);
        QTRY_COMPARE(w.ui.statusLabel->text(), QStringLiteral("Empty"));
        QCOMPARE(colourOf(w.ui.statusLabel), kMaroon);
        QCOMPARE(w.ui.playersLabel->text(), QStringLiteral("0/32"));
        QCOMPARE(colourOf(w.ui.playersLabel), kMaroon);
        QVERIFY(w.ui.redLamp->isVisible());
        QCOMPARE(l.alerts.calls, calls);
    }

    void aPlayerJoiningAnEmptyServerAlerts() {
        Responder server(0);
        Launcher l;
        const std::string wav = writeWav(l.dir, "join.wav");
        auto& s = l.state().settings;
        s.flashTaskbar = true;
        s.alertSound = AlertSound::Files;
        s.newGameSound = "none";
        s.playersBackSound = wav;
        ServerWatcher& w = watchOn(l, server);
        Elsewhere away;
        poll(w);
        QCOMPARE(w.state.phase, WatcherPhase::Empty);
        server.state.players << qMakePair(QStringLiteral("New"), 0);
        server.state.gameState = QStringLiteral("1");
        poll(w);
        QTRY_COMPARE(w.ui.statusLabel->text(), QStringLiteral("Selecting mission"));
        QCOMPARE(colourOf(w.ui.statusLabel), kGreen);
        QCOMPARE(l.alerts.calls, (QStringList{"flash", QString::fromStdString("file " + wav)}));
    }

    void onlyTheWatchedServerIsHeard() {
        Responder server(2);
        Launcher l;
        l.state().settings.alertSound = AlertSound::Default;
        ServerWatcher& w = watchOn(l, server);
        poll(w); // "7"
        FakeServerState other;
        other.gameState = QStringLiteral("8");
        QUdpSocket spoof;
        QSignalSpy got(&w.endpoint, &UdpEndpoint::dataReceived);
        spoof.writeDatagram(buildStatusReply(QByteArray(10, '\0'), other), QHostAddress::LocalHost,
                            static_cast<quint16>(w.endpoint.boundPort()));
        poll(w); // the server's reply comes after the stranger's datagram
        QCOMPARE(got.count(), 1);
        QCOMPARE(w.ui.statusLabel->text(), QStringLiteral("Game in progress..."));
        QVERIFY(l.alerts.calls.isEmpty());
        QCOMPARE(w.state.phase, WatcherPhase::InProgress);
    }

    // The watcher asks a server with the query it answers and alerts when its game ends and
    // the next begins; once one query answered, the other is not sent any more, and a server
    // answering both ways is shown once a poll.
    void theWatcherFollowsTheQueryThatAnswers_data() {
        QTest::addColumn<bool>("gameSpy");
        QTest::addColumn<int>("expected");
        QTest::newRow("steamOnly") << false << int(QueryPass::Protocol::A2s);
        QTest::newRow("bothWays") << true << int(QueryPass::Protocol::GameSpy);
    }
    void theWatcherFollowsTheQueryThatAnswers() {
        QFETCH(bool, gameSpy);
        QFETCH(int, expected);
        Responder server(2);
        answerSteamOnly(server, true, 2);
        server.answersGameSpy = gameSpy;
        Launcher l;
        auto& s = l.state().settings;
        s.flashTaskbar = true;
        s.alertSound = AlertSound::Default;
        QSignalSpy replies(&l.windows.watcher->endpoint, &UdpEndpoint::dataReceived);
        ServerWatcher& w = watchOn(l, server);
        Elsewhere away;
        QTRY_COMPARE(int(w.answeredBy()), expected);
        // The slower query's answer too: the players shown and all the server sent received.
        QTRY_VERIFY(w.ui.playerList->rowCount() == 2 && server.a2sRequests > 0 &&
                    server.settled(replies.count()));
        QCOMPARE(w.ui.playerList->rowCount(), 2);
        const int asked = server.requests + server.a2sRequests;
        const auto pollAgain = [&](const char* state) {
            server.state.gameState = QString::fromLatin1(state);
            const int before = server.requests + server.a2sRequests;
            w.updateStatus();
            QTRY_VERIFY(server.requests + server.a2sRequests > before);
            QTRY_COMPARE(w.ui.playerList->rowCount(), 2);
        };
        QCOMPARE(w.ui.statusLabel->text(), QStringLiteral("Game in progress..."));
        QCOMPARE(w.ui.playersLabel->text(),
                 gameSpy ? QStringLiteral("2/32") : QStringLiteral("2/34"));
        pollAgain("8");
        QCOMPARE(w.ui.statusLabel->text(), QStringLiteral("Debriefing"));
        pollAgain("7");
        QCOMPARE(w.ui.statusLabel->text(), QStringLiteral("Game in progress..."));
        QCOMPARE(l.alerts.calls, (QStringList{"flash", "default"}));
        // Two polls of the one query that answered: a GameSpy request, or the Steam requests
        // with the challenge known.
        QCOMPARE(server.requests + server.a2sRequests - asked, 2 * (gameSpy ? 1 : 2));
        QCOMPARE(plain(w.ui.playerList->item(0, 0)->text()), QStringLiteral("P0"));
    }

    // Watching another server starts from a clean face: nothing of the last one stays.
    void anotherServerStartsWithAFreshFace() {
        Responder first(2), silent(0);
        silent.silent = true;
        Launcher l;
        ServerWatcher& w = watchOn(l, first);
        poll(w);
        QCOMPARE(w.ui.statusLabel->text(), QStringLiteral("Game in progress..."));
        w.close();
        watchOn(l, silent);
        QCOMPARE(w.ui.statusLabel->text(), QStringLiteral("Waiting status..."));
        QCOMPARE(w.ui.playersLabel->text(), QStringLiteral("?/?"));
        QCOMPARE(plain(w.ui.missionLabel->text()), QStringLiteral("none"));
        QCOMPARE(w.state.phase, WatcherPhase::Unknown);
    }

    // A bad reply's error box left open across polls: the replies that come meanwhile are
    // shown at once, no second box piles up, and the watcher goes on after it is closed.
    void anOpenErrorBoxStopsNothing() {
        Responder server(2);
        server.state.maxPlayersText = QStringLiteral("abc");
        Launcher l;
        ServerWatcher& w = watchOn(l, server);
        w.pollTimer.setInterval(20);
        int replies = 0;
        connect(&w.endpoint, &UdpEndpoint::dataReceived, this, [&] { ++replies; });
        bool shown = false;
        l.prompter.whileShown = [&] {
            shown = true;
            const int before = replies;
            QTRY_VERIFY(replies >= before + 2); // two polls answered while the box is open
            server.state.maxPlayersText.clear();
            server.state.gameState = QStringLiteral("8");
            QTRY_COMPARE(w.ui.statusLabel->text(), QStringLiteral("Debriefing"));
        };
        QTRY_VERIFY(shown);
        QCOMPARE(l.prompter.messages, QStringList{"'abc' is not a valid integer value"});
        QCOMPARE(w.ui.playersLabel->text(), QStringLiteral("2/32"));
        server.state.gameState = QStringLiteral("1");
        QTRY_COMPARE(w.ui.statusLabel->text(), QStringLiteral("Selecting mission"));
        QCOMPARE(l.prompter.messages.size(), 1);
        // After a good answer a bad one is told again, once however its text changes; the
        // watcher's status says it meanwhile.
        l.prompter.whileShown = {};
        server.state.maxPlayersText = QStringLiteral("xyz");
        QTRY_COMPARE(l.prompter.messages.size(), 2);
        server.state.maxPlayersText = QStringLiteral("qqq");
        QTRY_COMPARE(w.ui.statusLabel->text(),
                     QStringLiteral("'qqq' is not a valid integer value"));
        QVERIFY(!QTest::qWaitFor([&] { return l.prompter.messages.size() > 2; }, 200));
    }

    // The program's own ports, when no other program holds them.
    void theWindowsListenOnTheirOwnPorts() {
        for (const quint16 port : {15015, 15020}) {
            QUdpSocket probe;
            if (!probe.bind(QHostAddress::AnyIPv4, port))
                QSKIP(qPrintable(QStringLiteral("UDP port %1 is taken by another program (a "
                                                "running Quorvale?): the fixed ports go untested")
                                     .arg(port)));
        }
        Launcher l;
        l.browserPort = 15015;
        l.watcherPort = 15020;
        l.open();
        QCOMPARE(l.windows.browser->endpoint.boundPort(), 15015);
        QCOMPARE(l.windows.watcher->endpoint.boundPort(), 15020);
    }

    void anUnrecognisedStateChangesOnlyTheText() {
        Responder server(2);
        Launcher l;
        l.state().settings.alertSound = AlertSound::Default;
        ServerWatcher& w = watchOn(l, server);
        poll(w);
        server.state.gameState = QStringLiteral("2");
        poll(w);
        QCOMPARE(w.ui.statusLabel->text(), QStringLiteral("2"));
        QCOMPARE(colourOf(w.ui.statusLabel), kMaroon);
        QVERIFY(w.ui.redLamp->isVisible());
        server.state.withGameState = false;
        poll(w);
        QVERIFY(l.alerts.calls.isEmpty());
        QCOMPARE(w.state.phase, WatcherPhase::InProgress);
    }

    void reopeningNeverAlertsOnTheFirstReply() {
        Responder server(2);
        Launcher l;
        l.state().settings.alertSound = AlertSound::Default;
        ServerWatcher& w = watchOn(l, server);
        poll(w);
        w.close();
        server.state.gameState = QStringLiteral("8");
        w.watch(nullptr, QStringLiteral("127.0.0.1"), server.port(), {});
        poll(w);
        QCOMPARE(w.ui.statusLabel->text(), QStringLiteral("Debriefing"));
        QVERIFY(l.alerts.calls.isEmpty());
    }

    void aReplyWithoutACountKeepsThePlayersLabel() {
        Responder server(3);
        Launcher l;
        ServerWatcher& w = watchOn(l, server);
        poll(w);
        QCOMPARE(w.ui.playersLabel->text(), QStringLiteral("3/32"));
        server.state.withNumPlayers = false;
        poll(w);
        QCOMPARE(w.ui.playersLabel->text(), QStringLiteral("3/32"));
        w.toggleDetails();
        QCOMPARE(playerRows(w.ui.playerList), (QStringList{"P0|0", "P1|1", "P2|2"}));
        QCOMPARE(plain(w.ui.missionLabel->text()), QStringLiteral("co@10 Domination"));
        QCOMPARE(colourOf(w.ui.missionLabel), kGreen);
        w.refreshFields();
        QCOMPARE(w.ui.playerList->rowCount(), 0);
    }

    void theLayoutSwitchesBothWays() {
        Launcher l;
        ServerWatcher& w = *l.windows.watcher;
        const QSize small = w.size();
        QVERIFY(w.frameGeometry().width() <= 300);
        QVERIFY(!w.ui.playerList->isVisibleTo(&w));
        QCOMPARE(w.ui.moreButton->text(), QStringLiteral("More >>"));
        QCOMPARE(w.ui.moreButton->pos(), QPoint(210, 77));
        w.ui.moreButton->click();
        QVERIFY(w.frameGeometry().width() > 300);
        QVERIFY(w.ui.playerList->isVisibleTo(&w));
        QVERIFY(w.ui.missionLabel->isVisibleTo(&w));
        QCOMPARE(w.ui.moreButton->text(), QStringLiteral("<< Less"));
        QVERIFY(w.modsView->isVisibleTo(&w));
        QCOMPARE(w.ui.moreButton->pos(), QPoint(306, 205));
        QCOMPARE(w.ui.bevel->size(), QSize(337, 209));
        QCOMPARE(w.ui.closeButton->pos(), QPoint(16, 228));
        w.ui.moreButton->click();
        QCOMPARE(w.size(), small);
        QCOMPARE(w.ui.bevel->size(), QSize(241, 81));
        QCOMPARE(w.ui.closeButton->y() + w.ui.closeButton->height() <= w.height(), true);
        QCOMPARE(w.ui.redLamp->x() + 20 <= w.width(), true);
    }

    void closingShowsTheMainWindowAndTheBrowser() {
        Launcher l;
        QWidget opener;
        opener.show();
        l.form->show();
        ServerWatcher& w = *l.windows.watcher;
        w.watch(&opener, QStringLiteral("127.0.0.1"), "2302", {});
        QVERIFY(!opener.isVisible());
        w.close();
        QVERIFY(l.form->isVisible());
        QVERIFY(l.windows.browser->isVisible());
        QVERIFY(!opener.isVisible());
    }

    void theRealSinkStaysSilentWithoutADevice() {
#ifndef _WIN32
        if (!QMediaDevices::audioOutputs().isEmpty())
            QSKIP("This machine has an audio output.");
#endif
        TempDir dir;
        const std::string wav = writeWav(dir, "a.wav");
        writeAll(dir.file("text.wav"), "not a sound");
        QTest::failOnWarning(QRegularExpression(QStringLiteral("sound module")));
        MessageLog log;
        DesktopAlertSink sink;
        sink.playDefaultSound();
        QVERIFY(sink.playFile(QString::fromStdString(wav)));
        QVERIFY(!sink.playFile(QStringLiteral("none")));
        QVERIFY(!sink.playFile(QString::fromStdString(dir.file("text.wav"))));
        sink.playDefaultSound(); // cuts the last one off
        sink.systemSound();
#ifndef _WIN32
        // The module's player found no output and played nothing.
        QTRY_VERIFY(log.contains(QStringLiteral("No audio device detected")));
#endif
    }

    void activatingTheBrowserQueriesHalfASecondLater() {
        Responder server(1);
        Launcher l([&](RegFileStore& s) { servers(s, {{"1", "S", "127.0.0.1", server.port()}}); });
        ServerBrowser& b = *l.windows.browser;
        l.form->ui.serverListButton->click();
        b.activateWindow();
        QTRY_VERIFY(b.activationTimer.isActive());
        QCOMPARE(server.requests, 0);
        QTRY_COMPARE(server.requests, 1);
        QTRY_VERIFY(cell(b, 0, 2) != QStringLiteral("??"));
    }

    void aBadPortOpensNothing() {
        Launcher l;
        l.form->show();
        ServerWatcher& w = *l.windows.watcher;
        QVERIFY_THROWS_EXCEPTION(LauncherError, w.watch(nullptr, QStringLiteral("h"), "70000", {}));
        QVERIFY(l.form->isVisible());
        QVERIFY(!w.isVisible());
        QVERIFY(!w.pollTimer.isActive());
    }

    // Every server the master lists, with its reply; a header click sorts the players as
    // numbers; the filter box and each switch show only the servers known to pass.
    void theInternetListSortsAndFilters() {
        InternetList net;
        net.add(QStringLiteral("Nine"), 9).delayMs = 300;
        const Responder& two = net.add(QStringLiteral("Two"), 2, 2); // full
        net.add(QStringLiteral("Empty"), 0);
        net.add(QStringLiteral("Locked"), 10).state.password = true;
        net.add(QStringLiteral("Silent"), 1).silent = true;
        net.servers.front().state.mission = QStringLiteral("co@30 Evolution");
        QVERIFY(net.open());
        ServerBrowser& b = net.browser;
        QHeaderView* header = b.listView->horizontalHeader();
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                          QPoint(header->sectionViewportPosition(3) + 5, 5));
        const struct {
            const char* label;
            QString text;
            bool notFull, notEmpty, noPassword;
            int ping;
            QStringList shown;
        } cases[] = {
            {"all", "", 0, 0, 0, 0, {"", "Empty", "Two", "Nine", "Locked"}},
            {"mission", "EVOLUTION", 0, 0, 0, 0, {"Nine"}},
            {"address", QString::fromStdString(":" + two.port()), 0, 0, 0, 0, {"Two"}},
            {"notFull", "", 1, 0, 0, 0, {"Empty", "Nine", "Locked"}},
            {"notEmpty", "", 0, 1, 0, 0, {"Two", "Nine", "Locked"}},
            {"noPassword", "", 0, 0, 1, 0, {"Empty", "Two", "Nine"}},
            {"ping", "", 0, 0, 0, 150, {"Empty", "Two", "Locked"}},
            {"allSwitches", "", 1, 1, 1, 0, {"Nine"}},
        };
        for (const auto& c : cases) {
            b.filterEdit->setText(c.text);
            b.notFullBox->setChecked(c.notFull);
            b.notEmptyBox->setChecked(c.notEmpty);
            b.noPasswordBox->setChecked(c.noPassword);
            b.pingLimitBox->setValue(c.ping > 0 ? c.ping : 150);
            b.pingBox->setChecked(c.ping > 0);
            QVERIFY2(net.column(0) == c.shown, c.label);
        }
        QCOMPARE(b.statusText(), QStringLiteral("The master server lists 5 servers"));
    }

    // Each column sorts by its values: numbers as numbers, addresses by number and port ahead
    // of host names, names without regard to case, the silent last by ping.
    void everyColumnSortsByItsValues() {
        ServerListModel model;
        std::vector<ListedServer> rows(4);
        const auto fill = [](ListedServer& s, const char* name, const char* host, const char* port,
                             std::optional<int> ping, std::optional<int> players) {
            std::tie(s.name, s.host, s.port, s.ping, s.players) =
                std::tuple(name, host, port, ping, players);
        };
        fill(rows[0], "beta", "10.0.0.9", "2302", 40, 9);
        fill(rows[1], "Alpha", "10.0.0.10", "2302", 5, 10);
        fill(rows[2], "gamma", "game.example", "2302", {}, {});
        fill(rows[3], "delta", "10.0.0.9", "2402", 300, 2);
        model.append(rows);
        ServerListFilter sorted(model);
        const std::pair<int, QStringList> cases[] = {
            {ServerListModel::Name, {"Alpha", "beta", "delta", "gamma"}},
            {ServerListModel::Address, {"beta", "delta", "Alpha", "gamma"}},
            {ServerListModel::Ping, {"Alpha", "beta", "delta", "gamma"}},
            {ServerListModel::Players, {"gamma", "delta", "beta", "Alpha"}}};
        for (const auto& [column, names] : cases) {
            sorted.sort(column);
            QStringList got;
            for (int r = 0; r < sorted.rowCount(); ++r)
                got << model.at(sorted.sourceRow(r)).name.c_str();
            QCOMPARE(got, names);
        }
    }

    // With the player's key the web API lists the servers instead, and never shows the key.
    void aWebApiKeyListsTheInternetFromTheWebApi() {
        InternetList net;
        net.add(QStringLiteral("Web"), 3);
        QVERIFY(net.open("K3Y"));
        QCOMPARE(net.column(0), QStringList({"Web"}));
        QCOMPARE(net.column(1),
                 QStringList({QString::fromStdString("127.0.0.1:" + net.servers.front().port())}));
        QCOMPARE(net.browser.statusText(), QStringLiteral("Steam's web API lists 1 server"));
        QVERIFY(net.webApi.requestLine.contains("key=K3Y"));
        QCOMPARE(net.master.requests, 0);
    }

    // "Add to favourites" stores the row's name, host, game port and query port and nothing
    // else; the same server again is told, not added. A join from the list puts the server
    // first in the stored history, which the History tab shows.
    void anInternetServerBecomesAFavouriteAndJoinsTheHistory() {
        InternetList net;
        const Responder& one = net.add(QStringLiteral("One"), 1);
        QVERIFY(net.open());
        ServerBrowser& b = net.browser;
        net.launcher.session->storeSettings(); // the master's address, set by the fixture
        const std::string before = readAll(net.launcher.reg);
        b.addFavouriteButton->click();
        QCOMPARE(b.statusText(), QStringLiteral("\"One\" is now a favourite."));
        const ServerTable& t = net.launcher.state().servers;
        QCOMPARE(t.count(), 1);
        const ServerEntry& e = t.entries[0];
        QCOMPARE(std::vector({e.name, e.host, e.port, e.queryPort}),
                 std::vector<std::string>(
                     {"One", "127.0.0.1", one.port(), std::to_string(one.portNumber() + 1)}));
        {
            RegFileStore store(net.launcher.reg); // without the new entry: the store as before
            store.openKey(kServersKey, false);
            store.deleteKey(std::to_string(e.id));
            store.closeKey();
        }
        QCOMPARE(readAll(net.launcher.reg), before);
        b.addFavouriteButton->click();
        QVERIFY(b.statusText().contains(QStringLiteral("already a favourite")));
        QCOMPARE(t.count(), 1);

        b.ui.joinButton->click();
        QVERIFY(net.launcher.starter.lines.back().find("-port=" + one.port()) != std::string::npos);
        QCOMPARE(net.launcher.state().settings.history.at(0).port, one.port());
        b.listTabs->setCurrentIndex(ServerBrowser::HistoryTab);
        QTRY_COMPARE(net.column(3), QStringList({"1/32"}));
        // In the favourites' place: above the players, as high as their grid was.
        QCOMPARE(b.listView->height(), b.ui.serverGrid->height());
        QCOMPARE(b.listView->verticalHeader()->count(), 1); // no empty row beneath
        QVERIFY(b.listView->mapTo(&b, QPoint()).y() < b.ui.playerGrid->mapTo(&b, QPoint()).y());
        b.ui.joinButton->click(); // again from History: as a favourite joins
        QVERIFY(net.launcher.starter.lines.back().find("-port=" + one.port() + " -sockets ") !=
                std::string::npos);
        // A join made while the list was away (the direct join) is listed when it comes back.
        b.hide();
        ServerEntry other = net.launcher.state().settings.history.at(0);
        other.port = "2999";
        net.launcher.session->rememberJoined(other);
        b.show();
        b.activateWindow();
        QTRY_COMPARE(b.listView->model()->rowCount(), 2);
        b.listTabs->setCurrentIndex(ServerBrowser::FavouritesTab); // the filter holds there too
        QTRY_COMPARE(cell(b, 0, 3), QStringLiteral("1/32"));
        b.filterEdit->setText(QStringLiteral("ONE"));
        QVERIFY(!b.ui.serverGrid->isRowHidden(0));
        b.filterEdit->setText(QStringLiteral("two"));
        QVERIFY(b.ui.serverGrid->isRowHidden(0));
    }
};

QTEST_MAIN(TestServerWindows)
#include "test_server_windows.moc"
