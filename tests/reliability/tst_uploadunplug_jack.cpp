// The device disappears in the middle of an upload and comes back: the program keeps
// running, says the upload did not complete, reconnects, and the next upload arrives whole.
#include "tests/support/hubtestenv.h"
#include "tests/support/emulatorcontrol.h"
#include "core/korvanecore.h"
#include "device/korvanemidiengine.h"
#include "device/sysexcodec.h"

#include <QSignalSpy>
#include <QtTest>

using namespace std::chrono;

class TestUploadUnplug : public QObject
{
    Q_OBJECT
private slots:
    void deviceLeavesMidUpload()
    {
        EmulatorControl emu;
        QVERIFY(emu.connectToEmulator());
        QCOMPARE(emu.command("plug"), QString("plugged\n"));
        emu.command("reset");
        HubTestEnv env;

        KorvaneCore hub;
        QSignalSpy connected(&hub, SIGNAL(EnableMIDIDisconnect()));
        QSignalSpy lost(&hub, SIGNAL(EnableMIDIConnect()));
        QSignalSpy synced(&hub, SIGNAL(SysExLoadCompleted()));
        QTRY_VERIFY_WITH_TIMEOUT(connected.count() >= 1 && synced.count() >= 1, 10000);
        QTRY_VERIFY(!hub.midi()->isSending());
        QStringList status;
        connect(&hub, &KorvaneCore::sendStatusMessage, this,
                [&](const QString &s) { status << s; });

        // The older dialect's settings: ten messages, here 400 ms apart instead of 8 s.
        hub.midi()->setPauses(milliseconds(30), milliseconds(400));
        hub.setRemoteType(0);
        KorvaneCalibration cal = hub.getCalibration();
        cal.onThreshold = 33;
        emu.command("clear");
        lost.clear();
        hub.setSettings(cal);
        QTRY_VERIFY_WITH_TIMEOUT(status.contains("Sending settings 3 of 10"), 5000);
        QCOMPARE(emu.command("unplug"), QString("unplugged\n"));
        QTRY_VERIFY_WITH_TIMEOUT(lost.count() >= 1, 5000);
        QTRY_VERIFY_WITH_TIMEOUT(!hub.midi()->isSending(), 10000);
        // The sender thread's last status lines arrive queued.
        QTRY_VERIFY_WITH_TIMEOUT(!status.filter("Upload interrupted").isEmpty(), 5000);
        const QString interrupted = status.filter("Upload interrupted").value(0);
        QVERIFY2(interrupted.contains(" of 10 messages"), qPrintable(status.join('|')));
        const int arrived = int(emu.received().size());
        QVERIFY(arrived >= 2 && arrived < 10);
        // What the user asked for is still held and stored.
        QCOMPARE(int(hub.getCalibration().onThreshold), 33);

        // The device comes back; the program finds it and the upload goes again, whole.
        connected.clear();
        synced.clear();
        QCOMPARE(emu.command("plug"), QString("plugged\n"));
        QTRY_VERIFY_WITH_TIMEOUT(connected.count() >= 1 && synced.count() >= 1, 10000);
        QTRY_VERIFY(!hub.midi()->isSending());
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
};

QTEST_GUILESS_MAIN(TestUploadUnplug)
#include "tst_uploadunplug_jack.moc"
