#include "app/mainwindow.h"
#include "audio/korvaneaudioengine.h"
#include "core/korvanecore.h"
#include "dialogs/fixedspinbox.h"
#include "dialogs/korvanesoundview.h"
#include "dialogs/namedialog.h"
#include "dialogs/numberedit.h"
#include "hand/korvanehandwidget.h"

#include "dialogs/korvanesoundview.h"
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QSlider>
#include <QTemporaryDir>

#include "audio/korvaneaudioengine.h"
#include <QtTest>

#include <memory>

namespace {

// Status lines that mean the hub saved its settings (and so sent them to the device).
int savedCount(const QSignalSpy &status)
{
    int n = 0;
    for (const auto &args : status)
        n += args.at(0).toString() == QLatin1String("Settings saved.") ? 1 : 0;
    return n;
}

} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void startsWithTheFormDefaults();
    void thresholdRule();
    void calibrationFromDeviceSendsNothingBack();
    void settingsControlsReachTheHub();
    void pitchBendRemovesBendAssignmentsFirst();
    void muteFromHubAndFromUser();
    void scaleChoiceSpellsMinorKeys();
    void testSoundChoice();
    void soundsButtonOpensTheSoundBrowser();
    void octaveKeptAfterMapLoad();
    void transposeAndNodeEditsRefreshTheHand();

private:
    template <typename T> T *child(const char *name)
    {
        T *w = window->findChild<T *>(QString::fromLatin1(name));
        if (!w)
            qFatal("missing %s", name);
        return w;
    }

    std::unique_ptr<QTemporaryDir> data;
    std::unique_ptr<MainWindow> window;
    KorvaneCore *hub = nullptr;
};

void TestMainWindow::init()
{
    QCoreApplication::setApplicationName(QStringLiteral("varno-control-test"));
    data = std::make_unique<QTemporaryDir>();
    qputenv("XDG_DATA_HOME", data->path().toUtf8());
    window = std::make_unique<MainWindow>();
    hub = window->core();
}

void TestMainWindow::cleanup()
{
    window.reset();
    data.reset();
}

void TestMainWindow::startsWithTheFormDefaults()
{
    QCOMPARE(window->windowTitle(), QString("VARNO Control"));
    QCOMPARE(window->objectName(), QString("MainWindow"));
    QCOMPARE(child<QComboBox>("comboBox")->count(), 24);
    QCOMPARE(child<QComboBox>("comboBox")->itemText(20), QString("Ukranian Dorian"));
    QCOMPARE(child<QComboBox>("testSoundBox")->itemText(0), QString("E Piano"));
    QCOMPARE(child<QComboBox>("midiChannelBox")->itemText(15), QString("16"));
    QCOMPARE(child<QSlider>("velocitySlider")->maximum(), 128);
    QCOMPARE(child<QSlider>("volSlider")->value(), 50);
    QCOMPARE(child<FixedSpinBox>("aftertouchSpinbox")->maximum(), 99);
    QCOMPARE(child<QLabel>("controlCurveLabel")->text(), QString("Sensitivty curve:"));
    QCOMPARE(window->getOctaveCounter(), 4);
    QCOMPARE(window->getKeyOffset(), 0);
    // The calibration the hub loaded is shown: the defaults of a fresh data folder.
    QCOMPARE(child<QSlider>("onThresholdSlider")->value(), 16);
    QCOMPARE(child<QLabel>("noteOnLabel")->text(), QString("16"));
    QCOMPARE(child<QComboBox>("defaultControlBox")->currentIndex(), 4);
    QVERIFY(window->styleSheetText().contains("QPushButton"));
    QCOMPARE(window->styleSheet(), window->styleSheetText());
    // Status lines reach both labels.
    emit hub->sendStatusMessage("hello");
    QCOMPARE(child<QLabel>("mainmessages")->text(), QString("hello"));
    QCOMPARE(child<QLabel>("statuslabel")->text(), QString("hello"));
}

