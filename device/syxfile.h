// Backups as standard .syx files: the device's records written as the very messages an upload
// sends, one after another, and a reader that accepts only a file of our own well-formed
// messages in one dialect. Pure logic: no files, no widgets, no MIDI library.
#pragma once

#include "base/korvanerecords.h"
#include "device/sysexcodec.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <vector>

class KorvaneSyxFile
{
public:
    // The dialects, numbered as the hub's remote type.
    enum Dialect
    {
        Palmetto = 0,
        Remote = 1
    };

    // The records a file carries. Reading starts from the caller's records and replaces the
    // fields the file holds, so fields a dialect does not carry keep the caller's values.
    struct Contents
    {
        KorvaneSensorsState map;
        KorvaneCalibration calibration;
        KorvaneBendSettings bend;
        KorvaneGyroSettings gyro;
        bool hasMap = false;
        bool hasCalibration = false; // thresholds and curves (the Remote dialect's calibration)
        bool hasSettings = false;    // channel and controller (the Palmetto dialect: all of it)
        bool hasBend = false;
        bool hasGyro = false;

        // "map, calibration, settings, ..." as a user reads it.
        QStringList recordNames() const;
    };

    // A file larger than this is no backup of ours.
    static constexpr int kMaxBytes = 64 * 1024;

    // The messages of a full backup in the dialect's upload order: map, calibration, settings,
    // bend, gyro (the Palmetto dialect has no bend or gyro messages, and its one settings
    // sequence carries the calibration). vesko: the device uses the vesko slot order.
    static std::vector<KorvaneSysex::Message> backup(int dialect, const Contents &records,
                                                     bool vesko);
    // Only the map's messages.
    static std::vector<KorvaneSysex::Message> mapOnly(int dialect, const KorvaneSensorsState &map,
                                                      bool vesko);
    // The messages one after another.
    static QByteArray join(const std::vector<KorvaneSysex::Message> &messages);

    // Checks bytes and reads them onto records. False with a reason in *error (and records
    // unchanged) unless every byte belongs to a complete, known message of dialect, each
    // header followed by its record. The messages themselves go to *messages when given.
    static bool read(const QByteArray &bytes, int dialect, bool vesko, Contents &records,
                     QString *error, std::vector<KorvaneSysex::Message> *messages = nullptr);

    static QString dialectName(int dialect);
};
