// Instrument files: round trips, the preset kind, short files, names, damaged and hostile
// input.
#include "audio/instrumentfile.h"
#include "tests/support/audiotesthelpers.h"
#include "tests/support/testmain.h"

#include <QTemporaryDir>
#include <QtTest>

#include <cstring>

using namespace audiotest;

namespace {

// Three samples with every field set, the last name cut by a zero byte.
KorvaneInstrument sampleInstrument()
{
    KorvaneInstrument ins;
    ins.samplerMode = 1;
    for (int i = 0; i < 3; ++i) {
        SamplerSample s = sineSample(220.0 * (i + 1), 100 + 37 * i, 60 + i);
        s.id = i;
        s.name = QStringLiteral("Sample %1 ä").arg(i);
        s.loop = i % 2;
        s.loopStart = 3 * i;
        s.loopEnd = 50 + i;
        s.start = i;
        s.volume = 0.25f * float(i + 1);
        ins.samples.push_back(s);
    }
    ins.samples[2].name = QString::fromLatin1("Ab\0cd", 5);
    ins.nextSampleId = 3;
    ins.envelope = KorvaneEnvelope{7, 11, 0.5f, 600};
    ins.reverb = KorvaneSamplerReverb{0.1f, 0.2f, 0.3f, 0.4f};
    ins.hasVolumes = true;
    return ins;
}

QList<double> fields(const SamplerSample &s)
{
    return {double(s.id),      double(s.key),   double(s.loop), double(s.loopStart),
            double(s.loopEnd), double(s.start), s.baseFrequency};
}

QByteArray withInts(QByteArray b, std::initializer_list<qint32> values)
{
    for (qint32 v : values)
        b.append(reinterpret_cast<const char *>(&v), 4);
    return b;
}

// Size of the samples part of a serialized instrument (mode and count included).
int samplesPartSize(const KorvaneInstrument &ins)
{
    int size = 8;
    for (const SamplerSample &s : ins.samples)
        size += 40 + s.name.toUtf8().size() + int(s.frames.size()) * 8;
    return size;
}

} // namespace

class TestInstrumentFile : public QObject
{
    Q_OBJECT

private slots:
    void roundTripAndShortFiles()
    {
        KorvaneInstrument in = sampleInstrument();
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("round.kvi"));
        QString error;
        QVERIFY(writeInstrumentFile(path, in, &error));
        KorvaneInstrument out;
        QVERIFY2(readInstrumentFile(path, out, &error), qPrintable(error));
        QCOMPARE(out.samplerMode, 1);
        QCOMPARE(int(out.samples.size()), 3);
        for (size_t i = 0; i < 3; ++i) {
            // A name stops at a zero byte.
            QCOMPARE(out.samples[i].name, i < 2 ? in.samples[i].name : QStringLiteral("Ab"));
            QCOMPARE(fields(out.samples[i]), fields(in.samples[i]));
            QCOMPARE(out.samples[i].volume, in.samples[i].volume);
            QVERIFY(out.samples[i].frames == in.samples[i].frames);
        }
        QVERIFY(out.hasNextSampleId && out.hasEnvelope && out.hasReverb && out.hasVolumes);
        QCOMPARE(QList<float>({float(out.nextSampleId), float(out.envelope.release),
                               out.envelope.sustain, out.reverb.amount}),
                 QList<float>({3, 600, 0.5f, 0.4f}));
        QVERIFY(!out.hasControllerMode);
        // The layout: samples, next id, 777, 32 bytes, 888, one float per sample.
        const QByteArray full = serializeInstrument(in);
        QCOMPARE(full.size(), samplesPartSize(in) + 4 + 4 + 32 + 4 + 12);
        // A failing write reports it.
        QVERIFY(!writeInstrumentFile(dir.filePath(QStringLiteral("missing/x.kvi")), in, &error));
        QVERIFY(!error.isEmpty());

