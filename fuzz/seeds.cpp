// Writes seed corpora made by our own writers: varno-fuzz-seeds OUTPUT_DIR
#include "core/mapfile.h"
#include "core/settingsfile.h"
#include "scales/mapping.h"

#include <QDir>
#include <QFile>

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
        put(out + "/mapfile", QStringLiteral("map%1.kvs").arg(scale), MapFile::serialize(m, 0.2f, 1));
    }
    SettingsFile::Settings st;
    put(out + "/settingsfile", "default.ini", SettingsFile::serialize(st, 0.5f));
    st.calibration.setVelocityCurveType(CurveSudden);
    st.mute = 1;
    st.remoteMap = 2;
    put(out + "/settingsfile", "changed.ini", SettingsFile::serialize(st, 0.5f));
    put(out + "/settingsfile", "short.ini", SettingsFile::serialize(st, 0.5f).left(62));
    return 0;
}
