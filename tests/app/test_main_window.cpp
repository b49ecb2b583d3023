#include "direct_join_dialog.h"
#include "error_handler.h"
#ifndef _WIN32
#include "fake_steam.h"
#endif
#include "jpeg_image.h"
#include "launcher_fixture.h"
#include "main_window.h"
#include "mod_editor.h"
#include "options_dialog.h"
#include "qt_text.h"
#include "reg_file_store.h"
#include "registry_io.h"
#include "scripted_prompter.h"
#include "server_browser.h"
#include "stub_records.h"

#include <QClipboard>
#include <QLineEdit>
#include <QMessageBox>
#include <QMouseEvent>
#include <QProcess>
#include <QScreen>
#include <QSignalSpy>
#include <QTimer>
#include <QtTest>
#ifndef _WIN32
#include <csignal>
#include <fcntl.h>
#include <sys/file.h>
#endif

using namespace quorvale;
using quorvale_test::catchesSignal;
using quorvale_test::Launcher;
using quorvale_test::RecordingStarter;

namespace {

QStringList itemTexts(QListWidget* l) {
    QStringList t;
    for (int i = 0; i < l->count(); ++i)
        t << l->item(i)->text();
    return t;
}

} // namespace

class TestMainWindow : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { QApplication::setApplicationName(QStringLiteral("Quorvale")); }
    void init() { resetErrorHandler(); }

    void controlsCarryTheirNamesAndCaptions() {
        Launcher l;
        MainWindow& f = *l.form;
        QCOMPARE(f.ui.startSingleplayerButton->text(), QStringLiteral("&Start singleplayer"));
        QCOMPARE(f.ui.serverListButton->text(), QStringLiteral("MP: &Server list"));
        QCOMPARE(f.ui.directJoinButton->text(), QStringLiteral("MP: &Direct join"));
        QCOMPARE(f.ui.changeExecutableButton->text(), QStringLiteral("ch&ange"));
        QCOMPARE(f.ui.modGroup->title(), QStringLiteral(" Mods "));
        QCOMPARE(f.ui.startSingleplayerButton->geometry(), QRect(16, 160, 113, 25));
        QCOMPARE(f.ui.modList->parentWidget(), f.ui.modGroup);
        QCOMPARE(f.ui.bannerLabel->pixmap().size(), QSize(271, 75));
        QVERIFY(f.ui.localAddressBox->isReadOnly());
        QCOMPARE(f.ui.localAddressBox->text(), f.ui.localAddressBox->text().toUpper());
        QStringList menu;
        for (QAction* a : f.ui.optionsMenu->actions())
            menu << (a->isSeparator() ? QStringLiteral("-") : a->text());
        QCOMPARE(menu, (QStringList{"&Options", "&Mods", "&Servers", "-", "Launch &windowed",
                                    "&Host game", "&Dedicated server", "-", "&Quit"}));
        // keyboard order
        QStringList order;
        QWidget* w = f.ui.startSingleplayerButton;
        for (int i = 0; i < 8; ++i) {
            order << w->objectName();
            do
                w = w->nextInFocusChain();
            while (!(w->focusPolicy() & Qt::TabFocus) || w->objectName().isEmpty());
        }
        QCOMPARE(order.mid(0, 6),
                 (QStringList{"startSingleplayerButton", "changeExecutableButton", "modList",
                              "directJoinButton", "serverListButton", "playerNameBox"}));
    }

    void modListShowsTheTableAndTicksAreStoredOnClose() {
        Launcher l([](RegFileStore& s) {
            Launcher::mod(s, "1", "First", 1);
            Launcher::mod(s, "2", "Second", 0);
        });
        QListWidget* list = l.form->ui.modList;
        QCOMPARE(itemTexts(list), (QStringList{"First", "Second"}));
        QCOMPARE(list->item(0)->checkState(), Qt::Checked);
        QCOMPARE(list->item(1)->checkState(), Qt::Unchecked);
        list->item(1)->setCheckState(Qt::Checked);
        QVERIFY(l.state().mods.entries[1].checked);
        QSignalSpy closed(l.form.get(), &MainWindow::closed);
        l.form->close();
        QCOMPARE(closed.count(), 1);
        QCOMPARE(l.storedChecked("1"), 1);
        QCOMPARE(l.storedChecked("2"), 1);
    }

    // Mods load in the player's order: Ctrl+Down moves one, -mod= follows, and the order is
    // there again after a new start; a store without an order keeps the store's.
    void modsLoadInThePlayersOrder() {
        Launcher l([](RegFileStore& s) {
            Launcher::mod(s, "1", "CBA", 1);
            Launcher::mod(s, "2", "ACE", 1);
            Launcher::mod(s, "3", "JSRS", 0);
        });
        QCOMPARE(l.session->modNames(), (QStringList{"CBA", "ACE", "JSRS"}));
        l.form->ui.modList->setCurrentRow(0);
        QTest::keyClick(l.form->ui.modList, Qt::Key_Down, Qt::ControlModifier);
        QCOMPARE(l.session->modNames(), (QStringList{"ACE", "CBA", "JSRS"}));
        l.form->ui.modList->item(2)->setCheckState(Qt::Checked);
        l.form->ui.startSingleplayerButton->click();
        QVERIFY(l.starter.lines.back().find(" -mod=@ACE;@CBA;@JSRS ") != std::string::npos);
        l.form->close();
        QCOMPARE(Launcher::storedValue(l.reg, std::string(kModsKey) + "\\2", "order"), 0);
        l.open();
        QCOMPARE(l.session->modNames(), (QStringList{"ACE", "CBA", "JSRS"}));
        QCOMPARE(l.form->ui.modList->item(1)->text(), QStringLiteral("CBA"));
    }

    void changeReloadsAndDropsAnUnsavedTick() {
        Launcher l([](RegFileStore& s) { Launcher::mod(s, "1", "First", 0); });
        l.form->ui.modList->item(0)->setCheckState(Qt::Checked);
        l.prompter.files = {QString::fromStdString(l.exe)};
        l.form->ui.changeExecutableButton->click();
        QCOMPARE(l.prompter.messages, QStringList{"Select the ArmA 2 executable."});
        QCOMPARE(l.form->ui.modList->item(0)->checkState(), Qt::Unchecked);
        QVERIFY(!l.state().mods.entries[0].checked);
    }

    void changeCancelledKeepsTheExecutable() {
        Launcher l([](RegFileStore& s) { Launcher::mod(s, "1", "First", 1); });
        l.form->ui.modList->item(0)->setCheckState(Qt::Unchecked); // not saved yet, and kept
        l.form->ui.changeExecutableButton->click();
        QCOMPARE(l.form->ui.modList->item(0)->checkState(), Qt::Unchecked);
        QCOMPARE(l.prompter.messages, QStringList{"Select the ArmA 2 executable."});
        QCOMPARE(l.form->ui.executableLabel->text(), QString::fromStdString(l.exe));
        // Operation Arrowhead's executables are offered as well as the game's, and all files.
        const QStringList offered = l.prompter.lastFilter.split(QStringLiteral(";;"));
        QCOMPARE(offered.last(), QStringLiteral("All files (*)"));
        for (const char* exe : {"Arma2.exe", "ArmA2OA.exe", "arma2oa.exe", "ArmA2OA_BE.exe"})
            QVERIFY2(offered[0].contains(QLatin1Char(' ') + QLatin1String(exe)) ||
                         offered[0].contains(QLatin1Char('(') + QLatin1String(exe)),
                     exe);
        RegFileStore s(l.reg);
        s.openKeyReadOnly(kLauncherKey);
        QCOMPARE(s.readString("executable"), l.exe);
        // No executable at all: the launch says so.
        l.state().settings.executable.clear();
        l.form->ui.startSingleplayerButton->click();
        QVERIFY(l.prompter.messages.last().startsWith("No game executable is chosen."));
        QVERIFY(l.starter.lines.empty());
    }

    void serverListNeedsServers() {
        Launcher l;
        QWidget browser;
        l.form->setWindows({nullptr, nullptr, &browser, nullptr, nullptr, nullptr});
        l.form->ui.serverListButton->click();
        QCOMPARE(l.prompter.messages,
                 QStringList{"No server entries found, add servers first using the options menu"});
        QVERIFY(!browser.isVisible());

        l.state().servers.entries.emplace_back();
        l.form->ui.serverListButton->click();
        QVERIFY(browser.isVisible());
        QCOMPARE(l.prompter.messages.size(), 1);
        QVERIFY(l.form->isEnabled()); // not modal
    }

    void copyPutsExactlyTheAddressOnTheClipboard() {
        Launcher l;
        l.form->ui.localAddressBox->setText(QStringLiteral("192.168.0.10"));
        l.form->ui.copyAddressButton->click();
        QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("192.168.0.10"));
    }

    void launchModes_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("tail");
        QTest::newRow("single") << "startSingleplayerButton"
                                << "Typed Name"
                                << "  \"-name=Typed Name\" ";
        QTest::newRow("singleEmptyName") << "startSingleplayerButton"
                                         << ""
                                         << "  \"-name=\" ";
        QTest::newRow("windowed") << "launchWindowedAction"
                                  << "A"
                                  << "  -window \"-name=A\" ";
        QTest::newRow("host") << "hostGameAction"
                              << "A"
                              << " -host \"-name=A\"";
        QTest::newRow("dedicated") << "dedicatedServerAction"
                                   << "A"
                                   << " -server -config=server.cfg \"-name=A\"";
        // Typed by hand, then an editor saves: the name survives the reload.
        QTest::newRow("typedBeforeAReload") << "startSingleplayerButton"
                                            << "Kept"
                                            << "  \"-name=Kept\" ";
    }
    void launchModes() {
        QFETCH(QString, name);
        QFETCH(QString, typed);
        QFETCH(QString, tail);
        Launcher l([](RegFileStore& s) { Launcher::mod(s, "1", "CBA", 1); });
        if (QByteArray(QTest::currentDataTag()) == "typedBeforeAReload") {
            QTest::keyClicks(l.form->ui.playerNameBox->lineEdit(), typed);
            l.session->storeAndReload();
        } else {
            l.form->ui.playerNameBox->setEditText(typed);
        }
        if (auto* b = l.form->findChild<QPushButton*>(name))
            b->click();
        else
            l.form->findChild<QAction*>(name)->trigger();
        const std::string expected = "\"" + l.exe + "\" -nosplash -mod=@CBA" + tail.toStdString();
        QCOMPARE(l.starter.lines, std::vector<std::string>{expected});
        const auto recs = waitForStubRecords(l.out, 1);
        QCOMPARE(recs.size(), size_t(1));
        QCOMPARE(recs[0].program, l.exe);
        QCOMPARE(recs[0].cwd, l.gameDir);
        QVERIFY(recs[0].args.back() == "-name=" + typed.toStdString());
    }

    void aClickDuringALaunchIsLost() {
        Launcher l;
        QPushButton* start = l.form->ui.startSingleplayerButton;
        // the player clicks again while the game is being started: the click waits in the queue
        l.starter.during = [&] {
            const QPointF at(10, 10);
            QCoreApplication::postEvent(
                start, new QMouseEvent(QEvent::MouseButtonPress, at, at, start->mapToGlobal(at),
                                       Qt::LeftButton, Qt::LeftButton, Qt::NoModifier));
            QCoreApplication::postEvent(
                start, new QMouseEvent(QEvent::MouseButtonRelease, at, at, start->mapToGlobal(at),
                                       Qt::LeftButton, Qt::NoButton, Qt::NoModifier));
        };
        start->click();
        QVERIFY(!start->isEnabled());
        QVERIFY(!l.form->ui.serverListButton->isEnabled());
        QVERIFY(!l.form->ui.directJoinButton->isEnabled());
        QTRY_VERIFY(start->isEnabled());
        QVERIFY(l.form->ui.serverListButton->isEnabled());
        QCoreApplication::sendPostedEvents(); // any click made during the start still waiting
        QCOMPARE(l.starter.lines.size(), size_t(1));
        waitForStubRecords(l.out, 1);
    }

    // A double click on any launch button starts one game; a press a second later another.
    void aSecondPressWithinASecondIsIgnored_data() {
        QTest::addColumn<QString>("button");
        for (const char* b :
             {"startSingleplayerButton", "hostGameAction", "joinButton", "connectButton"})
            QTest::newRow(b) << b;
    }
    void aSecondPressWithinASecondIsIgnored() {
        QFETCH(QString, button);
        Launcher l([](RegFileStore& s) {
            s.openKey(std::string(kServersKey) + "\\1", true);
            for (const char* v : {"name", "ip", "pass", "mods"})
                s.writeString(v, "x");
            s.writeString("port", "2302");
            s.writeInteger("sockets", 1);
        });
        qint64 ms = 0;
        l.session->setClock([&] { return ms; });
        QWidget* windows[] = {l.form.get(), l.windows.browser.get(), l.windows.directJoin};
        l.windows.directJoin->ui.portEdit->setText("2302");
        l.windows.browser->queryServers();
        const auto press = [&] {
            for (QWidget* w : windows)
                if (auto* b = w->findChild<QAbstractButton*>(button)) {
                    QVERIFY(QTest::qWaitFor(
                        [b] { return b->isEnabled(); })); // as a second click finds it
                    return b->click();
                }
            l.form->findChild<QAction*>(button)->trigger();
        };
        press();
        ms = 999;
        press();
        QCOMPARE(l.starter.lines.size(), size_t(1));
        ms = 2000;
        press();
        QCOMPARE(l.starter.lines.size(), size_t(2));
    }

    void aGameThatCannotStartIsReportedAndCloseWaits_data() {
        QTest::addColumn<QString>("executable"); // below the test folder; empty: none chosen
        QTest::addColumn<QString>("told");
        QTest::addColumn<int>("started");
        QTest::newRow("missing") << "missing.exe"
                                 << "The program @missing.exe was not found." << 1;
        QTest::newRow("blank in the path")
            << "other game/arma2.sh"
            << "The program @other game/arma2.sh was not found." << 1;
        QTest::newRow("none chosen") << ""
                                     << "No game executable is chosen. Choose the ArmA 2 "
                                        "executable with \"change\" in the main window."
                                     << 0;
    }
    void aGameThatCannotStartIsReportedAndCloseWaits() {
        QFETCH(QString, executable);
        QFETCH(QString, told);
        QFETCH(int, started);
        Launcher l([](RegFileStore& s) {
            s.writeInteger("close", 1);
            s.writeString("extraExec", "prelaunch.exe");
        });
        const std::string folder = l.dir.file("");
        l.state().settings.executable =
            executable.isEmpty() ? std::string() : folder + executable.toStdString();
        QSignalSpy closed(l.form.get(), &MainWindow::closed);
        l.form->ui.startSingleplayerButton->click();
        QCOMPARE(l.prompter.messages.size(), 1);
        QVERIFY2(l.prompter.messages[0].contains(told.replace(QLatin1Char('@'), toQString(folder))),
                 qPrintable(l.prompter.messages[0]));
        QCOMPARE(closed.count(), 0);
        // with no executable, the program run before the game is not started either
        QCOMPARE(l.starter.lines.size(), size_t(started == 0 ? 0 : 2));
    }

    void aLaunchButtonGetsItsFocusBack_data() {
        QTest::addColumn<bool>("byKey");
        QTest::newRow("Space") << true;
        QTest::newRow("mouse") << false;
    }
    void aLaunchButtonGetsItsFocusBack() {
        QFETCH(bool, byKey);
        Launcher l;
        l.form->show();
        l.form->activateWindow();
        QTRY_VERIFY(QGuiApplication::focusWindow() == l.form->windowHandle());
        QPushButton* start = l.form->ui.startSingleplayerButton;
        start->setFocus();
        if (byKey)
            QTest::keyClick(start, Qt::Key_Space);
        else
            QTest::mouseClick(start, Qt::LeftButton);
        QCOMPARE(l.starter.lines.size(), size_t(1));
        QTRY_VERIFY(start->isEnabled());
        QCOMPARE(QApplication::focusWidget(), start);
        waitForStubRecords(l.out, 1);
    }

    void theAddressKeepsItsSelectionWithoutFocus() {
        Launcher l;
        l.form->show();
        l.form->activateWindow();
        QTRY_VERIFY(QGuiApplication::focusWindow() == l.form->windowHandle());
        QLineEdit* box = l.form->ui.localAddressBox;
        l.form->ui.copyAddressButton->click();
        QVERIFY(box->hasFocus());
        l.form->ui.modList->setFocus();
        QTRY_COMPARE(box->selectedText(), box->text());
        const QPalette p = box->palette();
        QCOMPARE(p.color(QPalette::Inactive, QPalette::Highlight),
                 p.color(QPalette::Active, QPalette::Highlight));
#ifndef _WIN32 // Windows underlines access keys only while Alt is held
        // its button shows the access key underlined (a tool button drops the underline)
        QAbstractButton* copy = l.form->ui.copyAddressButton;
        const QImage underlined = copy->grab().toImage();
        copy->setText(QStringLiteral("Copy to clipboard"));
        QVERIFY(copy->grab().toImage() != underlined);
#endif
    }

    void closeAfterLaunchStoresAndEnds() {
        Launcher l([](RegFileStore& s) { s.writeInteger("close", 1); });
        l.state().settings.maxMemory = 777; // not stored yet
        QSignalSpy closed(l.form.get(), &MainWindow::closed);
        l.form->ui.startSingleplayerButton->click();
        QCOMPARE(closed.count(), 1);
        RegFileStore s(l.reg);
        s.openKeyReadOnly(kLauncherKey);
        QCOMPARE(s.readInteger("maxmem"), 777);
        waitForStubRecords(l.out, 1);
    }

