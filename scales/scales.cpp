#include "scales.h"

namespace {

struct ScaleRow
{
    const char *name;
    std::vector<int> steps;
};

const std::vector<ScaleRow> &table()
{
    static const std::vector<ScaleRow> rows = {
        {"Major", {0, 2, 4, 5, 7, 9, 11}},
        {"Natural Minor", {0, 2, 3, 5, 7, 8, 10}},
        {"Harmonic Minor", {0, 2, 3, 5, 7, 8, 11}},
        {"Melodic Minor", {0, 2, 3, 5, 7, 9, 11}},
        {"Pentatonic Major", {0, 2, 4, 7, 9}},
        {"Pentatonic Minor", {0, 3, 5, 7, 10}},
        {"Pentatonic Major Blues", {0, 2, 5, 7, 9}},
        {"Pentatonic Minor Blues", {0, 3, 5, 8, 10}},
        {"Pentatonic Egyptian", {0, 2, 5, 7, 10}},
        {"Wholetone", {0, 2, 4, 6, 8, 10}},
        {"Ionian", {0, 2, 4, 5, 7, 9, 11}},
        {"Lydian", {0, 2, 4, 6, 7, 9, 11}},
        {"Mixolydian", {0, 2, 4, 5, 7, 9, 10}},
        {"Dorian", {0, 2, 3, 5, 7, 9, 10}},
        {"Phrygian", {0, 1, 3, 5, 7, 8, 10}},
        {"Aeolian", {0, 2, 3, 5, 7, 8, 10}},
        {"Blues", {0, 2, 3, 5, 6, 9, 10}},
        {"Hungarian Gypsy", {0, 2, 3, 6, 7, 8, 11}},
        {"Phrygian Dominant", {0, 1, 3, 5, 7, 8, 10}},
        {"Lydian Dominant", {0, 2, 4, 6, 7, 9, 10}},
        {"Ukranian Dorian", {0, 2, 3, 6, 7, 9, 10}},
        {"Major Locrian", {0, 2, 4, 5, 6, 8, 10}},
        {"Double Harmonic", {0, 1, 4, 5, 7, 8, 11}},
        {"Chromatic", {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}},
    };
    return rows;
}

} // namespace

ScaleInfo Scales::getScale(int scaleNumber)
{
    ScaleInfo info;
    info.scaleNumber = scaleNumber;
    if (scaleNumber >= 0 && scaleNumber < kScaleCount) {
        info.steps = table()[scaleNumber].steps;
        info.count = static_cast<int>(info.steps.size());
    }
    return info;
}

QStringList Scales::scaleNames()
{
    QStringList names;
    for (const auto &row : table())
        names << QString::fromUtf8(row.name);
    return names;
}

bool Scales::isMajorScale(int scaleNumber)
{
    return !(scaleNumber == 1 || scaleNumber == 2 || scaleNumber == 5 || scaleNumber == 7);
}

QString noteName(int note)
{
    static const char *const names[12] = {"C",  "D♭", "D",  "E♭", "E",  "F",
                                          "G♭", "G",  "A♭", "A",  "B♭", "B"};
    const int pc = note % 12; // remainder keeps the sign of the note
    if (pc < 0)
        return QString();
    return QString::fromUtf8(names[pc]);
}

int noteNumber(const QString &text)
{
    if (text.isEmpty())
        return -1;
    int pitch = -1;
    switch (text.at(0).toUpper().toLatin1()) {
    case 'C':
        pitch = 0;
        break;
    case 'D':
        pitch = 2;
        break;
    case 'E':
        pitch = 4;
        break;
    case 'F':
        pitch = 5;
        break;
    case 'G':
        pitch = 7;
        break;
    case 'A':
        pitch = 9;
        break;
    case 'B':
    case 'H':
        pitch = 11;
        break;
    default:
        break;
    }
    const bool hasPitch = pitch >= 0;
    // The accidental may be typed ("#", "b") or written as the window writes it ("♯", "♭"),
    // and the lowest octave is written "-1" ("C-1" is note 0), so every name the program
    // shows reads back to the same note.
    const auto isSharp = [](QChar c) { return c == QLatin1Char('#') || c == QChar(0x266F); };
    const auto isFlat = [](QChar c) { return c == QLatin1Char('b') || c == QChar(0x266D); };
    const auto minusOne = [&text](int at) {
        return text.size() > at + 1 && text.at(at) == QLatin1Char('-')
               && text.at(at + 1) == QLatin1Char('1');
    };
    int octave = 0;
    bool octaveSeen = false;
    bool lowest = false;
    if (text.size() > 1) {
        const QChar c = text.at(1);
        if (c.isDigit()) {
            octave = c.digitValue();
            octaveSeen = true;
        } else if (minusOne(1)) {
            octave = -1;
            octaveSeen = lowest = true;
        } else if (isSharp(c) && hasPitch) {
            pitch += 1;
        } else if (isFlat(c) && hasPitch) {
            pitch -= 1;
        }
    }
    if (text.size() > 2 && !lowest) {
        const QChar c = text.at(2);
        if (c.isDigit()) {
            octave = c.digitValue();
            octaveSeen = true;
        } else if (minusOne(2)) {
            octave = -1;
            octaveSeen = true;
        }
    }
    if (!hasPitch || pitch == -1 || !octaveSeen)
        return -1;
    return pitch + 12 * (octave + 1);
}
