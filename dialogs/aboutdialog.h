// The About box: program version and the firmware version the device reported.
#pragma once

#include <QDialog>

namespace Ui {
class AboutDialog;
}

class AboutDialog : public QDialog
{
    Q_OBJECT
public:
    explicit AboutDialog(QWidget *parent = nullptr);
    ~AboutDialog() override;

    QString versionLabel() const;

public slots:
    void setVersionLabel(QString text);

private:
    Ui::AboutDialog *ui;
};