void TestMainWindow::thresholdRule()
{
    KorvaneCalibration c = hub->getCalibration();
    c.onThreshold = 40;
    c.offThreshold = 30;
    hub->setCalibration(c);
    auto *on = child<QSlider>("onThresholdSlider");
    auto *off = child<QSlider>("offThresholdSlider");

    // Note-on released at or below note-off moves just above it.
    on->setValue(30);
    emit on->sliderReleased();
    QCOMPARE(int(hub->getCalibration().onThreshold), 31);
    QCOMPARE(on->value(), 31);
    QCOMPARE(child<QLabel>("noteOnLabel")->text(), QString("31"));
    on->setValue(60);
    emit on->sliderReleased();
    QCOMPARE(int(hub->getCalibration().onThreshold), 60);

    // Note-off released at or above note-on moves just below it.
    off->setValue(75);
    emit off->sliderReleased();
    QCOMPARE(int(hub->getCalibration().offThreshold), 59);
    QCOMPARE(off->value(), 59);
    QCOMPARE(child<QLabel>("noteOffLabel")->text(), QString("59"));
    off->setValue(12);
    emit off->sliderReleased();
    QCOMPARE(int(hub->getCalibration().offThreshold), 12);
}

void TestMainWindow::calibrationFromDeviceSendsNothingBack()
{
    QVERIFY(hub->SaveSettings());
    QFile f(hub->GetDataPath() + "/settings.ini");
    QVERIFY(f.open(QFile::ReadOnly));
    const QByteArray before = f.readAll();
    f.close();
    QSignalSpy status(hub, &KorvaneCore::sendStatusMessage);

    KorvaneCalibration c;
    c.aftertouchDelay = 70;
    c.onThreshold = 44;
    c.offThreshold = 22;
    c.velocityScale = 99.0f;
    c.aftertouchScale = 12.0f;
    c.globalControl = 2;
    c.globalCC = 74;
    c.setVelocityCurveType(3);
    c.setAftertouchCurveType(1);
    c.midiChannel = 9;
    hub->LoadCalibrationFromSysEx(c);

    QCOMPARE(child<FixedSpinBox>("aftertouchSpinbox")->value(), 70);
    QCOMPARE(child<QSlider>("onThresholdSlider")->value(), 44);
    QCOMPARE(child<QSlider>("offThresholdSlider")->value(), 22);
    QCOMPARE(child<QLabel>("noteOffLabel")->text(), QString("22"));
    QCOMPARE(child<QSlider>("velocitySlider")->value(), 99);
    QCOMPARE(child<QLabel>("velocitySensitivyLabel")->text(), QString("99"));
    QCOMPARE(child<QSlider>("controlSlider")->value(), 12);
    QCOMPARE(child<QLabel>("controlAmountLabel_2")->text(), QString("12"));
    QCOMPARE(child<QComboBox>("defaultControlBox")->currentIndex(), 2);
    QCOMPARE(child<FixedSpinBox>("ccNumberspinBox")->value(), 74);
    QCOMPARE(child<QComboBox>("velocityCurveBox")->currentIndex(), 3);
    QCOMPARE(child<QComboBox>("controlCurveBox")->currentIndex(), 1);
    QCOMPARE(child<QComboBox>("midiChannelBox")->currentIndex(), 9);

    // Nothing went back: no save (which is what sends), the settings file is as it was.
    QCOMPARE(savedCount(status), 0);
    QVERIFY(f.open(QFile::ReadOnly));
    QCOMPARE(f.readAll(), before);
}

void TestMainWindow::settingsControlsReachTheHub()
{
    child<QComboBox>("velocityCurveBox")->setCurrentIndex(0);
    QCOMPARE(hub->getCalibration().velocityCurveType, 0);
    QCOMPARE(int(hub->getCalibration().velocityCurve[0]), 5); // the linear table
    child<QComboBox>("controlCurveBox")->setCurrentIndex(3);
    QCOMPARE(hub->getCalibration().aftertouchCurveType, 3);
    child<FixedSpinBox>("aftertouchSpinbox")->setValue(33);
    QCOMPARE(int(hub->getCalibration().aftertouchDelay), 33);
    child<FixedSpinBox>("ccNumberspinBox")->setValue(11);
    QCOMPARE(int(hub->getCalibration().globalCC), 11);
    child<QComboBox>("midiChannelBox")->setCurrentIndex(5);
    QCOMPARE(int(hub->getCalibration().midiChannel), 5);
    auto *velocity = child<QSlider>("velocitySlider");
    velocity->setValue(64);
    emit velocity->sliderReleased();
    QCOMPARE(hub->getCalibration().velocityScale, 64.0f);
    auto *control = child<QSlider>("controlSlider");
    control->setValue(100);
    emit control->sliderMoved(100);
    emit control->sliderReleased();
    QCOMPARE(hub->getCalibration().aftertouchScale, 100.0f);
    QCOMPARE(child<QLabel>("controlAmountLabel_2")->text(), QString("100"));
    // Settings survive in the data folder: a new hub reads them back.
    QVERIFY(hub->LoadSettings());
    QCOMPARE(int(hub->getCalibration().midiChannel), 5);
}

