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

private:
    std::unique_ptr<QTemporaryDir> dir;
};
