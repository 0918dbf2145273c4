#include "korvanesettingsstore.h"

#include "core/atomicfile.h"

#include <QDebug>
#include <QFile>
#include <QFileInfo>
#include <QtEndian>

#include <limits>

namespace {

QByteArray readWholeFile(const QString &path, QString *error)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        if (error)
            *error = f.errorString();
        return QByteArray();
    }
    QByteArray bytes = f.readAll();
    if (f.error() != QFileDevice::NoError && error)
        *error = f.errorString();
    return bytes;
}

// A refused file is about to be replaced by the next save; a copy beside it keeps what it
// held. Returns the copy's name, or an empty string when no copy could be made.
QString keepRefusedFile(const QString &path)
{
    const QString copy = path + QStringLiteral(".damaged");
    QFile::remove(copy);
    return QFile::copy(path, copy) ? QFileInfo(copy).fileName() : QString();
}

} // namespace

KorvaneSettingsStore::KorvaneSettingsStore(const QString &dataPath, float version, QObject *parent)
    : QObject(parent), dataPath(dataPath), version(version)
{
}

bool KorvaneSettingsStore::save(const SettingsFile::Settings &settings)
{
    qDebug() << "Saving app settings";
    qDebug() << "saving midichannel as: " << settings.calibration.midiChannel;
    QString error;
    if (!AtomicFile::write(settingsPath(), SettingsFile::serialize(settings, version), &error)) {
        emit statusMessage(QStringLiteral("Settings could not be saved: %1").arg(error));
        return false;
    }
    emit statusMessage(QStringLiteral("Settings saved."));
    return true;
}

bool KorvaneSettingsStore::load(SettingsFile::Settings &settings)
{
    qDebug() << "Loading app settings..";
    QString error;
    const QString path = settingsPath();
    if (!QFile::exists(path))
        return false;
    const QByteArray bytes = readWholeFile(path, &error);
    if (!error.isEmpty()) {
        emit statusMessage(QStringLiteral("Settings could not be read: %1").arg(error));
        return false;
    }
    SettingsFile::Settings st = settings;
    float fileVersion = 0;
    QStringList clamped;
    const SettingsFile::Result r = SettingsFile::parse(bytes, version, st, &fileVersion, &clamped);
    qDebug() << "file version: " << fileVersion;
    qDebug() << "system version: " << version;
    if (r == SettingsFile::Result::OldVersion) {
        emit statusMessage(QStringLiteral("Settings version mismatch"));
        return false;
    }
    if (r == SettingsFile::Result::Damaged) {
        const QString kept = keepRefusedFile(path);
        emit statusMessage(
            QStringLiteral("Settings file is damaged; default settings are used.") +
            (kept.isEmpty() ? QString() : QStringLiteral(" The file was kept as %1.").arg(kept)));
        return false;
    }
    settings = st;
    if (!clamped.isEmpty())
        emit statusMessage(
            QStringLiteral(
                "Settings: %1 out of range in the file; the nearest allowed value is used.")
                .arg(clamped.join(QStringLiteral(", "))));
    qDebug() << "midichannel in file: " << settings.calibration.midiChannel;
    return true;
}

namespace {
constexpr int kBendGyroSize = 9;
} // namespace

bool KorvaneSettingsStore::saveBendGyro(const KorvaneBendSettings &bend,
                                        const KorvaneGyroSettings &gyro)
{
    const uint8_t raw[kBendGyroSize] = {bend.byte0,     bend.halfway,       bend.bendSpeed,
                                        bend.bendDelay, bend.releaseDelay,  bend.releaseSpeed,
                                        gyro.gyroRate,  gyro.gyroThreshold, gyro.gyroMode};
    QString error;
    if (!AtomicFile::write(bendGyroPath(),
                           QByteArray(reinterpret_cast<const char *>(raw), kBendGyroSize),
                           &error)) {
        emit statusMessage(
            QStringLiteral("Bend and gyro settings could not be saved: %1").arg(error));
        return false;
    }
    return true;
}

bool KorvaneSettingsStore::loadBendGyro(KorvaneBendSettings &bend, KorvaneGyroSettings &gyro)
{
    const QString path = bendGyroPath();
    if (!QFile::exists(path))
        return false;
    QFile f(path);
    QByteArray bytes;
    // Never more than one byte past the layout: a larger file is refused, not read whole.
    if (f.open(QIODevice::ReadOnly))
        bytes = f.read(kBendGyroSize + 1);
    if (!f.isOpen() || f.error() != QFileDevice::NoError) {
        emit statusMessage(
            QStringLiteral("Bend and gyro settings could not be read: %1").arg(f.errorString()));
        return false;
    }
    f.close();
    if (bytes.size() != kBendGyroSize) {
        const QString kept = keepRefusedFile(path);
        emit statusMessage(
            QStringLiteral(
                "Bend and gyro settings file is damaged; the settings in use are kept.") +
            (kept.isEmpty() ? QString() : QStringLiteral(" The file was kept as %1.").arg(kept)));
        return false;
    }
    const auto *b = reinterpret_cast<const uint8_t *>(bytes.constData());
    bend.byte0 = b[0];
    bend.halfway = b[1];
    bend.bendSpeed = b[2];
    bend.bendDelay = b[3];
    bend.releaseDelay = b[4];
    bend.releaseSpeed = b[5];
    gyro.gyroRate = b[6];
    gyro.gyroThreshold = b[7];
    gyro.gyroMode = b[8];
    return true;
}

void KorvaneSettingsStore::loadWriteCount()
{
    QString error;
    const QString path = writeCountPath();
    if (!QFile::exists(path)) {
        qDebug() << "No write count file found";
    } else {
        const QByteArray bytes = readWholeFile(path, &error);
        // Exactly one count, and never a negative one.
        const qint32 read = bytes.size() == 4 ? qFromLittleEndian<qint32>(bytes.constData()) : -1;
        if (read < 0) {
            const QString kept = keepRefusedFile(path);
            emit statusMessage(
                QStringLiteral("Write count file is damaged; count kept at %1.").arg(count) +
                (kept.isEmpty() ? QString()
                                : QStringLiteral(" The file was kept as %1.").arg(kept)));
        } else {
            count = read;
            qDebug() << "write count loaded: " << count;
        }
    }
    emit writeCountChanged(count);
}

bool KorvaneSettingsStore::saveWriteCount()
{
    qDebug() << "Saving write count";
    QByteArray bytes(4, '\0');
    qToLittleEndian<qint32>(count, bytes.data());
    QString error;
    if (!AtomicFile::write(writeCountPath(), bytes, &error)) {
        emit statusMessage(QStringLiteral("Write count could not be saved: %1").arg(error));
        return false;
    }
    return true;
}

void KorvaneSettingsStore::increaseWriteCount()
{
    if (count < std::numeric_limits<int32_t>::max())
        count += 1;
    emit writeCountChanged(count);
    saveWriteCount();
}
