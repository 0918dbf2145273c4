// Gives each test case its own empty data folder through XDG_DATA_HOME.
#pragma once

#include <QCoreApplication>
#include <QTemporaryDir>
#include <QtGlobal>

#include <memory>

class HubTestEnv
{
public:
    HubTestEnv()
    {
        QCoreApplication::setApplicationName(QStringLiteral("varno-control-test"));
        renew();
    }
    // Starts over with a new empty data folder.
    void renew()
    {
        dir = std::make_unique<QTemporaryDir>();
        qputenv("XDG_DATA_HOME", dir->path().toUtf8());
    }
    QString dataPath() const { return dir->path() + QStringLiteral("/varno-control-test"); }
    // Points the data folder's parent somewhere else (for folders that cannot be written).
    static void setDataHome(const QString &path) { qputenv("XDG_DATA_HOME", path.toUtf8()); }

private:
    std::unique_ptr<QTemporaryDir> dir;
};
