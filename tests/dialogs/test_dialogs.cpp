#include "about_dialog.h"
#include "direct_join_dialog.h"
#include "launcher_fixture.h"
#include "mod_editor.h"
#include "options_dialog.h"
#include "responder.h"
#include "server_browser.h"
#include "server_editor.h"
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

bool soundControlsEnabled(OptionsDialog& o) {
    const bool on = o.ui.newGameSoundEdit->isEnabled();
    for (QWidget* w : {static_cast<QWidget*>(o.ui.playersSoundEdit),
                       static_cast<QWidget*>(o.ui.choosePlayersSoundButton),
                       static_cast<QWidget*>(o.ui.chooseNewGameSoundButton)})
        if (w->isEnabled() != on)
            return !on; // mixed: neither answer holds
    return on;
}

QString radios(OptionsDialog& o) {
    return QString::fromLatin1(o.ui.noSoundsButton->isChecked() ? "1" : "-") +
           (o.ui.defaultSoundsButton->isChecked() ? "2" : "-") +
           (o.ui.customSoundsButton->isChecked() ? "3" : "-");
}

} // namespace

class TestDialogs : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { QApplication::setApplicationName(QStringLiteral("Quorvale")); }
    void init() { resetErrorHandler(); }

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
        OptionsDialog& o = *l.windows.options;
        QCOMPARE(o.windowTitle(), QStringLiteral("Options"));
#ifdef _WIN32
        QCOMPARE(o.size(), QSize(443, 385)); // no runner on Windows
#else
        QCOMPARE(o.size(), QSize(443, 437));
