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
    ins.nextSampleId = 3;
    ins.envelope = KorvaneEnvelope{7, 11, 0.5f, 600};
    ins.reverb = KorvaneSamplerReverb{0.1f, 0.2f, 0.3f, 0.4f};
    ins.hasVolumes = true;
    return ins;
}

void appendInt(QByteArray &b, qint32 v)
{
    char raw[4];
    std::memcpy(raw, &v, 4);
    b.append(raw, 4);
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
    void roundTrip()
    {
        const KorvaneInstrument in = sampleInstrument();
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("round.kvi"));
        QString error;
        QVERIFY(writeInstrumentFile(path, in, &error));
        KorvaneInstrument out;
        QVERIFY2(readInstrumentFile(path, out, &error), qPrintable(error));
        QCOMPARE(out.samplerMode, 1);
        QCOMPARE(int(out.samples.size()), 3);
        for (size_t i = 0; i < 3; ++i) {
            const SamplerSample &a = in.samples[i];
            const SamplerSample &b = out.samples[i];
            QCOMPARE(b.name, a.name);
            QCOMPARE(
                QList<double>({double(b.id), double(b.key), double(b.loop), double(b.loopStart),
                               double(b.loopEnd), double(b.start), b.baseFrequency, b.volume}),
                QList<double>({double(a.id), double(a.key), double(a.loop), double(a.loopStart),
                               double(a.loopEnd), double(a.start), a.baseFrequency, a.volume}));
            QVERIFY(b.frames == a.frames);
        }
        QVERIFY(out.hasNextSampleId && out.hasEnvelope && out.hasReverb && out.hasVolumes);
        QCOMPARE(out.nextSampleId, 3);
        QCOMPARE(out.envelope.release, 600);
        QCOMPARE(out.envelope.sustain, 0.5f);
        QCOMPARE(out.reverb.amount, 0.4f);
        QVERIFY(!out.hasControllerMode);
        // The layout: samples, next id, 777, 32 bytes, 888, one float per sample.
        QCOMPARE(serializeInstrument(in).size(), samplesPartSize(in) + 4 + 4 + 32 + 4 + 12);

        // A failing write reports it and leaves nothing behind.
        QVERIFY(!writeInstrumentFile(dir.filePath(QStringLiteral("missing/x.kvi")), in, &error));
        QVERIFY(!error.isEmpty());
    }

    void presetKindAndShortFiles()
    {
        KorvaneInstrument in = sampleInstrument();
        in.hasVolumes = false;
        const QByteArray preset = serializeInstrument(in);
        QCOMPARE(preset.size(), samplesPartSize(in) + 40);
        KorvaneInstrument out;
        QVERIFY(parseInstrument(preset, out, nullptr));
        QVERIFY(!out.hasVolumes);
        QVERIFY(!out.hasControllerMode);
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
        in.hasVolumes = true;
        QByteArray full = serializeInstrument(in);
        appendInt(full, 818);
        appendInt(full, 1);
        QVERIFY(parseInstrument(full, out, nullptr));
        QVERIFY(out.hasControllerMode);
        QCOMPARE(out.controllerMode, 1);

        // An unknown marker in place of 777 is skipped; the next field is read as the volumes
        // marker.
        QByteArray odd = bare;
        appendInt(odd, 9);   // next id
        appendInt(odd, 123); // not 777
        appendInt(odd, 888);
        for (int i = 0; i < 3; ++i)
            appendInt(odd, 0x3f000000); // 0.5f
        QVERIFY(parseInstrument(odd, out, nullptr));
        QVERIFY(!out.hasReverb);
        QVERIFY(out.hasVolumes);
        QCOMPARE(out.samples[1].volume, 0.5f);
        QCOMPARE(out.nextSampleId, 9);
    }

    void nameStopsAtZeroByte()
    {
        KorvaneInstrument in;
        SamplerSample s = sineSample(440.0, 10);
        s.name = QString::fromLatin1("Ab\0cd", 5);
        in.samples.push_back(s);
        KorvaneInstrument out;
        QVERIFY(parseInstrument(serializeInstrument(in), out, nullptr));
        QCOMPARE(out.samples[0].name, QStringLiteral("Ab"));
        QCOMPARE(int(out.samples[0].frames.size()), 10);
    }

    void damagedFilesAreRefused()
    {
        KorvaneInstrument in = sampleInstrument();
        const QByteArray good = serializeInstrument(in);
        const int samplesEnd = samplesPartSize(in);
        // Every truncation: a cut inside a sample record or inside a block is refused with a
        // reason; a cut at a block boundary is a shorter valid file.
        const QList<int> boundaries = {samplesEnd, samplesEnd + 4, samplesEnd + 40};
        for (int cut = 0; cut < good.size(); ++cut) {
            KorvaneInstrument out;
            QString error;
            const bool ok = parseInstrument(good.left(cut), out, &error);
            QVERIFY2(ok == boundaries.contains(cut), qPrintable(QString::number(cut)));
            if (!ok)
                QVERIFY(error.startsWith(QStringLiteral("Damaged instrument file")));
        }

        auto patched = [&](int offset, qint32 value) {
            QByteArray b = good;
            std::memcpy(b.data() + offset, &value, 4);
            return b;
        };
        KorvaneInstrument out;
        // Counts and lengths that do not fit the bytes left, negative or huge.
        QVERIFY(!parseInstrument(patched(4, 0x7fffffff), out, nullptr));
        QVERIFY(!parseInstrument(patched(4, -1), out, nullptr));
        const int nameLength = 8 + 32;
        QVERIFY(!parseInstrument(patched(nameLength, -5), out, nullptr));
        QVERIFY(!parseInstrument(patched(nameLength, 0x7ffffff0), out, nullptr));
        const int frameCount = nameLength + 4 + in.samples[0].name.toUtf8().size();
        QVERIFY(!parseInstrument(patched(frameCount, 0x7fffffff), out, nullptr));
        QVERIFY(!parseInstrument(patched(frameCount, -1), out, nullptr));
        // Audio that is not a number would poison the mix for good.
        QVERIFY(!parseInstrument(patched(frameCount + 4, 0x7fc00000), out, nullptr));
        QVERIFY(!parseInstrument(QByteArray(), out, nullptr));
        QVERIFY(!parseInstrument(QByteArray(7, '\xff'), out, nullptr));

        // Random garbage never crashes and is nearly always refused.
        QRandomGenerator rng(5);
        for (int i = 0; i < 2000; ++i) {
            QByteArray junk = good;
            for (int j = 0; j < 8; ++j)
                junk[int(rng.bounded(junk.size()))] = char(rng.bounded(256));
            parseInstrument(junk, out, nullptr);
        }

        QString error;
        QVERIFY(!readInstrumentFile(QStringLiteral("/nonexistent/x.kvi"), out, &error));
        QVERIFY(!error.isEmpty());
    }
};

VARNO_TEST_CLASS(TestInstrumentFile)
#include "tst_instrumentfile.moc"
