#include "dialogs/namedialog.h"

#include "ui_namedialog.h"

NameDialog::NameDialog(QWidget *parent) : QDialog(parent), ui(new Ui::NameDialog)
{
    ui->setupUi(this);
}

NameDialog::~NameDialog()
{
    delete ui;
}

void NameDialog::setMode(int newMode)
{
    mode = newMode;
}

void NameDialog::setText(QString text)
{
    ui->lineEdit->setText(text);
}

void NameDialog::setLabel(QString text)
{
    ui->targetLabel->setText(text);
}

void NameDialog::on_buttonBox_accepted()
{
    // An empty name closes the dialog without an answer.
    const QString text = ui->lineEdit->text();
    if (!text.isEmpty())
        emit Send(mode, text);
}
