#include "datapaths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace DataPaths {

namespace {
QString &chosenPath()
{
    static QString path;
    return path;
}
} // namespace

void setApplicationNames()
{
    QCoreApplication::setOrganizationName(QString());
    QCoreApplication::setApplicationName(QStringLiteral("varno-control"));
    QCoreApplication::setApplicationVersion(QStringLiteral(VARNO_VERSION));
}

QString dataPath()
{
    const QString path = chosenPath().isEmpty()
                             ? QStandardPaths::writableLocation(QStandardPaths::AppDataLocation)
                             : chosenPath();
    QDir().mkpath(path);
    return path;
}

void setDataPath(const QString &path)
{
    chosenPath() = path.isEmpty() ? QString() : QFileInfo(path).absoluteFilePath();
}

bool isSafeName(const QString &name)
{
    const QString t = name.trimmed();
    if (t.isEmpty() || t == QLatin1String(".") || t == QLatin1String(".."))
        return false;
    return !t.contains(QLatin1Char('/')) && !t.contains(QLatin1Char('\\')) && !t.contains(QChar(0));
}

} // namespace DataPaths
