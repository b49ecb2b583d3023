// The server list's Internet tab over 5000 servers on 127.0.0.1 that a fake master lists in
// pages of 231: the time from opening the tab to the last row answered against the bare query
// pass over the same servers, the longest pause of the event loop (also while sorting by a
// column and filtering), the rows lost, and the memory the 5000 rows take above the empty
// window. Figures only: nothing here passes or fails.
#include "application.h"
#include "bench_util.h"
#include "event_loop_meters.h"
#include "fake_master.h"
#include "launcher_session.h"
#include "launcher_store.h"
#include "main_window.h"
#include "reg_file_store.h"
#include "server_browser.h"
#include "temp_dir.h"

#include <QApplication>
#include <QHeaderView>
#include <QLineEdit>
#include <QProcess>
#include <QTabBar>
#include <QTableView>

using namespace quorvale;

namespace {

int answered(const QueryPass& pass) {
    return static_cast<int>(
        std::count_if(pass.results().begin(), pass.results().end(), [](const QueryPass::Result& r) {
            return r.outcome == QueryPass::Outcome::Answered;
        }));
}
} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM",
            qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    const int count = 5000, base = 20000; // game ports base, base + 2, ...; query ports + 1
    QProcess servers;
    servers.start(QCoreApplication::applicationDirPath() + QStringLiteral("/fast_responder"),
                  {QStringLiteral("%1-%2/2").arg(base).arg(base + 2 * (count - 1))});
    if (!servers.waitForReadyRead(20000)) {
        std::fprintf(stderr, "the fake game servers did not start\n");
        return 1;
    }
    FakeMasterSetup setup;
    setup.options.pace = 30; // as Steam's master allows one address
    for (int i = 0; i < count; ++i)
        setup.servers.emplace_back(0x7F000001u, static_cast<quint16>(base + 2 * i + 1));
    FakeMaster master(setup);

    std::vector<QueryPass::Server> list;
    for (const auto& [ip, port] : setup.servers)
        list.push_back({"127.0.0.1", std::to_string(port - 1), std::to_string(port)});
    int bareAnswered = 0;
    const double bareMs = medianMs(3, [&] {
        UdpEndpoint udp;
        QueryPass pass(udp);
        pass.setOptions(QueryPass::Options::patient());
        QEventLoop loop;
        QObject::connect(&pass, &QueryPass::finished, &loop, &QEventLoop::quit);
        QTimer::singleShot(60000, &loop, &QEventLoop::quit);
        pass.start(list);
        loop.exec();
        bareAnswered = answered(pass);
    });

    TempDir dir;
    const std::string reg = writeLauncherStore(dir);
    RegFileStore store(reg);
    QuietPrompter prompter;
    SystemProcessStarter starter;
    LauncherSession session(AppContext{&store, &starter, &prompter, dir.file("home"), {}});
    MainWindow form(session);
    session.state().settings.masterServer = "127.0.0.1:" + std::to_string(master.port());
    LauncherWindows w = createWindows(form, nullptr);
    ServerBrowser& b = *w.browser;
    b.show();
    spin(300);
    b.activationTimer.stop();
    const long emptyKb = rssKb();

    PauseMeter meter;
    MemoryPeak peak;
    meter.start();
    peak.start();
    QElapsedTimer clock;
    clock.start();
    b.listTabs->setCurrentIndex(ServerBrowser::InternetTab);
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (!b.master.isRunning() && b.internet.model.size() > 0 && b.internet.pass.isFinished())
            loop.quit();
    });
    poll.start(5);
    QTimer::singleShot(120000, &loop, &QEventLoop::quit);
    loop.exec();
    const double fillMs = static_cast<double>(clock.nsecsElapsed()) / 1e6;
    const double fillPauseMs = meter.stopMs();

    meter.start();
    for (int column : {2, 3, 1, 0})
        b.listView->horizontalHeader()->setSortIndicator(column, Qt::DescendingOrder), spin(20);
    for (const char* text : {"1", "12", "127.0.0.1:4", "", "co@"})
        b.filterEdit->setText(QString::fromLatin1(text)), spin(20);
    const double sortPauseMs = meter.stopMs();
    spin(200);

    std::printf("servers listed %d of %d, answered %d (bare pass %d), %s\n",
                b.internet.model.size(), count, answered(b.internet.pass), bareAnswered,
                qPrintable(b.statusText()));
    report("internet list, open to last answer", fillMs, bareMs, "bare pass");
    std::printf("longest pause while filling        %9.2f ms   (target 50)\n", fillPauseMs);
    std::printf("longest pause sorting, filtering   %9.2f ms   (target 50)\n", sortPauseMs);
    std::printf("memory above the empty window      %9.1f MB   peak %.1f MB   (target 30)\n",
                static_cast<double>(rssKb() - emptyKb) / 1024.0,
                static_cast<double>(peak.peakKb - emptyKb) / 1024.0);
    servers.kill();
    servers.waitForFinished();
    return 0;
}