void TestMainWindow::pitchBendRemovesBendAssignmentsFirst()
{
    KorvaneSensorNode bend = hub->GetNode(3);
    bend.type = 4;
    hub->SetNode(bend, 3);
    KorvaneSensorNode bendUp = hub->GetNode(6);
    bendUp.type = 2;
    bendUp.action = 7;
    hub->SetNode(bendUp, 6);

    QStringList events;
    connect(hub, &KorvaneCore::SendStateUI, this, [&] { events << "state"; });
    connect(hub, &KorvaneCore::sendStatusMessage, this, [&](QString m) {
        if (m == "Settings saved.")
            events << "settings";
    });
    child<QComboBox>("defaultControlBox")->setCurrentIndex(2);

    QCOMPARE(hub->GetNode(3).type, 2);
    QCOMPARE(hub->GetNode(3).action, 0);
    QCOMPARE(hub->GetNode(6).action, 0);
    QCOMPARE(hub->getCalibration().globalControl, 2);
    QCOMPARE(events, QStringList({"state", "settings"}));
    QCOMPARE(window->handWidget()->nodeLabel(3), QString("TR-U"));

    // Another kind leaves the map alone.
    events.clear();
    child<QComboBox>("defaultControlBox")->setCurrentIndex(1);
    QCOMPARE(events, QStringList({"settings"}));

    // removeGlobalBend resets the choice silently only while it is "Pitch Bend".
    window->removeGlobalBend();
    QCOMPARE(hub->getCalibration().globalControl, 1);
    child<QComboBox>("defaultControlBox")->setCurrentIndex(2);
    window->removeGlobalBend();
    QCOMPARE(hub->getCalibration().globalControl, 0);
    QCOMPARE(child<QComboBox>("defaultControlBox")->currentIndex(), 0);
}

void TestMainWindow::muteFromHubAndFromUser()
{
    auto *mute = child<QCheckBox>("muteBox");
    QSignalSpy status(hub, &KorvaneCore::sendStatusMessage);
    KorvaneHandWidget *hand = window->handWidget();
    const int note = hub->GetState(0).nodes[5].note;

    // Set by the hub: the box follows, the hub is not called back.
    hand->Trigger(note, true, 100);
    emit hub->SendMute(true);
    QVERIFY(mute->isChecked());
    QVERIFY(!hub->GetMute());
    QCOMPARE(savedCount(status), 0);
    QVERIFY(hand->node(5).triggered);

    // Set by the user: the hub mutes and saves, the lit sensors go dark.
    mute->click();
    QVERIFY(!mute->isChecked());
    QCOMPARE(savedCount(status), 1);
    hand->Trigger(note, true, 100);
    mute->click();
    QVERIFY(mute->isChecked());
    QVERIFY(hub->GetMute());
    QVERIFY(!hand->node(5).triggered);
}

void TestMainWindow::scaleChoiceSpellsMinorKeys()
{
    auto *scales = child<QComboBox>("comboBox");
    KorvaneHandWidget *hand = window->handWidget();
    for (int i : {1, 2, 5, 7}) {
        scales->setCurrentIndex(i);
        QVERIFY2(!hand->majorScale(), qPrintable(scales->itemText(i)));
        QCOMPARE(hub->GetState(0).scale, i);
        QCOMPARE(child<QLabel>("patchNameLine")->text(), scales->itemText(i));
    }
    for (int i : {3, 0, 4, 6, 23}) {
        scales->setCurrentIndex(i);
        QVERIFY2(hand->majorScale(), qPrintable(scales->itemText(i)));
    }
    // The hand shows the regenerated map.
    QCOMPARE(hand->node(1).note, hub->GetState(0).nodes[1].note);
}

