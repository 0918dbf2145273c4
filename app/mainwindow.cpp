#include "mainwindow.h"

#include "core/datapaths.h"
#include "core/korvanecore.h"

#include <QDebug>
#include <QLabel>
#include <QVBoxLayout>

MainWindow::MainWindow(QWidget *parent) : QMainWindow(parent)
{
    setWindowTitle(tr("VARNO Control"));
    auto *central = new QWidget(this);
    auto *layout = new QVBoxLayout(central);
    statusLabel = new QLabel(central);
    statusLabel->setObjectName(QStringLiteral("mainMessage"));
    layout->addWidget(statusLabel);
    setCentralWidget(central);

    dataPath = DataPaths::dataPath();
    qDebug().noquote() << "actual datapath: " << dataPath;

    hub = new KorvaneCore(this);
    connect(hub, SIGNAL(sendStatusMessage(QString)), this, SLOT(setMainMessage(QString)));

    hub->StartEngines();
    hub->LoadSettings();
    hub->LoadWriteCount();
    qDebug() << "All ready!";
}

MainWindow::~MainWindow()
{
    hub->ShutDown();
}

void MainWindow::setMainMessage(QString message)
{
    statusLabel->setText(message);
}
