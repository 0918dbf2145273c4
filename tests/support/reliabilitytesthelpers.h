// Small helpers shared by the reliability tests.
#pragma once

#include <QFile>
#include <QString>

namespace reliability {

// A field of /proc/self/status in KiB (VmRSS: now, VmHWM: the peak so far).
inline long procStatusKiB(const char *field)
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray key = QByteArray(field) + ':';
    for (const QByteArray &line : f.readAll().split('\n'))
        if (line.startsWith(key))
            return line.mid(key.size()).trimmed().split(' ').value(0).toLong();
    return -1;
}

} // namespace reliability
