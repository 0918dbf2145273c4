// One thread renders through the stream callback while the GUI thread loads instruments,
// flushes, deletes, edits layers and plays notes. Meant to be run under ThreadSanitizer too
// (VARNO_SANITIZE=thread); on its own it checks that the output stays finite and bounded.
#include "tests/support/audiotesthelpers.h"

#include <QtTest>

#include <atomic>
#include <thread>

using namespace audiotest;

class TestSamplerStress : public QObject
{
    Q_OBJECT

private slots:
    void editWhileRendering()
    {
        Rig r;
        QVERIFY(r.engine.init(44100));
        std::atomic<bool> stop{false}, bad{false};
        std::atomic<long> blocks{0};
        std::thread audio([&] {
            std::vector<double> out(1024), in(1024, 0.1);
            while (!stop.load()) {
                r.backend->process(out.data(), in.data(), 512);
                for (double v : out)
                    bad.store(bad.load() || !std::isfinite(v) || std::fabs(v) > 100.0);
                blocks.fetch_add(1);
            }
        });

        // Six samples of different lengths, every other one looped; and a single short one.
        KorvaneInstrument big;
        for (int i = 0; i < 6; ++i) {
            big.samples.push_back(sineSample(110.0 * (i + 1), 20000 + 1000 * i, 60 + i));
            big.samples.back().loop = i % 2;
            big.samples.back().loopEnd = 15000;
        }
        const KorvaneInstrument small = sineInstrument(1, 330.0, 3000);
        const int rounds = 300;
        for (int round = 0; round < rounds; ++round) {
            r.engine.loadInstrument(round % 2 ? big : small);
            for (int note = 55; note < 70; ++note)
                r.engine.noteOn(0, note, 100);
            r.engine.change(0, 0, 7, (round * 997) % 16384);
            r.engine.change(0, 60, 2, round % 128);
            r.engine.previewPlay(0);
            KorvaneLayerView view = r.engine.getLayerView();
            if (!view.triggers.isEmpty()) {
                view.triggers[0].key = 50 + round % 20;
                view.triggers[0].loop = round % 2;
                view.samplerMode = round % 2;
                r.engine.setLayerView(view);
            }
            r.engine.setEnvelope(KorvaneEnvelope{round % 7, 20, 0.8f, 10 + round % 600});
            r.engine.setReverbAmount(round % 3 == 0 ? -1.0f : 0.3f);
            r.engine.addSample(sineSample(220.0, 5000), false);
            r.engine.deleteSample(0);
            r.engine.flushPrevious();
            for (int note = 55; note < 70; note += 2)
                r.engine.noteOff(0, note);
            if (round % 10 == 0)
                r.engine.flushMemory();
            r.engine.setMute(round % 17 == 0);
            // Let the renderer run a little between rounds.
            const long seen = blocks.load();
            while (blocks.load() < seen + 2)
                std::this_thread::yield();
        }
        stop.store(true);
        audio.join();
        QVERIFY(!bad.load());
        QVERIFY(blocks.load() >= 2 * rounds);
    }
};

QTEST_GUILESS_MAIN(TestSamplerStress)
#include "tst_samplerstress.moc"
