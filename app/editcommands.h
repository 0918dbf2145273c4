// One undo step of the map, the calibration or the bend and gyro settings: the records before
// and after the edit, and what the mapping tab showed. Undo and redo hand the parts that
// differ to an applier, which sends them to the device the way the edit did. GUI thread only.
#pragma once

#include "base/korvanerecords.h"

#include <QElapsedTimer>
#include <QString>
#include <QUndoCommand>

#include <functional>

// What the mapping tab shows besides the map: the key and octave it counts from, the scale
// chosen in its box and the name above the hand.
struct MappingView
{
    int key = 0;
    int octave = 4;
    int scale = 0;
    QString name;
};

struct EditSnapshot
{
    KorvaneSensorsState map;
    KorvaneCalibration calibration;
    KorvaneBendSettings bend;
    KorvaneGyroSettings gyro;
    QString mapName; // the hub's: the file the map came from
    MappingView view;
};

// The parts of a snapshot, each with its own upload.
enum EditPart
{
    MapPart = 1,         // the map upload
    CalibrationPart = 2, // the calibration upload (sensitivities, curves, delay)
    SettingsPart = 4,    // the general settings upload (global control, CC, channel)
    BendPart = 8,        // the bend settings
    GyroPart = 16,       // the gyro settings
    ViewPart = 32,       // the mapping tab only; nothing is sent
};

// The parts in which two snapshots differ.
int changedParts(const EditSnapshot &a, const EditSnapshot &b);
// A name for an edit from what it changed ("Velocity sensitivity", "Sensor 5 note", "Bend
// delay"); "Edit" when nothing more precise fits.
QString describeChange(const EditSnapshot &a, const EditSnapshot &b);

// Restores the given parts of a snapshot in the window, the hub and the device.
using EditApplier = std::function<void(const EditSnapshot &, int parts)>;
// Runs an edit as one undo step named text (empty: named from what it changed).
using EditRecorder = std::function<void(const QString &text, const std::function<void()> &edit)>;

class EditCommand : public QUndoCommand
{
public:
    // The edit has already happened: the first redo, which QUndoStack::push runs, does
    // nothing. A mergeable step takes in the next mergeable one that follows it shortly (the
    // device's map and calibration arriving as the answer to one request).
    EditCommand(const QString &text, EditSnapshot before, EditSnapshot after, EditApplier apply,
                bool mergeable = false);

    void undo() override;
    void redo() override;
    int id() const override { return mergeable ? 1 : -1; }
    bool mergeWith(const QUndoCommand *other) override;

private:
    EditSnapshot before;
    EditSnapshot after;
    int parts;
    EditApplier apply;
    bool mergeable;
    bool pending = true; // the edit is done; skip the push's redo
    QElapsedTimer made;
};
