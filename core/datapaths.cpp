#include "datapaths.h"

#include <QCoreApplication>
#include <QDir>
#include <QStandardPaths>

namespace DataPaths {

void setApplicationNames()
{
    QCoreApplication::setOrganizationName(QString());
    QCoreApplication::setApplicationName(QStringLiteral("varno-control"));
    QCoreApplication::setApplicationVersion(QStringLiteral("1.5.0"));
}

QString dataPath()
{
    const QString path = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    QDir().mkpath(path);
    return path;
}

bool isSafeName(const QString &name)
{
    const QString t = name.trimmed();
    if (t.isEmpty() || t == QLatin1String(".") || t == QLatin1String(".."))
        return false;
    return !t.contains(QLatin1Char('/')) && !t.contains(QLatin1Char('\\')) && !t.contains(QChar(0));
}

} // namespace DataPaths
