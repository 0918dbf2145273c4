#include "app/editcommands.h"

#include <algorithm>

namespace {

// Steps that arrive within this time of a mergeable one join it.
constexpr int kMergeMs = 3000;

bool sameMap(const KorvaneSensorsState &a, const KorvaneSensorsState &b)
{
    return a.nodes == b.nodes && a.reserved == b.reserved && a.word1 == b.word1 &&
           a.word2 == b.word2 && a.block == b.block && a.mapId == b.mapId && a.octave == b.octave &&
           a.key == b.key && a.scale == b.scale && a.scaleSteps == b.scaleSteps &&
           a.scaleLength == b.scaleLength && a.tail == b.tail;
}

bool sameGyro(const KorvaneGyroSettings &a, const KorvaneGyroSettings &b)
{
    return a.gyroRate == b.gyroRate && a.gyroThreshold == b.gyroThreshold &&
           a.gyroMode == b.gyroMode;
}

bool sameView(const MappingView &a, const MappingView &b)
{
    return a.key == b.key && a.octave == b.octave && a.scale == b.scale && a.name == b.name;
}

// The fields that the general settings upload carries; every other one is calibration.
bool sameControl(const KorvaneCalibration &a, const KorvaneCalibration &b)
{
    return a.packControl().bytes == b.packControl().bytes && a.globalControl == b.globalControl;
}

// Every field a user can change, under the name the step takes.
struct Field
{
    const char *name;
    double (*value)(const EditSnapshot &);
};

const Field kFields[] = {
    {"Note On sensitivity",
     [](const EditSnapshot &s) { return double(s.calibration.onThreshold); }},
    {"Note Off sensitivity",
     [](const EditSnapshot &s) { return double(s.calibration.offThreshold); }},
    {"Velocity sensitivity",
     [](const EditSnapshot &s) { return double(s.calibration.velocityScale); }},
    {"Velocity curve",
     [](const EditSnapshot &s) { return double(s.calibration.velocityCurveType); }},
    {"Global Aftertouch",
     [](const EditSnapshot &s) { return double(s.calibration.globalControl); }},
    {"Global CC number", [](const EditSnapshot &s) { return double(s.calibration.globalCC); }},
    {"Aftertouch sensitivity",
     [](const EditSnapshot &s) { return double(s.calibration.aftertouchScale); }},
    {"Aftertouch curve",
     [](const EditSnapshot &s) { return double(s.calibration.aftertouchCurveType); }},
    {"Aftertouch delay",
     [](const EditSnapshot &s) { return double(s.calibration.aftertouchDelay); }},
    {"MIDI channel", [](const EditSnapshot &s) { return double(s.calibration.midiChannel); }},
    {"Bend halfway", [](const EditSnapshot &s) { return double(s.bend.halfway); }},
    {"Bend speed", [](const EditSnapshot &s) { return double(s.bend.bendSpeed); }},
    {"Bend delay", [](const EditSnapshot &s) { return double(s.bend.bendDelay); }},
    {"Release delay", [](const EditSnapshot &s) { return double(s.bend.releaseDelay); }},
    {"Release speed", [](const EditSnapshot &s) { return double(s.bend.releaseSpeed); }},
    {"Gyro threshold", [](const EditSnapshot &s) { return double(s.gyro.gyroThreshold); }},
    {"Gyro rate", [](const EditSnapshot &s) { return double(s.gyro.gyroRate); }},
    {"Gyro mode", [](const EditSnapshot &s) { return double(s.gyro.gyroMode); }},
};

// "Sensor 5 note" for one sensor changed, numbered as the sensor dialog numbers it.
QString describeNode(const KorvaneSensorNode &a, const KorvaneSensorNode &b, int index)
{
    QString field;
    if (a.type != b.type)
        field = QStringLiteral("type");
    else if (a.note != b.note)
        field = QStringLiteral("note");
    else if (a.action != b.action)
        field = b.type == NodeGyroBend ? QStringLiteral("bend type") : QStringLiteral("action");
    else if (a.cc != b.cc)
        field = b.type == NodeGyroAction ? QStringLiteral("gyro action") : QStringLiteral("CC");
    const QString sensor = QStringLiteral("Sensor %1").arg(index);
    return field.isEmpty() ? sensor : sensor + QLatin1Char(' ') + field;
}

} // namespace

int changedParts(const EditSnapshot &a, const EditSnapshot &b)
{
    int parts = 0;
    if (!sameMap(a.map, b.map))
        parts |= MapPart;
    if (!sameControl(a.calibration, b.calibration))
        parts |= SettingsPart;
    KorvaneCalibration controlAsA = b.calibration;
    controlAsA.globalControl = a.calibration.globalControl;
    controlAsA.globalCC = a.calibration.globalCC;
    controlAsA.midiChannel = a.calibration.midiChannel;
    if (controlAsA != a.calibration)
        parts |= CalibrationPart;
    if (!(a.bend == b.bend))
        parts |= BendPart;
    if (!sameGyro(a.gyro, b.gyro))
        parts |= GyroPart;
    if (!sameView(a.view, b.view) || a.mapName != b.mapName)
        parts |= ViewPart;
    return parts;
}

QString describeChange(const EditSnapshot &a, const EditSnapshot &b)
{
    for (const Field &f : kFields)
        if (f.value(a) != f.value(b))
            return QString::fromLatin1(f.name);
    int changed = -1;
    const size_t n = std::min(a.map.nodes.size(), b.map.nodes.size());
    for (size_t i = 0; i < n; ++i) {
        if (a.map.nodes[i] == b.map.nodes[i])
            continue;
        if (changed >= 0)
            return QStringLiteral("Map");
        changed = int(i);
    }
    if (changed >= 0)
        return describeNode(a.map.nodes[changed], b.map.nodes[changed], changed);
    return QStringLiteral("Edit");
}

EditCommand::EditCommand(const QString &text, EditSnapshot before, EditSnapshot after,
                         EditApplier apply, bool mergeable)
    : before(std::move(before)), after(std::move(after)), apply(std::move(apply)),
      mergeable(mergeable)
{
    setText(text);
    parts = changedParts(this->before, this->after);
    made.start();
}

void EditCommand::undo()
{
    apply(before, parts);
}

void EditCommand::redo()
{
    if (pending) {
        pending = false;
        return;
    }
    apply(after, parts);
}

bool EditCommand::mergeWith(const QUndoCommand *other)
{
    const auto *next = static_cast<const EditCommand *>(other);
    if (!mergeable || !next->mergeable || made.elapsed() > kMergeMs)
        return false;
    after = next->after;
    parts = changedParts(before, after);
    return true;
}
