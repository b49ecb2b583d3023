#include "about_dialog.h"
#include "direct_join.h"
#include "launcher_fixture.h"
#include "options_dialog.h"
#include "responder.h"
#include "server_browser.h"
#include "server_watcher.h"

#include <QSignalSpy>
#include <QtTest>

using namespace quorvale;
using quorvale_test::Launcher;

namespace {

void settings(RegFileStore& s, int maxmem, int watchers, bool flash = true) {
    s.writeInteger("maxmem", maxmem);
    s.writeInteger("watchers", watchers);
    s.writeInteger("flash", flash ? 1 : 0);
    s.writeInteger("close", 0);
    s.writeInteger("runtir", 0);
    s.writeString("sound1", "none");
    s.writeString("sound2", "none");
}

int storedInteger(const std::string& reg, const char* name) {
    RegFileStore s(reg);
    s.openKeyReadOnly(kLauncherKey);
    return s.readInteger(name);
}
std::string storedString(const std::string& reg, const char* name) {
    RegFileStore s(reg);
    s.openKeyReadOnly(kLauncherKey);
    return s.readString(name);
}

bool soundControlsEnabled(TFormOptions& o) {
    const bool on = o.ui.sound1->isEnabled();
    for (QWidget* w : {static_cast<QWidget*>(o.ui.sound2), static_cast<QWidget*>(o.ui.Button1),
                       static_cast<QWidget*>(o.ui.Button2)})
        if (w->isEnabled() != on)
            return !on; // mixed: neither answer holds
    return on;
}

QString radios(TFormOptions& o) {
    return QString::fromLatin1(o.ui.sounds1->isChecked() ? "1" : "-") +
           (o.ui.sounds2->isChecked() ? "2" : "-") + (o.ui.sounds3->isChecked() ? "3" : "-");
}

} // namespace

