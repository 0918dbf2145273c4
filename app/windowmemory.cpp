#include "app/windowmemory.h"

#include <QMainWindow>
#include <QSettings>
#include <QTabWidget>

namespace WindowMemory {

QString filePath(const QString &dataPath)
{
    return dataPath + QStringLiteral("/window.ini");
}

void restore(QMainWindow *window, QTabWidget *tabs, const QString &dataPath)
{
    const QString path = filePath(dataPath);
    QSettings memory(path, QSettings::IniFormat);
    const QByteArray geometry = memory.value(QStringLiteral("geometry")).toByteArray();
    if (!geometry.isEmpty())
        window->restoreGeometry(geometry);
    const int tab = memory.value(QStringLiteral("tab"), 0).toInt();
    if (tab >= 0 && tab < tabs->count())
        tabs->setCurrentIndex(tab);
    QObject::connect(tabs, &QTabWidget::currentChanged, window, [path](int index) {
        QSettings(path, QSettings::IniFormat).setValue(QStringLiteral("tab"), index);
    });
}

void saveGeometry(QMainWindow *window, const QString &dataPath)
{
    QSettings memory(filePath(dataPath), QSettings::IniFormat);
    memory.setValue(QStringLiteral("geometry"), window->saveGeometry());
}

} // namespace WindowMemory
