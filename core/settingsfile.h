// The settings file ("settings.ini", binary): version, calibration packets, curve types,
// remote type, remote map and the mute word; 66 bytes.
#pragma once

#include "base/korvanerecords.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace SettingsFile {

constexpr int kSize = 66;
constexpr int kMinimumSize = 62; // a file may end before the mute word

struct Settings
{
    KorvaneCalibration calibration;
    int remoteType = 1;
    int remoteMap = 0;
    int mute = 0;
};

enum class Result
{
    Ok,
    OldVersion,
    Damaged
};

QByteArray serialize(const Settings &settings, float version);

// Applies a settings file onto in-out settings. Tables are taken as stored, never
// recomputed. A file ending before the mute word keeps the mute given. OldVersion and
// Damaged leave settings unchanged. *fileVersion receives the version read, if any. A MIDI
// channel or curve type out of range is clamped alone and named in *clamped; a file too short
// or with remote or mute words the program never writes is Damaged.
Result parse(const QByteArray &bytes, float minVersion, Settings &settings,
             float *fileVersion = nullptr, QStringList *clamped = nullptr);

} // namespace SettingsFile
