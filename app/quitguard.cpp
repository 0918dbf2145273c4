#include "app/quitguard.h"

#include "app/instrumentguard.h"
#include "core/korvanecore.h"

#include <QCoreApplication>
#include <QDebug>
#include <QMessageBox>
#include <QProgressDialog>
#include <QScopedValueRollback>
#include <QTimer>

namespace {
int messagesLeft(const QVector<KorvaneMidiEngine::PendingUpload> &pending)
{
    int n = 0;
    for (const KorvaneMidiEngine::PendingUpload &u : pending)
        n += u.left;
    return n;
}
} // namespace

QuitGuard::QuitGuard(KorvaneCore *hub, InstrumentGuard *instrument, QWidget *boxParent)
    : QObject(boxParent), hub(hub), instrument(instrument), boxParent(boxParent)
{
}

bool QuitGuard::confirmQuit()
{
    if (confirmed)
        return true;
    if (asking)
        return false; // a second request while the first one still asks or waits
    const QScopedValueRollback<bool> busy(asking, true);
    if (instrument && !instrument->releaseForQuit())
        return false;
    finishUploads();
    // The sender reports a ROM write that left through the event queue: count it now, the
    // event loop may not run again.
    QCoreApplication::sendPostedEvents(hub, QEvent::MetaCall);
    confirmed = true;
    return true;
}

void QuitGuard::finishUploads()
{
    KorvaneMidiEngine *midi = hub->midi();
    if (!midi->isSending())
        return;
    if (!midi->isOutputOpen()) {
        report(midi->abortUploads(), 0, QStringLiteral("No device connected"));
        return;
    }
    const int failedBefore = midi->messagesNotSent();
    int total = messagesLeft(midi->pendingUploads());
    QProgressDialog dialog(QStringLiteral("Sending to the device before quitting"),
                           QStringLiteral("Quit Now"), 0, total, boxParent);
    dialog.setWindowTitle(QStringLiteral("Quitting"));
    dialog.setWindowModality(Qt::ApplicationModal);
    dialog.setAutoClose(false);
    dialog.setAutoReset(false);
    dialog.setMinimumDuration(0);
    QTimer poll;
    poll.setInterval(50);
    connect(&poll, &QTimer::timeout, &dialog, [&] {
        const QVector<KorvaneMidiEngine::PendingUpload> pending = midi->pendingUploads();
        if (pending.isEmpty() && !midi->isSending()) {
            dialog.accept();
            return;
        }
        const int left = messagesLeft(pending);
        if (left > total) { // something was queued meanwhile
            total = left;
            dialog.setMaximum(total);
        }
        dialog.setValue(total - left);
        if (!pending.isEmpty())
            dialog.setLabelText(QStringLiteral("Sending %1 to the device before quitting: "
                                               "%2 messages left")
                                    .arg(pending.first().what)
                                    .arg(left));
    });
    poll.start();
    dialog.exec();
    poll.stop();
    // "Quit Now" (or the dialog closed some other way): whatever is left stays unsent.
    const QVector<KorvaneMidiEngine::PendingUpload> lost = midi->abortUploads();
    const int failed = midi->messagesNotSent() - failedBefore;
    if (!lost.isEmpty() || failed > 0)
        report(lost, failed, QStringLiteral("Quit before everything was sent"));
}

void QuitGuard::report(const QVector<KorvaneMidiEngine::PendingUpload> &lost, int failedMessages,
                       const QString &why)
{
    QStringList lines;
    for (const KorvaneMidiEngine::PendingUpload &u : lost) {
        QString line =
            u.total > 1
                ? QStringLiteral("%1 (%2 of %3 messages)").arg(u.what).arg(u.left).arg(u.total)
                : u.what;
        if (u.what == QLatin1String("ROM write"))
            line += QStringLiteral(": the device did not store its configuration");
        lines << line;
    }
    if (failedMessages > 0)
        lines << QStringLiteral("%1 messages did not reach the device (it left or refused them)")
                     .arg(failedMessages);
    if (lines.isEmpty())
        return;
    for (const QString &line : lines)
        qWarning().noquote() << "not sent at exit:" << line;
    QMessageBox box(boxParent);
    box.setIcon(QMessageBox::Warning);
    box.setText(why + QStringLiteral(": these uploads were not sent to the device."));
    box.setInformativeText(lines.join(QLatin1Char('\n')));
    box.setStandardButtons(QMessageBox::Ok);
    box.exec();
}
