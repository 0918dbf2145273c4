// Which upload the hub sends for each remote type and device variant, and the one-second
// connection check, on a scripted MIDI system.
#include "core/korvanecore.h"
#include "device/korvanemidiengine.h"
#include "tests/support/scriptedmidibackend.h"
#include "device/sysexcodec.h"
#include "tests/support/hubtestenv.h"

#include <QSignalSpy>
#include <QtTest>

using Messages = std::vector<std::vector<uint8_t>>;

class TestRouting : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void mappingByRemoteType();
    void settingsAndCalibrationByRemoteType();
    void bendAndGyroAlwaysRemote();
    void connectionCheck();

private:
    Messages sentSinceClear();
    std::unique_ptr<KorvaneCore> makeHub();

    HubTestEnv env;
    std::shared_ptr<ScriptedMidiSystem> sys;
};

void TestRouting::init()
{
    env.renew();
    sys = std::make_shared<ScriptedMidiSystem>();
    sys->setInputPorts({"KVRN Glove"});
    sys->setOutputPorts({"KVRN Glove"});
}

std::unique_ptr<KorvaneCore> TestRouting::makeHub()
{
    auto hub = std::make_unique<KorvaneCore>(std::make_unique<ScriptedMidiBackend>(sys));
    hub->midi()->setPauses(std::chrono::milliseconds(0), std::chrono::milliseconds(0));
    hub->midi()->FindDevices();
    hub->midi()->waitForUploads(2000);
    sys->clearSent();
    return hub;
}

Messages TestRouting::sentSinceClear()
{
    Messages out;
    for (const auto &s : sys->sent())
        out.push_back(s.bytes);
    sys->clearSent();
    return out;
}

void TestRouting::mappingByRemoteType()
{
    auto hub = makeHub();
    hub->ScaleRequest(-1, -1, 3); // remote type 1, standard layout
    QVERIFY(hub->midi()->waitForUploads(2000));
    QVERIFY(sentSinceClear() == KorvaneSysex::mappingRemote(hub->GetState(), false));

    hub->setRemoteMap(2); // vesko slot order
    hub->SendState();
    QVERIFY(hub->midi()->waitForUploads(2000));
    QVERIFY(sentSinceClear() == KorvaneSysex::mappingRemote(hub->GetState(), true));

    hub->setRemoteType(0);
    hub->Transpose(2);
    QVERIFY(hub->midi()->waitForUploads(2000));
    QVERIFY(sentSinceClear() == Messages{KorvaneSysex::mappingPalmetto(hub->GetState())});

    hub->setRemoteType(2); // no dialect: nothing leaves
    hub->ScaleRequest(1, -1, -1);
    hub->RemoveGlobalBend();
    QVERIFY(hub->midi()->waitForUploads(2000));
    QVERIFY(sentSinceClear().empty());
}

void TestRouting::settingsAndCalibrationByRemoteType()
{
    auto hub = makeHub();
    KorvaneCalibration c;
    c.onThreshold = 33;
    hub->setCalibration(c);
    QVERIFY(hub->midi()->waitForUploads(2000));
    QVERIFY(sentSinceClear() == KorvaneSysex::calibrationRemote(c));
    hub->setSettings(c);
    QVERIFY(hub->midi()->waitForUploads(2000));
    QVERIFY(sentSinceClear() == KorvaneSysex::settingsRemote(c));

    hub->setRemoteType(0); // both go as the older dialect's settings upload
    hub->SendCalibration();
    hub->SendSettings();
    QVERIFY(hub->midi()->waitForUploads(2000));
    Messages twice = KorvaneSysex::settingsPalmetto(c);
    const Messages once = twice;
    twice.insert(twice.end(), once.begin(), once.end());
    QVERIFY(sentSinceClear() == twice);

    // A vesko device gets the calibration it reported echoed back; a standard one does not.
    hub->setRemoteType(1);
    hub->GotSettingsFromDevice();
    QVERIFY(hub->midi()->waitForUploads(2000));
    QVERIFY(sentSinceClear().empty());
    hub->setRemoteMap(2);
    QSignalSpy status(hub.get(), SIGNAL(sendStatusMessage(QString)));
    hub->GotSettingsFromDevice();
    QVERIFY(hub->midi()->waitForUploads(2000));
    QVERIFY(sentSinceClear() == KorvaneSysex::calibrationRemote(c));
    bool echoed = false;
    for (const auto &args : status)
        echoed = echoed || args.at(0).toString() == "Calibration echoed back to device";
    QVERIFY(echoed);
}

void TestRouting::bendAndGyroAlwaysRemote()
{
    auto hub = makeHub();
    hub->setRemoteType(0);
    KorvaneBendSettings b;
    b.bendDelay = 9;
    KorvaneGyroSettings g{2, 40, 1};
    hub->SendBendSettings(b);
    hub->SendGyroSettings(g);
    QVERIFY(hub->midi()->waitForUploads(2000));
    Messages expected = KorvaneSysex::bendRemote(b);
    const Messages gyro = KorvaneSysex::gyroRemote(g);
    expected.insert(expected.end(), gyro.begin(), gyro.end());
    QVERIFY(sentSinceClear() == expected);
}

void TestRouting::connectionCheck()
{
    sys->setInputPorts({});
    sys->setOutputPorts({});
    KorvaneCore hub(std::make_unique<ScriptedMidiBackend>(sys));
    hub.midi()->setPauses(std::chrono::milliseconds(0), std::chrono::milliseconds(0));
    QSignalSpy connectSpy(&hub, SIGNAL(EnableMIDIConnect()));
    QSignalSpy disconnectSpy(&hub, SIGNAL(EnableMIDIDisconnect()));
    hub.CheckMIDI();
    QCOMPARE(connectSpy.count(), 1);
    QCOMPARE(disconnectSpy.count(), 0);
    QVERIFY(hub.midi()->waitForUploads(2000));
    sys->clearSent();

    // The device appears: the check connects and asks it for its configuration once.
    sys->setInputPorts({"KVRN Glove"});
    sys->setOutputPorts({"KVRN Glove"});
    hub.CheckMIDI();
    QCOMPARE(disconnectSpy.count(), 1);
    QVERIFY(hub.midi()->waitForUploads(2000));
    QVERIFY(sentSinceClear() == Messages{KorvaneSysex::infoRequest()});
    hub.CheckMIDI(); // still there: nothing more is asked
    QCOMPARE(disconnectSpy.count(), 2);
    QVERIFY(hub.midi()->waitForUploads(2000));
    QVERIFY(sentSinceClear().empty());

    // It leaves: noticed and reported; it returns: synchronised again.
    sys->setInputPorts({});
    sys->setOutputPorts({});
    hub.CheckMIDI();
    QCOMPARE(connectSpy.count(), 2);
    sys->setInputPorts({"KVRN Glove"});
    sys->setOutputPorts({"KVRN Glove"});
    hub.CheckMIDI();
    QCOMPARE(disconnectSpy.count(), 3);
    QVERIFY(hub.midi()->waitForUploads(2000));
    QVERIFY(sentSinceClear() == Messages{KorvaneSysex::infoRequest()});
}

QTEST_GUILESS_MAIN(TestRouting)
#include "tst_routing.moc"
