// Sets a sample's base frequency by hand. Every change of the number is sent at once.
#pragma once

#include <QDialog>

namespace Ui {
class NumberEdit;
}

class NumberEdit : public QDialog
{
    Q_OBJECT
public:
    explicit NumberEdit(QWidget *parent = nullptr);
    ~NumberEdit() override;

    int getTarget() const { return target; }
    double getNumber() const { return number; }

signals:
    void SendNumber(int target, double number);

public slots:
    // Fills the dialog without sending anything.
    void setNumber(int target, double number);

private slots:
    void on_numberBox_valueChanged(double arg1);
    void on_buttonBox_accepted();

private:
    Ui::NumberEdit *ui;
    int target = 0;
    double number = 0.0;
};