#ifndef _WIN32
    // Another Quorvale's save holds the lock: nothing is written over it and nothing waits for
    // it, but the quit a little; the executable's line says why the settings are not saved yet.
    void aSaveWaitsForAnotherQuorvale_data() {
        QTest::addColumn<bool>("quit");
        QTest::addColumn<bool>("freed"); // the other save ends while this one waits
        QTest::newRow("options saved") << false << true;
        QTest::newRow("quit, freed during the wait") << true << true;
        QTest::newRow("quit, never freed") << true << false;
    }
    void aSaveWaitsForAnotherQuorvale() {
        QFETCH(bool, quit);
        QFETCH(bool, freed);
        Launcher l([](RegFileStore& s) { Launcher::mod(s, "1", "CBA", 0); });
        const int other = ::open((l.reg + ".lock").c_str(), O_RDWR | O_CLOEXEC);
        ::flock(other, LOCK_EX);
        l.form->ui.modList->item(0)->setCheckState(Qt::Checked);
        QString shown;
        const auto free = [&] {
            shown = l.form->ui.executableLabel->text();
            ::flock(other, LOCK_UN);
        };
        if (quit && freed)
            QTimer::singleShot(0, free);
        if (quit) {
            l.form->close();
        } else {
            l.session->storeSettings();
            QCOMPARE(l.storedChecked("1"), 0);
            free();
            QTRY_COMPARE(l.form->ui.executableLabel->text(), QString::fromStdString(l.exe));
        }
        ::close(other);
        QCOMPARE(shown.contains(QStringLiteral("another Quorvale")), freed);
        QCOMPARE(l.storedChecked("1"), freed ? 1 : 0);
        QCOMPARE(l.prompter.messages.join("").contains(QStringLiteral("not saved")), !freed);
    }

    // The desktop session ending (SIGTERM) or the terminal gone (SIGHUP) saves and ends the
    // real program as "&Quit" does.
    void aTerminationSignalSavesAndQuits_data() {
        QTest::addColumn<int>("signal");
        QTest::newRow("SIGTERM") << SIGTERM;
        QTest::newRow("SIGHUP") << SIGHUP;
    }
    void aTerminationSignalSavesAndQuits() {
        QFETCH(int, signal);
        // A tick stored as no build writes it: the program's save stores it as 1.
        Launcher l([](RegFileStore& s) { Launcher::mod(s, "1", "CBA", 7); });
        QProcess quorvale;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QUORVALE_REGISTRY", QString::fromStdString(l.reg));
        quorvale.setProcessEnvironment(env);
        quorvale.start(QUORVALE_PATH, {});
        QVERIFY(quorvale.waitForStarted()); // the test's own handlers are gone with the exec
        QVERIFY(QTest::qWaitFor([&] { return catchesSignal(quorvale.processId(), signal); }));
        ::kill(static_cast<pid_t>(quorvale.processId()), signal);
        QVERIFY(quorvale.waitForFinished());
        QCOMPARE(quorvale.exitStatus(), QProcess::NormalExit);
        QCOMPARE(l.storedChecked("1"), 1);
    }

