// The whole window on an empty data folder and a scripted MIDI system: what it shows at start,
// requests that pass from its buttons and dialogs to the hub and back, menus and their keys, the
// device's state in the status bar, status lines that outlast the device search, Disconnect that
// holds, tooltips and mnemonics on every control, and the window's remembered place and tab.
#include "app/devicestatuspart.h"
#include "app/mainmenus.h"
#include "app/statusmessagefilter.h"
#include "audio/korvaneaudioengine.h"
#include "dialogs/aboutdialog.h"
#include "dialogs/korvanenodeview.h"
#include "dialogs/korvanepatchview.h"
#include "dialogs/korvanesoundeditview.h"
#include "dialogs/korvanesoundview.h"
#include "dialogs/namedialog.h"
#include "dialogs/numberedit.h"
#include "tests/support/filedialoganswer.h"
#include "tests/support/windowtestenv.h"

#include <QAbstractItemView>
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QMenuBar>
#include <QScrollBar>
#include <QSlider>
#include <QTabWidget>

#include <functional>

namespace {

// The connections the window makes at start whose loss no behaviour test of the window would
// notice (the others are left to those tests): "sender receiver", then "signal>slot" pairs,
// where a lone signal names a slot of the same signature.
const QStringList kLinks[] = {
    {"node window", "ReadyRecSampler()", "removeGlobalBend()"},
    {"hub hand", "SendTemporalOffset(int)>setTemporalOffset(int)",
     "SendNoteTrigger(int,bool,int)>Trigger(int,bool,int)"},
    {"hub window", "EnableMIDIConnect()", "EnableMIDIDisconnect()", "setUnsaved()", "NextSound()",
     "SendVersionError()>ShowVersionError()", "SaveCompleted()>LoadComplete()",
     "SoundSaveComplete()>SoundLoadComplete()",
     "SendSoundName(QString)>setCurrentSoundName(QString)", "UpdateBendUI(KorvaneBendSettings)",
     "SendRemoteDevice(int)>setRemoteMapping(int)", "SendWriteCount(int)>setWriteCountAmount(int)",
     "IOSResendMapping()>reSendMapping()",
     "SendEnvelopeParameters(KorvaneEnvelope)>setEnvelopeParameters(KorvaneEnvelope)",
     "SendReverbParameters(KorvaneSamplerReverb)>setReverbParameters(KorvaneSamplerReverb)"},
    {"edit hub", "SendLayerUpdate(KorvaneLayerView)>setLayerView(KorvaneLayerView)",
     "startRecord()>StartRecord()", "stopRecord()>EndRecord()"},
    {"edit window", "PreviewPlay(int)>ProcessPreviewPlay(int)",
     "PreviewStop()>ProcessPreviewStop()", "flushMemory()>FlushMemoryAsk()",
     "flushPrevious()>FlushPreviousAsk()", "NewSound()>setAsNewSound()",
     "SendEnvelopeRelease(int)>PassEnvelopeRelease(int)",
     "SendReverbAmount(float)>setReverbAmount(float)",
     "SendSamplerMode(int)>ProcessSamplerMode(int)", "saveSound()>ProcessSoundSave()",
     "saveAsSound()>ProcessSoundSaveAs()", "DeleteSample(int)>FlushMemorySelected(int)"},
    {"hub edit", "ResetScroll()>resetScrollIndex()",
     "SendLoadedSoundName(QString)>setLoadSoundName(QString)", "RecEnded()>RecordEnded()"},
    {"patch window", "SaveState(QString)", "DeleteState(QString)", "NewFolder(QString)",
     "RenameState(QString)", "giveFolderName(QString)>GetMapFolder(QString)",
     "Close()>CloseFileView()", "NameFolder(QString)>RenameFolder(QString)",
     "scaleGeneration(int)"},
    {"sound window", "SaveSound(QString)", "DeleteFolder(QString)", "NewSound(QString)",
     "DeleteSound(QString)", "RenameSound(QString)",
     "giveFolderName(QString)>GetSoundFolder(QString)", "NewFolder(QString)",
     "NameFolder(QString)>RenameFolder(QString)"},
    {"numedit edit", "SendNumber(int, double)>setSampleBaseFreq(int,double)"},
};

} // namespace