#endif
        l.form->ui.optionsAction->trigger();
        QVERIFY(o.isVisible());
        QVERIFY(!o.isModal());
        o.refreshFields();
        QVERIFY(o.ui.skipSplashBox->isChecked()); // nosplash
        QVERIFY(!o.ui.windowedBox->isChecked());
        QVERIFY(!o.ui.closeAfterLaunchBox->isChecked());
        QVERIFY(!o.ui.trackIrBox->isChecked());
        QVERIFY(o.ui.flashTaskbarBox->isChecked()); // flash
        QCOMPARE(o.ui.memoryBar->value(), bar);
        QCOMPARE(o.ui.memoryLabel->text(), label);
        QCOMPARE(radios(o), radio);
        QCOMPARE(soundControlsEnabled(o), soundsEnabled);
        QCOMPARE(o.ui.newGameSoundEdit->text(), QStringLiteral("none"));
    }

    void theSoundChoiceEnablesTheFields() {
        Launcher l([&](RegFileStore& s) { settings(s, 0, 1); });
        OptionsDialog& o = *l.windows.options;
        o.refreshFields();
        o.ui.customSoundsButton->click();
        QVERIFY(soundControlsEnabled(o));
        o.ui.noSoundsButton->click();
        QVERIFY(!soundControlsEnabled(o));
        QCOMPARE(radios(o), QStringLiteral("1--"));
        o.ui.memoryBar->setFocus();
        QTest::keyClick(o.ui.memoryBar, Qt::Key_Right);
        QCOMPARE(o.ui.memoryLabel->text(), QStringLiteral("1 MB"));
        QTest::keyClick(o.ui.memoryBar, Qt::Key_PageUp);
        QCOMPARE(o.ui.memoryLabel->text(), QStringLiteral("3 MB"));
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
        OptionsDialog& o = *l.windows.options;
        o.show();
        o.refreshFields();
        o.ui.newGameSoundEdit->clear();
        o.ui.additionalParametersEdit->setText(QStringLiteral("-world=empty -cpuCount=4"));
        o.ui.windowedBox->setChecked(true);
        o.ui.okButton->click();
        QVERIFY(!o.isVisible());
        QCOMPARE(storedInteger(l.reg, "maxmem"), storedMaxmem);
        QCOMPARE(storedInteger(l.reg, "watchers"), storedWatchers);
        QCOMPARE(storedInteger(l.reg, "window"), 1);
        QCOMPARE(storedString(l.reg, "sound1"), std::string());
        QCOMPARE(storedString(l.reg, "extraParams"), std::string("-world=empty -cpuCount=4"));
        l.open(); // the next run reads the emptied sound as "none"
        QCOMPARE(l.state().settings.newGameSound, std::string("none"));
    }

    // The internet list's settings: stored as typed when usable, else told with the dialog open.
    void theMasterSettingsAreCheckedBeforeTheyAreStored_data() {
        QTest::addColumn<QString>("master");
        QTest::addColumn<QString>("appId");
        QTest::addColumn<QString>("told"); // the start of the message; empty: stored
        QTest::newRow("stored") << "127.0.0.1:27011"
                                << "33930"
                                << "";
        QTest::newRow("hostOnly") << "master.example"
                                  << ""
                                  << "";
        QTest::newRow("noHost") << ":27011"
                                << ""
                                << "The master server needs";
        QTest::newRow("badPort") << "m.example:70000"
                                 << ""
                                 << "The master server's port";
        QTest::newRow("blank") << "m example"
                               << ""
                               << "The master server's host";
        QTest::newRow("appIdText") << ""
                                   << "oa"
                                   << "The app id must";
        QTest::newRow("appIdTooBig") << ""
                                     << "4294967296"
                                     << "The app id must";
    }
    void theMasterSettingsAreCheckedBeforeTheyAreStored() {
        QFETCH(QString, master);
        QFETCH(QString, appId);
        QFETCH(QString, told);
        Launcher l([&](RegFileStore& s) { settings(s, 0, 1); });
        OptionsDialog& o = *l.windows.options;
        o.show();
        o.refreshFields();
        o.ui.masterServerEdit->setText(master);
        o.ui.appIdEdit->setText(appId);
        o.ui.okButton->click();
        QCOMPARE(o.isVisible(), !told.isEmpty());
        QCOMPARE(l.prompter.messages.value(0).left(told.size()), told);
        if (told.isEmpty()) {
            QCOMPARE(storedString(l.reg, "masterserver"), master.toStdString());
            QCOMPARE(storedString(l.reg, "masterappid"), appId.toStdString());
        }
    }

    void cancelAndComingBackRestoreTheStoredValues() {
        Launcher l([&](RegFileStore& s) { settings(s, 64, 1); });
        OptionsDialog& o = *l.windows.options;
        l.form->show();
        l.form->ui.optionsAction->trigger();
        o.activateWindow();
        QTRY_VERIFY(QGuiApplication::focusWindow() == o.windowHandle());
        const std::string before = readAll(l.reg);
        o.ui.memoryBar->setValue(512);
        o.ui.skipSplashBox->setChecked(false);
        l.form->activateWindow();
        QTRY_VERIFY(QGuiApplication::focusWindow() == l.form->windowHandle());
        o.activateWindow();
        QTRY_VERIFY(QGuiApplication::focusWindow() == o.windowHandle());
        QCOMPARE(o.ui.memoryBar->value(), 64);
        QVERIFY(o.ui.skipSplashBox->isChecked());
        o.ui.memoryBar->setValue(512);
        o.ui.cancelButton->click();
        QVERIFY(!o.isVisible());
        QCOMPARE(readAll(l.reg), before);
        QCOMPARE(l.state().settings.maxMemory, 64);
    }