#endif

    void aLoadErrorAtStartIsShownAndTheWindowOpens() {
        Launcher l([](RegFileStore& s) {
            Launcher::mod(s, "1", "First", 1);
            s.openKey(std::string(kModsKey) + "\\2", true);
            s.writeString("checked", "yes");
        });
        QCOMPARE(l.prompter.messages, QStringList{"Invalid data type for 'checked'"});
        QVERIFY(l.form != nullptr);
        l.form->show();
        QVERIFY(l.form->isVisible());
    }

    void aFullDiskAtTheFirstRunStillShowsWhatALaunchUses() {
        Launcher l;
        std::filesystem::remove(l.reg); // the first run ...
        l.prompter.files = {QString::fromStdString(l.exe)};
        l.open([](RegFileStore& s) { // ... on a full disk
            s.beforeWriteStep = [](const char* step) {
                if (std::string(step) == "write")
                    throw std::runtime_error("No space left on device");
            };
        });
        QCOMPARE(l.prompter.messages.size(), 2);
        QVERIFY(l.prompter.messages[1].contains(QStringLiteral("No space left on device")));
        QCOMPARE(l.form->ui.executableLabel->text(), QString::fromStdString(l.exe));

        ModEditor& e = *l.windows.modEditor; // a mod added, and its save fails too
        e.refreshFields();
        e.ui.modNameEdit->setText(QStringLiteral("a"));
        e.ui.modFolderEdit->setText(QStringLiteral("@a"));
        QTest::mouseClick(e.ui.saveModButton, Qt::LeftButton);
        QCOMPARE(l.prompter.messages.size(), 3);
        QCOMPARE(e.ui.modSelector->currentText(), QStringLiteral("a"));
        QCOMPARE(l.session->modNames(), QStringList{"a"});
        l.form->ui.modList->item(0)->setCheckState(Qt::Checked);
        l.form->ui.startSingleplayerButton->click();
        QCOMPARE(l.starter.lines.size(), size_t(1));
        QVERIFY(l.starter.lines[0].rfind("\"" + l.exe + "\" -nosplash -mod=@a ", 0) == 0);
        waitForStubRecords(l.out, 1);
    }

    void playerNamesFromTheGameAndTheProfiles() {
        Launcher l([](RegFileStore& s) {
            s.openKey(kGameUserKey, true);
            s.writeString("Player Name", "Zulu");
        });
        writeAll(l.dir.file("home/My Documents/ArmA 2/Alpha.ArmAProfile"), "");
        writeAll(l.dir.file("home/My Documents/ArmA 2/Bravo.ArmAProfile"), "");
        l.session->reloadSettings();
        QComboBox* p = l.form->ui.playerNameBox;
        QCOMPARE(p->currentText(), QStringLiteral("Zulu"));
        QCOMPARE(p->count(), 2);
        QCOMPARE(p->itemText(0), QStringLiteral("Alpha"));
        QCOMPARE(p->itemText(1), QStringLiteral("Bravo"));
    }

