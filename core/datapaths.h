// The per-user data folder and its sub-folders.
#pragma once

#include <QString>

namespace DataPaths {

// Application names that shape the data folder: ~/.local/share/varno-control on Linux.
void setApplicationNames();
// QStandardPaths' writable application-data location, created when missing.
QString dataPath();

// True when name can be used as a file or folder name inside a chosen folder: not empty
// after trimming, not "." or "..", and without path separators.
bool isSafeName(const QString &name);

} // namespace DataPaths
