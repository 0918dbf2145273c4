// The window as a desktop program: menus and their keys, the device's state in the status bar,
// status lines that outlast the device search, Disconnect that holds, tooltips and mnemonics on
// every control, and the window's remembered place and tab.
#include "app/devicestatuspart.h"
#include "app/mainmenus.h"
#include "app/statusmessagefilter.h"
#include "device/korvanemidiengine.h"
#include "device/sysexcodec.h"
#include "dialogs/korvanenodeview.h"
#include "dialogs/korvanepatchview.h"
#include "dialogs/korvanesoundeditview.h"
#include "dialogs/korvanesoundview.h"
#include "dialogs/namedialog.h"
#include "dialogs/numberedit.h"
#include "hand/korvanehandwidget.h"
#include "tests/support/filedialoganswer.h"
#include "tests/support/scriptedmidibackend.h"
#include "tests/support/windowtestenv.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAbstractSlider>
#include <QAbstractSpinBox>
#include <QAction>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTabWidget>

#include <functional>

namespace {
const std::string kDevice = "KVRN Glove";

// One tick of the device search, waited for: it runs on the MIDI engine's port thread.
void checkNow(KorvaneCore *hub)
{
    QSignalSpy free(hub, &KorvaneCore::EnableMIDIConnect);
    QSignalSpy connected(hub, &KorvaneCore::EnableMIDIDisconnect);
    hub->CheckMIDI();
    QTRY_VERIFY(free.count() + connected.count() > 0);
}
} // namespace

class TestDesktop : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { QApplication::setQuitOnLastWindowClosed(false); }
    void init() { env.renew(); }
    void cleanup()
    {
        // Window activations still queued must not reach windows already gone.
        QApplication::processEvents();
        env.reset();
        QApplication::processEvents();
    }
    void shortcutsTriggerTheirActions();
    void menusAndButtonsGoTheSameWay();
    void everyControlHasATooltipAndAMnemonic();
    void keyAndOctaveBesideTheScale();
    void statusPartFollowsPlugAndUnplug();
    void disconnectHoldsUntilReconnect();
    void resultOutlastsTheDeviceSearch();
    void statusLineKinds_data();
    void statusLineKinds();
    void windowRemembersPlaceAndTab();

private:
    template <typename T> T *child(const char *name)
    {
        T *w = env.window->findChild<T *>(QString::fromLatin1(name));
        if (!w)
            qFatal("missing %s", name);
        return w;
    }
    // A hub on a scripted MIDI system, with or without the device plugged in.
    std::unique_ptr<KorvaneCore> scriptedHub(bool plugged);
    void plug(bool present);

    WindowTestEnv env;
    std::shared_ptr<ScriptedMidiSystem> sys;
};

std::unique_ptr<KorvaneCore> TestDesktop::scriptedHub(bool plugged)
{
    sys = std::make_shared<ScriptedMidiSystem>();
    plug(plugged);
    auto hub = std::make_unique<KorvaneCore>(std::make_unique<ScriptedMidiBackend>(sys));
    hub->midi()->setPauses(std::chrono::milliseconds(0), std::chrono::milliseconds(0));
    return hub;
}

void TestDesktop::plug(bool present)
{
    const std::vector<std::string> ports =
        present ? std::vector<std::string>{kDevice} : std::vector<std::string>{};
    sys->setInputPorts(ports);
    sys->setOutputPorts(ports);
}

void TestDesktop::shortcutsTriggerTheirActions()
{
    MainWindow *w = env.window.get();
    MainMenus *menus = w->menus();
    w->show();
    QVERIFY(QTest::qWaitForWindowActive(w));
    const struct
    {
        QAction *action;
        const char *keys;
        std::function<bool()> done;
    } rows[] = {
        {menus->loadMapAction(), "Ctrl+O", [w] { return w->patchView()->isVisible(); }},
        {menus->saveMapAction(), "Ctrl+S", [w] { return w->nameDialog()->isVisible(); }},
        {menus->quitAction(), "Ctrl+Q", [w] { return !w->isVisible(); }},
    };
    for (const auto &row : rows) {
        const QKeySequence keys(QString::fromLatin1(row.keys));
        QCOMPARE(row.action->shortcut(), keys);
        QSignalSpy triggered(row.action, &QAction::triggered);
        w->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(w));
        QTest::keySequence(w, keys);
        QVERIFY2(triggered.count() == 1, qPrintable(row.action->text()));
        QVERIFY2(row.done(), qPrintable(row.action->text()));
        w->patchView()->hide();
        w->nameDialog()->hide();
    }
}

