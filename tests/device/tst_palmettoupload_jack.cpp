// The older dialect's settings upload in full (72 seconds) through the hub to the emulator:
// progress shows while it runs, the window's thread keeps running, a later upload queues
// behind it, and the device receives the ten messages eight seconds apart.
#include "core/korvanecore.h"
#include "device/korvanemidiengine.h"
#include "device/sysexcodec.h"
#include "tests/support/emulatorcontrol.h"
#include "tests/support/hubtestenv.h"

#include <QSignalSpy>
#include <QtTest>

class TestPalmettoUploadJack : public QObject
{
    Q_OBJECT
private slots:
    void settingsUploadTakes72Seconds()
    {
        EmulatorControl emu;
        QVERIFY(emu.connectToEmulator());
        emu.command("plug");
        emu.command("reset");

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
        cal.offThreshold = 5;
        cal.midiChannel = 7;
        cal.setVelocityCurveType(CurveSudden);
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
        // Status lines come from the sender thread, queued: let the last ones arrive.
        for (int i = 1; i <= 10; ++i)
            QTRY_VERIFY(status.contains(QString("Sending settings %1 of 10").arg(i)));
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
        QCOMPARE(emu.held("calibration").left(20), QString("delay 55 on 33 off 5"));
        QCOMPARE(emu.held("settings"), QString("control 4 cc 1 channel 7"));
        QVERIFY(emu.held("uploads").endsWith("palmetto-mapping 1 palmetto-settings 1"));
    }

private:
    HubTestEnv env;
};

QTEST_GUILESS_MAIN(TestPalmettoUploadJack)
#include "tst_palmettoupload_jack.moc"
