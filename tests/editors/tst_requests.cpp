#include "app/mainwindow.h"
#include "core/korvanecore.h"
#include "dialogs/korvanenodeview.h"
#include "dialogs/korvanepatchview.h"
#include "dialogs/korvanesoundeditview.h"
#include "dialogs/korvanesoundview.h"
#include "dialogs/namedialog.h"
#include "dialogs/numberedit.h"
#include "hand/korvanehandwidget.h"
#include "tests/support/testfiles.h"
#include "tests/support/windowtestenv.h"

#include <QComboBox>
#include <QLabel>
#include <QSignalSpy>
#include <QtTest>

#include <functional>

using testfiles::read;
using testfiles::write;

namespace {

struct Link
{
    const char *sender;
    const char *signal;
    const char *receiver;
    const char *slot;
};

// Every connection the window makes at start, in the order it makes them.
const Link kLinks[] = {
    {"hand", "OpenNode(int)", "window", "OpenNodeView(int)"},
    {"node", "SendConfiguration(KorvaneSensorNode,int)", "window",
     "UpdateNode(KorvaneSensorNode,int)"},
    {"node", "SendBendSettings(KorvaneBendSettings)", "hub",
     "SendBendSettings(KorvaneBendSettings)"},
    {"node", "SendGyroSettings(KorvaneGyroSettings)", "hub",
     "SendGyroSettings(KorvaneGyroSettings)"},
    {"node", "ReadyRecSampler()", "window", "ReadyRecSampler()"},
    {"node", "removeGlobalBend()", "window", "removeGlobalBend()"},
    {"hub", "SendNoteTrigger(int,bool,int)", "hand", "Trigger(int,bool,int)"},
    {"hub", "SendEnvelopeParameters(KorvaneEnvelope)", "window",
     "setEnvelopeParameters(KorvaneEnvelope)"},
    {"hub", "SendReverbParameters(KorvaneSamplerReverb)", "window",
     "setReverbParameters(KorvaneSamplerReverb)"},
    {"hub", "SendLayerView(KorvaneLayerView)", "window", "ProcessLayerUpdate(KorvaneLayerView)"},
    {"edit", "SendLayerUpdate(KorvaneLayerView)", "hub", "setLayerView(KorvaneLayerView)"},
    {"edit", "PreviewPlay(int)", "window", "ProcessPreviewPlay(int)"},
    {"edit", "PreviewStop()", "window", "ProcessPreviewStop()"},
    {"edit", "startRecord()", "hub", "StartRecord()"},
    {"edit", "stopRecord()", "hub", "EndRecord()"},
    {"edit", "flushMemory()", "window", "FlushMemoryAsk()"},
    {"edit", "flushPrevious()", "window", "FlushPreviousAsk()"},
    {"edit", "NewSound()", "window", "setAsNewSound()"},
    {"edit", "SendEnvelopeAttack(int)", "window", "PassEnvelopeAttack(int)"},
    {"edit", "SendEnvelopeRelease(int)", "window", "PassEnvelopeRelease(int)"},
    {"edit", "SendReverbAmount(float)", "window", "setReverbAmount(float)"},
    {"edit", "SendSamplerMode(int)", "window", "ProcessSamplerMode(int)"},
    {"edit", "saveSound()", "window", "ProcessSoundSave()"},
    {"edit", "saveAsSound()", "window", "ProcessSoundSaveAs()"},
    {"edit", "DeleteSample(int)", "window", "FlushMemorySelected(int)"},
    {"hub", "EnableMIDIConnect()", "window", "EnableMIDIConnect()"},
    {"hub", "EnableMIDIDisconnect()", "window", "EnableMIDIDisconnect()"},
    {"hub", "ResetScroll()", "edit", "resetScrollIndex()"},
    {"hub", "SendLoadedSoundName(QString)", "edit", "setLoadSoundName(QString)"},
    {"hub", "sendStatusMessage(QString)", "window", "setMainMessage(QString)"},
    {"hub", "SendStateUI(KorvaneSensorsState)", "hand", "UpdateFromState(KorvaneSensorsState)"},
    {"hub", "sendSamplerMessage(QString)", "edit", "setSamplerMessage(QString)"},
    {"hub", "RecEnded()", "edit", "RecordEnded()"},
    {"hub", "setUnsaved()", "window", "setUnsaved()"},
    {"patch", "SaveState(QString)", "window", "SaveState(QString)"},
    {"patch", "NewState(QString)", "window", "NewState(QString)"},
    {"patch", "LoadState(QString)", "hub", "LoadState(QString)"},
    {"patch", "DeleteState(QString)", "window", "DeleteState(QString)"},
    {"patch", "RenameState(QString)", "window", "RenameState(QString)"},
    {"patch", "giveFolderName(QString)", "window", "GetMapFolder(QString)"},
    {"patch", "Close()", "window", "CloseFileView()"},
    {"sound", "SaveSound(QString)", "window", "SaveSound(QString)"},
    {"sound", "LoadSound(QString)", "window", "LoadSound(QString)"},
    {"sound", "NewSound(QString)", "window", "NewSound(QString)"},
    {"sound", "DeleteSound(QString)", "window", "DeleteSound(QString)"},
    {"sound", "RenameSound(QString)", "window", "RenameSound(QString)"},
    {"sound", "giveFolderName(QString)", "window", "GetSoundFolder(QString)"},
    {"sound", "NewFolder(QString)", "window", "NewFolder(QString)"},
    {"sound", "DeleteFolder(QString)", "window", "DeleteFolder(QString)"},
    {"sound", "NameFolder(QString)", "window", "RenameFolder(QString)"},
    {"sound", "EditSound()", "window", "OpenSoundEdit()"},
    {"patch", "NewFolder(QString)", "window", "NewFolder(QString)"},
    {"patch", "DeleteFolder(QString)", "window", "DeleteFolder(QString)"},
    {"patch", "NameFolder(QString)", "window", "RenameFolder(QString)"},
    {"patch", "scaleGeneration(int)", "window", "scaleGeneration(int)"},
    {"name", "Send(int,QString)", "window", "ReceiveName(int,QString)"},
    {"hub", "SendVersionError()", "window", "ShowVersionError()"},
    {"hub", "LoadCompleted()", "window", "LoadComplete()"},
    {"hub", "SaveCompleted()", "window", "LoadComplete()"},
    {"hub", "SysExLoadCompleted()", "window", "SysExLoadComplete()"},
    {"hub", "SoundLoadComplete()", "window", "SoundLoadComplete()"},
    {"hub", "SoundSaveComplete()", "window", "SoundLoadComplete()"},
    {"hub", "NextSound()", "window", "NextSound()"},
    {"hub", "PrevSound()", "window", "PrevSound()"},
    {"hub", "SendSoundName(QString)", "window", "setCurrentSoundName(QString)"},
    {"hub", "UpdateSettingsUI(KorvaneCalibration)", "window",
     "UpdateSettingsUI(KorvaneCalibration)"},
    {"hub", "UpdateBendUI(KorvaneBendSettings)", "window", "UpdateBendUI(KorvaneBendSettings)"},
    {"hub", "SendRemoteDevice(int)", "window", "setRemoteMapping(int)"},
    {"hub", "SendTemporalOffset(int)", "hand", "setTemporalOffset(int)"},
    {"hub", "SendMute(bool)", "window", "setMute(bool)"},
    {"hub", "PassDeviceVersionNumber(int)", "window", "ShowDeviceVersionNumber(int)"},
    {"hub", "SendWriteCount(int)", "window", "setWriteCountAmount(int)"},
    {"hub", "IOSResendMapping()", "window", "reSendMapping()"},
    {"edit", "OpenFreqNumberEditor(int,double)", "window", "OpenNumberEditor(int, double)"},
    {"numedit", "SendNumber(int, double)", "edit", "setSampleBaseFreq(int,double)"},
};

} // namespace

