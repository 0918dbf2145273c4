// Keeps unsaved instrument changes (recordings, imports, edits) from being thrown away. Before
// a load or a quit asked for in the window the user chooses Save, Discard or Cancel; a load
// the device asks for during a performance opens no dialog and keeps the changes in a
// recovery file in the sounds folder instead. GUI thread only.
#pragma once

#include <QObject>
#include <QString>

#include <functional>

class FileRequests;
class KorvaneCore;
class QWidget;

class InstrumentGuard : public QObject
{
    Q_OBJECT
public:
    // requests knows whether the instrument still has a file of its own (it has none after
    // all samples were removed); it may be null. Questions open over boxParent.
    InstrumentGuard(KorvaneCore *hub, FileRequests *requests, QWidget *boxParent);

    // Loads file, unless the user keeps the instrument in memory (Cancel, or a save that
    // failed). Returns whether the file was loaded.
    bool load(const QString &file);
    // Runs step, a device action that may load an instrument, with no dialog.
    void fromDevice(const std::function<void()> &step);
    // Before quitting: false when the instrument must stay (Cancel, or a failed save).
    bool releaseForQuit();

signals:
    void statusMessage(QString message);

private:
    QString shownName() const;
    // Asks about the unsaved changes; true when the caller may go on.
    bool settle(const QString &question);
    bool saveCurrent();

    KorvaneCore *hub;
    FileRequests *requests;
    QWidget *boxParent;
    bool deviceDriven = false;
};
