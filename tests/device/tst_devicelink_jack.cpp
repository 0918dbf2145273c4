// The device link against the device emulator on a private JACK server (started by the
// CTest fixture), through the real RtMidi backend.
#include "core/korvanecore.h"
#include "device/korvanemidiengine.h"
#include "device/sysexcodec.h"
#include "tests/support/emulatorcontrol.h"
#include "tests/support/hubtestenv.h"

#include <QSignalSpy>
#include <QtTest>

using Bytes = std::vector<uint8_t>;

namespace {
const Bytes kInfoRequest = {0xF0, 0x7D, 0x0D, 0xF7};

int count(const std::vector<EmulatorControl::Received> &r, const Bytes &b)
{
    return int(std::count_if(r.begin(), r.end(), [&](const auto &x) { return x.bytes == b; }));
}
} // namespace

class TestDeviceLinkJack : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QVERIFY2(emu.connectToEmulator(), "the emulator's control socket is not there");
    }
    void init()
    {
        env.renew();
        QCOMPARE(emu.command("plug"), QString("plugged\n"));
        emu.command("reset");
        emu.command("clear");
    }
    void engineFindsEmulator()
    {
        KorvaneMidiEngine engine;
        // Signals from the input thread reach these on this thread, queued.
        QStringList status;
        std::vector<KorvaneSensorsState> states;
        int calibrations = 0, types = 0, syncs = 0;
        std::vector<QList<int>> plays, changes;
        connect(&engine, &KorvaneMidiEngine::SendStatusMessage, this,
                [&](const QString &s) { status << s; });
        connect(&engine, &KorvaneMidiEngine::UpdateStateFromSysEX, this,
                [&](const KorvaneSensorsState &s) { states.push_back(s); });
        connect(&engine, &KorvaneMidiEngine::UpdateCalibrationFromSysEX, this,
                [&] { ++calibrations; });
        connect(&engine, &KorvaneMidiEngine::setDeviceType, this, [&] { ++types; });
        connect(&engine, &KorvaneMidiEngine::GotSync, this, [&] { ++syncs; });
        connect(&engine, &KorvaneMidiEngine::MidiPlay, this, [&](int c, int n, int v) {
            plays.push_back({c, n, v});
        });
        connect(&engine, &KorvaneMidiEngine::MidiChange, this, [&](int c, int n, int t, int v) {
            changes.push_back({c, n, t, v});
        });

        engine.FindDevices();
        QVERIFY(engine.isOutputOpen());
        QVERIFY2(status.contains("connected to: KVRN Emulator Out:MIDI out"),
                 qPrintable(status.join('|')));
        QVERIFY(status.contains("connected to: KVRN Emulator In:MIDI in"));

        // The first search asks for the device's information, and the answers come back.
        QTRY_COMPARE_WITH_TIMEOUT(syncs, 1, 10000);
        QCOMPARE(count(emu.received(), kInfoRequest), 1);
        QCOMPARE(types, 1);
        QCOMPARE(int(states.size()), 1);
        const KorvaneSensorsState &s = states[0];
        QCOMPARE(QList<int>({int(s.nodes.size()), s.nodes[0].type, s.nodes[1].note,
                             s.nodes[12].note, s.octave, calibrations}),
                 QList<int>({24, NodeAction, 60, 79, 79 / 12 - 1, 1}));

        // Channel messages arrive as play events.
        emu.command("note 2 64 100");
        emu.command("bend 0 8192");
        QTRY_COMPARE_WITH_TIMEOUT(int(changes.size()), 1, 10000);
        QCOMPARE(int(plays.size()), 1);
        QCOMPARE(plays[0], QList<int>({2, 64, 100}));
        QCOMPARE(changes[0], QList<int>({0, 0, 7, 8192}));
    }
    void uploadArrivesByteForByte()
    {
        KorvaneMidiEngine engine;
        engine.FindDevices();
        QVERIFY(engine.isOutputOpen());
        QVERIFY(engine.waitForUploads(2000));
        QTest::qWait(200); // let the info replies arrive before starting over
        emu.command("clear");

        KorvaneSensorsState map = KorvaneSensorsState::fresh();
        map.nodes[3].type = NodeControlChange;
        map.nodes[3].cc = 74;
        map.nodes[8].note = 0x7D; // a value byte equal to the header travels as nibbles
        map.nodes[17].type = NodeGyroAction;
        map.nodes[17].cc = 2;
        KorvaneCalibration cal;
        cal.aftertouchDelay = 70;
        cal.onThreshold = 30;
        cal.offThreshold = 12;
        cal.velocityScale = 99.9f;
        cal.setAftertouchCurveType(CurveSudden);
        cal.aftertouchScale = 3.0f;
        cal.globalControl = 5;
        cal.globalCC = 11;
        cal.midiChannel = 9;
        KorvaneBendSettings bend;
        bend.bendSpeed = 40;
        bend.releaseSpeed = 7;
        KorvaneGyroSettings gyro{3, 50, 2};

        std::vector<Bytes> expected = KorvaneSysex::mappingRemote(map, false);
        for (const auto &list :
             {KorvaneSysex::calibrationRemote(cal), KorvaneSysex::settingsRemote(cal),
              KorvaneSysex::bendRemote(bend), KorvaneSysex::gyroRemote(gyro)})
            expected.insert(expected.end(), list.begin(), list.end());
        expected.push_back(KorvaneSysex::mappingPalmetto(map));
        expected.push_back(KorvaneSysex::eepromWrite());

        engine.SendStateRemote(map, 0, 0.2f, false);
        engine.SendCalibrationRemote(cal, 0.2f);
        engine.SendSettingsRemote(cal, 0.2f);
        engine.SendBendSettingsRemote(bend, 0.2f);
        engine.SendGyroSettingsRemote(gyro, 0.2f);
        engine.SendState(map, 0);
        engine.SendWriteCommand();
        QTRY_COMPARE_WITH_TIMEOUT(int(emu.received().size()), int(expected.size()), 10000);

        const auto got = emu.received();
        for (size_t i = 0; i < expected.size(); ++i)
            QVERIFY2(got[i].bytes == expected[i], qPrintable(QString("message %1").arg(i)));
        qInfo("mapping upload over JACK, first to last message as the emulator received them: %lld "
              "ms",
              got[24].ms - got[0].ms);

        // What the emulator stored from it.
        const QString mapping = emu.held("mapping");
        // Device order: slot 4 carries node 8, slot 5 node 4.
        QVERIFY2(mapping.startsWith("2/0 0/61 0/62 1/74 0/125 0/64 "), qPrintable(mapping));
        QVERIFY(mapping.endsWith("5/2 100/0 100/0 100/0 100/0 100/0 100/0"));
        QCOMPARE(emu.held("calibration"), QString("delay 70 on 30 off 12 velocity-type 2 "
                                                  "velocity-scale 99 aftertouch-type 3 "
                                                  "aftertouch-scale 3"));
        QCOMPARE(emu.held("settings"), QString("control 5 cc 11 channel 9"));
        QCOMPARE(emu.held("bend"), QString("2 1 40 0 20 7"));
        QCOMPARE(emu.held("gyro"), QString("3 50 2"));
        QCOMPARE(emu.held("eeprom-writes"), QString("1"));
    }
    void deviceDataReachesHub()
    {
        // A vesko device with its own calibration.
        emu.command("set type 1");
        emu.command("set cal on 40");
        emu.command("set cal off 20");
        emu.command("set cal channel 3");
        emu.command("set slot 12 0 48");
        KorvaneCore hub;
        QSignalSpy mapLoaded(&hub, SIGNAL(SysExLoadCompleted()));
        QSignalSpy settingsUi(&hub, SIGNAL(UpdateSettingsUI(KorvaneCalibration)));
        QSignalSpy device(&hub, SIGNAL(SendRemoteDevice(int)));
        QSignalSpy connected(&hub, SIGNAL(EnableMIDIDisconnect()));

        // The one-second check finds the device and synchronises with it.
        QTRY_VERIFY_WITH_TIMEOUT(mapLoaded.count() >= 1 && settingsUi.count() >= 1, 5000);
        QVERIFY(connected.count() >= 1);
        QVERIFY(count(emu.received(), kInfoRequest) >= 1);
        QCOMPARE(device[0][0].toInt(), 2);
        QCOMPARE(hub.GetRemoteMap(), 2);
        const KorvaneSensorsState s = hub.GetState();
        const auto c = settingsUi.last()[0].value<KorvaneCalibration>();
        QCOMPARE(QList<int>({int(s.nodes.size()), s.nodes[1].note, s.nodes[12].note, s.octave,
                             c.onThreshold, c.offThreshold, c.midiChannel}),
                 QList<int>({24, 60, 48, 3, 40, 20, 3}));
        QCOMPARE(int(hub.getCalibration().onThreshold), 40);
        // A vesko device gets its calibration echoed back.
        QTRY_VERIFY(emu.held("uploads").contains("calibration 1") ||
                    emu.held("uploads").contains("calibration 2"));
    }
    void hotPlug()
    {
        KorvaneCore hub;
        QSignalSpy connected(&hub, SIGNAL(EnableMIDIDisconnect()));
        QSignalSpy lost(&hub, SIGNAL(EnableMIDIConnect()));
        QSignalSpy mapLoaded(&hub, SIGNAL(SysExLoadCompleted()));
        QTRY_VERIFY_WITH_TIMEOUT(connected.count() >= 1 && mapLoaded.count() >= 1, 5000);

        lost.clear();
        QElapsedTimer t;
        t.start();
        QCOMPARE(emu.command("unplug"), QString("unplugged\n"));
        QTRY_VERIFY_WITH_TIMEOUT(lost.count() >= 1, 2000);
        qInfo("unplug noticed after %lld ms", t.elapsed());

        emu.command("clear");
        mapLoaded.clear();
        connected.clear();
        t.restart();
        QCOMPARE(emu.command("plug"), QString("plugged\n"));
        QTRY_VERIFY_WITH_TIMEOUT(connected.count() >= 1 && mapLoaded.count() >= 1, 3000);
        qInfo("replug synchronised after %lld ms", t.elapsed());
        QCOMPARE(count(emu.received(), kInfoRequest), 1);
    }

private:
    EmulatorControl emu;
    HubTestEnv env;
};

QTEST_GUILESS_MAIN(TestDeviceLinkJack)
#include "tst_devicelink_jack.moc"
