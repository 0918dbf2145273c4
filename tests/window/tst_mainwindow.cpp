// The whole window on an empty data folder: its form, every connection it makes at start, and
// requests that pass from its buttons and dialogs to the hub and back.
#include "audio/korvaneaudioengine.h"
#include "dialogs/aboutdialog.h"
#include "dialogs/fixedspinbox.h"
#include "dialogs/korvanenodeview.h"
#include "dialogs/korvanepatchview.h"
#include "dialogs/korvanesoundeditview.h"
#include "dialogs/korvanesoundview.h"
#include "dialogs/namedialog.h"
#include "dialogs/numberedit.h"
#include "tests/support/windowtestenv.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QSlider>

namespace {

// Every connection the window makes at start: "sender receiver", then "signal>slot" pairs, where
// a lone signal names a slot of the same signature.
const QStringList kLinks[] = {
    {"hand window", "OpenNode(int)>OpenNodeView(int)"},
    {"node window", "SendConfiguration(KorvaneSensorNode,int)>UpdateNode(KorvaneSensorNode,int)",
     "ReadyRecSampler()", "removeGlobalBend()"},
    {"node hub", "SendBendSettings(KorvaneBendSettings)", "SendGyroSettings(KorvaneGyroSettings)"},
    {"hub hand", "SendNoteTrigger(int,bool,int)>Trigger(int,bool,int)",
     "SendStateUI(KorvaneSensorsState)>UpdateFromState(KorvaneSensorsState)",
     "SendTemporalOffset(int)>setTemporalOffset(int)"},
    {"hub window", "EnableMIDIConnect()", "EnableMIDIDisconnect()", "setUnsaved()", "NextSound()",
     "PrevSound()", "SendVersionError()>ShowVersionError()", "LoadCompleted()>LoadComplete()",
     "SaveCompleted()>LoadComplete()", "SysExLoadCompleted()>SysExLoadComplete()",
     "SoundLoadComplete()", "SoundSaveComplete()>SoundLoadComplete()",
     "SendSoundName(QString)>setCurrentSoundName(QString)"},
    {"hub window", "UpdateSettingsUI(KorvaneCalibration)", "UpdateBendUI(KorvaneBendSettings)",
     "SendRemoteDevice(int)>setRemoteMapping(int)", "SendMute(bool)>setMute(bool)",
     "PassDeviceVersionNumber(int)>ShowDeviceVersionNumber(int)",
     "SendWriteCount(int)>setWriteCountAmount(int)", "IOSResendMapping()>reSendMapping()",
     "sendStatusMessage(QString)>setMainMessage(QString)",
     "SendEnvelopeParameters(KorvaneEnvelope)>setEnvelopeParameters(KorvaneEnvelope)",
     "SendReverbParameters(KorvaneSamplerReverb)>setReverbParameters(KorvaneSamplerReverb)",
     "SendLayerView(KorvaneLayerView)>ProcessLayerUpdate(KorvaneLayerView)"},
    {"edit hub", "SendLayerUpdate(KorvaneLayerView)>setLayerView(KorvaneLayerView)",
     "startRecord()>StartRecord()", "stopRecord()>EndRecord()"},
    {"edit window", "PreviewPlay(int)>ProcessPreviewPlay(int)",
     "PreviewStop()>ProcessPreviewStop()", "flushMemory()>FlushMemoryAsk()",
     "flushPrevious()>FlushPreviousAsk()", "NewSound()>setAsNewSound()",
     "SendEnvelopeAttack(int)>PassEnvelopeAttack(int)",
     "SendEnvelopeRelease(int)>PassEnvelopeRelease(int)",
     "SendReverbAmount(float)>setReverbAmount(float)",
     "SendSamplerMode(int)>ProcessSamplerMode(int)", "saveSound()>ProcessSoundSave()",
     "saveAsSound()>ProcessSoundSaveAs()", "DeleteSample(int)>FlushMemorySelected(int)",
     "OpenFreqNumberEditor(int,double)>OpenNumberEditor(int, double)"},
    {"hub edit", "ResetScroll()>resetScrollIndex()",
     "SendLoadedSoundName(QString)>setLoadSoundName(QString)",
     "sendSamplerMessage(QString)>setSamplerMessage(QString)", "RecEnded()>RecordEnded()"},
    {"patch window", "SaveState(QString)", "NewState(QString)", "DeleteState(QString)",
     "RenameState(QString)", "giveFolderName(QString)>GetMapFolder(QString)",
     "Close()>CloseFileView()", "NewFolder(QString)", "DeleteFolder(QString)",
     "NameFolder(QString)>RenameFolder(QString)", "scaleGeneration(int)"},
    {"sound window", "SaveSound(QString)", "NewSound(QString)", "DeleteSound(QString)",
     "RenameSound(QString)", "giveFolderName(QString)>GetSoundFolder(QString)",
     "NewFolder(QString)", "DeleteFolder(QString)", "NameFolder(QString)>RenameFolder(QString)",
     "EditSound()>OpenSoundEdit()", "LoadSound(QString)"},
    {"patch hub", "LoadState(QString)"},
    {"name window", "Send(int,QString)>ReceiveName(int,QString)"},
    {"numedit edit", "SendNumber(int, double)>setSampleBaseFreq(int,double)"},
};

} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT
private slots:
    void init()
    {
        env.renew();
        window = env.window.get();
        hub = env.hub;
    }
    void cleanup() { env.reset(); }
    void startsWithTheFormDefaults()
    {
        QCOMPARE(window->windowTitle(), QString("VARNO Control"));
        QCOMPARE(window->objectName(), QString("MainWindow"));
        QCOMPARE(get<QComboBox>("comboBox")->count(), 24);
        QCOMPARE(get<QComboBox>("comboBox")->itemText(20), QString("Ukranian Dorian"));
        QCOMPARE(get<QComboBox>("testSoundBox")->itemText(0), QString("E Piano"));
        QCOMPARE(get<QComboBox>("midiChannelBox")->itemText(15), QString("16"));
        QCOMPARE(get<QSlider>("velocitySlider")->maximum(), 128);
        QCOMPARE(get<QSlider>("volSlider")->value(), 50);
        QCOMPARE(get<FixedSpinBox>("aftertouchSpinbox")->maximum(), 99);
        QCOMPARE(env.text("controlCurveLabel"), QString("Sensitivty curve:"));
        QCOMPARE(window->getOctaveCounter(), 4);
        QCOMPARE(window->getKeyOffset(), 0);
        // The calibration the hub loaded is shown: the defaults of a fresh data folder.
        QCOMPARE(get<QSlider>("onThresholdSlider")->value(), 16);
        QCOMPARE(env.text("noteOnLabel"), QString("16"));
        QCOMPARE(get<QComboBox>("defaultControlBox")->currentIndex(), 4);
        QVERIFY(window->styleSheetText().contains("QPushButton"));
        QCOMPARE(window->styleSheet(), window->styleSheetText());
        // Status lines reach both labels.
        emit hub->sendStatusMessage("hello");
        QCOMPARE(env.text("mainmessages"), QString("hello"));
        QCOMPARE(env.text("statuslabel"), QString("hello"));
    }
    // A disconnect succeeds only for a connection of exactly that pair; the second attempt fails,
    // so each was made once.
    void everyStartConnection()
    {
        const QStringList names = {"window", "hub",  "hand", "node",   "sound",
                                   "patch",  "edit", "name", "numedit"};
        MainWindow *w = window;
        const QList<QObject *> objects = QList<QObject *>()
                                         << w << hub << w->handWidget() << w->nodeView()
                                         << w->soundView() << w->patchView() << w->soundEditView()
                                         << w->nameDialog() << w->numberEditor();
        int count = 0;
        for (const QStringList &l : kLinks) {
            QObject *sender = objects.value(names.indexOf(l[0].section(' ', 0, 0)));
            QObject *receiver = objects.value(names.indexOf(l[0].section(' ', 1)));
            QVERIFY(sender && receiver);
            for (const QString &pair : l.mid(1)) {
                const QByteArray sig = "2" + pair.section('>', 0, 0).toLatin1();
                const QByteArray slot = "1" + pair.section('>', -1).toLatin1();
                QVERIFY2(QObject::disconnect(sender, sig, receiver, slot), sig);
                QVERIFY2(!QObject::disconnect(sender, sig, receiver, slot), sig);
                ++count;
            }
        }
        QCOMPARE(count, 75);
    }
    void buttonsReachTheirWindows()
    {
        auto *browser = window->soundView();
        QVERIFY(!browser->isVisible());
        QTest::mouseClick(get<QPushButton>("soundsButton"), Qt::LeftButton);
        QVERIFY(browser->isVisible());
        browser->hide();
        get<QPushButton>("patchPushButton")->click();
        QVERIFY(window->patchView()->isVisible());
        get<QPushButton>("mapSaveButton")->click();
        QVERIFY(window->nameDialog()->isVisible());
        QCOMPARE(window->nameDialog()->getMode(), 0);
        for (const char *about : {"versionButton", "actionAbout_Korvane_Control"}) {
            window->aboutDialog()->hide();
            if (auto *b = window->findChild<QPushButton *>(about))
                b->click();
            else
                get<QAction>(about)->trigger();
            QVERIFY2(window->aboutDialog()->isVisible(), about);
        }
        // The tabs' state reads through the window.
        get<QPushButton>("oupButton")->click();
        QCOMPARE(window->getOctaveCounter(), 5);
        emit hub->SendMute(true);
        QVERIFY(get<QCheckBox>("muteBox")->isChecked());
    }
    void requestsAndEditorsReachTheHub()
    {
        // The editor's changes mark the instrument unsaved.
        QVERIFY(!window->isUnsaved());
        emit window->soundEditView()->SendEnvelopeAttack(40);
        QVERIFY(window->isUnsaved());
        // A map saved under a new name is named above the hand; refusals reach the status line.
        const QString maps = hub->GetDataPath() + "/maps";
        window->NewState(maps);
        window->ReceiveName(0, "Gig");
        QVERIFY(QFileInfo::exists(maps + "/Gig.kvs"));
        QCOMPARE(env.text("patchNameLine"), QString("Gig"));
        window->DeleteFolder(maps);
        QVERIFY(env.text("statuslabel").contains("top folder"));

        // A click on a sensor opens its editor; an edit there changes the hub's map.
        emit window->handWidget()->OpenNode(3);
        KorvaneNodeView *node = window->nodeView();
        QVERIFY(node->isVisible());
        QCOMPARE(child<QLabel>(node, "Sensorlabel")->text(), QStringLiteral("Sensor 3"));
        child<QComboBox>(node, "typeBox")->setCurrentIndex(NodeDisabled);
        QCOMPARE(hub->GetNode(3).type, int(NodeDisabled));

        // Layer views from the hub reach the sound editor, and its mode change returns.
        KorvaneLayerView view;
        view.valid = true;
        view.samplerMode = 1;
        emit hub->SendLayerView(view);
        QCOMPARE(child<QComboBox>(window->soundEditView(), "samplerModeBox")->currentIndex(), 1);

        // The number editor's value reaches the sample list through the sound editor.
        view.triggers.append(SampleTrigger());
        view.overviews.append(KorvaneLayerOverview());
        view.names.append("0 test");
        view.sampleIds.append(0);
        emit hub->SendLayerView(view);
        QSignalSpy layer(window->soundEditView(), SIGNAL(SendLayerUpdate(KorvaneLayerView)));
        window->OpenNumberEditor(0, 261.63);
        QVERIFY(window->numberEditor()->isVisible());
        emit window->numberEditor()->SendNumber(0, 300.0);
        QCOMPARE(layer.count(), 1);
        QCOMPARE(layer.last().at(0).value<KorvaneLayerView>().triggers.at(0).baseFrequency, 300.0);

        // The sound browser's own move problems reach the status line; its Edit opens the editor.
        emit window->soundView()->sendStatusMessage("Flute.kvi was not moved");
        QCOMPARE(env.text("mainmessages"), QStringLiteral("Flute.kvi was not moved"));
        emit window->soundView()->EditSound();
        QVERIFY(window->soundEditView()->isVisible());
    }
    void editorOpensOnTheInstrumentInMemory()
    {
        QSignalSpy loaded(hub, &KorvaneCore::SendLoadedSoundName);
        const int samples = hub->audio()->sampleCount();
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
        window->OpenNodeView(3);
        QSignalSpy sent(window->nodeView(), &KorvaneNodeView::SendBendSettings);
        get<QCheckBox>("halfwayBox")->click();
        QCOMPARE(sent.count(), 1);
        const auto bend = sent.at(0).at(0).value<KorvaneBendSettings>();
        QCOMPARE(int(bend.bendSpeed), 77);
        QCOMPARE(int(bend.releaseDelay), 5);
        QCOMPARE(int(bend.halfway), last.halfway ? 0 : 1);
    }

private:
    template <typename T = QWidget> T *get(const char *name) { return env.get<T>(name); }

    WindowTestEnv env;
    MainWindow *window = nullptr;
    KorvaneCore *hub = nullptr;
};

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
