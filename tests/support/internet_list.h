#pragma once

#include "fake_master.h"
#include "http_responder.h"
#include "launcher_fixture.h"
#include "responder.h"
#include "server_browser.h"

#include <QCheckBox>
#include <QHeaderView>
#include <QSpinBox>
#include <QTabBar>
#include <QTableView>
#include <QTest>
#include <list>

// Servers on 127.0.0.1 that a fake master lists by their query ports (each answers the GameSpy
// query at the port below), and a launcher whose server list shows them on its Internet tab.
struct InternetList {
    std::list<Responder> servers;
    FakeMaster master;
    HttpResponder webApi; // Steam's web API, when the settings hold a key
    quorvale_test::Launcher launcher;
    ServerBrowser& browser = *launcher.windows.browser;

    Responder& add(const QString& name, int players, int maxPlayers = 34) {
        Responder& r = servers.emplace_back(players);
        r.state.hostname = name;
        r.state.maxPlayers = maxPlayers;
        return r;
    }
    // Opens the Internet tab and waits until every listed server answered or was given up.
    // With a key, the web API lists the servers, with their game ports.
    bool open(const std::string& webApiKey = {}) {
        QByteArray list;
        for (const Responder& r : servers) {
            master.servers.emplace_back(0x7F000001u, static_cast<quint16>(r.portNumber() + 1));
            list += (list.isEmpty() ? "" : ",") + QByteArray("{\"addr\":\"127.0.0.1:") +
                    QByteArray::number(r.portNumber() + 1) +
                    "\",\"gameport\":" + QByteArray::number(r.portNumber()) + "}";
        }
        webApi.body = R"({"response":{"servers":[)" + list + "]}}";
        quorvale::LauncherSettings& s = launcher.state().settings;
        s.masterServer = "127.0.0.1:" + std::to_string(master.port());
        s.webApiKey = webApiKey;
        s.webApiUrl = webApi.baseUrl().toStdString();
        browser.show();
        browser.listTabs->setCurrentIndex(ServerBrowser::InternetTab);
        return QTest::qWaitFor(
            [&] {
                return !browser.master.isRunning() && !browser.webList.isRunning() &&
                       browser.internet.pass.isFinished() &&
                       browser.internet.model.size() == static_cast<int>(servers.size());
            },
            15000);
    }
    // The shown rows' cells of a column, top down.
    QStringList column(int c) const {
        QStringList out;
        const QAbstractItemModel* m = browser.listView->model();
        for (int r = 0; r < m->rowCount(); ++r) {
            QString t = m->index(r, c).data().toString();
            if (t.startsWith(QChar(0x2068)) && t.endsWith(QChar(0x2069)))
                t = t.mid(1, t.size() - 2);
            out << t;
        }
        return out;
    }
};
