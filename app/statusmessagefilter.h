// Decides which status line the window shows. The device search reports itself every second
// while no device is there, and the device's notes report themselves as they are played; a
// result or an error ("Map saved", "Device disconnected") must not vanish under them. A line
// replaces the shown one when it is of the same kind or of a weightier kind, or when the shown
// one has stood for five seconds.
#pragma once

#include <QString>
#include <QtGlobal>

class StatusMessageFilter
{
public:
    enum Kind
    {
        Search,
        Play,
        Result
    }; // from the lightest to the weightiest

    static constexpr qint64 kHoldMs = 5000;

    static Kind kindOf(const QString &message);
    // True when message is to be shown at nowMs (any monotonic clock in milliseconds); it is
    // then the shown one.
    bool offer(const QString &message, qint64 nowMs);

private:
    bool shownAny = false;
    Kind shownKind = Search;
    qint64 shownAt = 0;
};
