// The device link against the device emulator on a private JACK server (started by the
// CTest fixture), through the real RtMidi backend.
// A slow test runs only with VARNO_SLOW_TESTS set.
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

        // The one-second check finds the device and synchronises with it.
        QTRY_VERIFY_WITH_TIMEOUT(mapLoaded.count() >= 1 && settingsUi.count() >= 1, 5000);
        QCOMPARE(device[0][0].toInt(), 2);
        const KorvaneSensorsState s = hub.GetState();
        const auto c = settingsUi.last()[0].value<KorvaneCalibration>();
        QCOMPARE(QList<int>({int(s.nodes.size()), s.nodes[1].note, s.nodes[12].note, s.octave,
                             c.onThreshold, c.offThreshold, c.midiChannel}),
                 QList<int>({24, 60, 48, 3, 40, 20, 3}));
        // A vesko device gets its calibration echoed back.
        QTRY_VERIFY(emu.held("uploads").contains("calibration 1") ||
                    emu.held("uploads").contains("calibration 2"));
    }
    void deviceLeavesMidUpload()
    {
        // The device disappears in the middle of an upload and comes back: the program keeps
        // running, says the upload did not complete, reconnects, and the next upload arrives
        // whole.
        KorvaneCore hub;
        QSignalSpy connected(&hub, SIGNAL(EnableMIDIDisconnect()));
        QSignalSpy lost(&hub, SIGNAL(EnableMIDIConnect()));
        QSignalSpy synced(&hub, SIGNAL(SysExLoadCompleted()));
        QSignalSpy calibrated(&hub, SIGNAL(UpdateSettingsUI(KorvaneCalibration)));
        // Connected, with the device's map and its calibration (which arrives after the map)
        // taken, so that no reply of the device overrides what is sent next.
        auto sync = [&] {
            QTRY_VERIFY_WITH_TIMEOUT(
                connected.count() >= 1 && synced.count() >= 1 && calibrated.count() >= 1, 10000);
            QTRY_VERIFY(!hub.midi()->isSending());
        };
        sync();
        emu.command("clear");
        QStringList status;
        connect(&hub, &KorvaneCore::sendStatusMessage, this,
                [&](const QString &s) { status << s; });

        // The older dialect's settings: ten messages, here 400 ms apart instead of 8 s.
        hub.midi()->setPauses(std::chrono::milliseconds(30), std::chrono::milliseconds(400));
        hub.setRemoteType(0);
        KorvaneCalibration cal = hub.getCalibration();
        cal.onThreshold = 33;
        lost.clear();
        hub.setSettings(cal);
        QTRY_VERIFY_WITH_TIMEOUT(status.contains("Sending settings 3 of 10"), 5000);
        QElapsedTimer t;
        t.start();
        QCOMPARE(emu.command("unplug"), QString("unplugged\n"));
        QTRY_VERIFY_WITH_TIMEOUT(lost.count() >= 1, 5000);
        qInfo("unplug noticed after %lld ms", t.elapsed());
        QTRY_VERIFY_WITH_TIMEOUT(!hub.midi()->isSending(), 10000);
        // The sender thread's last status lines arrive queued.
        QTRY_VERIFY_WITH_TIMEOUT(!status.filter("Upload interrupted").isEmpty(), 5000);
        QVERIFY2(status.filter("Upload interrupted")[0].contains(" of 10 messages"),
                 qPrintable(status.join('|')));
        const int arrived = int(emu.received().size());
        QVERIFY(arrived >= 2 && arrived < 10);
        // What the user asked for is still held and stored.
        QCOMPARE(int(hub.getCalibration().onThreshold), 33);

        // The device comes back; the program finds it, asks once for its information, and the
        // upload goes again, whole.
        connected.clear();
        synced.clear();
        calibrated.clear();
        emu.command("clear");
        t.restart();
        QCOMPARE(emu.command("plug"), QString("plugged\n"));
        sync();
        qInfo("replug synchronised after %lld ms", t.elapsed());
        QCOMPARE(count(emu.received(), kInfoRequest), 1);
        emu.command("clear");
        status.clear();
        hub.setSettings(cal);
        QTRY_VERIFY_WITH_TIMEOUT(!hub.midi()->isSending(), 10000);
        QTRY_COMPARE(int(emu.received().size()), 10);
        const auto got = emu.received();
        const auto expected = KorvaneSysex::settingsPalmetto(cal);
        for (size_t i = 0; i < expected.size(); ++i)
            QVERIFY(got[i].bytes == expected[i]);
        QVERIFY(status.filter("Upload interrupted").isEmpty());
    }

    void settingsUploadTakes72Seconds()
    {
        // The older dialect's settings upload in full (72 seconds) through the hub: progress
        // shows while it runs, the window's thread keeps running, a later upload queues behind
        // it, and the device receives the ten messages eight seconds apart.
        if (!qEnvironmentVariableIsSet("VARNO_SLOW_TESTS"))
            QSKIP("runs as test_palmettoupload_jack");
        KorvaneCore hub;
        QSignalSpy connected(&hub, SIGNAL(EnableMIDIDisconnect()));
        QTRY_VERIFY_WITH_TIMEOUT(connected.count() >= 1, 5000);
        QTRY_VERIFY(!hub.midi()->isSending());
        QTest::qWait(300);
        emu.command("clear");

        QStringList status;
        connect(&hub, &KorvaneCore::sendStatusMessage, this,
                [&](const QString &s) { status << s; });
        KorvaneCalibration cal;
        cal.onThreshold = 33;
        hub.setRemoteType(0);
        hub.setSettings(cal); // Palmetto: ten messages, 8 s apart
        hub.SendState();      // the mapping queues behind it

        // Longest gap between ticks of a 10 ms timer on this (the window's) thread. A real event
        // loop runs meanwhile: QTRY_* would sleep 10 ms between its rounds of events, and the
        // gaps would measure that sleep.
        QElapsedTimer clock, tick;
        clock.start();
        tick.start();
        qint64 longestStall = 0;
        bool progressSeenWhileRunning = false;
        QEventLoop loop;
        QTimer ticker;
        ticker.setTimerType(Qt::PreciseTimer);
        connect(&ticker, &QTimer::timeout, this, [&] {
            longestStall = std::max(longestStall, tick.restart());
            if (status.contains("Sending settings 5 of 10") && hub.midi()->isSending())
                progressSeenWhileRunning = true;
            if (!hub.midi()->isSending() || clock.elapsed() > 90000)
                loop.quit();
        });
        ticker.start(10);
        loop.exec();
        ticker.stop();
        QVERIFY(!hub.midi()->isSending());
        const qint64 total = clock.elapsed();
        qInfo("settings upload took %lld ms; longest stall of the GUI thread: %lld ms (timer at 10 "
              "ms)",
              total, longestStall);

        QVERIFY(progressSeenWhileRunning);
        // Status lines come from the sender thread, queued: let the last one arrive.
        QTRY_VERIFY(status.contains("Sending sysex to Palmetto: .. success?"));

        QTRY_COMPARE(int(emu.received().size()), 11);
        const auto got = emu.received();
        const auto settings = KorvaneSysex::settingsPalmetto(cal);
        for (int i = 0; i < 10; ++i) {
            QVERIFY(got[size_t(i)].bytes == settings[size_t(i)]);
            if (i > 0) // eight seconds apart, less one JACK period of delivery jitter
                QVERIFY2(got[size_t(i)].ms - got[size_t(i - 1)].ms >= 8000 - 15,
                         qPrintable(QString("gap before message %1").arg(i)));
        }
        QVERIFY(got[10].bytes == KorvaneSysex::mappingPalmetto(hub.GetState()));
    }

private:
    EmulatorControl emu;
    HubTestEnv env;
};

QTEST_GUILESS_MAIN(TestDeviceLinkJack)
#include "tst_devicelink_jack.moc"
