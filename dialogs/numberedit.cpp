#include "dialogs/numberedit.h"

#include "ui_numberedit.h"

#include <QSignalBlocker>

NumberEdit::NumberEdit(QWidget *parent) : QDialog(parent), ui(new Ui::NumberEdit)
{
    ui->setupUi(this);
    // A base frequency of 0 Hz would make a voice read its sample at an infinite rate. The
    // lowest MIDI note sounds at 8.18 Hz, so no playable sample has a lower one.
    ui->numberBox->setMinimum(8.0);
}

NumberEdit::~NumberEdit()
{
    delete ui;
}

void NumberEdit::setNumber(int newTarget, double newNumber)
{
    target = newTarget;
    number = newNumber;
    const QSignalBlocker block(ui->numberBox);
    ui->numberBox->setValue(newNumber);
}

void NumberEdit::on_numberBox_valueChanged(double arg1)
{
    number = arg1;
    emit SendNumber(target, arg1);
}

void NumberEdit::on_buttonBox_accepted()
{
    hide();
}
