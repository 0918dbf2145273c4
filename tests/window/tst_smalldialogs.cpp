#include "dialogs/aboutdialog.h"
#include "dialogs/fixedspinbox.h"
#include "dialogs/namedialog.h"
#include "dialogs/numberedit.h"

#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QStyle>
#include <QStyleOptionSpinBox>
#include <QtTest>

namespace {

// Holds the mouse on the spin box's up arrow for a while, then lets go.
void holdUpArrow(QSpinBox &box, int ms)
{
    QStyleOptionSpinBox opt;
    opt.initFrom(&box);
    opt.subControls = QStyle::SC_SpinBoxUp;
    opt.buttonSymbols = box.buttonSymbols();
    opt.stepEnabled = QAbstractSpinBox::StepUpEnabled | QAbstractSpinBox::StepDownEnabled;
    const QRect up =
        box.style()->subControlRect(QStyle::CC_SpinBox, &opt, QStyle::SC_SpinBoxUp, &box);
    QTest::mousePress(&box, Qt::LeftButton, Qt::NoModifier, up.center());
    QTest::qWait(ms);
    QTest::mouseRelease(&box, Qt::LeftButton, Qt::NoModifier, up.center());
}

} // namespace

class TestSmallDialogs : public QObject
{
    Q_OBJECT
private slots:
    void nameDialog();
    void numberEdit();
    void aboutDialog();
    void fixedSpinBoxStepsOnce();
};

void TestSmallDialogs::nameDialog()
{
    NameDialog d;
    QCOMPARE(d.windowTitle(), QString("Enter name"));
    QVERIFY(d.isModal());
    QSignalSpy sent(&d, &NameDialog::Send);
    auto *edit = d.findChild<QLineEdit *>("lineEdit");
    auto *box = d.findChild<QDialogButtonBox *>("buttonBox");
    QVERIFY(edit && box);

    d.setMode(4);
    d.setLabel("New folder into:maps");
    d.setText("Live");
    QCOMPARE(d.findChild<QLabel *>("targetLabel")->text(), QString("New folder into:maps"));
    d.show();
    box->button(QDialogButtonBox::Ok)->click();
    QVERIFY(!d.isVisible());
    QCOMPARE(sent.count(), 1);
    QCOMPARE(sent.at(0).at(0).toInt(), 4);
    QCOMPARE(sent.at(0).at(1).toString(), QString("Live"));

    // OK with an empty name closes and sends nothing; Cancel never sends.
    d.setText(QString());
    d.show();
    box->button(QDialogButtonBox::Ok)->click();
    QVERIFY(!d.isVisible());
    d.setText("Other");
    d.show();
    box->button(QDialogButtonBox::Cancel)->click();
    QVERIFY(!d.isVisible());
    QCOMPARE(sent.count(), 1);
}

void TestSmallDialogs::numberEdit()
{
    NumberEdit d;
    QCOMPARE(d.windowTitle(), QString("Sample Frequency"));
    QSignalSpy sent(&d, &NumberEdit::SendNumber);
    auto *box = d.findChild<QDoubleSpinBox *>("numberBox");
    QVERIFY(box);

    // Filling the dialog sends nothing; the first change does.
    d.setNumber(3, 440.5);
    QCOMPARE(box->value(), 440.5);
    QCOMPARE(sent.count(), 0);
    box->setValue(220.25);
    QCOMPARE(sent.count(), 1);
    QCOMPARE(sent.at(0).at(0).toInt(), 3);
    QCOMPARE(sent.at(0).at(1).toDouble(), 220.25);
    QCOMPARE(d.getNumber(), 220.25);

    // Values above the top are clamped; typing cannot go past it either.
    box->setValue(25000.0);
    QCOMPARE(box->value(), 20000.99);
    QCOMPARE(sent.last().at(1).toDouble(), 20000.99);
    box->selectAll();
    QTest::keyClicks(box, "30000");
    box->interpretText();
    QVERIFY(box->value() <= 20000.99);
    // A frequency that cannot play (0 Hz) is never sent.
    box->setValue(0.0);
    QVERIFY(box->value() >= 8.0);
    QVERIFY(sent.last().at(1).toDouble() >= 8.0);

    d.show();
    d.findChild<QDialogButtonBox *>("buttonBox")->button(QDialogButtonBox::Close)->click();
    QVERIFY(!d.isVisible());
}

void TestSmallDialogs::aboutDialog()
{
    AboutDialog d;
    QCOMPARE(d.windowTitle(), QString("About VARNO Control"));
    QCOMPARE(d.findChild<QLabel *>("versionLabel")->text(), QString(" 1.5.0"));
    QCOMPARE(d.versionLabel(), QString());
    QVERIFY(d.findChild<QLabel *>("licenceLabel")->text().contains("GPL-3.0-or-later"));
    d.setVersionLabel("Version: 12");
    QCOMPARE(d.findChild<QLabel *>("deviceLabel")->text(), QString("Version: 12"));
    d.show();
    d.findChild<QDialogButtonBox *>("buttonBox")->button(QDialogButtonBox::Close)->click();
    QVERIFY(!d.isVisible());
}

void TestSmallDialogs::fixedSpinBoxStepsOnce()
{
    // A plain spin box repeats while the arrow is held; ours steps once.
    QSpinBox plain;
    FixedSpinBox fixed;
    for (QSpinBox *box : {static_cast<QSpinBox *>(&plain), static_cast<QSpinBox *>(&fixed)}) {
        box->setRange(1, 99);
        box->setValue(10);
        box->resize(120, 30);
        box->show();
        QVERIFY(QTest::qWaitForWindowExposed(box));
        holdUpArrow(*box, 1500);
    }
    QVERIFY(plain.value() > 11);
    QCOMPARE(fixed.value(), 11);
}

QTEST_MAIN(TestSmallDialogs)
#include "tst_smalldialogs.moc"
