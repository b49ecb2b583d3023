#include "launcher_fixture.h"
#include "list_editing.h"
#include "mod_editor.h"
#include "server_editor.h"

#include <QLineEdit>
#include <QtTest>

using namespace quorvale;
using quorvale_test::Launcher;

namespace {

QStringList itemTexts(QComboBox* c) {
    QStringList t;
    for (int i = 0; i < c->count(); ++i)
        t << c->itemText(i);
    return t;
}

QList<bool> ticks(QListWidget* l) {
    QList<bool> t;
    for (int i = 0; i < l->count(); ++i)
        t << (l->item(i)->checkState() == Qt::Checked);
    return t;
}

// The entries stored under a table key: subkey name -> value name -> value text.
std::map<std::string, std::map<std::string, std::string>> stored(const std::string& reg,
                                                                 const char* tableKey) {
    std::map<std::string, std::map<std::string, std::string>> out;
    RegFileStore s(reg);
    if (!s.openKeyReadOnly(tableKey))
        return out;
    for (const auto& k : s.subKeyNames()) {
        RegFileStore e(reg);
        e.openKeyReadOnly(std::string(tableKey) + "\\" + k);
        for (const char* v : {"name", "dir", "ip", "port", "pass", "mods"})
            if (e.valueExists(v))
                out[k][v] = e.readString(v);
        for (const char* v : {"checked", "sockets"})
            if (e.valueExists(v))
                out[k][v] = std::to_string(e.readInteger(v));
    }
    return out;
}

void server(RegFileStore& s, const char* id, const char* name, const char* mods, int sockets) {
    s.openKey(std::string(kServersKey) + "\\" + id, true);
    s.writeString("name", name);
    s.writeString("ip", std::string("host-") + name);
    s.writeString("port", std::string("23") + id);
    s.writeString("pass", std::string("pw ") + name);
    s.writeString("mods", mods);
    s.writeInteger("sockets", sockets);
}

void typeInto(QComboBox* c, const QString& text) {
    c->setFocus();
    QTest::keyClicks(c->lineEdit(), text);
}

// Captures the "ADD:" lines of the mod scan's debug channel.
QStringList gTrace;
void traceHandler(QtMsgType, const QMessageLogContext& ctx, const QString& msg) {
    if (ctx.category && QByteArray(ctx.category) == "quorvale.modscan")
        gTrace << msg;
}

} // namespace

