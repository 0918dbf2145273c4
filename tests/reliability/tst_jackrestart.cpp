// The sound server stops while the program runs (the audio stream and the MIDI ports die with
// it) and comes back: the program keeps running, says so, and reconnects both by itself.
#include "audio/korvaneaudioengine.h"
#include "core/korvanecore.h"
#include "tests/support/emulatorcontrol.h"
#include "tests/support/hubtestenv.h"
#include "tests/support/privatejack.h"
#include "tests/support/testfiles.h"

#include <QSignalSpy>
#include <QtTest>

#include <cstdio>

using testfiles::spyHas;

class TestJackRestart : public QObject
{
    Q_OBJECT
private slots:
    void serverStopsAndReturns()
    {
        PrivateJack jack(QStringLiteral("restart"));
        QVERIFY2(jack.startServer(), qPrintable(jack.jackd.readAll()));
        QVERIFY2(jack.startEmulator(), qPrintable(jack.emulator.readAll()));
        HubTestEnv env;

        KorvaneCore hub;
        QSignalSpy status(&hub, SIGNAL(sendStatusMessage(QString)));
        QSignalSpy synced(&hub, SIGNAL(SysExLoadCompleted()));
        QSignalSpy connectedAgain(&hub, SIGNAL(EnableMIDIDisconnect()));
        QSignalSpy lost(&hub, SIGNAL(EnableMIDIConnect()));
        QSignalSpy notes(&hub, SIGNAL(SendNoteTrigger(int, bool, int)));
        hub.StartEngines();
        QTRY_VERIFY_WITH_TIMEOUT(hub.audio()->isStreamRunning(), 10000); // opens beside start-up
        QTRY_VERIFY_WITH_TIMEOUT(synced.count() >= 1, 10000);
        const int samples = hub.audio()->sampleCount();
        QVERIFY(samples > 0);
        QVERIFY(jack.ports().contains(QLatin1String("VARNO Control")));

        // The server goes away.
        status.clear();
        lost.clear();
        QElapsedTimer clock;
        clock.start();
        jack.stopServer();
        QTRY_VERIFY_WITH_TIMEOUT(spyHas(status, "Sound server lost"), 5000);
        QTRY_VERIFY_WITH_TIMEOUT(lost.count() >= 1, 5000);
        const qint64 noticed = clock.elapsed();
        QVERIFY(spyHas(status, "Device disconnected"));
        QVERIFY(!hub.audio()->isStreamRunning());
        // The program goes on: it plays into nothing, keeps its instrument and its map.
        hub.TriggerTest();
        hub.MidiPlay(0, 60, 100);
        QTest::qWait(3000); // several checks find nothing to reconnect to
        QCOMPARE(hub.audio()->sampleCount(), samples);
        QCOMPARE(int(hub.GetState().nodes.size()), 24);

        // It comes back, and the device with it.
        status.clear();
        synced.clear();
        connectedAgain.clear();
        QVERIFY2(jack.startServer(), qPrintable(jack.jackd.readAll()));
        clock.restart();
        EmulatorControl emu;
        QVERIFY(emu.connectToEmulator());
        QCOMPARE(emu.command("reconnect"), QString("plugged\n"));
        QTRY_VERIFY_WITH_TIMEOUT(spyHas(status, "Sound server back"), 5000);
        QVERIFY(hub.audio()->isStreamRunning());
        QTRY_VERIFY_WITH_TIMEOUT(connectedAgain.count() >= 1 && synced.count() >= 1, 10000);
        QVERIFY(jack.ports().contains(QLatin1String("VARNO Control")));
        std::printf("MEASURED server loss noticed (sound and device) after %lld ms; sound and "
                    "device back %lld ms after the server\n",
                    noticed, clock.elapsed());
        std::fflush(stdout);

        // Both directions work again: a note from the device reaches the hub.
        notes.clear();
        emu.command("note 0 64 100");
        QTRY_VERIFY_WITH_TIMEOUT(notes.count() >= 1, 5000);
        QCOMPARE(notes.last().value(0).toInt(), 64);
        QCOMPARE(hub.audio()->sampleCount(), samples);
        hub.ShutDown();
    }
};

QTEST_GUILESS_MAIN(TestJackRestart)
#include "tst_jackrestart.moc"
