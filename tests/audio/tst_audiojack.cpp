// The engine on a real audio server: a private JACK server with the dummy driver (started by
// the CTest fixture at 44100 or 48000 Hz, found through JACK_DEFAULT_SERVER), or PipeWire's
// JACK interface. A client of our own records the engine's output ports, so a note-on can be
// heard and measured.
#include "tests/support/audiotesthelpers.h"
#include "tests/support/jackrecorder.h"

#include <QtTest>

using namespace audiotest;

class TestAudioJack : public QObject
{
    Q_OBJECT

private slots:
    void noteReachesTheOutput()
    {
        KorvaneAudioEngine engine;
        QVERIFY(engine.init(44100));
        QVERIFY(engine.isStreamRunning());

        JackRecorder rec;
        QVERIFY(rec.open());
        QVERIFY(rec.connectFrom("VARNO Control.*:outport 0"));

        KorvaneInstrument ins;
        ins.samples.push_back(sineSample(440.0, 44100 * 4));
        engine.loadInstrument(ins);
        QTest::qWait(200);

        // At the server's rate, whatever it is: the sampler follows it.
        QCOMPARE(engine.streamRate(), rec.rate());
        for (const auto &c : {std::make_pair(69, 440.0), std::make_pair(81, 880.0)}) {
            const QString why = judgeNote(rec.listen([&] { engine.noteOn(0, c.first, 127); },
                                                     [&] { engine.noteOff(0, c.first); }),
                                          rec.rate(), c.second);
            QVERIFY2(why.isEmpty(), qPrintable(why));
            QTest::qWait(300);
        }
        engine.close();
        QVERIFY(!engine.isStreamRunning());
    }
};

QTEST_GUILESS_MAIN(TestAudioJack)
#include "tst_audiojack.moc"
