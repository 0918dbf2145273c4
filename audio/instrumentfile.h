// Instrument files (".kvi"): raw little-endian samples, envelope, reverb and volumes.
#pragma once

#include "base/samplertypes.h"

#include <QByteArray>
#include <QString>

// Parses a whole instrument file held in memory. Every count and length is bounded by the
// bytes left. Returns false and sets *error for a file that cannot be an instrument.
bool parseInstrument(const QByteArray &bytes, KorvaneInstrument &out, QString *error);

// Reads and parses a file; the sampler is not touched.
bool readInstrumentFile(const QString &path, KorvaneInstrument &out, QString *error);

// Samples, next id, envelope and reverb; then the volumes block when in.hasVolumes is set
// (the program's own saves always set it; the presets end after the reverb).
QByteArray serializeInstrument(const KorvaneInstrument &in);

// Writes atomically: the old file stays in place when the write fails.
bool writeInstrumentFile(const QString &path, const KorvaneInstrument &in, QString *error);
