// The program's debug log: every message to standard error as Qt prints it, and a way to write
// thousands of lines at once (the map matching logs a line per differing sensor of every map).
#pragma once

#include <QByteArray>

namespace DebugLog {

// Installs the program's message handler (same output as Qt's own: the message pattern applied,
// one line per message on standard error).
void install();

// Writes lines, each ending in '\n', to the debug log of the default category. While the
// program's handler is in force with the plain pattern, all but the first line leave in one
// write; under any other handler (a test's, say) each line is its own qDebug message, so the
// handler sees them all. Lines are UTF-8.
void writeLines(const QByteArray &lines);

} // namespace DebugLog
