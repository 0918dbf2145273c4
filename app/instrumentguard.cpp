#include "app/instrumentguard.h"

#include "app/filerequests.h"
#include "core/korvanecore.h"

#include <QDebug>
#include <QFileInfo>
#include <QMessageBox>
#include <QScopedValueRollback>
#include <QTimer>

InstrumentGuard::InstrumentGuard(KorvaneCore *hub, FileRequests *requests, QWidget *boxParent)
    : QObject(boxParent), hub(hub), requests(requests), boxParent(boxParent)
{
}

QString InstrumentGuard::shownName() const
{
    const QString name = QFileInfo(hub->GetSoundName()).completeBaseName();
    return name.isEmpty() ? QStringLiteral("The instrument") : name;
}

bool InstrumentGuard::load(const QString &file)
{
    if (!hub->IsSoundModified())
        return hub->LoadSound(file);
    if (!deviceDriven) {
        if (!settle(QStringLiteral("Save them before loading another instrument?")))
            return false;
        return hub->LoadSound(file);
    }
    // On stage no dialog may open: the changes go to a file of their own.
    const QString name = shownName();
    const QString kept = hub->KeepUnsavedSound();
    if (kept.isEmpty()) {
        emit statusMessage(
            QStringLiteral("%1 stays loaded: its unsaved changes could not be kept").arg(name));
        return false;
    }
    const bool loaded = hub->LoadSound(file);
    const QString text = QStringLiteral("Unsaved changes of %1 kept as \"%2\"")
                             .arg(name, QFileInfo(kept).fileName());
    qInfo().noquote() << text;
    // After the device's own line for the action, which is still on its way.
    QTimer::singleShot(0, this, [this, text] { emit statusMessage(text); });
    return loaded;
}

void InstrumentGuard::fromDevice(const std::function<void()> &step)
{
    const QScopedValueRollback<bool> driven(deviceDriven, true);
    step();
}

bool InstrumentGuard::releaseForQuit()
{
    return !hub->IsSoundModified() || settle(QStringLiteral("Save them before quitting?"));
}

bool InstrumentGuard::settle(const QString &question)
{
    QMessageBox box(boxParent);
    box.setText(QStringLiteral("%1 has unsaved changes.").arg(shownName()));
    box.setInformativeText(question);
    box.setStandardButtons(QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel);
    box.setDefaultButton(QMessageBox::Save);
    switch (box.exec()) {
    case QMessageBox::Save:
        return saveCurrent(); // a failed save keeps the instrument, and says why
    case QMessageBox::Discard:
        return true;
    default:
        return false;
    }
}

// Saves over the instrument's own file; an instrument without one (all samples were removed
// and new ones made) gets a new name in the sounds folder, never over another file.
bool InstrumentGuard::saveCurrent()
{
    QString path = hub->GetSoundPath();
    if (path.isEmpty() || (requests && requests->isNewSoundPending())) {
        const QString stem = hub->GetDataPath() + QStringLiteral("/sounds/User instrument");
        path = stem + QStringLiteral(".kvi");
        for (int n = 2; QFileInfo::exists(path); ++n)
            path = stem + QStringLiteral(" %1.kvi").arg(n);
    }
    return hub->SaveSound(path);
}
