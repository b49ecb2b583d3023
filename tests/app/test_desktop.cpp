// Runs on a real X server (Xvfb): what only a window system shows.
#include "about_dialog.h"
#include "direct_join_dialog.h"
#include "launcher_fixture.h"
#include "mod_editor.h"
#include "options_dialog.h"
#include "server_browser.h"
#include "server_editor.h"
#include "server_watcher.h"

#include <QFontDatabase>
#include <QFontInfo>
#include <QProcess>
#include <QScreen>
#include <QtTest>
#include <map>

using quorvale_test::Launcher;

namespace {
// What xprop says of one property of a window.
QString xprop(QWidget* w, const char* name) {
    QProcess xprop;
    xprop.start(QStringLiteral("xprop"),
                {QStringLiteral("-id"), QString::number(w->winId()), QString::fromLatin1(name)});
    xprop.waitForFinished(5000);
    return QString::fromUtf8(xprop.readAllStandardOutput()).trimmed();
}

QWidget* windowNamed(Launcher& l, const QString& name) {
    const std::map<QString, QWidget*> windows{
        {QStringLiteral("main"), l.form.get()},
        {QStringLiteral("modEditor"), l.windows.modEditor},
        {QStringLiteral("serverEditor"), l.windows.serverEditor},
        {QStringLiteral("browser"), l.windows.browser.get()},
        {QStringLiteral("watcher"), l.windows.watcher.get()},
        {QStringLiteral("options"), l.windows.options},
        {QStringLiteral("directJoin"), l.windows.directJoin},
        {QStringLiteral("about"), l.windows.about}};
    return windows.at(name);
}
} // namespace

class TestDesktop : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { setUpApplication(*qApp); }
    void init() { resetErrorHandler(); }

    void captionsAreExactlyTheWindowsOwn_data() {
        QTest::addColumn<QString>("window");
        QTest::addColumn<QString>("caption");
        QTest::newRow("main") << "main"
                              << "Quorvale";
        QTest::newRow("mods") << "modEditor"
                              << "Modifications";
        QTest::newRow("servers") << "serverEditor"
                                 << "Servers";
        QTest::newRow("browser") << "browser"
                                 << "Servers";
        QTest::newRow("watcher") << "watcher"
                                 << "Server Watcher";
        QTest::newRow("options") << "options"
                                 << "Options";
        QTest::newRow("direct join") << "directJoin"
                                     << "Direct join server";
        QTest::newRow("about") << "about"
                               << "About";
    }
    void captionsAreExactlyTheWindowsOwn() {
        QFETCH(QString, window);
        QFETCH(QString, caption);
        Launcher l;
        QWidget* w = windowNamed(l, window);
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w));
        QCOMPARE(xprop(w, "_NET_WM_NAME"),
                 QStringLiteral("_NET_WM_NAME(UTF8_STRING) = \"%1\"").arg(caption));
    }

    // The main window is hidden while the watcher runs: the watcher's alert needs an entry of
    // its own in the taskbar.
    void theWatcherIsANormalWindowOfItsOwn() {
        Launcher l;
        QWidget* w = l.windows.watcher.get();
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w));
        QVERIFY(
            xprop(w, "_NET_WM_WINDOW_TYPE").endsWith(QLatin1String("_NET_WM_WINDOW_TYPE_NORMAL")));
        QVERIFY(xprop(w, "WM_TRANSIENT_FOR").contains(QLatin1String("not found")));
    }

    // Centred over the main window, yet wholly on the screen when the main window is near its
    // edge; the About box centred on the screen.
    void windowsOpenCentredAndOnTheScreen_data() {
        QTest::addColumn<QString>("window");
        QTest::addColumn<bool>("mainAtTheEdge");
        for (const char* w : {"browser", "watcher", "directJoin"}) {
            QTest::addRow("%s, main window in the middle", w) << w << false;
            QTest::addRow("%s, main window at the edge", w) << w << true;
        }
        QTest::newRow("about") << "about" << true;
    }
    void windowsOpenCentredAndOnTheScreen() {
        QFETCH(QString, window);
        QFETCH(bool, mainAtTheEdge);
        Launcher l;
        QWidget* main = l.form.get();
        const QRect area = main->screen()->availableGeometry();
        main->show();
        QVERIFY(QTest::qWaitForWindowExposed(main));
        const QPoint at = mainAtTheEdge ? area.bottomRight() - QPoint(100, 60)
                                        : area.center() - main->rect().center();
        main->move(at);
        QTRY_COMPARE(main->pos(), at);
        QWidget* w = windowNamed(l, window);
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w));
        QVERIFY(area.contains(w->frameGeometry()));
        const QPoint centre =
            window == QLatin1String("about") ? area.center() : main->frameGeometry().center();
        if (!mainAtTheEdge || window == QLatin1String("about"))
            QVERIFY((w->frameGeometry().center() - centre).manhattanLength() <= 2);
    }

    void emojiInPlayerNamesHaveAFont() {
        QVERIFY(QFontDatabase::families().contains(QStringLiteral("Noto Color Emoji")));
    }
};

QTEST_MAIN(TestDesktop)
#include "test_desktop.moc"
