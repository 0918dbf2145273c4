#include "app/mainwindow.h"
#include "audio/instrumentfile.h"
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
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
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
    {"sound", "LoadSound(QString)", "hub", "LoadSound(QString)"},
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
    void mapOverwriteAsksAndNoKeeps();
    void renameMapLiveToStage();
    void flushAndSaveAfterFlush();
    void saveAsAndRenameInstruments();
    void renameInstrumentKeepsKvi();
    void deleteInstrument();
    void folderNames();
    void refusedNames();
    void failuresAreReported();

private:
    // Types text into the name dialog and presses OK, as the user does.
    void answerName(const QString &text);
    QString status() const { return window->findChild<QLabel *>("mainmessages")->text(); }
    QString sounds() const { return dataPath + "/sounds"; }
    QString maps() const { return dataPath + "/maps"; }

    WindowTestEnv env;
    MainWindow *window = nullptr;
    KorvaneCore *hub = nullptr;
    NameDialog *name = nullptr;
    QString dataPath;
};

void TestRequests::init()
{
    env.renew();
    window = env.window.get();
    hub = env.hub;
    name = window->nameDialog();
    dataPath = hub->GetDataPath();
}

void TestRequests::cleanup()
{
    env.reset();
}

void TestRequests::answerName(const QString &text)
{
    QVERIFY(name->isVisible());
    name->findChild<QLineEdit *>("lineEdit")->setText(text);
    name->findChild<QDialogButtonBox *>("buttonBox")->button(QDialogButtonBox::Ok)->click();
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

void TestRequests::mapOverwriteAsksAndNoKeeps()
{
    const QString live = maps() + "/Live.kvs";
    QVERIFY(write(live, "old bytes"));
    {
        BoxAnswerer no(QMessageBox::NoButton); // Return takes the default: No
        window->SaveState(live);
        QCOMPARE(no.texts, QStringList{"Patch Live.kvs will be overwritten."});
        QCOMPARE(no.informative, QStringList{"Are you sure to proceed?"});
        QCOMPARE(no.defaults.value(0), QMessageBox::No);
    }
    QCOMPARE(read(live), QByteArray("old bytes"));

    // Saving a new map under the existing name asks the same question.
    window->patchView()->Save();
    QCOMPARE(name->getMode(), 0);
    QCOMPARE(name->findChild<QLabel *>("targetLabel")->text(),
             QStringLiteral("Save mapping as:maps"));
    QCOMPARE(name->findChild<QLineEdit *>("lineEdit")->text(), QStringLiteral("User mapping"));
    {
        BoxAnswerer no(QMessageBox::No);
        answerName("Live");
        QCOMPARE(no.texts.size(), 1);
    }
    QCOMPARE(read(live), QByteArray("old bytes"));
    {
        BoxAnswerer yes(QMessageBox::Yes);
        window->patchView()->Save();
        answerName("Live");
        QCOMPARE(yes.texts.size(), 1);
    }
    QVERIFY(read(live) != QByteArray("old bytes"));
    QCOMPARE(window->findChild<QLabel *>("patchNameLine")->text(), QStringLiteral("Live"));

    // A new name saves at once, without a question.
    {
        BoxAnswerer none(QMessageBox::Yes);
        window->patchView()->Save();
        answerName("Gig");
        QVERIFY(none.texts.isEmpty());
    }
    QVERIFY(QFileInfo::exists(maps() + "/Gig.kvs"));
    QVERIFY(window->patchView()->names().contains("Gig"));
}

void TestRequests::renameMapLiveToStage()
{
    QVERIFY(hub->SaveState(maps() + "/Live.kvs"));
    window->patchView()->UpdateDirectory(dataPath);
    window->RenameState(maps() + "/Live.kvs");
    QCOMPARE(name->getMode(), 1);
    QCOMPARE(name->findChild<QLabel *>("targetLabel")->text(), QStringLiteral("Renaming Live"));
    QCOMPARE(name->findChild<QLineEdit *>("lineEdit")->text(), QStringLiteral("Live"));
    answerName("Stage");
    QVERIFY(QFileInfo::exists(maps() + "/Stage.kvs"));
    QVERIFY(!QFileInfo::exists(maps() + "/Live.kvs"));
    // The label reads the hub's map name, which a rename of the file does not change.
    QCOMPARE(window->findChild<QLabel *>("patchNameLine")->text(),
             hub->GetMapName().section('.', 0, 0));
    QVERIFY(window->patchView()->names().contains("Stage"));
    QVERIFY(!window->patchView()->names().contains("Live"));
}

void TestRequests::flushAndSaveAfterFlush()
{
    // Nothing changed: the samples go at once.
    QVERIFY(!window->isUnsaved());
    {
        BoxAnswerer none(QMessageBox::Yes);
        window->FlushMemoryAsk();
        QVERIFY(none.texts.isEmpty());
    }
    QVERIFY(!window->isNewSoundPending());

    // After a change, the question comes; No keeps everything.
    emit window->soundEditView()->SendEnvelopeAttack(40);
    QVERIFY(window->isUnsaved());
    {
        BoxAnswerer no(QMessageBox::NoButton);
        window->soundEditView()->findChild<QPushButton *>("flushMemButton")->click();
        QCOMPARE(no.texts, QStringList{"Removing all currently loaded samples! The instrument "
                                       "can be reloaded if it's saved."});
        QCOMPARE(no.defaults.value(0), QMessageBox::No);
    }
    QVERIFY(!window->isNewSoundPending());
    {
        BoxAnswerer yes(QMessageBox::Yes);
        window->FlushMemoryAsk();
        QCOMPARE(yes.texts.size(), 1);
    }
    QVERIFY(window->isNewSoundPending());

    // A save now names a new instrument instead of overwriting the last one.
    {
        BoxAnswerer none(QMessageBox::Yes);
        emit window->soundEditView()->saveSound();
        QVERIFY(none.texts.isEmpty());
    }
    QCOMPARE(name->getMode(), 2);
    QCOMPARE(name->findChild<QLabel *>("targetLabel")->text(),
             QStringLiteral("Save Instrument as:"));
    QCOMPARE(name->findChild<QLineEdit *>("lineEdit")->text(), QStringLiteral("User instrument"));

    // The editor's Save As proposes the current name.
    window->SoundLoadComplete();
    window->ProcessSoundSaveAs();
    QCOMPARE(name->findChild<QLineEdit *>("lineEdit")->text(),
             QFileInfo(hub->GetSoundName()).completeBaseName());
}

void TestRequests::saveAsAndRenameInstruments()
{
    QTemporaryDir probe;
    if (!writeInstrumentFile(probe.filePath("p.kvi"), KorvaneInstrument(), nullptr))
        QSKIP("instrument files cannot be written in this build yet");

    // From the editor: into the sounds folder.
    window->FlushMemoryAsk();
    window->ProcessSoundSaveAs();
    answerName("My Keys");
    QVERIFY(QFileInfo::exists(sounds() + "/My Keys.kvi"));
    QVERIFY(!window->isUnsaved());
    QCOMPARE(window->currentSoundName(), QStringLiteral("My Keys"));

    // From the browser: into the folder that asked.
    QDir().mkpath(sounds() + "/Pads");
    emit window->soundView()->NewSound(sounds() + "/Pads");
    QCOMPARE(name->findChild<QLabel *>("targetLabel")->text(), QStringLiteral("Save sound as:"));
    QCOMPARE(name->findChild<QLineEdit *>("lineEdit")->text(), QStringLiteral("User sound"));
    answerName("Warm");
    QVERIFY(QFileInfo::exists(sounds() + "/Pads/Warm.kvi"));

    // Onto an existing name only after the question.
    QVERIFY(write(sounds() + "/Pads/Warm.kvi", "keep me"));
    {
        BoxAnswerer no(QMessageBox::No);
        emit window->soundView()->NewSound(sounds() + "/Pads");
        answerName("Warm");
        QCOMPARE(no.texts, QStringList{"Instrument Warm will be overwritten."});
    }
    QCOMPARE(read(sounds() + "/Pads/Warm.kvi"), QByteArray("keep me"));
}

void TestRequests::renameInstrumentKeepsKvi()
{
    QVERIFY(write(sounds() + "/My Keys.kvi", "keys"));
    window->SoundLoadComplete();
    const QString loaded = window->currentSoundName();
    // Rename keeps the extension and the folder.
    emit window->soundView()->RenameSound(sounds() + "/My Keys.kvi");
    QCOMPARE(name->getMode(), 3);
    QCOMPARE(name->findChild<QLabel *>("targetLabel")->text(), QStringLiteral("Renaming My Keys"));
    answerName("Stage Keys");
    QVERIFY(QFileInfo::exists(sounds() + "/Stage Keys.kvi"));
    QVERIFY(!QFileInfo::exists(sounds() + "/My Keys.kvi"));
    QCOMPARE(read(sounds() + "/Stage Keys.kvi"), QByteArray("keys"));
    QCOMPARE(window->currentSoundName(), loaded); // another instrument is loaded

    QDir().mkpath(sounds() + "/Pads");
    QVERIFY(write(sounds() + "/Pads/a.b.KVI", "ab"));
    window->RenameSound(sounds() + "/Pads/a.b.KVI");
    answerName("c.d");
    QCOMPARE(read(sounds() + "/Pads/c.d.kvi"), QByteArray("ab"));
}

void TestRequests::deleteInstrument()
{
    const QString file = sounds() + "/Old.kvi";
    QVERIFY(write(file, "x"));
    {
        BoxAnswerer no(QMessageBox::NoButton);
        emit window->soundView()->DeleteSound(file);
        QCOMPARE(no.texts, QStringList{"Instrument Old will be deleted."});
    }
    QVERIFY(QFileInfo::exists(file));
    {
        BoxAnswerer yes(QMessageBox::Yes);
        emit window->soundView()->DeleteSound(file);
    }
    QVERIFY(!QFileInfo::exists(file));
}

void TestRequests::folderNames()
{
    // Dotted names stay whole for folders.
    emit window->soundView()->NewFolder(sounds() + "/");
    QCOMPARE(name->getMode(), 4);
    QCOMPARE(name->findChild<QLabel *>("targetLabel")->text(),
             QStringLiteral("New folder into:sounds"));
    answerName("v1.2");
    QVERIFY(QFileInfo(sounds() + "/v1.2").isDir());

    QVERIFY(write(sounds() + "/v1.2/Inside.kvi", "x"));
    emit window->soundView()->NameFolder(sounds() + "/v1.2");
    QCOMPARE(name->getMode(), 5);
    QCOMPARE(name->findChild<QLabel *>("targetLabel")->text(),
             QStringLiteral("Renaming folder v1.2"));
    answerName("Live.set");
    QVERIFY(QFileInfo(sounds() + "/Live.set").isDir());
    QCOMPARE(read(sounds() + "/Live.set/Inside.kvi"), QByteArray("x"));

    {
        BoxAnswerer yes(QMessageBox::Yes);
        emit window->soundView()->DeleteFolder(sounds() + "/Live.set");
        QCOMPARE(yes.texts, QStringList{"Folder and all it's contents will be deleted."});
    }
    QVERIFY(!QFileInfo::exists(sounds() + "/Live.set"));
}

void TestRequests::refusedNames()
{
    const QString outside = QFileInfo(dataPath).path();
    const auto before = testfiles::snapshot(outside);
    const QStringList bad = {" ", ".", "..", "../evil", "a/b", "..\\evil", "x\\y", " .. "};
    // What opens the name dialog in each of its modes.
    const std::function<void()> ask[] = {[&] { window->NewState(maps() + "/"); },
                                         [&] { window->RenameState(maps() + "/Defaults.kvs"); },
                                         [&] { window->OpenSoundSaveAs(true); },
                                         [&] { window->RenameSound(sounds() + "/Flute.kvi"); },
                                         [&] { window->NewFolder(sounds() + "/"); },
                                         [&] { window->RenameFolder(maps() + "/"); }};
    for (int mode = 0; mode <= 5; ++mode) {
        for (const QString &text : bad) {
            ask[mode]();
            window->setMainMessage(QString());
            window->ReceiveName(mode, text);
            QVERIFY2(status().contains("cannot be used as a name"), qPrintable(text));
        }
    }
    QCOMPARE(testfiles::snapshot(outside), before);
}

void TestRequests::failuresAreReported()
{
    // A map rename onto an existing name keeps both files.
    QVERIFY(write(maps() + "/A.kvs", "a"));
    QVERIFY(write(maps() + "/B.kvs", "b"));
    window->RenameState(maps() + "/A.kvs");
    answerName("B");
    QCOMPARE(read(maps() + "/A.kvs"), QByteArray("a"));
    QCOMPARE(read(maps() + "/B.kvs"), QByteArray("b"));
    QVERIFY(status().contains("already exists"));

    // A delete that finds nothing to delete says so.
    window->setMainMessage(QString());
    {
        BoxAnswerer yes(QMessageBox::Yes);
        window->DeleteState(maps() + "/Missing.kvs");
    }
    QVERIFY(status().contains("could not be deleted"));

    // Folder rename onto an existing folder, and the top folders themselves.
    QDir().mkpath(sounds() + "/One");
    QDir().mkpath(sounds() + "/Two");
    window->RenameFolder(sounds() + "/One");
    answerName("Two");
    QVERIFY(QFileInfo(sounds() + "/One").isDir());
    QVERIFY(status().contains("already exists"));
    window->setMainMessage(QString());
    {
        BoxAnswerer yes(QMessageBox::Yes);
        window->DeleteFolder(sounds() + "/");
        QVERIFY(yes.texts.isEmpty());
    }
    QVERIFY(QFileInfo::exists(sounds() + "/Flute.kvi") || QFileInfo(sounds()).isDir());
    QVERIFY(status().contains("top folder"));

    // An instrument rename onto an existing name.
    QVERIFY(write(sounds() + "/X.kvi", "x"));
    QVERIFY(write(sounds() + "/Y.kvi", "y"));
    window->RenameSound(sounds() + "/X.kvi");
    answerName("Y");
    QCOMPARE(read(sounds() + "/X.kvi"), QByteArray("x"));
    QCOMPARE(read(sounds() + "/Y.kvi"), QByteArray("y"));
    QVERIFY(status().contains("already exists"));
}

QTEST_MAIN(TestRequests)
#include "tst_requests.moc"
