// The sensor edit dialog: one sensor's assignment plus the device-wide bend and gyro
// settings. Every change leaves at once through a signal; there is no OK/Cancel.
#pragma once

#include "base/korvanerecords.h"

#include <QDialog>
#include <QString>

namespace Ui {
class KorvaneNodeView;
}

class KorvaneNodeView : public QDialog
{
    Q_OBJECT
public:
    explicit KorvaneNodeView(QWidget *parent = nullptr);
    ~KorvaneNodeView() override;

    KorvaneSensorNode currentNode() const { return node; }
    int currentIndex() const { return index; }
    KorvaneBendSettings bendSettings() const { return bend; }
    KorvaneGyroSettings gyroSettings() const { return gyro; }

signals:
    void SendConfiguration(KorvaneSensorNode node, int index);
    void SendBendSettings(KorvaneBendSettings bsettings);
    void SendGyroSettings(KorvaneGyroSettings gsettings);
    void ReadyRecSampler();
    void removeGlobalBend();

public slots:
    void setConfiguration(KorvaneSensorNode node, int index);
    void setBendSettings(KorvaneBendSettings bsettings);
    void setGyroSettings(KorvaneGyroSettings gsettings);

private slots:
    void on_typeBox_currentIndexChanged(int index);
    void on_actionBox_currentIndexChanged(int index);
    void on_CCSPin_valueChanged(int arg1);
    void on_halfwayBox_clicked(bool checked);
    void on_bendDelayspinBox_valueChanged(int arg1);
    void on_bendSpeedspinBox_valueChanged(int arg1);
    void on_releaseDelayspinBox_valueChanged(int arg1);
    void on_releaseSpeedspinBox_valueChanged(int arg1);
    void on_gyroComboBOx_currentIndexChanged(int index);
    void on_gyroActioncomboBox_currentIndexChanged(int index);
    void on_gyroTHSpin_valueChanged(int arg1);
    void on_gyroRateSpin_valueChanged(int arg1);
    void on_gyroModeBox_currentIndexChanged(int index);
    void on_noteNameEdit_textEdited(const QString &arg1);
    void on_noteDownButton_clicked();
    void on_noteUpButton_clicked();

private:
    void SendNode();
    void NoteChange(int n);
    void UpdateView();
    void showNote();
    void setBendRowsVisible(bool on);
    void setGyroRowsVisible(bool on);

    Ui::KorvaneNodeView *ui;
    KorvaneSensorNode node;
    int index = 0;
    bool ready = false;
    KorvaneBendSettings bend;
    KorvaneGyroSettings gyro;
};
