// The per-user data folder and its sub-folders.
#pragma once

#include <QString>

namespace DataPaths {

// Application names that shape the data folder: ~/.local/share/varno-control on Linux.
void setApplicationNames();
// The data folder, created when missing: the one given to setDataPath(), else QStandardPaths'
// writable application-data location.
QString dataPath();
// Uses path (made absolute) as the data folder from now on; an empty path restores the
// standard location.
void setDataPath(const QString &path);

// True when name can be used as a file or folder name inside a chosen folder: not empty
// after trimming, not "." or "..", and without path separators.
bool isSafeName(const QString &name);

} // namespace DataPaths