void TestDesktop::menusAndButtonsGoTheSameWay()
{
    MainWindow *w = env.window.get();
    MainMenus *menus = w->menus();
    // File, Edit (undo and redo), Device, Help.
    QStringList titles;
    for (QAction *a : w->menuBar()->actions())
        if (a->isVisible())
            titles << a->text();
    QCOMPARE(titles, QStringList({"&File", "&Edit", "&Device", "&Help"}));
    QMenu *edit = menus->addEditMenu();
    QCOMPARE(w->menuBar()->actions().indexOf(edit->menuAction()), 1);
    QVERIFY(edit->menuAction()->isVisible());

    const struct
    {
        QAction *action;
        const char *button;
    } pressed[] = {{menus->reconnectAction(), "reConButton"},
                   {menus->syncAction(), "syncButton"},
                   {menus->panicAction(), "panicButton"},
                   {menus->soundsAction(), "soundsButton"}};
    for (const auto &row : pressed) {
        QSignalSpy clicked(child<QPushButton>(row.button), &QPushButton::clicked);
        row.action->trigger();
        QVERIFY2(clicked.count() == 1, row.button);
    }
    QVERIFY(w->soundView()->isVisible());

    // Back Up asks where, then writes the device's records there.
    answerFileDialog(env.data.dataPath(), "menu.syx");
    menus->backupAction()->trigger();
    QVERIFY(QFileInfo(env.data.dataPath() + "/menu.syx").size() > 0);
}

void TestDesktop::everyControlHasATooltipAndAMnemonic()
{
    MainWindow *w = env.window.get();
    int checked = 0;
    // The visible controls under root: each says what it does, each button has a mnemonic
    // (the dialogs' standard OK/Close buttons carry the platform's own).
    auto check = [&checked](QWidget *root) {
        for (QWidget *c : root->findChildren<QWidget *>()) {
            const bool inner = c->parentWidget()->inherits("QAbstractSpinBox") ||
                               c->parentWidget()->inherits("QComboBox") ||
                               c->parentWidget()->inherits("QAbstractItemView") ||
                               qobject_cast<QDialogButtonBox *>(c->parentWidget());
            const bool control =
                qobject_cast<QAbstractButton *>(c) || qobject_cast<QComboBox *>(c) ||
                (qobject_cast<QAbstractSlider *>(c) && !qobject_cast<QScrollBar *>(c)) ||
                qobject_cast<QAbstractSpinBox *>(c) || qobject_cast<QLineEdit *>(c) ||
                qobject_cast<QAbstractItemView *>(c) || qobject_cast<KorvaneHandWidget *>(c);
            if (!control || inner || !c->isVisible())
                continue;
            ++checked;
            QVERIFY2(!c->toolTip().isEmpty(),
                     qPrintable(c->objectName() + " " + c->metaObject()->className() + " in " +
                                c->parentWidget()->metaObject()->className()));
            auto *b = qobject_cast<QAbstractButton *>(c);
            if (b && b->text().contains(QRegularExpression("[A-Za-z]")))
                QVERIFY2(b->text().contains('&'), qPrintable(b->text()));
        }
    };
    w->show();
    auto *tabs = child<QTabWidget>("tabWidget");
    for (int t = 0; t < tabs->count(); ++t) {
        tabs->setCurrentIndex(t);
        check(tabs->widget(t));
    }
    QVERIFY(checked >= 30);
    w->OpenNodeView(5);
    w->OpenSoundEdit();
    w->nameDialog()->show();
    w->numberEditor()->show();
    w->patchView()->show();
    w->soundView()->show();
    for (QWidget *dialog :
         std::initializer_list<QWidget *>{w->nodeView(), w->soundEditView(), w->nameDialog(),
                                          w->numberEditor(), w->patchView(), w->soundView()})
        check(dialog);
    QVERIFY(checked >= 60);

    auto *ble = child<QPushButton>("bleButton");
    QVERIFY(!ble->isEnabled());
    QVERIFY(ble->toolTip().contains("Bluetooth LE"));
    for (QAction *menu : w->menuBar()->actions()) {
        QVERIFY2(menu->text().contains('&'), qPrintable(menu->text()));
        for (QAction *a : menu->menu()->actions())
            QVERIFY2(a->isSeparator() || (a->text().contains('&') && !a->statusTip().isEmpty()),
                     qPrintable(a->text()));
    }
}

