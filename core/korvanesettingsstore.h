// The settings file ("settings.ini"), the last bend and gyro settings sent ("bendgyro.bin":
// the six bend bytes, then the three gyro bytes) and the device's write count
// ("write.count") in the data folder. A file that cannot be used is reported, kept beside as
// ".damaged" and the values in memory stay. GUI thread only.
#pragma once

#include "core/settingsfile.h"

#include <QObject>
#include <QString>

#include <cstdint>

class KorvaneSettingsStore : public QObject
{
    Q_OBJECT
public:
    // version is the settings file version written and the oldest one read.
    KorvaneSettingsStore(const QString &dataPath, float version, QObject *parent = nullptr);

    QString settingsPath() const { return dataPath + QStringLiteral("/settings.ini"); }
    QString writeCountPath() const { return dataPath + QStringLiteral("/write.count"); }
    QString bendGyroPath() const { return dataPath + QStringLiteral("/bendgyro.bin"); }

    // Writes settings atomically and says so on the status line.
    bool save(const SettingsFile::Settings &settings);
    // Applies the settings file onto settings; false with settings unchanged when there is
    // no file or it was refused.
    bool load(SettingsFile::Settings &settings);

    // The last bend and gyro settings sent, as the settings file is: saved atomically; false
    // with both unchanged when there is no file or it was refused.
    bool saveBendGyro(const KorvaneBendSettings &bend, const KorvaneGyroSettings &gyro);
    bool loadBendGyro(KorvaneBendSettings &bend, KorvaneGyroSettings &gyro);

    int writeCount() const { return count; }
    // Reads the count (0 without a file) and reports it through writeCountChanged.
    void loadWriteCount();
    bool saveWriteCount();
    // One more write to the device's memory: counted, reported and saved.
    void increaseWriteCount();

signals:
    void statusMessage(QString message);
    void writeCountChanged(int count);

private:
    QString dataPath;
    float version;
    int32_t count = 0;
};
