// A spin box whose arrows step once per press: holding an arrow does not auto-repeat, so a
// held button cannot run a device setting away.
#pragma once

#include <QSpinBox>

class FixedSpinBox : public QSpinBox
{
public:
    using QSpinBox::QSpinBox;

protected:
    // Skips the spin box's own timer handling, which drives the auto-repeat.
    void timerEvent(QTimerEvent *event) override { QObject::timerEvent(event); }
};