void TestMainWindow::testSoundChoice()
{
    const QString dp = hub->GetDataPath();
    QCOMPARE(MainWindow::testSoundFile(dp, 0), dp + "/sounds/Electric Piano.kvi");
    QCOMPARE(MainWindow::testSoundFile(dp, 1), dp + "/sounds/Marimba.kvi");
    QCOMPARE(MainWindow::testSoundFile(dp, 2), dp + "/sounds/Flute.kvi");
    QCOMPARE(MainWindow::testSoundFile(dp, 7), dp + "/sounds/Electric Piano.kvi");

    // The choice reaches the hub's instrument loader with that file.
    QSignalSpy status(hub, &KorvaneCore::sendStatusMessage);
    QSignalSpy loaded(hub, &KorvaneCore::SendLoadedSoundName);
    auto *box = child<QComboBox>("testSoundBox");
    const QStringList names = {"Marimba.kvi", "Flute.kvi", "Electric Piano.kvi"};
    for (int i : {1, 2, 0}) {
        status.clear();
        loaded.clear();
        box->setCurrentIndex(i);
        const QString file = names[i == 0 ? 2 : i - 1];
        bool mentioned = false;
        for (const auto &args : status)
            mentioned |= args.at(0).toString().contains(file);
        for (const auto &args : loaded)
            mentioned |= args.at(0).toString() + ".kvi" == file;
        QVERIFY2(mentioned, qPrintable(file));
        // The preset itself is playing now.
        QCOMPARE(hub->audio()->sampleCount(), i == 1 ? 6 : (i == 2 ? 7 : 1));
    }
}

void TestMainWindow::soundsButtonOpensTheSoundBrowser()
{
    auto *browser = window->findChild<KorvaneSoundView *>();
    QVERIFY(browser);
    QVERIFY(!browser->isVisible());
    QTest::mouseClick(child<QPushButton>("soundsButton"), Qt::LeftButton);
    QVERIFY(browser->isVisible());
    browser->hide();
}

void TestMainWindow::octaveKeptAfterMapLoad()
{
    // A map saved at octave 5 ...
    hub->ScaleRequest(-1, 5, -1);
    const QString path = hub->GetDataPath() + "/maps/High.kvs";
    QVERIFY(hub->SaveState(path));
    const KorvaneSensorsState saved = hub->GetState(0);
    hub->ScaleRequest(-1, 3, -1);

    // ... loads with the window counting octave 5, so a scale chosen next stays there.
    QVERIFY(hub->LoadState(path));
    QCOMPARE(window->getOctaveCounter(), 5);
    QCOMPARE(child<QLabel>("patchNameLine")->text(), QString("High"));
    QCOMPARE(window->handWidget()->node(1).note, saved.nodes[1].note);
    child<QComboBox>("comboBox")->setCurrentIndex(0);
    child<QComboBox>("comboBox")->setCurrentIndex(1);
    child<QComboBox>("comboBox")->setCurrentIndex(0);
    QCOMPARE(hub->GetState(0).octave, 5);
    QCOMPARE(hub->GetState(0).nodes[1].note, saved.nodes[1].note);

    // A map from the device counts the same way.
    KorvaneSensorsState fromDevice = saved;
    fromDevice.octave = 2;
    hub->UpdateState(fromDevice);
    window->SysExLoadComplete();
    QCOMPARE(window->getOctaveCounter(), 2);
}

void TestMainWindow::transposeAndNodeEditsRefreshTheHand()
{
    KorvaneHandWidget *hand = window->handWidget();
    const int note = hub->GetState(0).nodes[4].note;
    child<QPushButton>("transposeUp")->click();
    QCOMPARE(window->getKeyOffset(), 1);
    QCOMPARE(hand->node(4).note, note + 1);
    child<QPushButton>("oupButton")->click();
    QCOMPARE(window->getOctaveCounter(), 5);
    QCOMPARE(hand->node(4).note, note + 13);
    child<QPushButton>("odownButton")->click();
    child<QPushButton>("transPoseDown")->click();
    QCOMPARE(hand->node(4).note, note);

    KorvaneSensorNode cc(2, 1);
    cc.cc = 21;
    window->UpdateNode(cc, 2);
    QCOMPARE(hub->GetNode(2).type, 1);
    QCOMPARE(hand->nodeLabel(2), QString("CC21"));

    // The device's layout choice reaches the hand.
    emit hub->SendRemoteDevice(2);
    QCOMPARE(hand->deviceType(), 2);
    QCOMPARE(hand->nodeCount(), 16);
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
