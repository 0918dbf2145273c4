// Writes seed corpora made by our own writers: varno-fuzz-seeds OUTPUT_DIR
#include "audio/instrumentfile.h"
#include "core/mapfile.h"
#include "core/settingsfile.h"
#include "emulateddevice.h"
#include "scales/mapping.h"

#include <QDir>
#include <QFile>

#include <cmath>

static void put(const QString &dir, const QString &name, const QByteArray &bytes)
{
    QDir().mkpath(dir);
    QFile f(dir + QLatin1Char('/') + name);
    if (f.open(QIODevice::WriteOnly))
        f.write(bytes);
}

int main(int argc, char **argv)
{
    if (argc < 2)
        return 2;
    const QString out = QString::fromLocal8Bit(argv[1]);
    for (int scale = 0; scale < 24; scale += 5) {
        KorvaneSensorsState m = KorvaneSensorsState::fresh();
        m.scale = scale;
        m.key = scale % 12;
        generateMapping(m, scale % 2 == 1);
        put(out + "/mapfile", QStringLiteral("map%1.kvs").arg(scale),
            MapFile::serialize(m, 0.2f, 1));
    }
    SettingsFile::Settings st;
    put(out + "/settingsfile", "default.ini", SettingsFile::serialize(st, 0.5f));
    st.calibration.setVelocityCurveType(CurveSudden);
    st.mute = 1;
    st.remoteMap = 2;
    put(out + "/settingsfile", "changed.ini", SettingsFile::serialize(st, 0.5f));
    put(out + "/settingsfile", "short.ini", SettingsFile::serialize(st, 0.5f).left(62));

    // Instruments: a preset-like one (no volumes block) and a saved one with loops.
    KorvaneInstrument ins;
    for (int i = 0; i < 3; ++i) {
        SamplerSample s;
        s.id = i;
        s.key = 60 + 4 * i;
        s.name = QStringLiteral("Sample %1").arg(i);
        s.baseFrequency = 261.63 * (i + 1);
        for (int f = 0; f < 48; ++f) {
            const float v = float(std::sin(f * 0.3 * (i + 1)));
            s.frames.push_back({v, -v});
        }
        s.loop = i % 2;
        s.loopStart = 8;
        s.loopEnd = 40;
        s.volume = 0.5f + 0.25f * i;
        ins.samples.push_back(s);
    }
    ins.nextSampleId = 3;
    ins.envelope = KorvaneEnvelope{5, 20, 0.9f, 107};
    put(out + "/instrumentfile", "preset.kvi", serializeInstrument(ins));
    ins.hasVolumes = true;
    ins.samplerMode = 1;
    put(out + "/instrumentfile", "saved.kvi", serializeInstrument(ins));
    ins.samples.resize(1);
    put(out + "/instrumentfile", "one.kvi", serializeInstrument(ins));

    // What the device sends, as the emulator's device model sends it: each message behind a
    // byte holding its length (the fuzz target's framing).
    EmulatedDevice device;
    device.deviceType = 1;
    device.mapping[3] = {1, 74};
    std::vector<EmulatedDevice::Message> stream = device.infoReplies();
    stream.push_back(device.versionReply());
    stream.push_back({0xF0, 0x7D, 0x16, 0x50, 0xF7});
    const std::vector<EmulatedDevice::Message> channel = {
        {0x90, 60, 100}, {0x80, 60, 0},  {0xA1, 62, 90},  {0xE0, 0, 64},   {0xB0, 7, 100},
        {0xB0, 127, 2},  {0xB0, 127, 3}, {0xB0, 126, 40}, {0xB0, 123, 60}, {0xB0, 123, 0}};
    auto framed = [](const std::vector<EmulatedDevice::Message> &messages) {
        QByteArray b;
        // A long reply goes in pieces, as a MIDI library may deliver it.
        for (const auto &m : messages) {
            for (size_t at = 0; at < m.size(); at += 63) {
                const size_t n = std::min<size_t>(63, m.size() - at);
                b.append(char(n));
                b.append(reinterpret_cast<const char *>(m.data() + at), int(n));
            }
        }
        return b;
    };
    put(out + "/sysexparser", "replies", framed(stream));
    put(out + "/sysexparser", "channel", framed(channel));
    std::vector<EmulatedDevice::Message> mixed;
    for (size_t i = 0; i < stream.size(); ++i) {
        mixed.push_back(stream[i]);
        mixed.push_back(channel[i % channel.size()]);
    }
    put(out + "/sysexparser", "mixed", framed(mixed));
    return 0;
}
