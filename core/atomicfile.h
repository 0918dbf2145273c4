// Whole-file writes that never leave a half-written file in place of the old one.
#pragma once

#include <QByteArray>
#include <QString>

namespace AtomicFile {

// Writes data to a temporary file beside path and renames it over path only when every
// byte was written. Returns false and sets *error when anything failed; path is then
// unchanged.
bool write(const QString &path, const QByteArray &data, QString *error = nullptr);

// Test hook: makes the next writes stop after this many bytes as if the program died
// mid-write (-1 turns it off).
void simulateInterruptionAfter(qint64 bytes);

} // namespace AtomicFile
