// The main window: owns the hub and shows what it reports.
#pragma once

#include <QMainWindow>
#include <QString>

class KorvaneCore;
class QLabel;

class MainWindow : public QMainWindow
{
    Q_OBJECT
public:
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

    KorvaneCore *core() const { return hub; }

public slots:
    void setMainMessage(QString message);

private:
    KorvaneCore *hub = nullptr;
    QLabel *statusLabel = nullptr;
    QString dataPath;
};