#ifndef _WIN32
    // The runner's fields below the rest: nothing overlaps, nothing moved, the keyboard order
    // as before with the two fields after the last field above them.
    void theOptionsLayoutMakesRoomForTheRunner() {
        Launcher l;
        OptionsDialog& o = *l.windows.options;
        QCOMPARE(o.ui.runnerGroup->title(), QStringLiteral("Run Windows programs with:"));
        // "&OK" and "Cancel" stand at the bottom, below the runner's fields.
        QCOMPARE(o.ui.okButton->geometry(), QRect(16, 404, 89, 25));
        QCOMPARE(o.ui.preLaunchGroup->geometry(), QRect(224, 242, 211, 47));
        std::function<void(QWidget*)> clear = [&](QWidget* parent) {
            QList<QWidget*> kids;
            for (QObject* c : parent->children())
                if (auto* w = qobject_cast<QWidget*>(c);
                    w && !w->objectName().isEmpty() && !w->isWindow() && w->isVisibleTo(&o))
                    kids << w;
            for (int i = 0; i < kids.size(); ++i) {
                QVERIFY2(parent->rect().contains(kids[i]->geometry()),
                         qPrintable(kids[i]->objectName()));
                for (int k = i + 1; k < kids.size(); ++k)
                    QVERIFY2(!kids[i]->geometry().intersects(kids[k]->geometry()),
                             qPrintable(kids[i]->objectName() + " / " + kids[k]->objectName()));
                clear(kids[i]);
            }
        };
        clear(&o);
        QStringList order;
        QWidget* w = o.ui.skipSplashBox;
        for (int i = 0; i < 23; ++i) {
            order << w->objectName();
            do
                w = w->nextInFocusChain();
            while (!(w->focusPolicy() & Qt::TabFocus) || w->objectName().isEmpty());
        }
        QCOMPARE(order, (QStringList{"skipSplashBox",
                                     "windowedBox",
                                     "closeAfterLaunchBox",
                                     "trackIrBox",
                                     "flashTaskbarBox",
                                     "memoryBar",
                                     "noSoundsButton",
                                     "defaultSoundsButton",
                                     "customSoundsButton",
                                     "newGameSoundEdit",
                                     "playersSoundEdit",
                                     "choosePlayersSoundButton",
                                     "chooseNewGameSoundButton",
                                     "additionalParametersEdit",
                                     "preLaunchProgramEdit",
                                     "choosePreLaunchProgramButton",
                                     "runnerBox",
                                     "winePrefixEdit",
                                     "masterServerEdit",
                                     "appIdEdit",
                                     "webApiKeyEdit",
                                     "cancelButton",
                                     "okButton"}));
    }

    void theRunnerAndThePrefixAreShownAndStored() {
        Launcher l; // a store from before the runner: wine, no prefix
        OptionsDialog& o = *l.windows.options;
        o.refreshFields();
        QCOMPARE(o.ui.runnerBox->currentText(), QStringLiteral("Wine"));
        QCOMPARE(o.ui.winePrefixEdit->text(), QString());
        const QString proton = QStringLiteral("WINEDEBUG=-all \"/opt/Proton 8.0/proton\" run");
        o.ui.runnerBox->setEditText(proton);
        o.ui.winePrefixEdit->setText(QStringLiteral("~/Games/arma"));
        o.ui.okButton->click();
        QCOMPARE(storedString(l.reg, "runner"), proton.toStdString());
        QCOMPARE(storedString(l.reg, "wineprefix"), std::string("~/Games/arma"));
        l.open(); // and the next run reads them back
        QCOMPARE(l.state().settings.runner, proton.toStdString());
        QCOMPARE(l.state().settings.winePrefix, std::string("~/Games/arma"));
        l.windows.options->refreshFields(); // shown as it was typed
        QCOMPARE(l.windows.options->ui.runnerBox->currentText(), proton);
    }