class TestRequests : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void everyStartConnection();
    void editorsReachTheHub();

private:
    QString status() const { return window->findChild<QLabel *>("mainmessages")->text(); }

    WindowTestEnv env;
    MainWindow *window = nullptr;
    KorvaneCore *hub = nullptr;
    NameDialog *name = nullptr;
};

void TestRequests::init()
{
    env.renew();
    window = env.window.get();
    hub = env.hub;
    name = window->nameDialog();
}

void TestRequests::cleanup()
{
    env.reset();
}

void TestRequests::everyStartConnection()
{
    const QMap<QString, QObject *> objects = {{"window", window},
                                              {"hub", hub},
                                              {"hand", window->handWidget()},
                                              {"node", window->nodeView()},
                                              {"sound", window->soundView()},
                                              {"patch", window->patchView()},
                                              {"edit", window->soundEditView()},
                                              {"name", name},
                                              {"numedit", window->numberEditor()}};
    QCOMPARE(int(sizeof(kLinks) / sizeof(kLinks[0])), 75);
    // A disconnect succeeds only for a connection of exactly that pair; the second attempt
    // fails, so each was made once.
    for (const Link &l : kLinks) {
        QObject *sender = objects.value(l.sender);
        QObject *receiver = objects.value(l.receiver);
        QVERIFY(sender && receiver);
        const QByteArray sig = QByteArray("2") + l.signal;
        const QByteArray slot = QByteArray("1") + l.slot;
        QVERIFY2(QObject::disconnect(sender, sig, receiver, slot), l.signal);
        QVERIFY2(!QObject::disconnect(sender, sig, receiver, slot), l.signal);
    }
}

void TestRequests::editorsReachTheHub()
{
    // A click on a sensor opens its editor; an edit there changes the hub's map.
    emit window->handWidget()->OpenNode(3);
    KorvaneNodeView *node = window->nodeView();
    QVERIFY(node->isVisible());
    QCOMPARE(node->findChild<QLabel *>("Sensorlabel")->text(), QStringLiteral("Sensor 3"));
    node->findChild<QComboBox *>("typeBox")->setCurrentIndex(NodeDisabled);
    QCOMPARE(hub->GetNode(3).type, int(NodeDisabled));

    // Layer views from the hub reach the sound editor, and its mode change returns.
    KorvaneLayerView view;
    view.valid = true;
    view.samplerMode = 1;
    emit hub->SendLayerView(view);
    QCOMPARE(window->soundEditView()->findChild<QComboBox *>("samplerModeBox")->currentIndex(), 1);

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

    // The sound browser's own move problems reach the status line.
    emit window->soundView()->sendStatusMessage("Flute.kvi was not moved");
    QCOMPARE(status(), QStringLiteral("Flute.kvi was not moved"));

    // The sound browser's Edit opens the sound editor.
    emit window->soundView()->EditSound();
    QVERIFY(window->soundEditView()->isVisible());
}

QTEST_MAIN(TestRequests)
#include "tst_requests.moc"
