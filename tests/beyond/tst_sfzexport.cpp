// Export of an instrument as WAV files with an SFZ map, read back: the files, the key ranges
// against the sampler's own choice of sample, pitch centre and tune, loops, levels, envelope.
#include "audio/adsrenvelope.h"
#include "audio/korvanesampler.h"
#include "audio/sfzexport.h"
#include "tests/support/audiofiles.h"
#include "tests/support/testfiles.h"

#include <QTemporaryDir>
#include <QtTest>

namespace {

using Opcodes = QMap<QString, QString>;

// The SFZ file's <global> opcodes and its regions, one opcode a line as the exporter writes.
struct Sfz
{
    Opcodes global;
    QList<Opcodes> regions;
};

Sfz parseSfz(const QString &path)
{
    Sfz sfz;
    Opcodes *current = nullptr;
    for (const QString &raw : QString::fromUtf8(testfiles::read(path)).split('\n')) {
        const QString line = raw.trimmed();
        if (line == "<global>" || line == "<region>")
            current = line == "<global>" ? &sfz.global : &(sfz.regions << Opcodes()).last();
        else if (current && line.contains('=') && !line.startsWith("//"))
            current->insert(line.section('=', 0, 0), line.section('=', 1));
    }
    return sfz;
}

SamplerSample sample(const QString &name, double base, int frames, int key)
{
    SamplerSample s;
    s.name = name;
    s.baseFrequency = base;
    s.key = key;
    for (int i = 0; i < frames; ++i)
        s.frames.push_back({float(i % 100) / 100.0f, -float(i % 50) / 50.0f});
    s.loopEnd = frames * 4 / 5;
    return s;
}

KorvaneInstrument instrument(int mode)
{
    KorvaneInstrument ins;
    ins.samplerMode = mode;
    ins.samples.push_back(sample("0 Low/Deep.wav", 220.0, 3000, 50));
    ins.samples.push_back(sample("1 Mid", 445.0, 4000, 62));
    ins.samples.push_back(sample("2 Mid", 880.0, 2000, 50)); // same key as the first
    ins.samples[1].loop = 1;
    ins.samples[1].loopStart = 500;
    ins.samples[1].loopEnd = 3500;
    ins.samples[1].start = 120;
    ins.samples[1].volume = 0.5f;
    ins.samples[2].loop = 3; // played forward like every loop
    ins.envelope = {5, 20, 0.9f, 600};
    return ins;
}

} // namespace