class TestDialogs : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { QApplication::setApplicationName(QStringLiteral("Quorvale")); }

    void optionsShowTheSettings_data() {
        QTest::addColumn<int>("maxmem");
        QTest::addColumn<int>("watchers");
        QTest::addColumn<int>("bar");
        QTest::addColumn<QString>("label");
        QTest::addColumn<QString>("radio");
        QTest::addColumn<bool>("soundsEnabled");
        QTest::newRow("defaults") << 0 << 1 << 0 << "Automatic"
                                  << "-2-" << false;
        QTest::newRow("64") << 64 << 0 << 64 << "64 MB"
                            << "1--" << false;
        QTest::newRow("1") << 1 << 2 << 1 << "1 MB"
                           << "--3" << true;
        QTest::newRow("tooMuch") << 4096 << 1 << 2048 << "2048 MB"
                                 << "-2-" << false;
        QTest::newRow("negative") << -5 << 1 << 0 << "Automatic"
                                  << "-2-" << false;
        QTest::newRow("watchers5") << 0 << 5 << 0 << "Automatic"
                                   << "---" << true;
    }
    void optionsShowTheSettings() {
        QFETCH(int, maxmem);
        QFETCH(int, watchers);
        QFETCH(int, bar);
        QFETCH(QString, label);
        QFETCH(QString, radio);
        QFETCH(bool, soundsEnabled);
        Launcher l([&](RegFileStore& s) { settings(s, maxmem, watchers); });
        TFormOptions& o = *l.windows.options;
        QCOMPARE(o.windowTitle(), QStringLiteral("Options"));
        QCOMPARE(o.size(), QSize(443, 299));
        l.form->ui.Options2->trigger();
        QVERIFY(o.isVisible());
        QVERIFY(!o.isModal());
        o.FormActivate();
        QVERIFY(o.ui.CheckBox1->isChecked()); // nosplash
        QVERIFY(!o.ui.CheckBox2->isChecked());
        QVERIFY(!o.ui.CheckBox3->isChecked());
        QVERIFY(!o.ui.CheckBox4->isChecked());
        QVERIFY(o.ui.CheckBox5->isChecked()); // flash
        QCOMPARE(o.ui.memUse->value(), bar);
        QCOMPARE(o.ui.memUseLabel->text(), label);
        QCOMPARE(radios(o), radio);
        QCOMPARE(soundControlsEnabled(o), soundsEnabled);
        QCOMPARE(o.ui.sound1->text(), QStringLiteral("none"));
    }

    void theSoundChoiceEnablesTheFields() {
        Launcher l([&](RegFileStore& s) { settings(s, 0, 1); });
        TFormOptions& o = *l.windows.options;
        o.FormActivate();
        o.ui.sounds3->click();
        QVERIFY(soundControlsEnabled(o));
        o.ui.sounds1->click();
        QVERIFY(!soundControlsEnabled(o));
        QCOMPARE(radios(o), QStringLiteral("1--"));
        o.ui.memUse->setFocus();
        QTest::keyClick(o.ui.memUse, Qt::Key_Right);
        QCOMPARE(o.ui.memUseLabel->text(), QStringLiteral("1 MB"));
        QTest::keyClick(o.ui.memUse, Qt::Key_PageUp);
        QCOMPARE(o.ui.memUseLabel->text(), QStringLiteral("3 MB"));
    }

    void okStoresWhatTheControlsShow_data() {
        QTest::addColumn<int>("maxmem");
        QTest::addColumn<int>("watchers");
        QTest::addColumn<int>("storedMaxmem");
        QTest::addColumn<int>("storedWatchers");
        QTest::newRow("tooMuch") << 4096 << 1 << 2048 << 1;
        QTest::newRow("watchers5") << 0 << 5 << 0 << 5;
    }
    void okStoresWhatTheControlsShow() {
        QFETCH(int, maxmem);
        QFETCH(int, watchers);
        QFETCH(int, storedMaxmem);
        QFETCH(int, storedWatchers);
        Launcher l([&](RegFileStore& s) { settings(s, maxmem, watchers); });
        TFormOptions& o = *l.windows.options;
        o.show();
        o.FormActivate();
        o.ui.sound1->clear();
        o.ui.additionalParams->setText(QStringLiteral("-world=empty -cpuCount=4"));
        o.ui.CheckBox2->setChecked(true);
        o.ui.BitBtn2->click();
        QVERIFY(!o.isVisible());
        QCOMPARE(storedInteger(l.reg, "maxmem"), storedMaxmem);
        QCOMPARE(storedInteger(l.reg, "watchers"), storedWatchers);
        QCOMPARE(storedInteger(l.reg, "window"), 1);
        QCOMPARE(storedString(l.reg, "sound1"), std::string());
        QCOMPARE(storedString(l.reg, "extraParams"), std::string("-world=empty -cpuCount=4"));
        l.open(); // the next run reads the emptied sound as "none"
        QCOMPARE(l.form->state().settings.sound1, std::string("none"));
    }

    void cancelAndComingBackRestoreTheStoredValues() {
        Launcher l([&](RegFileStore& s) { settings(s, 64, 1); });
        TFormOptions& o = *l.windows.options;
        l.form->show();
        l.form->ui.Options2->trigger();
        o.activateWindow();
        QTRY_VERIFY(QGuiApplication::focusWindow() == o.windowHandle());
        const std::string before = readAll(l.reg);
        o.ui.memUse->setValue(512);
        o.ui.CheckBox1->setChecked(false);
        l.form->activateWindow();
        QTRY_VERIFY(QGuiApplication::focusWindow() == l.form->windowHandle());
        o.activateWindow();
        QTRY_VERIFY(QGuiApplication::focusWindow() == o.windowHandle());
        QCOMPARE(o.ui.memUse->value(), 64);
        QVERIFY(o.ui.CheckBox1->isChecked());
        o.ui.memUse->setValue(512);
        o.ui.BitBtn1->click();
        QVERIFY(!o.isVisible());
        QCOMPARE(readAll(l.reg), before);
        QCOMPARE(l.form->state().settings.maxmem, 64);
    }

    void fileChoosersFillTheirFieldsAndKeepTheLastFile() {
        Launcher l([&](RegFileStore& s) { settings(s, 0, 2); });
        TFormOptions& o = *l.windows.options;
        o.FormActivate();
        l.prompter.files = {QStringLiteral("/sounds/new.wav"), std::nullopt,
                            QStringLiteral("/bin/prep.bat")};
        o.ui.Button2->click();
        QCOMPARE(o.ui.sound1->text(), QStringLiteral("/sounds/new.wav"));
        o.ui.Button1->click(); // cancelled: the field stays as it was
        QCOMPARE(o.ui.sound2->text(), QStringLiteral("none"));
        QCOMPARE(o.OpenDialog1.fileName(), QStringLiteral("/sounds/new.wav"));
        o.ui.Button3->click();
        QCOMPARE(o.ui.extraExec->text(), QStringLiteral("/bin/prep.bat"));
        QCOMPARE(l.prompter.filesAsked, 3);
        QCOMPARE(l.form->state().settings.sound1, std::string("none")); // nothing before OK
    }

    void theJoinString_data() {
        QTest::addColumn<QString>("host");
        QTest::addColumn<QString>("port");
        QTest::addColumn<QString>("player");
        QTest::addColumn<QString>("pass");
        QTest::addColumn<QString>("expected");
        QTest::newRow("emptyPassword")
            << "10.0.0.5"
            << "2302"
            << "Alpha"
            << ""
            << " -connect=10.0.0.5 -port=2302 \"-name=Alpha\" -password=";
        QTest::newRow("emptyHost") << ""
                                   << "2302"
                                   << "Alpha"
                                   << "x"
                                   << " -connect= -port=2302 \"-name=Alpha\" -password=x";
        QTest::newRow("blanks") << "game.example"
                                << "2402"
                                << "Two Words"
                                << "se cret"
                                << " -connect=game.example -port=2402 \"-name=Two Words\" "
                                   "-password=se cret";
    }
    void theJoinString() {
        QFETCH(QString, host);
        QFETCH(QString, port);
        QFETCH(QString, player);
        QFETCH(QString, pass);
        QFETCH(QString, expected);
        Launcher l;
        TFormDjoin& d = *l.windows.directJoin;
        l.form->ui.BitBtn2->click();
        QVERIFY(d.isVisible());
        l.form->ui.PlayerName->setEditText(player);
        d.ui.host->setText(host);
        d.ui.port->setText(port);
        d.ui.pass->setText(pass);
        d.ui.BitBtn1->click();
        QVERIFY(!d.isVisible());
        QCOMPARE(l.starter.lines.size(), size_t(1));
        const QString line = QString::fromStdString(l.starter.lines[0]);
        QVERIFY2(line.endsWith(expected), qPrintable(line));
    }

    void theDirectJoinKeepsItsTexts() {
        Launcher l;
        TFormDjoin& d = *l.windows.directJoin;
        QCOMPARE(d.windowTitle(), QStringLiteral("Direct join server"));
        QCOMPARE(d.size(), QSize(329, 153));
        QCOMPARE(d.ui.GroupBox1->title(), QStringLiteral("Host && port"));
        QCOMPARE(d.ui.port->text(), QStringLiteral("2302"));
        QCOMPARE(d.ui.BitBtn2->geometry(), QRect(120, 120, 89, 25)); // in view, between the two
        d.show();
        d.ui.host->setText(QStringLiteral("h"));
        d.ui.pass->setText(QStringLiteral("p"));
        d.ui.BitBtn3->click();
        QVERIFY(!d.isVisible());
        l.form->ui.BitBtn2->click();
        QCOMPARE(d.ui.host->text(), QStringLiteral("h"));
        QCOMPARE(d.ui.pass->text(), QStringLiteral("p"));
    }

    void theDirectJoinsWatcherWatchesTheTypedServer() {
        Responder server(2);
        Launcher l;
        l.form->show();
        TFormDjoin& d = *l.windows.directJoin;
        TFormWatcher& w = *l.windows.watcher;
        d.show();
        d.ui.host->setText(QStringLiteral("127.0.0.1"));
        d.ui.port->setText(QString::fromStdString(server.port()));
        QSignalSpy replies(&w.udps, &TNMUDP::OnDataReceived);
        d.ui.BitBtn2->click();
        QVERIFY(w.isVisible());
        QVERIFY(!d.isVisible());
        QVERIFY(!l.form->isVisible());
        QVERIFY(w.Timer2.isActive());
        QVERIFY(replies.wait(2000));
        QCOMPARE(w.ui.players->text(), QStringLiteral("2/32"));
        w.ui.BitBtn2->click(); // Join: this dialog's server, with the ticked mods
        QCOMPARE(l.starter.lines.size(), size_t(1));
        QVERIFY(l.starter.lines[0].find(" -connect=127.0.0.1 -port=" + server.port()) !=
                std::string::npos);
        QVERIFY(l.form->isVisible());
        QVERIFY(l.windows.browser->isVisible());
        QVERIFY(!d.isVisible());
    }

    void aBadPortInTheDirectJoinHidesNothing() {
        Launcher l;
        l.form->show();
        TFormDjoin& d = *l.windows.directJoin;
        d.show();
        d.ui.port->setText(QStringLiteral("23o2"));
        d.ui.BitBtn2->click();
        QCOMPARE(l.prompter.messages, QStringList{"'23o2' is not a valid integer value"});
        QVERIFY(d.isVisible());
        QVERIFY(l.form->isVisible());
        QVERIFY(!l.windows.watcher->isVisible());
    }

    void theAboutBoxClosesOnOkAndEnter() {
        Launcher l;
        TAboutDialog& a = *l.windows.about;
        QCOMPARE(a.windowTitle(), QStringLiteral("About"));
        QCOMPARE(a.size(), QSize(281, 195));
        l.form->show();
        l.form->ui.About1->trigger();
        QVERIFY(a.isVisible());
        QVERIFY(!a.isModal());
        QVERIFY(QApplication::activeModalWidget() == nullptr); // the main window stays usable
        QVERIFY(l.form->ui.BitBtn3->isEnabled());
        a.ui.OKBtn->click();
        QVERIFY(!a.isVisible());
        l.form->ui.About1->trigger();
        a.activateWindow();
        QTRY_VERIFY(QGuiApplication::focusWindow() == a.windowHandle());
        QTest::keyClick(&a, Qt::Key_Return);
        QVERIFY(!a.isVisible());
    }
};

QTEST_MAIN(TestDialogs)
#include "test_dialogs.moc"
