#include "app/statusmessagefilter.h"

#include <QStringList>

StatusMessageFilter::Kind StatusMessageFilter::kindOf(const QString &message)
{
    // The port search's own lines (the engine's texts, repeated on every search).
    static const QStringList search = {
        QStringLiteral("Removing old port connections"),
        QStringLiteral("Searching for Devices..."),
        QStringLiteral("No devices found"),
        QStringLiteral("MIDI IN Devices: "),
        QStringLiteral("MIDI OUT Devices: "),
        QStringLiteral("connected to: "),
        QStringLiteral("Extra port connected to: "),
        QStringLiteral("Extra out also connected: "),
    };
    // What the device plays, as the input reports it, and the sampler's line for each note.
    static const QStringList play = {
        QStringLiteral("NoteOn: "),    QStringLiteral("NoteOff: "),
        QStringLiteral("Control: "),   QStringLiteral("Poly Aftertouch: "),
        QStringLiteral("PitchBend: "), QStringLiteral("Action: "),
        QStringLiteral("Speed Up: "),  QStringLiteral("Speed Down: "),
        QStringLiteral("Scratch: "),   QStringLiteral("Note "),
    };
    for (const QString &s : search)
        if (message.startsWith(s))
            return Search;
    for (const QString &p : play)
        if (message.startsWith(p))
            return Play;
    return Result;
}

bool StatusMessageFilter::offer(const QString &message, qint64 nowMs)
{
    const Kind kind = kindOf(message);
    if (shownAny && kind < shownKind && nowMs - shownAt < kHoldMs)
        return false;
    shownAny = true;
    shownKind = kind;
    shownAt = nowMs;
    return true;
}
