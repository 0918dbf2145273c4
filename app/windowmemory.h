// The main window's size, position and last tab, kept in a file of their own in the data
// folder ("window.ini"), apart from the device's settings file.
#pragma once

#include <QString>

class QMainWindow;
class QTabWidget;

namespace WindowMemory {

QString filePath(const QString &dataPath);
// Puts the window where it was and opens the tab it showed; from then on the tab is written as
// it changes.
void restore(QMainWindow *window, QTabWidget *tabs, const QString &dataPath);
// Writes the window's size and position (at close).
void saveGeometry(QMainWindow *window, const QString &dataPath);

} // namespace WindowMemory