void TestDesktop::keyAndOctaveBesideTheScale()
{
    auto *label = child<QLabel>("keyOctaveLabel");
    QCOMPARE(label->text(), QString("Key C · Octave 4"));
    const struct
    {
        const char *button;
        const char *shown;
    } steps[] = {{"transposeUp", "Key D♭ · Octave 4"},
                 {"oupButton", "Key D♭ · Octave 5"},
                 {"transPoseDown", "Key C · Octave 5"},
                 {"transPoseDown", "Key B · Octave 5"},
                 {"odownButton", "Key B · Octave 4"}};
    for (const auto &s : steps) {
        child<QPushButton>(s.button)->click();
        QCOMPARE(label->text(), QString::fromUtf8(s.shown));
    }
    // A map loaded from a file brings its own key and octave.
    KorvaneSensorsState map = env.hub->GetState(0);
    map.key = 7;
    map.octave = 3;
    env.hub->UpdateState(map);
    env.window->LoadComplete();
    QCOMPARE(label->text(), QString("Key G · Octave 3"));
}

void TestDesktop::statusPartFollowsPlugAndUnplug()
{
    auto hub = scriptedHub(false);
    DeviceStatusPart part(hub.get());
    const struct
    {
        bool plugged;
        const char *shown;
    } steps[] = {{false, "No device"},
                 {true, "Connected: KVRN Glove · RemoteCore · firmware ?"},
                 {false, "No device"},
                 {true, "Connected: KVRN Glove"}};
    for (const auto &s : steps) {
        plug(s.plugged);
        checkNow(hub.get());
        QVERIFY2(part.text().contains(s.shown), qPrintable(part.text()));
        QCOMPARE(part.isConnected(), s.plugged);
    }
    // The connected device is asked for its firmware version; its answer is shown.
    hub->midi()->waitForUploads(2000);
    bool asked = false;
    for (const auto &m : sys->sent())
        asked |= m.bytes == KorvaneSysex::versionRequest();
    QVERIFY(asked);
    sys->deliver(kDevice, {0xF0, 0x7D, 0x01, 12, 0xF7});
    QTRY_VERIFY2(part.text().contains("firmware 12"), qPrintable(part.text()));
    hub->IncreaseWriteCount();
    QVERIFY2(part.text().endsWith("ROM writes: 1"), qPrintable(part.text()));
    QVERIFY(part.toolTip().startsWith("MIDI port: KVRN Glove\n"));
    hub->DisconnectMIDI();
    QVERIFY2(part.text().contains("Disconnected"), qPrintable(part.text()));
}