        // The presets' kind ends after the reverb: every volume 1.
        in.hasVolumes = false;
        const QByteArray preset = serializeInstrument(in);
        QCOMPARE(preset.size(), samplesPartSize(in) + 40);
        QVERIFY(parseInstrument(preset, out, nullptr));
        QVERIFY(!out.hasVolumes && !out.hasControllerMode);
        QCOMPARE(out.samples[2].volume, 1.0f);
        QCOMPARE(out.envelope.attack, 7);

        // Ending right after the samples: a short default envelope, reverb untouched.
        const QByteArray bare = preset.left(samplesPartSize(in));
        QVERIFY(parseInstrument(bare, out, nullptr));
        QVERIFY(out.hasEnvelope && !out.hasNextSampleId && !out.hasReverb);
        QCOMPARE(QList<float>({float(out.envelope.attack), float(out.envelope.decay),
                               out.envelope.sustain, float(out.envelope.release)}),
                 QList<float>({1, 20, 0.9f, 20}));

        // The optional controller-mode block follows the volumes.
        QVERIFY(parseInstrument(withInts(full, {818, 1}), out, nullptr));
        QVERIFY(out.hasControllerMode);
        QCOMPARE(out.controllerMode, 1);

        // An unknown marker in place of 777 is skipped; the next field is read as the volumes
        // marker (0x3f000000 is 0.5f).
        QVERIFY(parseInstrument(withInts(bare, {9, 123, 888, 0x3f000000, 0x3f000000, 0x3f000000}),
                                out, nullptr));
        QVERIFY(!out.hasReverb && out.hasVolumes);
        QCOMPARE(out.samples[1].volume, 0.5f);
        QCOMPARE(out.nextSampleId, 9);
    }

    void damagedFilesAreRefused()
    {
        KorvaneInstrument in = sampleInstrument();
        const QByteArray good = serializeInstrument(in);
        const int samplesEnd = samplesPartSize(in);
        // Every truncation: a cut inside a sample record or inside a block is refused with a
        // reason; a cut at a block boundary is a shorter valid file.
        const QList<int> boundaries = {samplesEnd, samplesEnd + 4, samplesEnd + 40};
        KorvaneInstrument out;
        QString error;
        for (int cut = 0; cut < good.size(); ++cut) {
            const bool ok = parseInstrument(good.left(cut), out, &error);
            QVERIFY2(ok == boundaries.contains(cut), qPrintable(QString::number(cut)));
            QVERIFY(ok || error.startsWith(QStringLiteral("Damaged instrument file")));
        }

        // Counts and lengths that do not fit the bytes left, negative or huge; audio or an
        // envelope that is not a number (it would poison the mix for good).
        const int nameLength = 8 + 32,
                  frameCount = nameLength + 4 + in.samples[0].name.toUtf8().size();
        const std::pair<int, qint32> patches[] = {{4, 0x7fffffff},
                                                  {4, -1},
                                                  {nameLength, -5},
                                                  {nameLength, 0x7ffffff0},
                                                  {frameCount, -1},
                                                  {frameCount, 0x7fffffff},
                                                  {frameCount + 4, 0x7fc00000},
                                                  {samplesEnd + 16, 0x7fc00000}};
        for (const auto &p : patches) {
            QByteArray b = good;
            std::memcpy(b.data() + p.first, &p.second, 4);
            QVERIFY2(!parseInstrument(b, out, nullptr), qPrintable(QString::number(p.first)));
        }
        QVERIFY(!parseInstrument(QByteArray(), out, nullptr));
        QVERIFY(!parseInstrument(QByteArray(7, '\xff'), out, nullptr));

        QVERIFY(!readInstrumentFile(QStringLiteral("/nonexistent/x.kvi"), out, &error));
        QVERIFY(!error.isEmpty());
    }
};

VARNO_TEST_CLASS(TestInstrumentFile)
#include "tst_instrumentfile.moc"
