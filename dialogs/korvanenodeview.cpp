#include "korvanenodeview.h"
#include "ui_korvanenodeview.h"

#include "scales/scales.h"

#include <QDebug>

#include <algorithm>

KorvaneNodeView::KorvaneNodeView(QWidget *parent) : QDialog(parent), ui(new Ui::KorvaneNodeView)
{
    ui->setupUi(this);
}

KorvaneNodeView::~KorvaneNodeView()
{
    delete ui;
}

void KorvaneNodeView::setConfiguration(KorvaneSensorNode n, int i)
{
    qDebug() << "Setting ui node view config";
    node = n;
    index = i;
    ui->Sensorlabel->setText(QStringLiteral("Sensor ") + QString::number(i));
    ready = false;
    UpdateView();
    ready = true;
    // A controller number the box cannot show was put in its range: the sensor sends that.
    if (node.cc != n.cc)
        SendNode();
}

void KorvaneNodeView::setBendSettings(KorvaneBendSettings bsettings)
{
    qDebug() << "got bend settings.. updating view..";
    bend = bsettings;
    UpdateView();
}

void KorvaneNodeView::setGyroSettings(KorvaneGyroSettings gsettings)
{
    qDebug() << "got gyro settings.. updating view..";
    gyro = gsettings;
    UpdateView();
}

void KorvaneNodeView::SendNode()
{
    if (!ready)
        return;
    qDebug() << "Sending sysex update from node edit";
    emit SendConfiguration(node, index);
    ui->CCSPin->blockSignals(false);
}

void KorvaneNodeView::showNote()
{
    ui->noteNumberlabel->setText(QString::number(node.note));
    ui->noteNameEdit->setText(noteName(node.note) + QString::number(node.note / 12 - 1));
}

void KorvaneNodeView::NoteChange(int n)
{
    ready = false;
    node.note = n;
    showNote();
    ready = true;
    SendNode();
}

void KorvaneNodeView::setBendRowsVisible(bool on)
{
    for (QWidget *w :
         {static_cast<QWidget *>(ui->halfwayBox), static_cast<QWidget *>(ui->bendDelayLabel),
          static_cast<QWidget *>(ui->bendDelayspinBox), static_cast<QWidget *>(ui->bendSpeedLabel),
          static_cast<QWidget *>(ui->bendSpeedspinBox),
          static_cast<QWidget *>(ui->releaseDelayLabel),
          static_cast<QWidget *>(ui->releaseDelayspinBox),
          static_cast<QWidget *>(ui->releaseSpeedLabel),
          static_cast<QWidget *>(ui->releaseSpeedspinBox)})
        w->setVisible(on);
}

void KorvaneNodeView::setGyroRowsVisible(bool on)
{
    for (QWidget *w :
         {static_cast<QWidget *>(ui->gyroTHLabel), static_cast<QWidget *>(ui->gyroTHSpin),
          static_cast<QWidget *>(ui->gyroRateLabel), static_cast<QWidget *>(ui->gyroRateSpin),
          static_cast<QWidget *>(ui->gyroModeLa), static_cast<QWidget *>(ui->gyroModeBox)})
        w->setVisible(on);
}

void KorvaneNodeView::UpdateView()
{
    qDebug() << "Updating node view";

    ui->typeBox->blockSignals(true);
    ui->typeBox->setCurrentIndex(node.type);
    ui->typeBox->blockSignals(false);

    const int type = node.type;
    const bool noteRow = type == NodeNote;
    ui->noteLabel->setVisible(noteRow);
    ui->noteDownButton->setVisible(noteRow);
    ui->noteUpButton->setVisible(noteRow);
    // A disabled sensor keeps the name field; every other type shows it only with the note row.
    ui->noteNameEdit->setVisible(noteRow || type == NodeDisabled);
    const bool ccRow = type == NodeControlChange || type == NodeGyroControlChange;
    ui->CCLabel->setVisible(ccRow);
    ui->CCSPin->setVisible(ccRow);
    ui->actionLabel->setVisible(type == NodeAction);
    ui->actionBox->setVisible(type == NodeAction);
    ui->gyroBendLabel->setVisible(type == NodeGyroBend);
    ui->gyroComboBOx->setVisible(type == NodeGyroBend);
    ui->gyroActionLabel->setVisible(type == NodeGyroAction);
    ui->gyroActioncomboBox->setVisible(type == NodeGyroAction);
    setGyroRowsVisible(type == NodeGyroControlChange || type == NodeGyroBend ||
                       type == NodeGyroAction);
    if (type == NodeGyroBend)
        emit removeGlobalBend();

    setBendRowsVisible(type == NodeAction &&
                       (node.action == ActionBendUp || node.action == ActionBendDown));

    qDebug() << "note number: " << node.note;

    QWidget *const quiet[] = {ui->CCSPin,
                              ui->actionBox,
                              ui->gyroRateSpin,
                              ui->gyroTHSpin,
                              ui->gyroModeBox,
                              ui->noteNameEdit,
                              ui->bendDelayspinBox,
                              ui->bendSpeedspinBox,
                              ui->releaseDelayspinBox,
                              ui->releaseSpeedspinBox,
                              ui->gyroActioncomboBox};
    for (QWidget *w : quiet)
        w->blockSignals(true);
    ui->CCSPin->setValue(node.cc);
    // The box shows a number within its range; the node keeps the number shown.
    if (ccRow)
        node.cc = ui->CCSPin->value();
    showNote();
    ui->bendDelayspinBox->setValue(bend.bendDelay);
    ui->bendSpeedspinBox->setValue(bend.bendSpeed);
    ui->releaseDelayspinBox->setValue(bend.releaseDelay);
    ui->releaseSpeedspinBox->setValue(bend.releaseSpeed);
    ui->gyroRateSpin->setValue(gyro.gyroRate);
    ui->gyroTHSpin->setValue(gyro.gyroThreshold);
    ui->gyroModeBox->setCurrentIndex(gyro.gyroMode);
    ui->actionBox->setCurrentIndex(node.action);
    ui->halfwayBox->setChecked(bend.halfway != 0);
    if (type == NodeGyroAction) {
        // A kind the box does not list (a controller number kept from another type) becomes
        // the first kind, so the box never shows one kind while the sensor holds another.
        ui->gyroActioncomboBox->setCurrentIndex(node.cc);
        if (ui->gyroActioncomboBox->currentIndex() != node.cc) {
            ui->gyroActioncomboBox->setCurrentIndex(0);
            node.cc = 0;
        }
    }
    // Not blocked: a changed bend kind is sent once the dialog is ready.
    ui->gyroComboBOx->setCurrentIndex(node.action);
    for (QWidget *w : quiet)
        w->blockSignals(false);
}

