#include "atomicfile.h"

#include <QSaveFile>

namespace {
qint64 interruptAfter = -1;
}

namespace AtomicFile {

void simulateInterruptionAfter(qint64 bytes)
{
    interruptAfter = bytes;
}

bool write(const QString &path, const QByteArray &data, QString *error)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        if (error)
            *error = file.errorString();
        return false;
    }
    QByteArray payload = data;
    const bool interrupted = interruptAfter >= 0 && interruptAfter < data.size();
    if (interrupted)
        payload.truncate(int(interruptAfter));
    if (file.write(payload) != payload.size()) {
        if (error)
            *error = file.errorString();
        file.cancelWriting();
        return false;
    }
    if (interrupted) {
        // The temporary file is dropped without replacing the target, as after a crash.
        file.cancelWriting();
        if (error)
            *error = QStringLiteral("write interrupted");
        return false;
    }
    if (!file.commit()) {
        if (error)
            *error = file.errorString();
        return false;
    }
    return true;
}

} // namespace AtomicFile