void TestDesktop::disconnectHoldsUntilReconnect()
{
    auto hub = scriptedHub(true);
    checkNow(hub.get());
    QCOMPARE(sys->openOutputs().size(), size_t(1));
    QSignalSpy connectable(hub.get(), &KorvaneCore::EnableMIDIConnect);
    hub->DisconnectMIDI();
    QVERIFY(sys->openOutputs().empty());
    QVERIFY(sys->openInputs().empty());
    QVERIFY(hub->IsDisconnectedByUser());
    // Neither the search's ticks nor an edit open the ports again.
    hub->midi()->waitForUploads(2000);
    sys->clearSent();
    for (int tick = 0; tick < 3; ++tick)
        checkNow(hub.get());
    hub->Transpose(1);
    hub->midi()->waitForUploads(2000);
    QVERIFY(sys->openOutputs().empty());
    QVERIFY(sys->openInputs().empty());
    QVERIFY(sys->sent().empty());
    QVERIFY(connectable.count() >= 4);
    // Reconnect finds the device at once and asks it for its configuration.
    QSignalSpy connected(hub.get(), &KorvaneCore::EnableMIDIDisconnect);
    hub->ReconnectMIDI();
    QCOMPARE(connected.count(), 1);
    QCOMPARE(sys->openOutputs(), std::vector<std::string>{kDevice});
    hub->midi()->waitForUploads(2000);
    QCOMPARE(sys->sent().size(), size_t(1));
    QVERIFY(sys->sent().front().bytes == KorvaneSysex::infoRequest());
    QVERIFY(!hub->IsDisconnectedByUser());
}

void TestDesktop::resultOutlastsTheDeviceSearch()
{
    auto *line = child<QLabel>("mainmessages");
    env.hub->SaveSettings();
    QCOMPARE(line->text(), QString("Settings saved."));
    // No device here: the search's tick reports itself, and the result stays in view.
    QSignalSpy said(env.hub, &KorvaneCore::sendStatusMessage);
    checkNow(env.hub);
    QVERIFY(!said.isEmpty());
    QCOMPARE(line->text(), QString("Settings saved."));
    QCOMPARE(child<QLabel>("statuslabel")->text(), QString("Settings saved."));
    // A newer result replaces it at once.
    emit env.hub->sendStatusMessage("Map saved");
    QCOMPARE(line->text(), QString("Map saved"));
}

void TestDesktop::statusLineKinds_data()
{
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QString>("next");
    QTest::addColumn<int>("afterMs");
    QTest::addColumn<bool>("replaces");
    const QString result = "Settings saved.", search = "Searching for Devices...",
                  play = "NoteOn: Channel:0 Note:60 Vol:90";
    QTest::newRow("search hides no result") << result << search << 4999 << false;
    QTest::newRow("result stood five seconds") << result << search << 5000 << true;
    QTest::newRow("play hides no result") << result << play << 100 << false;
    QTest::newRow("result over result") << result << "Device disconnected" << 0 << true;
    QTest::newRow("result over search") << search << result << 0 << true;
    QTest::newRow("play over search") << search << play << 0 << true;
    QTest::newRow("search hides no play") << play << "No devices found" << 10 << false;
    QTest::newRow("search over search") << search << "MIDI IN Devices: x, " << 0 << true;
    QTest::newRow("sampler note is play")
        << result << "Note 60 on sample 2 on voice 1" << 0 << false;
}

void TestDesktop::statusLineKinds()
{
    QFETCH(QString, shown);
    QFETCH(QString, next);
    QFETCH(int, afterMs);
    QFETCH(bool, replaces);
    StatusMessageFilter filter;
    QVERIFY(filter.offer(shown, 1000));
    QCOMPARE(filter.offer(next, 1000 + afterMs), replaces);
}

void TestDesktop::windowRemembersPlaceAndTab()
{
    const QString data = env.hub->GetDataPath();
    env.hub->SaveSettings();
    env.window->show();
    env.window->setGeometry(40, 50, 760, 720);
    child<QTabWidget>("tabWidget")->setCurrentIndex(1);
    env.window->close();
    env.window.reset();
    env.window = std::make_unique<MainWindow>(); // the same data folder
    waitForTheStream(env.window.get());
    QCOMPARE(env.window->size(), QSize(760, 720));
    QCOMPARE(child<QTabWidget>("tabWidget")->currentIndex(), 1);
    QVERIFY(QFileInfo::exists(data + "/window.ini"));
    // The device's settings file keeps its layout.
    QCOMPARE(QFileInfo(data + "/settings.ini").size(), qint64(66));
}

QTEST_MAIN(TestDesktop)
#include "tst_desktop.moc"