void KorvaneNodeView::on_typeBox_currentIndexChanged(int i)
{
    node.action = 0;
    node.type = i;
    UpdateView();
    SendNode();
}

void KorvaneNodeView::on_actionBox_currentIndexChanged(int i)
{
    node.action = i;
    SendNode();
    const bool bendAction = i == ActionBendUp || i == ActionBendDown;
    setBendRowsVisible(bendAction);
    if (bendAction)
        emit removeGlobalBend();
}

void KorvaneNodeView::on_CCSPin_valueChanged(int arg1)
{
    qDebug() << "CC SPIN VALUE CHANGED!";
    node.cc = arg1;
    ui->CCSPin->blockSignals(true);
    SendNode();
    // SendNode unblocks only when it sends; never leave the box mute.
    ui->CCSPin->blockSignals(false);
}

void KorvaneNodeView::on_halfwayBox_clicked(bool checked)
{
    bend.halfway = checked ? 1 : 0;
    emit SendBendSettings(bend);
}

void KorvaneNodeView::on_bendDelayspinBox_valueChanged(int arg1)
{
    bend.bendDelay = uint8_t(arg1);
    emit SendBendSettings(bend);
}

void KorvaneNodeView::on_bendSpeedspinBox_valueChanged(int arg1)
{
    bend.bendSpeed = uint8_t(arg1);
    emit SendBendSettings(bend);
}

void KorvaneNodeView::on_releaseDelayspinBox_valueChanged(int arg1)
{
    bend.releaseDelay = uint8_t(arg1);
    emit SendBendSettings(bend);
}

void KorvaneNodeView::on_releaseSpeedspinBox_valueChanged(int arg1)
{
    bend.releaseSpeed = uint8_t(arg1);
    emit SendBendSettings(bend);
}

void KorvaneNodeView::on_gyroComboBOx_currentIndexChanged(int i)
{
    // An action code beyond the two bend kinds leaves the combo without a current item;
    // that is no choice of the user and must not overwrite the action.
    if (i < 0)
        return;
    node.action = i;
    SendNode();
}

void KorvaneNodeView::on_gyroActioncomboBox_currentIndexChanged(int i)
{
    node.cc = i;
    SendNode();
}

void KorvaneNodeView::on_gyroTHSpin_valueChanged(int arg1)
{
    gyro.gyroThreshold = uint8_t(arg1);
    emit SendGyroSettings(gyro);
}

void KorvaneNodeView::on_gyroRateSpin_valueChanged(int arg1)
{
    gyro.gyroRate = uint8_t(arg1);
    emit SendGyroSettings(gyro);
}

void KorvaneNodeView::on_gyroModeBox_currentIndexChanged(int i)
{
    gyro.gyroMode = uint8_t(i);
    emit SendGyroSettings(gyro);
}

void KorvaneNodeView::on_noteNameEdit_textEdited(const QString &arg1)
{
    const int n = noteNumber(arg1);
    // Names such as "B9" parse to numbers above the MIDI range; they are not notes.
    if (n < 0 || n > 127)
        return;
    NoteChange(n);
}

void KorvaneNodeView::on_noteDownButton_clicked()
{
    NoteChange(std::max(node.note - 1, 0));
}

void KorvaneNodeView::on_noteUpButton_clicked()
{
    NoteChange(std::min(node.note + 1, 127));
}
