// The one gate every way of quitting passes (confirmQuit): unsaved instrument changes are
// asked about, then the uploads still queued leave while a small progress dialog shows how
// far they got, with "Quit Now" to stop at once. What did not reach the device is said in a
// message box and in the log; a ROM write that left is counted before the program ends.
// GUI thread only.
#pragma once

#include "device/korvanemidiengine.h"

#include <QObject>
#include <QVector>

class InstrumentGuard;
class KorvaneCore;
class QWidget;

class QuitGuard : public QObject
{
    Q_OBJECT
public:
    // instrument may be null (nothing to ask). Dialogs open over boxParent.
    QuitGuard(KorvaneCore *hub, InstrumentGuard *instrument, QWidget *boxParent);

    // True when the program may end now. Once true it stays true, so quitting through a menu
    // and then closing the window asks once.
    bool confirmQuit();

private:
    void finishUploads();
    void report(const QVector<KorvaneMidiEngine::PendingUpload> &lost, int failedMessages,
                const QString &why);

    KorvaneCore *hub;
    InstrumentGuard *instrument;
    QWidget *boxParent;
    bool confirmed = false;
    bool asking = false;
};
