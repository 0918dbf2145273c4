#include "dialogs/numberedit.h"

#include "ui_numberedit.h"

#include <QSignalBlocker>

NumberEdit::NumberEdit(QWidget *parent) : QDialog(parent), ui(new Ui::NumberEdit)
{
    ui->setupUi(this);
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
