// Export of an instrument as a folder of WAV files (one per sample) with an SFZ file that maps
// them the way the sampler plays them, so that the instrument sounds alike in SFZ players.
#pragma once

#include "base/samplertypes.h"

#include <QString>
#include <QStringList>

namespace SfzExport {

// A file name stem made of name with every character that a file system or an SFZ parser
// could trip on replaced by "_" and a trailing audio extension dropped; "sample" when empty.
QString safeStem(const QString &name);

// One WAV file name per sample, in the instrument's order, unique within the list.
QStringList wavFileNames(const KorvaneInstrument &instrument);

// MIDI note and cents (-50..50) nearest to a frequency: the pitch keycenter and tune opcodes.
void keycenterFor(double frequency, int *note, int *cents);

// The SFZ text for the instrument whose samples are stored under wavNames (same order).
QString sfzText(const KorvaneInstrument &instrument, const QStringList &wavNames,
                const QString &title, double sampleRate);

// Writes one float WAV file (stereo, element 1 as the left channel) through a temporary file
// that replaces path only when complete.
bool writeWav(const QString &path, const std::vector<StereoFrame> &frames, double sampleRate,
              QString *error);

// Creates folder (when missing) and writes title + ".sfz" and the WAV files into it. Returns
// false with *error when a file could not be written; files already written stay.
bool exportInstrument(const KorvaneInstrument &instrument, const QString &folder,
                      const QString &title, double sampleRate, QString *error);

} // namespace SfzExport
