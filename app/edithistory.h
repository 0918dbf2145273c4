// The undo history of the map, the calibration and the bend and gyro settings. The tabs' edits
// run through record() and become one step each; the sensor dialog's bend and gyro settings,
// a map file loaded and a map or calibration arriving from the device are taken as steps
// once the hub has them, compared with what the last step left. Undo and redo put the
// records back in the hub, send them to the device with the hub calls the edit used, and
// show them in the window. GUI thread only.
#pragma once

#include "app/editcommands.h"

#include <QObject>

class KorvaneCore;
class KorvaneNodeView;
class MappingTabController;
class QMenu;
class QUndoStack;
class SettingsTabController;

class EditHistory : public QObject
{
    Q_OBJECT
public:
    // All must outlive the history. Binds itself to the controllers as their recorder, and to
    // the dialog's and the hub's signals after the window's own connections (make it last).
    EditHistory(KorvaneCore *hub, MappingTabController *mapping, SettingsTabController *settings,
                KorvaneNodeView *nodeDialog, QObject *parent = nullptr);

    QUndoStack *stack() const { return undoStack; }
    // Runs edit as one step named text (empty: named from what changed). An edit inside
    // another, or made while a step is being undone or redone, is no step of its own.
    void record(const QString &text, const std::function<void()> &edit);
    // True while a step is being undone or redone.
    bool isApplying() const { return applying; }
    // The map was saved or renamed: the names it now goes by are no edit, and an undone step
    // must not bring back the old ones.
    void keepMapName();
    // Puts Undo and Redo, naming the step, with the desktop's keys, into the Edit menu.
    void fillEditMenu(QMenu *menu);

private:
    // The hub already holds a change made elsewhere to the given parts: one step from what
    // the last step left them (named from what changed when text is empty). The device's
    // replies to one request make one step; one that changes only the names makes none.
    void changedElsewhere(const QString &text, int parts, bool fromDevice);
    EditSnapshot snapshot() const;
    void apply(const EditSnapshot &s, int parts);

    KorvaneCore *hub;
    MappingTabController *mapping;
    SettingsTabController *settings;
    KorvaneNodeView *nodeDialog;
    QUndoStack *undoStack;
    EditSnapshot shown; // what the window, the hub and the device held after the last step
    int depth = 0;
    bool applying = false;
};
