// Asks for a name (of a map, an instrument or a folder). The caller sets a mode before showing
// the dialog and gets it back unchanged with the entered name.
#pragma once

#include <QDialog>

namespace Ui {
class NameDialog;
}

class NameDialog : public QDialog
{
    Q_OBJECT
public:
    explicit NameDialog(QWidget *parent = nullptr);
    ~NameDialog() override;

    void setMode(int mode);
    void setText(QString text);
    void setLabel(QString text);
    int getMode() const { return mode; }

signals:
    void Send(int mode, QString text);

private slots:
    void on_buttonBox_accepted();

private:
    Ui::NameDialog *ui;
    int mode = 0;
};
