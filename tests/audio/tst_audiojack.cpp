// The engine on a real audio server: a private JACK server with the dummy driver (started by
// the CTest fixture at 44100 or 48000 Hz, found through JACK_DEFAULT_SERVER), or PipeWire's
// JACK interface. A client of our own records the engine's output ports, so a note-on can be
// heard and measured.
#include "audio/korvaneaudioengine.h"
#include "tests/support/audiotesthelpers.h"
#include "tests/support/jackrecorder.h"

#include <QtTest>

using namespace audiotest;

class TestAudioJack : public QObject
{
    Q_OBJECT

private:
    // Plays a note and returns what the recorder heard while it sounded.
    static std::vector<double> play(KorvaneAudioEngine &engine, JackRecorder &rec, int note)
    {
        const size_t from = rec.written();
        engine.noteOn(0, note, 127);
        // Eight tenths of a second of the server's time, however loaded the machine is.
        for (int i = 0; i < 100 && rec.written() - from < size_t(rec.rate() * 0.8); ++i)
            QTest::qWait(50);
        engine.noteOff(0, note);
        const size_t to = rec.written();
        return rec.copy(from, to);
    }

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
            const std::vector<double> part = soundingPart(play(engine, rec, c.first), rec.rate());
            QVERIFY2(!part.empty(), "the note was not heard");
            QVERIFY(rms(part, 0, part.size()) > 0.05);
            const double f = zeroCrossingFrequency(part, rec.rate());
            qInfo("note %d at %.0f Hz: heard %.2f Hz", c.first, rec.rate(), f);
            QVERIFY2(std::fabs(f - c.second) < 0.5, qPrintable(QString::number(f)));
            QTest::qWait(300);
        }
        engine.close();
        QVERIFY(!engine.isStreamRunning());
    }
};

QTEST_GUILESS_MAIN(TestAudioJack)
#include "tst_audiojack.moc"