class TestEditors : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { QApplication::setApplicationName(QStringLiteral("Quorvale")); }

    void modEditorStartsEmptyAndSaveCreatesSlotZero() {
        Launcher l;
        TForm2& e = *l.windows.modEditor;
        QCOMPARE(e.windowTitle(), QStringLiteral("Modifications"));
        QCOMPARE(e.size(), QSize(288, 217));
        e.FormActivate();
        QCOMPARE(e.ui.ModList->count(), 0);
        QCOMPARE(e.ui.ModList->currentText(), QString());
        QCOMPARE(e.ui.Name->text(), QString());
        QCOMPARE(e.ui.Dir->text(), QString());
        e.ui.Name->setText(QStringLiteral("My mod"));
        e.ui.Dir->setText(QStringLiteral("@my"));
        QTest::mouseClick(e.ui.BitBtn2, Qt::LeftButton);
        QCOMPARE(l.form->state().mods.count(), 1);
        const auto mods = stored(l.reg, kModsKey);
        QCOMPARE(mods.size(), size_t(1));
        QCOMPARE(mods.begin()->second.at("name"), std::string("My mod"));
        QCOMPARE(mods.begin()->second.at("checked"), std::string("0"));
        QCOMPARE(e.ui.ModList->currentText(), QStringLiteral("My mod"));
        QCOMPARE(l.form->ui.ModList->count(), 1);
    }

    void typingANewNameFollowsEachKeystroke() {
        Launcher l([](RegFileStore& s) {
            Launcher::mod(s, "1", "A", 0);
            Launcher::mod(s, "2", "B", 1);
        });
        TForm2& e = *l.windows.modEditor;
        e.FormActivate();
        QCOMPARE(itemTexts(e.ui.ModList), (QStringList{"A", "B"}));
        QCOMPARE(e.ui.Dir->text(), QStringLiteral("@A"));
        e.ui.ModList->lineEdit()->clear();
        QStringList names, dirs;
        connect(e.ui.Name, &QLineEdit::textChanged, this, [&] { dirs << e.ui.Dir->text(); });
        typeInto(e.ui.ModList, QStringLiteral("Ne"));
        QCOMPARE(e.ui.Name->text(), QStringLiteral("Ne"));
        QCOMPARE(e.ui.Dir->text(), QString());
        e.ui.Dir->setText(QStringLiteral("typed"));
        typeInto(e.ui.ModList, QStringLiteral("w"));
        QCOMPARE(e.ui.Name->text(), QStringLiteral("New"));
        QCOMPARE(e.ui.Dir->text(), QString());
        // picking an item loads that entry again
        e.ui.ModList->setCurrentIndex(1);
        Q_EMIT e.ui.ModList->activated(1);
        QCOMPARE(e.ui.Name->text(), QStringLiteral("B"));
        QCOMPARE(e.ui.Dir->text(), QStringLiteral("@B"));
    }

    void savingAnEntryKeepsItsIdAndTickAndShowsTheFirst() {
        Launcher l([](RegFileStore& s) {
            Launcher::mod(s, "1", "A", 0);
            Launcher::mod(s, "2", "B", 1);
        });
        TForm2& e = *l.windows.modEditor;
        e.FormActivate();
        e.ui.ModList->setCurrentIndex(1);
        e.ui.Name->setText(QStringLiteral("B2"));
        e.ui.Dir->setText(QStringLiteral("@b2"));
        QTest::mouseClick(e.ui.BitBtn2, Qt::LeftButton);
        const auto mods = stored(l.reg, kModsKey);
        QCOMPARE(mods.size(), size_t(2));
        QCOMPARE(mods.at("2").at("name"), std::string("B2"));
        QCOMPARE(mods.at("2").at("dir"), std::string("@b2"));
        QCOMPARE(mods.at("2").at("checked"), std::string("1"));
        QCOMPARE(l.form->ui.ModList->item(1)->checkState(), Qt::Checked);
        QCOMPARE(e.ui.ModList->currentIndex(), 0);
        QCOMPARE(e.ui.Name->text(), QStringLiteral("A"));
    }

    void deleteClosesTheGap_data() {
        QTest::addColumn<int>("select"); // -1: a typed name
        QTest::addColumn<bool>("yes");
        QTest::addColumn<QStringList>("left");
        QTest::addColumn<QList<bool>>("leftTicks");
        QTest::newRow("middle") << 1 << true << QStringList{"A", "C"} << QList<bool>{false, true};
        QTest::newRow("no") << 1 << false << QStringList{"A", "B", "C"}
                            << QList<bool>{false, false, true};
        QTest::newRow("typed") << -1 << true << QStringList{"A", "B", "C"}
                               << QList<bool>{false, false, true};
    }
    void deleteClosesTheGap() {
        QFETCH(int, select);
        QFETCH(bool, yes);
        QFETCH(QStringList, left);
        QFETCH(QList<bool>, leftTicks);
        Launcher l([](RegFileStore& s) {
            Launcher::mod(s, "1", "A", 0);
            Launcher::mod(s, "2", "B", 0);
            Launcher::mod(s, "3", "C", 1);
        });
        TForm2& e = *l.windows.modEditor;
        e.FormActivate();
        if (select >= 0)
            e.ui.ModList->setCurrentIndex(select);
        else
            typeInto(e.ui.ModList, QStringLiteral("x"));
        l.prompter.answers = {yes};
        QTest::mouseClick(e.ui.BitBtn1, Qt::LeftButton);
        QCOMPARE(l.prompter.questions, QStringList{"Are you sure?"});
        QCOMPARE(itemTexts(e.ui.ModList), left);
        QCOMPARE(ticks(l.form->ui.ModList), leftTicks);
        QCOMPARE(int(stored(l.reg, kModsKey).size()), left.size());
    }

    void deletingTheOnlyEntryLeavesNoSubkeys() {
        Launcher l([](RegFileStore& s) { Launcher::mod(s, "1", "A", 1); });
        TForm2& e = *l.windows.modEditor;
        e.FormActivate();
        l.prompter.answers = {true};
        QTest::mouseClick(e.ui.BitBtn1, Qt::LeftButton);
        QCOMPARE(l.form->state().mods.lastIndex, -1);
        QVERIFY(stored(l.reg, kModsKey).empty());
        QCOMPARE(e.ui.Name->text(), QString());
    }

    void autoScanOffersNewModFolders() {
        Launcher l([](RegFileStore& s) { Launcher::mod(s, "1", "x", 0); });
        for (const char* p : {"X/addons", "Y/dta", "Z/other", ".H/addons", "W/AddOns"})
            std::filesystem::create_directories(l.gameDir + "/" + p);
        TForm2& e = *l.windows.modEditor;
        e.FormActivate();
        // the display name "x" hides X; only Y is new
        l.prompter.answers = {true};
        gTrace.clear();
        const auto old = qInstallMessageHandler(traceHandler);
        QTest::mouseClick(e.ui.BitBtn3, Qt::LeftButton);
        qInstallMessageHandler(old);
        QCOMPARE(l.prompter.questions,
                 QStringList{"Found mods:\r\nY\r\n\r\n\r\nAdd to mods list?"});
        QCOMPARE(gTrace, QStringList{"ADD:Y"});
        const ModTable& m = l.form->state().mods;
        QCOMPARE(m.count(), 2);
        const int y = m.name[0] == "Y" ? 0 : 1;
        QCOMPARE(m.dir[y], std::string("Y"));
        QVERIFY(!m.checked[y]);
        QCOMPARE(int(stored(l.reg, kModsKey).size()), 2);

        // a second scan finds nothing new and leaves the fields alone
        e.ui.Name->setText(QStringLiteral("edit"));
        QTest::mouseClick(e.ui.BitBtn3, Qt::LeftButton);
        QCOMPARE(l.prompter.messages, QStringList{"No new mods found."});
        QCOMPARE(e.ui.Name->text(), QStringLiteral("edit"));
    }

    void autoScanAnsweredNoAddsNothing() {
        Launcher l;
        std::filesystem::create_directories(l.gameDir + "/A/addons");
        std::filesystem::create_directories(l.gameDir + "/B/dta");
        TForm2& e = *l.windows.modEditor;
        l.prompter.answers = {false};
        QTest::mouseClick(e.ui.BitBtn3, Qt::LeftButton);
        QCOMPARE(l.prompter.questions.size(), 1);
        QVERIFY(l.prompter.questions[0] == "Found mods:\r\nA\r\nB\r\n\r\n\r\nAdd to mods list?" ||
                l.prompter.questions[0] == "Found mods:\r\nB\r\nA\r\n\r\n\r\nAdd to mods list?");
        QCOMPARE(l.form->state().mods.count(), 0);
        QVERIFY(stored(l.reg, kModsKey).empty());
    }

    void aFullTableRefusesANewModAndWritesNothing() {
        Launcher l([](RegFileStore& s) {
            for (int i = 0; i < TableCapacity; ++i)
                Launcher::mod(s, std::to_string(i).c_str(), "m", 0);
        });
        std::filesystem::create_directories(l.gameDir + "/New/addons");
        TForm2& e = *l.windows.modEditor;
        e.FormActivate();
        typeInto(e.ui.ModList, QStringLiteral("new"));
        const std::string before = readAll(l.reg);
        QTest::mouseClick(e.ui.BitBtn2, Qt::LeftButton);
        QCOMPARE(l.prompter.messages,
                 QStringList{"The mod list is full (1025 entries). Delete an entry before adding "
                             "a new one."});
        QCOMPARE(readAll(l.reg), before);
        QTest::mouseClick(e.ui.BitBtn3, Qt::LeftButton);
        QCOMPARE(l.prompter.messages.last(),
                 QStringLiteral("1 more mod folder does not fit in the mod list (at most 1025 "
                                "entries) and is left out."));
        QVERIFY(l.prompter.questions.isEmpty());
        QCOMPARE(readAll(l.reg), before);
    }

    void autoScanWithoutAGameFolderSaysSo() {
        Launcher l;
        l.form->state().settings.gamePath.clear();
        QTest::mouseClick(l.windows.modEditor->ui.BitBtn3, Qt::LeftButton);
        QCOMPARE(l.prompter.messages, QStringList{QString::fromUtf8(kGameFolderUnknown)});
        QVERIFY(l.prompter.questions.isEmpty());
    }

    void serverEditorStartsWithNewEntryDefaults() {
        Launcher l([](RegFileStore& s) {
            Launcher::mod(s, "1", "A", 1);
            Launcher::mod(s, "2", "B", 0);
        });
        TForm3& e = *l.windows.serverEditor;
        QCOMPARE(e.windowTitle(), QStringLiteral("Servers"));
        QCOMPARE(e.size(), QSize(425, 233));
        e.FormActivate();
        QCOMPARE(e.ui.ServerList->count(), 0);
        QCOMPARE(e.ui.name->text(), QString());
        QCOMPARE(e.ui.host->text(), QString());
        QCOMPARE(e.ui.port->text(), QStringLiteral("2302"));
        QCOMPARE(e.ui.pass->text(), QString());
        QCOMPARE(ticks(e.ui.modlistb), (QList<bool>{false, false}));
        QCOMPARE(e.ui.modlistb->item(1)->text(), QStringLiteral("B"));

        // typing a name after filling in the host resets the other fields
        e.ui.host->setText(QStringLiteral("example.org"));
        e.ui.port->setText(QStringLiteral("1"));
        e.ui.modlistb->item(1)->setCheckState(Qt::Checked);
        typeInto(e.ui.ServerList, QStringLiteral("S"));
        QCOMPARE(e.ui.name->text(), QStringLiteral("S"));
        QCOMPARE(e.ui.host->text(), QString());
        QCOMPARE(e.ui.port->text(), QStringLiteral("2302"));
        QCOMPARE(ticks(e.ui.modlistb), (QList<bool>{false, false}));

        e.ui.host->setText(QStringLiteral("10.0.0.5"));
        e.ui.modlistb->item(1)->setCheckState(Qt::Checked);
        QTest::mouseClick(e.ui.BitBtn1, Qt::LeftButton);
        const auto servers = stored(l.reg, kServersKey);
        QCOMPARE(servers.size(), size_t(1));
        const auto& v = servers.begin()->second;
        QCOMPARE(v.at("name"), std::string("S"));
        QCOMPARE(v.at("ip"), std::string("10.0.0.5"));
        QCOMPARE(v.at("port"), std::string("2302"));
        QCOMPARE(v.at("sockets"), std::string("1"));
        QCOMPARE(v.at("mods"), std::string("@B;"));
    }

    void storedModsTickTheirFolders() {
        Launcher l([](RegFileStore& s) {
            s.openKey(std::string(kModsKey) + "\\1", true);
            s.writeString("name", "Mod B");
            s.writeString("dir", "dirB");
            s.writeInteger("checked", 0);
            s.openKey(std::string(kModsKey) + "\\2", true);
            s.writeString("name", "Mod C");
            s.writeString("dir", "dirC");
            s.writeInteger("checked", 0);
            server(s, "7", "S", "dirA;dirB;", 0);
        });
        TForm3& e = *l.windows.serverEditor;
        e.FormActivate();
        QCOMPARE(e.ui.name->text(), QStringLiteral("S"));
        QCOMPARE(e.ui.host->text(), QStringLiteral("host-S"));
        QCOMPARE(e.ui.port->text(), QStringLiteral("237"));
        QCOMPARE(e.ui.pass->text(), QStringLiteral("pw S"));
        QCOMPARE(ticks(e.ui.modlistb), (QList<bool>{true, false}));
        QTest::mouseClick(e.ui.BitBtn1, Qt::LeftButton);
        const auto v = stored(l.reg, kServersKey).at("7");
        QCOMPARE(v.at("mods"), std::string("dirB;"));
        QCOMPARE(v.at("sockets"), std::string("1")); // was 0
    }

    void deletingTheFirstServerKeepsTheOthers() {
        Launcher l([](RegFileStore& s) {
            server(s, "1", "A", "a;", 1);
            server(s, "2", "B", "b;", 0);
            server(s, "3", "C", "", 1);
        });
        TForm3& e = *l.windows.serverEditor;
        e.FormActivate();
        l.prompter.answers = {false, true};
        QTest::mouseClick(e.ui.BitBtn2, Qt::LeftButton);
        QCOMPARE(l.form->state().servers.count(), 3);
        QTest::mouseClick(e.ui.BitBtn2, Qt::LeftButton);
        const ServerTable& t = l.form->state().servers;
        QCOMPARE(t.count(), 2);
        QCOMPARE(itemTexts(e.ui.ServerList), (QStringList{"B", "C"}));
        QCOMPARE(t.ip[0], std::string("host-B"));
        QCOMPARE(t.port[0], std::string("232"));
        QCOMPARE(t.pass[0], std::string("pw B"));
        QCOMPARE(t.mods[0], std::string("b;"));
        QVERIFY(!t.sockets[0]);
        QCOMPARE(t.ip[1], std::string("host-C"));
        QCOMPARE(t.port[1], std::string("233"));
        QVERIFY(t.sockets[1]);
        QCOMPARE(int(stored(l.reg, kServersKey).size()), 2);
    }

    void aMenuCommandBeforeTheWindowsExistCreatesThem() {
        Launcher l;
        l.windows = LauncherWindows(); // as at start-up, before the main window has painted
        l.form->setWindows({});
        int made = 0;
        l.form->setWindowFactory([&] {
            ++made;
            l.windows = createWindows(*l.form, &l.alerts);
        });
        l.form->ui.Mods1->trigger();
        QCOMPARE(made, 1);
        QVERIFY(l.windows.modEditor->isVisible());
        l.form->ui.Servers1->trigger();
        QCOMPARE(made, 1);
        QVERIFY(l.windows.serverEditor->isVisible());
    }

    void comingBackToAnEditorDropsUnsavedEdits() {
        Launcher l([](RegFileStore& s) { Launcher::mod(s, "1", "A", 0); });
        l.form->show();
        QVERIFY(QTest::qWaitForWindowActive(l.form.get()));
        TForm2& e = *l.windows.modEditor;
        QVERIFY(!e.isVisible());
        l.form->ui.Mods1->trigger();
        QVERIFY(e.isVisible());
        e.activateWindow();
        QTRY_VERIFY(QGuiApplication::focusWindow() == e.windowHandle());
        QCOMPARE(e.ui.Name->text(), QStringLiteral("A"));
        QVERIFY(!e.isModal());
        e.ui.Name->setText(QStringLiteral("unsaved"));
        l.form->activateWindow();
        QTRY_VERIFY(QGuiApplication::focusWindow() == l.form->windowHandle());
        QVERIFY(e.isVisible()); // side by side with the main window
        e.activateWindow();
        QTRY_VERIFY(QGuiApplication::focusWindow() == e.windowHandle());
        QCOMPARE(e.ui.Name->text(), QStringLiteral("A"));

        // the answer to its own question is no new activation
        e.ui.Name->setText(QStringLiteral("kept"));
        QTimer::singleShot(0, [] { QApplication::activeModalWidget()->close(); });
        QtPrompter().message(QStringLiteral("box"));
        e.activateWindow(); // where the window manager puts the focus back
        QTRY_VERIFY(QGuiApplication::focusWindow() == e.windowHandle());
        QCOMPARE(e.ui.Name->text(), QStringLiteral("kept"));

        l.form->ui.Servers1->trigger();
        QVERIFY(l.windows.serverEditor->isVisible());
        QVERIFY(!l.windows.serverEditor->isModal());
        e.close(); // closing only hides
        QVERIFY(!e.isVisible());
        QCOMPARE(l.windows.modEditor, &e);
    }
};

QTEST_MAIN(TestEditors)
#include "test_editors.moc"
