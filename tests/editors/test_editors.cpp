#include "errors.h"
#include "launcher_fixture.h"
#include "list_editing.h"
#include "mod_editor.h"
#include "options_dialog.h"
#include "server_editor.h"

#include <QAbstractItemView>
#include <QLineEdit>
#include <QtTest>
#include <algorithm>
#include <qpa/qwindowsysteminterface.h>

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
        for (const char* v : {"name", "dir", "ip", "port", "pass", "mods", "queryport"})
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

// Either list editor, seen through what both have.
struct Editor {
    QWidget* window;
    QComboBox* selector;
    QLineEdit* name;
    QPushButton* save;
    QPushButton* remove;
    QAction* menu;
    const char* key;
};
Editor editor(Launcher& l, const QString& which) {
    if (which == QLatin1String("mods")) {
        ModEditor& e = *l.windows.modEditor;
        return {&e,
                e.ui.modSelector,
                e.ui.modNameEdit,
                e.ui.saveModButton,
                e.ui.deleteModButton,
                l.form->ui.modsAction,
                kModsKey};
    }
    ServerEditor& e = *l.windows.serverEditor;
    return {&e,
            e.ui.serverSelector,
            e.ui.serverNameEdit,
            e.ui.saveServerButton,
            e.ui.deleteServerButton,
            l.form->ui.serversAction,
            kServersKey};
}
// Three entries named A, B, C in both tables.
void threeEntries(RegFileStore& s) {
    const char* ids[] = {"1", "2", "3"};
    const char* names[] = {"A", "B", "C"};
    for (int i = 0; i < 3; ++i) {
        Launcher::mod(s, ids[i], names[i], 0);
        server(s, ids[i], names[i], "", 0);
    }
}
std::vector<std::string> storedNames(const std::string& reg, const char* key) {
    std::vector<std::string> names;
    for (const auto& [id, values] : stored(reg, key))
        names.push_back(values.at("name"));
    std::sort(names.begin(), names.end());
    return names;
}
void openThroughTheMenu(Launcher& l, const Editor& e) {
    l.form->show();
    e.menu->trigger();
    QTRY_VERIFY(QGuiApplication::focusWindow() == e.window->windowHandle());
}

} // namespace