class TestSfzExport : public QObject
{
    Q_OBJECT
private slots:
    void pitchedInstrumentReadsBack()
    {
        QTemporaryDir dir;
        const KorvaneInstrument ins = instrument(0);
        QString error;
        QVERIFY2(SfzExport::exportInstrument(ins, dir.filePath("Out"), "My: Kit", 44100.0, &error),
                 qPrintable(error));
        // Names a file system and an SFZ parser can take, unique, extension dropped.
        const QStringList wavs = {"0 Low_Deep.wav", "1 Mid.wav", "2 Mid.wav"};
        QCOMPARE(QDir(dir.filePath("Out")).entryList({"*.wav"}, QDir::Files, QDir::Name), wavs);
        const Sfz sfz = parseSfz(dir.filePath("Out/My_ Kit.sfz"));
        QVERIFY(!sfz.regions.isEmpty());

        // Every WAV file holds its sample's frames, stereo, left from element 1.
        for (int i = 0; i < 3; ++i) {
            const audiofiles::Read r = audiofiles::read(dir.filePath("Out/" + wavs[i]));
            std::vector<float> want;
            for (const StereoFrame &f : ins.samples[size_t(i)].frames)
                want.insert(want.end(), {f[1], f[0]});
            QVERIFY2(r.ok && r.data == want, qPrintable(wavs[i]));
            QCOMPARE(QList<int>({r.info.samplerate, r.info.channels}), QList<int>({44100, 2}));
        }

        // The regions cover every key once, and each key plays the sample the sampler picks.
        KorvaneSampler sampler(44100.0);
        sampler.addSamples(ins.samples, true);
        sampler.setSamplerMode(0);
        QVector<QString> byKey(128);
        for (const Opcodes &r : sfz.regions) {
            for (int k = r["lokey"].toInt(); k <= r["hikey"].toInt(); ++k) {
                QVERIFY(byKey[k].isEmpty());
                byKey[k] = r["sample"];
            }
        }
        for (int note = 0; note < 128; ++note) {
            sampler.noteOn(0, note, 100);
            int id = -1;
            for (int v = 0; v < sampler.voiceCount(); ++v)
                if (sampler.voiceSlot(v).note == note)
                    id = sampler.voiceSlot(v).sampleId;
            sampler.allNotesOff();
            QCOMPARE(byKey[note], wavs[id]);
        }

        // 445 Hz is A4 twenty cents sharp: the centre is 69, tuned 20 cents down. The loop ends
        // on the last frame before the wrap. Volume 0.5 is squared by the sampler: a quarter.
        const QMap<QString, Opcodes> expected = {
            {wavs[0], {{"pitch_keycenter", "57"}, {"tune", ""}, {"loop_mode", "no_loop"}}},
            {wavs[1],
             {{"pitch_keycenter", "69"},
              {"tune", "-20"},
              {"loop_mode", "loop_continuous"},
              {"loop_start", "500"},
              {"loop_end", "3499"},
              {"offset", "120"}}},
            {wavs[2], {{"loop_mode", "loop_continuous"}, {"loop_end", "1599"}}}};
        for (const Opcodes &r : sfz.regions) {
            const Opcodes want = expected[r["sample"]];
            for (auto it = want.begin(); it != want.end(); ++it)
                QCOMPARE(r.value(it.key()), it.value());
            const double volume = r["sample"] == wavs[1] ? 20.0 * std::log10(0.25) : 0.0;
            QVERIFY(std::fabs(r["volume"].toDouble() - volume) <= (volume ? 1e-3 : 0.0));
        }

        // The envelope in seconds.
        const auto seconds = [&](const char *opcode, double frames) {
            return std::fabs(sfz.global[opcode].toDouble() - frames / 44100.0) < 1e-6;
        };
        QVERIFY(seconds("ampeg_attack", 1000.0) && seconds("ampeg_decay", 4000.0));
        QVERIFY(seconds("ampeg_release", AdsrEnvelope::releaseFrames(600)));
        QCOMPARE(sfz.global["ampeg_sustain"], QString("90"));
    }

    void perKeyInstrumentAndFailures()
    {
        QTemporaryDir dir;
        QString error;
        QVERIFY(
            SfzExport::exportInstrument(instrument(1), dir.filePath("k"), "Keys", 44100.0, &error));
        const Sfz sfz = parseSfz(dir.filePath("k/Keys.sfz"));
        // Key 50 is held by two samples: the later one plays, as in the sampler. Played at the
        // recorded speed, no bend.
        QCOMPARE(sfz.regions.size(), 2);
        QCOMPARE(QStringList({sfz.regions[0]["key"], sfz.regions[0]["sample"],
                              sfz.regions[1]["key"], sfz.regions[1]["sample"],
                              sfz.regions[1]["pitch_keytrack"], sfz.global["bend_up"]}),
                 QStringList({"50", "2 Mid.wav", "62", "1 Mid.wav", "0", "0"}));
        // The first sample, hidden by the later one, is still written out.
        QVERIFY(QFileInfo::exists(dir.filePath("k/0 Low_Deep.wav")));

        // A file where the folder should be; a failed WAV write leaves no partial file behind.
        QVERIFY(testfiles::write(dir.filePath("taken")));
        QVERIFY(!SfzExport::exportInstrument(instrument(0), dir.filePath("taken"), "X", 44100.0,
                                             &error));
        QVERIFY(!error.isEmpty());
        QVERIFY(!SfzExport::writeWav(dir.filePath("taken/a.wav"), {{0.f, 0.f}}, 44100.0, &error));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList({"taken"}));
        QCOMPARE(SfzExport::safeStem(" ../.."), QString("_._.."));
        QCOMPARE(SfzExport::safeStem(""), QString("sample"));
    }
};

QTEST_GUILESS_MAIN(TestSfzExport)
#include "tst_sfzexport.moc"
