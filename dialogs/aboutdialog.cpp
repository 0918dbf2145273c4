#include "dialogs/aboutdialog.h"

#include "ui_aboutdialog.h"

AboutDialog::AboutDialog(QWidget *parent) : QDialog(parent), ui(new Ui::AboutDialog)
{
    ui->setupUi(this);
}

AboutDialog::~AboutDialog()
{
    delete ui;
}

QString AboutDialog::versionLabel() const
{
    return ui->deviceLabel->text();
}

void AboutDialog::setVersionLabel(QString text)
{
    ui->deviceLabel->setText(text);
}
