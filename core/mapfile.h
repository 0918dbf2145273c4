// Map files (".kvs"): a 40-byte little-endian header and 24 node records of 20 bytes.
#pragma once

#include "base/korvanerecords.h"

#include <QByteArray>
#include <QString>

namespace MapFile {

constexpr int kHeaderSize = 40;
constexpr int kNodeSize = 20;
constexpr int kFileSize = kHeaderSize + kSensorCount * kNodeSize; // 520

enum class Result
{
    Ok,
    OldVersion,
    Damaged
};

QByteArray serialize(const KorvaneSensorsState &map, float version, int remoteType);

// Parses a map file. Fields the file does not store are taken from out as it was passed in.
// A file older than minVersion gives OldVersion; one that ends early, holds a node count
// other than 24 or a version that is not a number gives Damaged (with *why). out is only
// changed on Ok.
Result parse(const QByteArray &bytes, float minVersion, KorvaneSensorsState &out,
             QString *why = nullptr);

} // namespace MapFile
