// The scale table, scale names and note names.
#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

#include <vector>

struct ScaleInfo
{
    int count = 0;          // number of steps, 0 for an unknown scale
    std::vector<int> steps; // semitones above the root, strictly increasing from 0
    int scaleNumber = -1;
};

class Scales : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;
    static constexpr int kScaleCount = 24;

    static ScaleInfo getScale(int scaleNumber);
    static QStringList scaleNames();
    // Scale combo indexes 1, 2, 5 and 7 count as minor for note spelling.
    static bool isMajorScale(int scaleNumber);
};

// Pitch-class name of a MIDI note ("C", "D♭", ...), empty for a negative remainder.
QString noteName(int note);
// Note number of a typed name such as "C4", "F#3" or "Bb2"; -1 when it does not parse.
int noteNumber(const QString &text);