#ifndef _WIN32
    void theExecutableDialogOpensInTheGameFolderFoundInTheWinePrefix() {
        Launcher l({}, false); // the first run, cancelled, leaves no executable
        QCOMPARE(l.prompter.lastStart, QString());
        namespace fs = std::filesystem;
        const fs::path prefix = l.dir.path() / "prefix";
        fs::create_directories(prefix / "drive_c/Games/ArmA 2");
        fs::create_directories(prefix / "dosdevices");
        fs::create_symlink("../drive_c", prefix / "dosdevices/c:");
        writeAll((prefix / "system.reg").string(),
                 "WINE REGISTRY Version 2\n\n[Software\\\\Bohemia Interactive Studio\\\\ArmA 2] "
                 "1\n\"MAIN\"=\"C:\\\\Games\\\\ArmA 2\"\n");
        l.winePrefix = prefix.string();
        l.open();
        const QString game = QString::fromStdString(fs::canonical(prefix / "drive_c/Games/ArmA 2"));
        QCOMPARE(QString::fromStdString(l.state().settings.gamePath), game);
        QCOMPARE(l.prompter.lastStart, game + "/");
    }

    // No chooser where Steam has the game; Options names the Proton taken, which starts it with
    // Steam's variables and the name from Proton's prefix split as Windows splits it.
    void aFirstStartTakesTheGameFromSteam() {
        FakeSteam steam;
        const ScopedEnv home("HOME", steam.home);
        Launcher l({}, false);
        QCOMPARE(l.prompter.filesAsked, 0);
        QCOMPARE(l.prompter.messages.size(), 1);
        QCOMPARE(l.form->ui.executableLabel->text(), QString::fromStdString(steam.arrowheadExe));
        l.windows.options->refreshFields();
        QCOMPARE(l.windows.options->ui.runnerBox->currentText(), QStringLiteral("Proton 10.0"));
        QCOMPARE(l.windows.options->ui.runnerBox->count(), 5); // Wine, three Protons, Steam
        l.windows.options->ui.okButton->click();
        l.form->ui.startSingleplayerButton->click();
        QCOMPARE(waitForStubRecords(l.out, 1).at(0).args,
                 (std::vector<std::string>{"run", steam.arrowheadExe, "-nosplash",
                                           "-name=Zo\u00eb \"Z\""}));
        QCOMPARE(readAll(steam.protonEnv),
                 steam.compatData + "\n" + steam.root + "\n33930\n33930\n");
    }