#endif

    void fileChoosersFillTheirFieldsAndKeepTheLastFile() {
        Launcher l([&](RegFileStore& s) { settings(s, 0, 2); });
        OptionsDialog& o = *l.windows.options;
        o.refreshFields();
        l.prompter.files = {QStringLiteral("/sounds/new.wav"), std::nullopt,
                            QStringLiteral("/bin/prep.bat")};
        o.ui.chooseNewGameSoundButton->click();
        QCOMPARE(o.ui.newGameSoundEdit->text(), QStringLiteral("/sounds/new.wav"));
        o.ui.choosePlayersSoundButton->click(); // cancelled: the field stays as it was
        QCOMPARE(o.ui.playersSoundEdit->text(), QStringLiteral("none"));
        QCOMPARE(o.soundDialog.fileName(), QStringLiteral("/sounds/new.wav"));
        o.ui.choosePreLaunchProgramButton->click();
        QCOMPARE(o.ui.preLaunchProgramEdit->text(), QStringLiteral("/bin/prep.bat"));
        QCOMPARE(l.prompter.filesAsked, 3);
        QCOMPARE(l.state().settings.newGameSound, std::string("none")); // nothing before OK
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
                                   "\"-password=se cret\"";
    }
    void theJoinString() {
        QFETCH(QString, host);
        QFETCH(QString, port);
        QFETCH(QString, player);
        QFETCH(QString, pass);
        QFETCH(QString, expected);
        Launcher l;
        DirectJoinDialog& d = *l.windows.directJoin;
        l.form->ui.directJoinButton->click();
        QVERIFY(d.isVisible());
        l.form->ui.playerNameBox->setEditText(player);
        d.ui.hostEdit->setText(host);
        d.ui.portEdit->setText(port);
        d.ui.passwordEdit->setText(pass);
        d.ui.connectButton->click();
        QVERIFY(!d.isVisible());
        QCOMPARE(l.starter.lines.size(), size_t(1));
        const QString line = QString::fromStdString(l.starter.lines[0]);
        QVERIFY2(line.endsWith(expected), qPrintable(line));
        // The server joined heads the server list's history, without its password.
        QCOMPARE(l.state().settings.history.empty(), host.isEmpty());
        if (host.isEmpty())
            return;
        const ServerEntry& joined = l.state().settings.history.at(0);
        QCOMPARE(QString::fromStdString(joined.host + ":" + joined.port + joined.password),
                 host + ":" + port);
    }

    void aDirectJoinLoadsTheModsTheHostTold() {
        Responder server(0);
        server.answersGameSpy = false;
        server.answersA2s = true;
        server.a2s.modNames = "@CBA_CO;@ACE;Arma 2;@JSRS;";
        Launcher l([](RegFileStore& s) {
            Launcher::mod(s, "1", "JSRS", 1);
            Launcher::mod(s, "2", "CBA_CO", 0);
        });
        l.prompter.answers = {true};
        DirectJoinDialog& d = *l.windows.directJoin;
        l.form->ui.directJoinButton->click();
        QSignalSpy arrived(&d, &DirectJoinDialog::serverModsArrived);
        d.ui.hostEdit->setText(QStringLiteral("127.0.0.1"));
        d.ui.portEdit->setText(QString::fromStdString(server.port()));
        QVERIFY(arrived.wait(2000));
        d.ui.connectButton->click();
        QCOMPARE(l.prompter.questions,
                 QStringList{"This server uses 1 mod you do not have: @ACE. Join anyway?"});
        QCOMPARE(l.starter.lines.size(), size_t(1));
        QVERIFY2(l.starter.lines[0].find("-mod=@CBA_CO;@JSRS ") != std::string::npos,
                 l.starter.lines[0].c_str());
    }

    void theDirectJoinKeepsItsTexts() {
        Launcher l;
        DirectJoinDialog& d = *l.windows.directJoin;
        QCOMPARE(d.windowTitle(), QStringLiteral("Direct join server"));
        QCOMPARE(d.size(), QSize(329, 153));
        QCOMPARE(d.ui.hostGroup->title(), QStringLiteral("Host && port"));
        QCOMPARE(d.ui.portEdit->text(), QStringLiteral("2302"));
        QCOMPARE(d.ui.watcherButton->geometry(),
                 QRect(120, 120, 89, 25)); // in view, between the two
        d.show();
        d.ui.hostEdit->setText(QStringLiteral("h"));
        d.ui.passwordEdit->setText(QStringLiteral("p"));
        d.ui.cancelButton->click();
        QVERIFY(!d.isVisible());
        l.form->ui.directJoinButton->click();
        QCOMPARE(d.ui.hostEdit->text(), QStringLiteral("h"));
        QCOMPARE(d.ui.passwordEdit->text(), QStringLiteral("p"));
    }

    void theDirectJoinsWatcherWatchesTheTypedServer() {
        Responder server(2);
        Launcher l;
        l.form->show();
        DirectJoinDialog& d = *l.windows.directJoin;
        ServerWatcher& w = *l.windows.watcher;
        d.show();
        d.ui.hostEdit->setText(QStringLiteral("127.0.0.1"));
        d.ui.portEdit->setText(QString::fromStdString(server.port()));
        QSignalSpy replies(&w.endpoint, &UdpEndpoint::dataReceived);
        d.ui.watcherButton->click();
        QVERIFY(w.isVisible());
        QVERIFY(!d.isVisible());
        QVERIFY(!l.form->isVisible());
        QVERIFY(w.pollTimer.isActive());
        QVERIFY(replies.wait(2000));
        QCOMPARE(w.ui.playersLabel->text(), QStringLiteral("2/32"));
        w.ui.joinButton->click(); // Join: this dialog's server, with the ticked mods
        QCOMPARE(l.starter.lines.size(), size_t(1));
        QVERIFY(l.starter.lines[0].find(" -connect=127.0.0.1 -port=" + server.port()) !=
                std::string::npos);
        QVERIFY(l.form->isVisible());
        QVERIFY(l.windows.browser->isVisible());
        QVERIFY(!d.isVisible());
    }

    void aBadPortInTheDirectJoinHidesNothing_data() {
        QTest::addColumn<QString>("port");
        QTest::addColumn<QString>("message");
        QTest::newRow("no number") << "23o2"
                                   << "'23o2' is not a valid integer value";
        QTest::newRow("too big") << "99999"
                                 << "'99999' is not a valid port number (1\u201365535).";
        QTest::newRow("zero") << "0"
                              << "'0' is not a valid port number (1\u201365535).";
    }
    void aBadPortInTheDirectJoinHidesNothing() {
        QFETCH(QString, port);
        QFETCH(QString, message);
        Launcher l;
        l.form->show();
        DirectJoinDialog& d = *l.windows.directJoin;
        d.show();
        d.ui.portEdit->setText(port);
        d.ui.watcherButton->click();
        QCOMPARE(l.prompter.messages, QStringList{message});
        QVERIFY(d.isVisible());
        QVERIFY(l.form->isVisible());
        QVERIFY(!l.windows.watcher->isVisible());
        d.ui.connectButton->click(); // joins nothing either
        QCOMPARE(l.prompter.messages, (QStringList{message, message}));
        QVERIFY(l.starter.lines.empty());
        QVERIFY(d.isVisible());
    }

    // Enter presses the focused button; the default button only when no other has the focus.
    void enterPressesTheFocusedButton_data() {
        QTest::addColumn<QString>("window");
        QTest::addColumn<QString>("focused");
        QTest::addColumn<QString>("expected");
        QTest::newRow("options: field -> OK") << "options"
                                              << "additionalParametersEdit"
                                              << "stored";
        QTest::newRow("options: Cancel") << "options"
                                         << "cancelButton"
                                         << "discarded";
        QTest::newRow("options: chooser") << "options"
                                          << "choosePreLaunchProgramButton"
                                          << "chooser";
        QTest::newRow("direct join: Connect") << "directJoin"
                                              << "connectButton"
                                              << "launched";
        QTest::newRow("direct join: Cancel") << "directJoin"
                                             << "cancelButton"
                                             << "discarded";
        QTest::newRow("direct join: field") << "directJoin"
                                            << "hostEdit"
                                            << "nothing";
        QTest::newRow("direct join: Escape") << "directJoin"
                                             << "hostEdit"
                                             << "escape";
    }
    void enterPressesTheFocusedButton() {
        QFETCH(QString, window);
        QFETCH(QString, focused);
        QFETCH(QString, expected);
        Launcher l([&](RegFileStore& s) { settings(s, 0, 1); });
        l.form->show();
        const bool options = window == QLatin1String("options");
        QWidget* w = options ? static_cast<QWidget*>(l.windows.options) : l.windows.directJoin;
        if (options)
            l.form->ui.optionsAction->trigger();
        else
            l.form->ui.directJoinButton->click();
        w->activateWindow();
        QTRY_VERIFY(QGuiApplication::focusWindow() == w->windowHandle());
        l.windows.options->ui.additionalParametersEdit->setText(QStringLiteral("-typed"));
        QWidget* target = w->findChild<QWidget*>(focused);
        target->setFocus();
        QTRY_VERIFY(target->hasFocus());
        QTest::keyClick(target,
                        expected == QLatin1String("escape") ? Qt::Key_Escape : Qt::Key_Return);
        const bool stored = l.state().settings.additionalParameters == "-typed";
        QCOMPARE(stored, expected == QLatin1String("stored"));
        QCOMPARE(l.prompter.filesAsked, expected == QLatin1String("chooser") ? 1 : 0);
        QCOMPARE(l.starter.lines.size(), size_t(expected == QLatin1String("launched") ? 1 : 0));
        QCOMPARE(w->isVisible(),
                 expected == QLatin1String("chooser") || expected == QLatin1String("nothing"));
    }

    // Every text field is named for screen readers by the caption beside it.
    void everyTextFieldHasItsCaptionAsName() {
        Launcher l;
        const QList<QWidget*> windows{l.form.get(),           l.windows.modEditor,
                                      l.windows.serverEditor, l.windows.browser.get(),
                                      l.windows.options,      l.windows.directJoin};
        for (QWidget* w : windows)
            for (QWidget* f : w->findChildren<QWidget*>())
                if (qobject_cast<QComboBox*>(f) ||
                    (qobject_cast<QLineEdit*>(f) && !qobject_cast<QComboBox*>(f->parent())))
                    QVERIFY2(!f->accessibleName().isEmpty(), qPrintable(f->objectName()));
        QCOMPARE(l.windows.options->ui.runnerBox->accessibleName(),
                 QStringLiteral("Run Windows programs with"));
        QCOMPARE(l.windows.directJoin->ui.portEdit->accessibleName(), QStringLiteral("Port"));
        QCOMPARE(l.form->ui.playerNameBox->accessibleName(), QStringLiteral("Player"));
    }

    void tabLandsOnTheSelectedSoundChoice_data() {
        QTest::addColumn<int>("watchers");
        QTest::addColumn<QString>("landsOn");
        QTest::newRow("none") << 0 << "noSoundsButton";
        QTest::newRow("default") << 1 << "defaultSoundsButton";
        QTest::newRow("custom") << 2 << "customSoundsButton";
        QTest::newRow("unknown") << 7 << "noSoundsButton";
    }
    void tabLandsOnTheSelectedSoundChoice() {
        QFETCH(int, watchers);
        QFETCH(QString, landsOn);
        Launcher l([&](RegFileStore& s) { settings(s, 0, 1); });
        OptionsDialog& o = *l.windows.options;
        o.show();
        o.activateWindow();
        QTRY_VERIFY(QGuiApplication::focusWindow() == o.windowHandle());
        // an earlier visit left another choice checked
        o.ui.customSoundsButton->setChecked(true);
        l.state().settings.alertSound = static_cast<AlertSound>(watchers);
        o.refreshFields();
        o.ui.memoryBar->setFocus();
        QTest::keyClick(o.ui.memoryBar, Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget()->objectName(), landsOn);
    }

    void textsOfAnyLengthSurviveOk() {
        const std::string params(40000, 'p');
        const std::string sound = "/sounds/" + std::string(33000, 's') + ".wav";
        Launcher l([&](RegFileStore& s) {
            settings(s, 0, 2);
            s.writeString("extraParams", params);
            s.writeString("sound1", sound);
        });
        OptionsDialog& o = *l.windows.options;
        o.show();
        o.ui.okButton->click();
        QCOMPARE(storedString(l.reg, "extraParams"), params);
        QCOMPARE(storedString(l.reg, "sound1"), sound);
    }

    void theAboutBoxClosesOnOkAndEnter() {
        Launcher l;
        AboutDialog& a = *l.windows.about;
        QCOMPARE(a.windowTitle(), QStringLiteral("About"));
        QCOMPARE(a.size(), QSize(281, 195));
        l.form->show();
        l.form->ui.aboutAction->trigger();
        QVERIFY(a.isVisible());
        QVERIFY(!a.isModal());
        QVERIFY(QApplication::activeModalWidget() == nullptr); // the main window stays usable
        QVERIFY(l.form->ui.startSingleplayerButton->isEnabled());
        a.ui.okButton->click();
        QVERIFY(!a.isVisible());
        l.form->ui.aboutAction->trigger();
        a.activateWindow();
        QTRY_VERIFY(QGuiApplication::focusWindow() == a.windowHandle());
        QTest::keyClick(&a, Qt::Key_Return);
        QVERIFY(!a.isVisible());
    }
};

QTEST_MAIN(TestDialogs)
#include "test_dialogs.moc"