class TestEditors : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { QApplication::setApplicationName(QStringLiteral("Quorvale")); }
    void init() { resetErrorHandler(); }

    void modEditorStartsEmptyAndSaveCreatesSlotZero() {
        Launcher l;
        ModEditor& e = *l.windows.modEditor;
        QCOMPARE(e.windowTitle(), QStringLiteral("Modifications"));
        QCOMPARE(e.size(), QSize(288, 217));
        e.refreshFields();
        QCOMPARE(e.ui.modSelector->count(), 0);
        QCOMPARE(e.ui.modSelector->currentText(), QString());
        QCOMPARE(e.ui.modNameEdit->text(), QString());
        QCOMPARE(e.ui.modFolderEdit->text(), QString());
        e.ui.modNameEdit->setText(QStringLiteral("My mod"));
        e.ui.modFolderEdit->setText(QStringLiteral("@my"));
        QTest::mouseClick(e.ui.saveModButton, Qt::LeftButton);
        QCOMPARE(l.state().mods.count(), 1);
        const auto mods = stored(l.reg, kModsKey);
        QCOMPARE(mods.size(), size_t(1));
        QCOMPARE(mods.begin()->second.at("name"), std::string("My mod"));
        QCOMPARE(mods.begin()->second.at("checked"), std::string("0"));
        QCOMPARE(e.ui.modSelector->currentText(), QStringLiteral("My mod"));
        QCOMPARE(l.form->ui.modList->count(), 1);
    }

    void typingANewNameFollowsEachKeystroke() {
        Launcher l([](RegFileStore& s) {
            Launcher::mod(s, "1", "A", 0);
            Launcher::mod(s, "2", "B", 1);
        });
        ModEditor& e = *l.windows.modEditor;
        e.refreshFields();
        QCOMPARE(itemTexts(e.ui.modSelector), (QStringList{"A", "B"}));
        QCOMPARE(e.ui.modFolderEdit->text(), QStringLiteral("@A"));
        e.ui.modSelector->lineEdit()->clear();
        QStringList names, dirs;
        connect(e.ui.modNameEdit, &QLineEdit::textChanged, this,
                [&] { dirs << e.ui.modFolderEdit->text(); });
        typeInto(e.ui.modSelector, QStringLiteral("Ne"));
        QCOMPARE(e.ui.modNameEdit->text(), QStringLiteral("Ne"));
        QCOMPARE(e.ui.modFolderEdit->text(), QString());
        e.ui.modFolderEdit->setText(QStringLiteral("typed"));
        typeInto(e.ui.modSelector, QStringLiteral("w"));
        QCOMPARE(e.ui.modNameEdit->text(), QStringLiteral("New"));
        QCOMPARE(e.ui.modFolderEdit->text(), QString());
        // picking an item loads that entry again
        e.ui.modSelector->setCurrentIndex(1);
        Q_EMIT e.ui.modSelector->activated(1);
        QCOMPARE(e.ui.modNameEdit->text(), QStringLiteral("B"));
        QCOMPARE(e.ui.modFolderEdit->text(), QStringLiteral("@B"));
    }

    void savingAnEntryKeepsItsIdAndTickAndShowsTheFirst() {
        Launcher l([](RegFileStore& s) {
            Launcher::mod(s, "1", "A", 0);
            Launcher::mod(s, "2", "B", 1);
        });
        ModEditor& e = *l.windows.modEditor;
        e.refreshFields();
        e.ui.modSelector->setCurrentIndex(1);
        e.ui.modNameEdit->setText(QStringLiteral("B2"));
        e.ui.modFolderEdit->setText(QStringLiteral("@b2"));
        QTest::mouseClick(e.ui.saveModButton, Qt::LeftButton);
        const auto mods = stored(l.reg, kModsKey);
        QCOMPARE(mods.size(), size_t(2));
        QCOMPARE(mods.at("2").at("name"), std::string("B2"));
        QCOMPARE(mods.at("2").at("dir"), std::string("@b2"));
        QCOMPARE(mods.at("2").at("checked"), std::string("1"));
        QCOMPARE(l.form->ui.modList->item(1)->checkState(), Qt::Checked);
        QCOMPARE(e.ui.modSelector->currentIndex(), 0);
        QCOMPARE(e.ui.modNameEdit->text(), QStringLiteral("A"));
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
        ModEditor& e = *l.windows.modEditor;
        e.refreshFields();
        if (select >= 0)
            e.ui.modSelector->setCurrentIndex(select);
        else
            typeInto(e.ui.modSelector, QStringLiteral("x"));
        l.prompter.answers = {yes};
        QTest::mouseClick(e.ui.deleteModButton, Qt::LeftButton);
        QCOMPARE(l.prompter.questions, QStringList{"Are you sure?"});
        QCOMPARE(itemTexts(e.ui.modSelector), left);
        QCOMPARE(ticks(l.form->ui.modList), leftTicks);
        QCOMPARE(int(stored(l.reg, kModsKey).size()), left.size());
    }

    void deletingTheOnlyEntryLeavesNoSubkeys() {
        Launcher l([](RegFileStore& s) { Launcher::mod(s, "1", "A", 1); });
        ModEditor& e = *l.windows.modEditor;
        e.refreshFields();
        l.prompter.answers = {true};
        QTest::mouseClick(e.ui.deleteModButton, Qt::LeftButton);
        QCOMPARE(l.state().mods.count(), 0);
        QVERIFY(stored(l.reg, kModsKey).empty());
        QCOMPARE(e.ui.modNameEdit->text(), QString());
    }

    void autoScanOffersNewModFolders() {
        Launcher l([](RegFileStore& s) { Launcher::mod(s, "1", "x", 0); });
        for (const char* p : {"X/addons", "Y/dta", "Z/other", ".H/addons"})
            std::filesystem::create_directories(l.gameDir + "/" + p);
        ModEditor& e = *l.windows.modEditor;
        e.refreshFields();
        // the display name "x" hides X; only Y is new
        l.prompter.answers = {true};
        gTrace.clear();
        const auto old = qInstallMessageHandler(traceHandler);
        QTest::mouseClick(e.ui.autoScanButton, Qt::LeftButton);
        qInstallMessageHandler(old);
        QCOMPARE(l.prompter.questions,
                 QStringList{"Found mods:\r\nY\r\n\r\n\r\nAdd to mods list?"});
        QCOMPARE(gTrace, QStringList{"ADD:Y"});
        const ModTable& m = l.state().mods;
        QCOMPARE(m.count(), 2);
        const int y = m.entries[0].name == "Y" ? 0 : 1;
        QCOMPARE(m.entries[y].folder, std::string("Y"));
        QVERIFY(!m.entries[y].checked);
        QCOMPARE(int(stored(l.reg, kModsKey).size()), 2);

        // a second scan finds nothing new and leaves the fields alone
        e.ui.modNameEdit->setText(QStringLiteral("edit"));
        QTest::mouseClick(e.ui.autoScanButton, Qt::LeftButton);
        QCOMPARE(l.prompter.messages, QStringList{"No new mods found."});
        QCOMPARE(e.ui.modNameEdit->text(), QStringLiteral("edit"));
    }

    void autoScanAnsweredNoAddsNothing() {
        Launcher l;
        std::filesystem::create_directories(l.gameDir + "/A/addons");
        std::filesystem::create_directories(l.gameDir + "/B/dta");
        ModEditor& e = *l.windows.modEditor;
        l.prompter.answers = {false};
        QTest::mouseClick(e.ui.autoScanButton, Qt::LeftButton);
        QCOMPARE(l.prompter.questions.size(), 1);
        QVERIFY(l.prompter.questions[0] == "Found mods:\r\nA\r\nB\r\n\r\n\r\nAdd to mods list?" ||
                l.prompter.questions[0] == "Found mods:\r\nB\r\nA\r\n\r\n\r\nAdd to mods list?");
        QCOMPARE(l.state().mods.count(), 0);
        QVERIFY(stored(l.reg, kModsKey).empty());
    }

    void aFullTableRefusesANewModAndWritesNothing() {
        Launcher l([](RegFileStore& s) {
            for (int i = 0; i < TableCapacity; ++i)
                Launcher::mod(s, std::to_string(i).c_str(), "m", 0);
        });
        std::filesystem::create_directories(l.gameDir + "/New/addons");
        ModEditor& e = *l.windows.modEditor;
        e.refreshFields();
        typeInto(e.ui.modSelector, QStringLiteral("new"));
        const std::string before = readAll(l.reg);
        QTest::mouseClick(e.ui.saveModButton, Qt::LeftButton);
        QCOMPARE(l.prompter.messages,
                 QStringList{"The mod list is full (1025 entries). Delete an entry before adding "
                             "a new one."});
        QCOMPARE(readAll(l.reg), before);
        QTest::mouseClick(e.ui.autoScanButton, Qt::LeftButton);
        QCOMPARE(l.prompter.messages.last(),
                 QStringLiteral("1 more mod folder does not fit in the mod list (at most 1025 "
                                "entries) and is left out."));
        QVERIFY(l.prompter.questions.isEmpty());
        QCOMPARE(readAll(l.reg), before);
    }

    void autoScanWithoutAGameFolderSaysSo_data() {
        QTest::addColumn<bool>("installKey");
        QTest::addColumn<QString>("told");
        QTest::newRow("no install key") << false << QString::fromUtf8(kGameFolderUnknown);
        QTest::newRow("install key names no folder")
            << true << QString::fromUtf8(kGameFolderNotInInstallKey);
    }
    void autoScanWithoutAGameFolderSaysSo() {
        QFETCH(bool, installKey);
        QFETCH(QString, told);
        Launcher l([&](RegFileStore& s) {
            if (!installKey)
                return;
            s.closeKey();
            s.setRoot(RootKey::LocalMachine);
            s.openKey(kGameInstallKey, true);
            s.writeString("MAIN", "");
        });
        l.state().settings.gamePath.clear();
        QTest::mouseClick(l.windows.modEditor->ui.autoScanButton, Qt::LeftButton);
        QCOMPARE(l.prompter.messages, QStringList{told});
        QVERIFY(l.prompter.questions.isEmpty());
    }

    void bothEditors_data() {
        QTest::addColumn<QString>("which");
        QTest::newRow("mods") << "mods";
        QTest::newRow("servers") << "servers";
    }

    // The pop-up list is a window of its own; closing it is no return to the editor.
    void anEntryPickedFromTheListStaysPicked_data() { bothEditors_data(); }
    void anEntryPickedFromTheListStaysPicked() {
        QFETCH(QString, which);
        Launcher l(threeEntries);
        const Editor e = editor(l, which);
        openThroughTheMenu(l, e);
        e.selector->showPopup();
        QTRY_VERIFY(e.selector->view()->isVisible());
        e.selector->view()->setCurrentIndex(e.selector->model()->index(2, 0));
        QTest::keyClick(e.selector->view(), Qt::Key_Return);
        QTRY_VERIFY(!e.selector->view()->isVisible());
        // the window system hands the focus back to the editor, as it does for every pop-up
        e.window->activateWindow();
        QTRY_VERIFY(QGuiApplication::focusWindow() == e.window->windowHandle());
        QCOMPARE(e.selector->currentText(), QStringLiteral("C"));
        QCOMPARE(e.name->text(), QStringLiteral("C"));
        l.prompter.answers = {true};
        e.remove->click();
        QCOMPARE(storedNames(l.reg, e.key), (std::vector<std::string>{"A", "B"}));
    }

    void aFailedSaveLeavesNoGhostEntry_data() { bothEditors_data(); }
    void aFailedSaveLeavesNoGhostEntry() {
        QFETCH(QString, which);
        Launcher l(threeEntries);
        const Editor e = editor(l, which);
        openThroughTheMenu(l, e);
        const std::string before = readAll(l.reg);
        typeInto(e.selector, QStringLiteral("New"));
        l.store->beforeWriteStep = [](const char*) {
            throw quorvale::LauncherError("the disk is full");
        };
        e.save->click();
        e.save->click(); // the retry saves the entry the editor now shows, and adds nothing
        QVERIFY(!l.prompter.messages.isEmpty());
        QVERIFY(l.prompter.messages[0].contains(QStringLiteral("the disk is full")));
        QCOMPARE(readAll(l.reg), before);
        QCOMPARE(l.state().mods.count() + l.state().servers.count(), 7);
        l.store->beforeWriteStep = nullptr;
        e.save->click();
        QCOMPARE(storedNames(l.reg, e.key), (std::vector<std::string>{"A", "B", "C", "New"}));
    }

    void aTypedNameIsANewEntryEvenWhenItMatchesOne_data() { bothEditors_data(); }
    void aTypedNameIsANewEntryEvenWhenItMatchesOne() {
        QFETCH(QString, which);
        Launcher l(threeEntries);
        const Editor e = editor(l, which);
        openThroughTheMenu(l, e);
        e.selector->lineEdit()->clear();
        typeInto(e.selector, QStringLiteral("C"));
        QTest::keyClick(e.selector, Qt::Key_Return);
        QTest::mouseClick(e.save, Qt::LeftButton); // the focus leaves the box
        QCOMPARE(storedNames(l.reg, e.key), (std::vector<std::string>{"A", "B", "C", "C"}));
    }

    // Another application, or a pop-up list the window system gives the focus to, takes the
    // focus from the program; coming back keeps what the player typed.
    void leavingTheProgramKeepsUnsavedEdits_data() {
        bothEditors_data();
        QTest::newRow("options") << "options";
    }
    void leavingTheProgramKeepsUnsavedEdits() {
        QFETCH(QString, which);
        Launcher l(threeEntries);
        QLineEdit* field = nullptr;
        QWidget* window = nullptr;
        if (which == QLatin1String("options")) {
            l.form->show();
            l.form->ui.optionsAction->trigger();
            window = l.windows.options;
            field = l.windows.options->ui.additionalParametersEdit;
        } else {
            const Editor e = editor(l, which);
            openThroughTheMenu(l, e);
            window = e.window;
            field = e.name;
        }
        QTRY_VERIFY(QGuiApplication::focusWindow() == window->windowHandle());
        field->setText(QStringLiteral("typed, not saved"));
        QWindowSystemInterface::handleWindowActivated(nullptr);
        QTRY_VERIFY(!QGuiApplication::focusWindow());
        QWindowSystemInterface::handleWindowActivated(window->windowHandle());
        QTRY_VERIFY(QGuiApplication::focusWindow() == window->windowHandle());
        QCOMPARE(field->text(), QStringLiteral("typed, not saved"));
    }

    void typingRightAfterOpeningReplacesTheSelectorText_data() { bothEditors_data(); }
    void typingRightAfterOpeningReplacesTheSelectorText() {
        QFETCH(QString, which);
        Launcher l(threeEntries);
        const Editor e = editor(l, which);
        openThroughTheMenu(l, e);
        QCOMPARE(QApplication::focusWidget(), e.selector);
        QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("Zed"));
        QCOMPARE(e.selector->currentText(), QStringLiteral("Zed"));
    }

    void serverEditorStartsWithNewEntryDefaults() {
        Launcher l([](RegFileStore& s) {
            Launcher::mod(s, "1", "A", 1);
            Launcher::mod(s, "2", "B", 0);
        });
        ServerEditor& e = *l.windows.serverEditor;
        QCOMPARE(e.windowTitle(), QStringLiteral("Servers"));
        QCOMPARE(e.size(), QSize(425, 233));
        e.refreshFields();
        QCOMPARE(e.ui.serverSelector->count(), 0);
        QCOMPARE(e.ui.serverNameEdit->text(), QString());
        QCOMPARE(e.ui.serverHostEdit->text(), QString());
        QCOMPARE(e.ui.serverPortEdit->text(), QStringLiteral("2302"));
        QCOMPARE(e.ui.serverPasswordEdit->text(), QString());
        QCOMPARE(e.ui.serverQueryPortEdit->text(), QString());
        QCOMPARE(e.ui.serverQueryPortEdit->placeholderText(), QStringLiteral("2303"));
        QCOMPARE(ticks(e.ui.serverModList), (QList<bool>{false, false}));
        QCOMPARE(e.ui.serverModList->item(1)->text(), QStringLiteral("B"));

        // typing a name after filling in the host resets the other fields
        e.ui.serverHostEdit->setText(QStringLiteral("example.org"));
        e.ui.serverPortEdit->setText(QStringLiteral("x"));
        QCOMPARE(e.ui.serverQueryPortEdit->placeholderText(), QStringLiteral("port + 1"));
        e.ui.serverQueryPortEdit->setText(QStringLiteral("2400"));
        e.ui.serverModList->item(1)->setCheckState(Qt::Checked);
        typeInto(e.ui.serverSelector, QStringLiteral("S"));
        QCOMPARE(e.ui.serverNameEdit->text(), QStringLiteral("S"));
        QCOMPARE(e.ui.serverHostEdit->text(), QString());
        QCOMPARE(e.ui.serverPortEdit->text(), QStringLiteral("2302"));
        QCOMPARE(e.ui.serverQueryPortEdit->text(), QString());
        QCOMPARE(ticks(e.ui.serverModList), (QList<bool>{false, false}));

        e.ui.serverHostEdit->setText(QStringLiteral("10.0.0.5"));
        e.ui.serverModList->item(1)->setCheckState(Qt::Checked);
        QTest::mouseClick(e.ui.saveServerButton, Qt::LeftButton);
        const auto servers = stored(l.reg, kServersKey);
        QCOMPARE(servers.size(), size_t(1));
        const auto& v = servers.begin()->second;
        QCOMPARE(v.at("name"), std::string("S"));
        QCOMPARE(v.at("ip"), std::string("10.0.0.5"));
        QCOMPARE(v.at("port"), std::string("2302"));
        QCOMPARE(v.at("sockets"), std::string("1"));
        QCOMPARE(v.at("mods"), std::string("@B;"));
        QVERIFY(!v.count("queryport"));
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
            s.writeString("queryport", "2400");
        });
        ServerEditor& e = *l.windows.serverEditor;
        e.refreshFields();
        QCOMPARE(e.ui.serverNameEdit->text(), QStringLiteral("S"));
        QCOMPARE(e.ui.serverHostEdit->text(), QStringLiteral("host-S"));
        QCOMPARE(e.ui.serverPortEdit->text(), QStringLiteral("237"));
        QCOMPARE(e.ui.serverPasswordEdit->text(), QStringLiteral("pw S"));
        QCOMPARE(e.ui.serverQueryPortEdit->text(), QStringLiteral("2400"));
        // The server's mods in its order, then the others. dirA is no mod of the player's: shown
        // ticked and marked, and unticked it is gone.
        QCOMPARE(ticks(e.ui.serverModList), (QList<bool>{true, true, false}));
        QCOMPARE(e.ui.serverModList->item(0)->text(), QStringLiteral("dirA (not among your mods)"));
        e.ui.serverModList->item(0)->setCheckState(Qt::Unchecked);
        // Mod C, ticked and moved before Mod B, loads before it.
        e.ui.serverModList->item(2)->setCheckState(Qt::Checked);
        e.ui.serverModList->setCurrentRow(2);
        QTest::keyClick(e.ui.serverModList, Qt::Key_Up, Qt::ControlModifier);
        QCOMPARE(e.ui.serverModList->item(1)->text(), QStringLiteral("Mod C"));
        e.ui.serverQueryPortEdit->setText(QStringLiteral("27016"));
        QTest::mouseClick(e.ui.saveServerButton, Qt::LeftButton);
        const auto v = stored(l.reg, kServersKey).at("7");
        QCOMPARE(v.at("queryport"), std::string("27016"));
        QCOMPARE(v.at("mods"), std::string("dirC;dirB;"));
        QCOMPARE(v.at("sockets"), std::string("1")); // was 0
    }

    // A query port is a port or empty; anything else is told and nothing is saved or lost.
    void aQueryPortIsAPortOrNothing_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("saved"); // "-": nothing saved
        QTest::addColumn<QString>("message");
        QTest::newRow("empty") << ""
                               << ""
                               << "";
        QTest::newRow("spaces") << " 2600 "
                                << "2600"
                                << "";
        QTest::newRow("word") << "abc"
                              << "-"
                              << "Query port: 'abc' is not a valid integer value";
        QTest::newRow("tooLarge") << "70000"
                                  << "-"
                                  << "Query port: '70000' is not a valid port number (1–65535).";
    }
    void aQueryPortIsAPortOrNothing() {
        QFETCH(QString, typed);
        QFETCH(QString, saved);
        QFETCH(QString, message);
        Launcher l;
        ServerEditor& e = *l.windows.serverEditor;
        e.show();
        e.refreshFields();
        typeInto(e.ui.serverSelector, QStringLiteral("S"));
        e.ui.serverHostEdit->setText(QStringLiteral("10.0.0.5"));
        e.ui.serverQueryPortEdit->setText(typed);
        QTest::mouseClick(e.ui.saveServerButton, Qt::LeftButton);
        QCOMPARE(l.prompter.messages, message.isEmpty() ? QStringList() : QStringList{message});
        const auto servers = stored(l.reg, kServersKey);
        QCOMPARE(servers.size(), size_t(saved == QLatin1String("-") ? 0 : 1));
        if (saved == QLatin1String("-")) {
            QCOMPARE(e.ui.serverQueryPortEdit->text(), typed);
            QCOMPARE(e.ui.serverHostEdit->text(), QStringLiteral("10.0.0.5"));
        } else {
            const auto& v = servers.begin()->second;
            QCOMPARE(QString::fromStdString(v.count("queryport") ? v.at("queryport") : ""), saved);
        }
    }

    void deletingTheFirstServerKeepsTheOthers() {
        Launcher l([](RegFileStore& s) {
            server(s, "1", "A", "a;", 1);
            server(s, "2", "B", "b;", 0);
            server(s, "3", "C", "", 1);
        });
        ServerEditor& e = *l.windows.serverEditor;
        e.refreshFields();
        l.prompter.answers = {false, true};
        QTest::mouseClick(e.ui.deleteServerButton, Qt::LeftButton);
        QCOMPARE(l.state().servers.count(), 3);
        QTest::mouseClick(e.ui.deleteServerButton, Qt::LeftButton);
        const ServerTable& t = l.state().servers;
        QCOMPARE(t.count(), 2);
        QCOMPARE(itemTexts(e.ui.serverSelector), (QStringList{"B", "C"}));
        QCOMPARE(t.entries[0].host, std::string("host-B"));
        QCOMPARE(t.entries[0].port, std::string("232"));
        QCOMPARE(t.entries[0].password, std::string("pw B"));
        QCOMPARE(t.entries[0].mods, std::string("b;"));
        QVERIFY(!t.entries[0].joinWithSockets);
        QCOMPARE(t.entries[1].host, std::string("host-C"));
        QCOMPARE(t.entries[1].port, std::string("233"));
        QVERIFY(t.entries[1].joinWithSockets);
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
        l.form->ui.modsAction->trigger();
        QCOMPARE(made, 1);
        QVERIFY(l.windows.modEditor->isVisible());
        l.form->ui.serversAction->trigger();
        QCOMPARE(made, 1);
        QVERIFY(l.windows.serverEditor->isVisible());
    }

    void comingBackToAnEditorDropsUnsavedEdits() {
        Launcher l([](RegFileStore& s) { Launcher::mod(s, "1", "A", 0); });
        l.form->show();
        QVERIFY(QTest::qWaitForWindowActive(l.form.get()));
        ModEditor& e = *l.windows.modEditor;
        QVERIFY(!e.isVisible());
        l.form->ui.modsAction->trigger();
        QVERIFY(e.isVisible());
        e.activateWindow();
        QTRY_VERIFY(QGuiApplication::focusWindow() == e.windowHandle());
        QCOMPARE(e.ui.modNameEdit->text(), QStringLiteral("A"));
        QVERIFY(!e.isModal());
        e.ui.modNameEdit->setText(QStringLiteral("unsaved"));
        l.form->activateWindow();
        QTRY_VERIFY(QGuiApplication::focusWindow() == l.form->windowHandle());
        QVERIFY(e.isVisible()); // side by side with the main window
        e.activateWindow();
        QTRY_VERIFY(QGuiApplication::focusWindow() == e.windowHandle());
        QCOMPARE(e.ui.modNameEdit->text(), QStringLiteral("A"));

        // the answer to its own question is no new activation
        e.ui.modNameEdit->setText(QStringLiteral("kept"));
        QTimer::singleShot(0, [] { QApplication::activeModalWidget()->close(); });
        QtPrompter().message(QStringLiteral("box"));
        e.activateWindow(); // where the window manager puts the focus back
        QTRY_VERIFY(QGuiApplication::focusWindow() == e.windowHandle());
        QCOMPARE(e.ui.modNameEdit->text(), QStringLiteral("kept"));

        l.form->ui.serversAction->trigger();
        QVERIFY(l.windows.serverEditor->isVisible());
        QVERIFY(!l.windows.serverEditor->isModal());
        e.close(); // closing only hides
        QVERIFY(!e.isVisible());
        QCOMPARE(l.windows.modEditor, &e);
    }
};

QTEST_MAIN(TestEditors)
#include "test_editors.moc"