#endif

    void theRealMessageBoxIsCaptionedAndAnsweredWithOk() {
        QtPrompter real;
        QString caption, text;
        int buttons = 0;
        bool onTop = false;
        QWidget watcher(nullptr, Qt::Window | Qt::WindowStaysOnTopHint); // a box stands above it
        watcher.show();
        QTimer::singleShot(50, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            QVERIFY(box);
            caption = box->windowTitle();
            text = box->text();
            QCOMPARE(box->textFormat(), Qt::PlainText); // a folder named "<b>" is no markup
            buttons = box->buttons().size();
            onTop = box->windowFlags().testFlag(Qt::WindowStaysOnTopHint);
            box->button(QMessageBox::Ok)->click();
        });
        real.message(QStringLiteral("Select the ArmA 2 executable."));
        QVERIFY(onTop);
        watcher.hide();
        QCOMPARE(caption, QStringLiteral("Quorvale"));
        QCOMPARE(text, QStringLiteral("Select the ArmA 2 executable."));
        QCOMPARE(buttons, 1);

        QTimer::singleShot(50, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            QVERIFY(box);
            caption = box->windowTitle();
            QCOMPARE(box->icon(), QMessageBox::Question);
            box->button(QMessageBox::Yes)->click();
        });
        QVERIFY(real.confirm(QStringLiteral("Are you sure?")));
        QCOMPARE(caption, QStringLiteral("Confirm"));
    }

    // The auto scan asks about every folder it found: Yes and No stay on the screen.
    void aLongQuestionKeepsItsButtonsOnTheScreen() {
        QtPrompter real;
        QString question = QStringLiteral("Found mods:\r\n");
        for (int i = 0; i < 1100; ++i)
            question += QStringLiteral("@mod%1\r\n").arg(i);
        question += QStringLiteral("\r\n\r\nAdd to mods list?");
        QString caption;
        QRect frame;
        QTimer::singleShot(50, [&] {
            QWidget* box = QApplication::activeModalWidget();
            QVERIFY(box);
            caption = box->windowTitle();
            frame = box->frameGeometry();
            const auto buttons = box->findChildren<QPushButton*>();
            QCOMPARE(buttons.size(), 2);
            for (QPushButton* b : buttons)
                if (b->text().remove(QLatin1Char('&')) == QLatin1String("Yes"))
                    b->click();
        });
        QVERIFY(real.confirm(question));
        QCOMPARE(caption, QStringLiteral("Confirm"));
        QVERIFY(QGuiApplication::primaryScreen()->availableGeometry().contains(frame));
    }

    void aBrokenBannerIsReportedNotFatal_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("notAJpeg") << QByteArray("GIF89a not a jpeg at all");
        QFile f(QStringLiteral(":/banner.jpg"));
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray whole = f.readAll();
        QTest::newRow("cutShort") << whole.left(whole.size() / 2);
        QTest::newRow("whole") << whole;
    }
    void aBrokenBannerIsReportedNotFatal() {
        QFETCH(QByteArray, bytes);
        const bool whole = QByteArray(QTest::currentDataTag()) == "whole";
        try {
            QCOMPARE(decodeBanner(bytes).size(), QSize(271, 75));
            QVERIFY(whole);
        } catch (const std::exception& e) {
            QVERIFY2(!whole, e.what());
            QVERIFY(QString::fromUtf8(e.what()).startsWith(
                QStringLiteral("The banner picture could not be read: ")));
            QVERIFY(!QString::fromUtf8(e.what()).endsWith(QStringLiteral(": ")));
        }
    }
};

QTEST_MAIN(TestMainWindow)
#include "test_main_window.moc"