class TestWindow : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { QApplication::setQuitOnLastWindowClosed(false); }
    void init()
    {
        env.renew(true, false);
        window = env.window.get();
        hub = env.hub;
    }
    void cleanup()
    {
        // Window activations still queued must not reach windows already gone.
        QApplication::processEvents();
        env.reset();
        QApplication::processEvents();
    }
    void startsWithItsLookAndTheStoredCalibration()
    {
        QCOMPARE(window->windowTitle(), QString("VARNO Control"));
        QCOMPARE(env.text("controlCurveLabel"), QString("Sensitivty curve:"));
        QCOMPARE(get<QComboBox>("testSoundBox")->itemText(0), QString("E Piano"));
        QVERIFY(window->styleSheet().contains("QPushButton"));
        // The calibration the hub loaded from a fresh data folder, not the form's own value.
        QCOMPARE(get<QSlider>("onThresholdSlider")->value(), 16);
    }
    // A disconnect succeeds only for a connection of exactly that pair; the second attempt fails,
    // so each was made once.
    void startConnectionsNoBehaviourReaches()
    {
        const QStringList names = {"window", "hub",   "hand", "node",
                                   "sound",  "patch", "edit", "numedit"};
        MainWindow *w = window;
        const QList<QObject *> objects =
            QList<QObject *>() << w << hub << w->handWidget() << w->nodeView() << w->soundView()
                               << w->patchView() << w->soundEditView() << w->numberEditor();
        for (const QStringList &l : kLinks) {
            QObject *sender = objects.value(names.indexOf(l[0].section(' ', 0, 0)));
            QObject *receiver = objects.value(names.indexOf(l[0].section(' ', 1)));
            QVERIFY(sender && receiver);
            for (const QString &pair : l.mid(1)) {
                const QByteArray sig = "2" + pair.section('>', 0, 0).toLatin1();
                const QByteArray slot = "1" + pair.section('>', -1).toLatin1();
                QVERIFY2(QObject::disconnect(sender, sig, receiver, slot), sig);
                QVERIFY2(!QObject::disconnect(sender, sig, receiver, slot), sig);
            }
        }
    }
    void requestsAndEditorsReachTheHub()
    {
        // A map saved under a new name is named above the hand; refusals reach the status line.
        const QString maps = hub->GetDataPath() + "/maps";
        emit window->patchView()->NewState(maps);
        emit window->nameDialog()->Send(0, "Gig");
        QVERIFY(QFileInfo::exists(maps + "/Gig.kvs"));
        QCOMPARE(env.text("patchNameLine"), QString("Gig"));
        emit window->patchView()->DeleteFolder(maps);
        QVERIFY(env.text("statuslabel").contains("top folder"));

        // Layer views from the hub reach the sound editor, and its mode change returns.
        KorvaneLayerView view;
        view.valid = true;
        view.samplerMode = 1;
        emit hub->SendLayerView(view);
        QCOMPARE(child<QComboBox>(window->soundEditView(), "samplerModeBox")->currentIndex(), 1);

        // The sample list's frequency field opens the number editor (its value's way back to
        // the sound editor is one of the start connections).
        emit window->soundEditView()->OpenFreqNumberEditor(0, 261.63);
        QVERIFY(window->numberEditor()->isVisible());
        QCOMPARE(window->numberEditor()->getNumber(), 261.63);

        // The sound browser's own move problems reach the status line.
        emit window->soundView()->sendStatusMessage("Flute.kvi was not moved");
        QCOMPARE(env.text("mainmessages"), QStringLiteral("Flute.kvi was not moved"));
    }
    void editorOpensOnTheInstrumentInMemory()
    {
        QSignalSpy loaded(hub, &KorvaneCore::SendLoadedSoundName);
        const int samples = hub->audio()->sampleCount();
        // The editor's changes mark the instrument unsaved.
        QVERIFY(!window->isUnsaved());
        emit window->soundEditView()->SendEnvelopeAttack(40);
        // Twice: after closing, the same instrument opens again, edits and all.
        for (int i = 0; i < 2; ++i) {
            window->soundEditView()->hide();
            get<QPushButton>("soundEditButton")->click();
            QVERIFY(window->soundEditView()->isVisible());
        }
        QCOMPARE(loaded.count(), 0);
        QVERIFY(window->isUnsaved());
        QCOMPARE(hub->audio()->sampleCount(), samples);
        QCOMPARE(hub->audio()->currentInstrument().envelope.attack, 40);
    }
    void sensorDialogStartsFromTheLastBend()
    {
        KorvaneBendSettings last;
        last.bendSpeed = 77;
        last.releaseDelay = 5;
        hub->SendBendSettings(last);
        emit window->handWidget()->OpenNode(3);
        QSignalSpy sent(window->nodeView(), &KorvaneNodeView::SendBendSettings);
        get<QCheckBox>("halfwayBox")->click();
        QCOMPARE(sent.count(), 1);
        const auto bend = sent.at(0).at(0).value<KorvaneBendSettings>();
        QCOMPARE(int(bend.bendSpeed), 77);
        QCOMPARE(int(bend.releaseDelay), 5);
    }

    void shortcutsTriggerTheirActions()
    {
        MainWindow *w = window;
        MainMenus *menus = w->menus();
        w->show();
        QVERIFY(QTest::qWaitForWindowActive(w));
        const std::tuple<QAction *, const char *, std::function<bool()>> rows[] = {
            {menus->loadMapAction(), "Ctrl+O", [w] { return w->patchView()->isVisible(); }},
            {menus->saveMapAction(), "Ctrl+S",
             [w] { return w->nameDialog()->isVisible() && w->nameDialog()->getMode() == 0; }},
            {menus->quitAction(), "Ctrl+Q", [w] { return !w->isVisible(); }},
        };
        for (const auto &[action, sequence, done] : rows) {
            const QKeySequence keys(QString::fromLatin1(sequence));
            QSignalSpy triggered(action, &QAction::triggered);
            w->activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(w));
            QTest::keySequence(w, keys);
            QVERIFY2(triggered.count() == 1, qPrintable(action->text()));
            QVERIFY2(done(), qPrintable(action->text()));
            w->patchView()->hide();
            w->nameDialog()->hide();
        }
    }
    void menusAndButtonsGoTheSameWay()
    {
        MainWindow *w = window;
        MainMenus *menus = w->menus();
        // File, Edit (undo and redo), Device, Help.
        QStringList titles;
        for (QAction *a : w->menuBar()->actions())
            if (a->isVisible())
                titles << a->text();
        QCOMPARE(titles, QStringList({"&File", "&Edit", "&Device", "&Help"}));

        const std::pair<QAction *, const char *> pressed[] = {
            {menus->reconnectAction(), "reConButton"},
            {menus->syncAction(), "syncButton"},
            {menus->panicAction(), "panicButton"},
            {menus->soundsAction(), "soundsButton"}};
        for (const auto &[action, button] : pressed) {
            QSignalSpy clicked(get<QPushButton>(button), &QPushButton::clicked);
            action->trigger();
            QVERIFY2(clicked.count() == 1, button);
        }
        QVERIFY(w->soundView()->isVisible());
        for (const char *about : {"versionButton", "actionAbout_Korvane_Control"}) {
            w->aboutDialog()->hide();
            if (auto *b = w->findChild<QPushButton *>(about))
                b->click();
            else
                get<QAction>(about)->trigger();
            QVERIFY2(w->aboutDialog()->isVisible(), about);
        }
        // The device's mute shows on the mapping tab.
        emit hub->SendMute(true);
        QVERIFY(get<QCheckBox>("muteBox")->isChecked());

        // Back Up asks where, then writes the device's records there.
        answerFileDialog(env.data.dataPath(), "menu.syx");
        menus->backupAction()->trigger();
        QVERIFY(QFileInfo(env.data.dataPath() + "/menu.syx").size() > 0);
    }
    void everyControlHasATooltipAndAMnemonic()
    {
        MainWindow *w = window;
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
        auto *tabs = get<QTabWidget>("tabWidget");
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

        auto *ble = get<QPushButton>("bleButton");
        QVERIFY(!ble->isEnabled());
        QVERIFY(ble->toolTip().contains("Bluetooth LE"));
        for (QAction *menu : w->menuBar()->actions()) {
            QVERIFY2(menu->text().contains('&'), qPrintable(menu->text()));
            for (QAction *a : menu->menu()->actions())
                QVERIFY2(a->isSeparator() || (a->text().contains('&') && !a->statusTip().isEmpty()),
                         qPrintable(a->text()));
        }
    }
    // Disconnect holds until Reconnect; then the status part follows the device in and out (an
    // unplug that leaves no port at all sets the port objects aside unclosed: last).
    void disconnectHoldsAndTheStatusPartFollows()
    {
        DeviceStatusPart &part = *window->deviceStatus();
        QVERIFY2(part.text().contains("No device"), qPrintable(part.text()));
        ScriptedMidiSystem &sys = *env.sys;
        env.plug(true);
        checkNow();
        QCOMPARE(sys.openOutputs().size(), size_t(1));
        QSignalSpy connectable(hub, &KorvaneCore::EnableMIDIConnect);
        hub->DisconnectMIDI();
        QVERIFY2(part.text().contains("Disconnected"), qPrintable(part.text()));
        QVERIFY(sys.openOutputs().empty() && sys.openInputs().empty());
        QVERIFY(hub->IsDisconnectedByUser());
        // Neither the search's ticks nor an edit open the ports again.
        hub->midi()->waitForUploads(2000);
        sys.clearSent();
        for (int tick = 0; tick < 3; ++tick)
            checkNow();
        hub->Transpose(1);
        hub->midi()->waitForUploads(2000);
        QVERIFY(sys.openOutputs().empty() && sys.openInputs().empty());
        QVERIFY(sys.sent().empty());
        QVERIFY(connectable.count() >= 4);
        // Reconnect finds the device at once and asks it for its configuration.
        QSignalSpy connected(hub, &KorvaneCore::EnableMIDIDisconnect);
        hub->ReconnectMIDI();
        QCOMPARE(connected.count(), 1);
        QCOMPARE(sys.openOutputs(), std::vector<std::string>{env.kDevice});
        hub->midi()->waitForUploads(2000);
        // (The status bar asks for the firmware version; nothing else is sent.)
        int info = 0;
        for (const auto &m : sys.sent()) {
            info += m.bytes == KorvaneSysex::infoRequest() ? 1 : 0;
            QVERIFY(m.bytes == KorvaneSysex::infoRequest() ||
                    m.bytes == KorvaneSysex::versionRequest());
        }
        QCOMPARE(info, 1);
        QVERIFY(!hub->IsDisconnectedByUser());

        const std::pair<bool, const char *> steps[] = {
            {false, "No device"},
            {true, "Connected: KVRN Glove · RemoteCore · firmware ?"},
            {false, "No device"},
            {true, "Connected: KVRN Glove"}};
        for (const auto &[plugged, shown] : steps) {
            env.plug(plugged);
            checkNow();
            QVERIFY2(part.text().contains(shown), qPrintable(part.text()));
            QCOMPARE(part.isConnected(), plugged);
        }
        // The connected device is asked for its firmware version; its answer is shown.
        hub->midi()->waitForUploads(2000);
        bool asked = false;
        for (const auto &m : env.sys->sent())
            asked |= m.bytes == KorvaneSysex::versionRequest();
        QVERIFY(asked);
        env.sys->deliver(env.kDevice, {0xF0, 0x7D, 0x01, 12, 0xF7});
        QTRY_VERIFY2(part.text().contains("firmware 12"), qPrintable(part.text()));
        QCOMPARE(child<QLabel>(window->aboutDialog(), "deviceLabel")->text(), "Version: 12");
        hub->IncreaseWriteCount();
        QVERIFY2(part.text().endsWith("ROM writes: 1"), qPrintable(part.text()));
        QVERIFY(part.toolTip().startsWith("MIDI port: KVRN Glove\n"));
    }
    void resultOutlastsTheDeviceSearch()
    {
        auto *line = get<QLabel>("mainmessages");
        hub->SaveSettings();
        QCOMPARE(line->text(), QString("Settings saved."));
        // No device here: the search's tick reports itself, and the result stays in view.
        QSignalSpy said(hub, &KorvaneCore::sendStatusMessage);
        checkNow();
        QVERIFY(!said.isEmpty());
        QCOMPARE(line->text(), QString("Settings saved."));
        QCOMPARE(get<QLabel>("statuslabel")->text(), QString("Settings saved."));
        // A newer result replaces it at once.
        emit hub->sendStatusMessage("Map saved");
        QCOMPARE(line->text(), QString("Map saved"));
    }
    // Which status line replaces the one shown: {shown, next, milliseconds later, replaces}.
    void statusLineKinds()
    {
        const QString result = "Settings saved.", search = "Searching for Devices...",
                      play = "NoteOn: Channel:0 Note:60 Vol:90";
        const std::tuple<QString, QString, int, bool> rows[] = {
            {result, search, 4999, false}, // a search hides no result ...
            {result, search, 5000, true},  // ... that stood five seconds
            {result, play, 100, false},
            {result, "Device disconnected", 0, true},
            {play, "No devices found", 10, false},
            {result, "Note 60 on sample 2 on voice 1", 0, false}}; // a sampler note is play
        for (const auto &[shown, next, afterMs, replaces] : rows) {
            StatusMessageFilter filter;
            QVERIFY(filter.offer(shown, 1000));
            QVERIFY2(filter.offer(next, 1000 + afterMs) == replaces,
                     qPrintable(shown + " / " + next));
        }
    }
    void windowRemembersPlaceAndTab()
    {
        env.window->show();
        env.window->setGeometry(40, 50, 760, 720);
        get<QTabWidget>("tabWidget")->setCurrentIndex(1);
        env.window->close();
        env.window.reset();
        env.window = std::make_unique<MainWindow>(); // the same data folder
        waitForTheStream(env.window.get());
        QCOMPARE(env.window->size(), QSize(760, 720));
        QCOMPARE(get<QTabWidget>("tabWidget")->currentIndex(), 1);
    }

private:
    template <typename T = QWidget> T *get(const char *name) { return env.get<T>(name); }
    // One tick of the device search, waited for: it runs on the MIDI engine's port thread.
    void checkNow()
    {
        QSignalSpy free(hub, &KorvaneCore::EnableMIDIConnect);
        QSignalSpy connected(hub, &KorvaneCore::EnableMIDIDisconnect);
        hub->CheckMIDI();
        QTRY_VERIFY(free.count() + connected.count() > 0);
    }

    WindowTestEnv env;
    MainWindow *window = nullptr;
    KorvaneCore *hub = nullptr;
};

QTEST_MAIN(TestWindow)
#include "tst_window.moc"
