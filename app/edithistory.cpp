#include "app/edithistory.h"

#include "app/mappingtabcontroller.h"
#include "app/settingstabcontroller.h"
#include "core/korvanecore.h"
#include "dialogs/korvanenodeview.h"

#include <QAction>
#include <QMenu>
#include <QUndoStack>

EditHistory::EditHistory(KorvaneCore *hub, MappingTabController *mapping,
                         SettingsTabController *settings, KorvaneNodeView *nodeDialog,
                         QObject *parent)
    : QObject(parent), hub(hub), mapping(mapping), settings(settings), nodeDialog(nodeDialog),
      undoStack(new QUndoStack(this))
{
    shown = snapshot();
    const EditRecorder recorder = [this](const QString &text, const std::function<void()> &edit) {
        record(text, edit);
    };
    mapping->setRecorder(recorder);
    settings->setRecorder(recorder);
    // Connected after the window's own slots: the hub holds the change and the window shows it.
    connect(nodeDialog, &KorvaneNodeView::SendBendSettings, this,
            [this] { changedElsewhere(QString(), BendPart, false); });
    connect(nodeDialog, &KorvaneNodeView::SendGyroSettings, this,
            [this] { changedElsewhere(QString(), GyroPart, false); });
    connect(hub, &KorvaneCore::LoadCompleted, this,
            [this] { changedElsewhere(tr("Load Map"), MapPart | ViewPart, false); });
    const auto fromDevice = [this] {
        changedElsewhere(tr("Sync from Device"),
                         MapPart | CalibrationPart | SettingsPart | ViewPart, true);
    };
    connect(hub, &KorvaneCore::SysExLoadCompleted, this, fromDevice);
    connect(hub, &KorvaneCore::UpdateSettingsUI, this, fromDevice);
}

EditSnapshot EditHistory::snapshot() const
{
    return {hub->GetState(0),       hub->getCalibration(), hub->getBendSettings(),
            hub->getGyroSettings(), hub->GetMapName(),     mapping->view()};
}

void EditHistory::record(const QString &text, const std::function<void()> &edit)
{
    if (depth > 0 || applying) {
        edit();
        return;
    }
    const EditSnapshot before = snapshot();
    ++depth;
    edit();
    --depth;
    const EditSnapshot after = snapshot();
    shown = after;
    if (changedParts(before, after) == 0)
        return;
    undoStack->push(new EditCommand(text.isEmpty() ? describeChange(before, after) : text, before,
                                    after,
                                    [this](const EditSnapshot &s, int parts) { apply(s, parts); }));
}

void EditHistory::changedElsewhere(const QString &text, int parts, bool fromDevice)
{
    if (depth > 0 || applying)
        return;
    const EditSnapshot now = snapshot();
    // Only the parts this change can touch are taken from before it.
    EditSnapshot before = now;
    if (parts & MapPart)
        before.map = shown.map;
    if (parts & (CalibrationPart | SettingsPart))
        before.calibration = shown.calibration;
    if (parts & BendPart)
        before.bend = shown.bend;
    if (parts & GyroPart)
        before.gyro = shown.gyro;
    if (parts & ViewPart) {
        before.view = shown.view;
        before.mapName = shown.mapName;
    }
    const int changed = changedParts(before, now);
    if (changed != 0 && (!fromDevice || (changed & ~ViewPart) != 0))
        undoStack->push(new EditCommand(
            text.isEmpty() ? describeChange(before, now) : text, before, now,
            [this](const EditSnapshot &s, int parts) { apply(s, parts); }, fromDevice));
    shown = now;
}

void EditHistory::keepMapName()
{
    shown.mapName = hub->GetMapName();
    shown.view.name = mapping->view().name;
}

// The records go to the device through the same hub calls as the edit's: the map upload,
// the general settings, the calibration, the bend and the gyro settings.
void EditHistory::apply(const EditSnapshot &s, int parts)
{
    applying = true;
    if (parts & MapPart) {
        hub->UpdateState(s.map);
        hub->SendState();
    }
    if (parts & (MapPart | ViewPart)) {
        hub->SetMapName(s.mapName);
        mapping->showView(s.view);
    }
    if (parts & SettingsPart)
        hub->setSettings(s.calibration);
    if (parts & CalibrationPart)
        hub->setCalibration(s.calibration);
    if (parts & (SettingsPart | CalibrationPart))
        settings->showCalibration(s.calibration);
    if (parts & BendPart)
        hub->SendBendSettings(s.bend);
    if (parts & GyroPart)
        hub->SendGyroSettings(s.gyro);
    if (nodeDialog->isVisible()) {
        nodeDialog->setBendSettings(hub->getBendSettings());
        nodeDialog->setGyroSettings(hub->getGyroSettings());
        const int i = nodeDialog->currentIndex();
        if (i >= 0 && i < kSensorCount)
            nodeDialog->setConfiguration(hub->GetNode(i), i);
    }
    applying = false;
    shown = snapshot();
}

void EditHistory::fillEditMenu(QMenu *menu)
{
    QAction *undo = undoStack->createUndoAction(menu, tr("&Undo"));
    undo->setObjectName(QStringLiteral("actionUndo"));
    undo->setShortcuts(QKeySequence::Undo);
    QAction *redo = undoStack->createRedoAction(menu, tr("&Redo"));
    redo->setObjectName(QStringLiteral("actionRedo"));
    // Both redo keys whatever the desktop's scheme lists.
    QList<QKeySequence> redoKeys = QKeySequence::keyBindings(QKeySequence::Redo);
    for (const QKeySequence &k :
         {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), QKeySequence(Qt::CTRL | Qt::Key_Y)})
        if (!redoKeys.contains(k))
            redoKeys << k;
    redo->setShortcuts(redoKeys);
    undo->setStatusTip(tr("Takes back the last edit and sends the records as they were"));
    redo->setStatusTip(tr("Makes the edit taken back again and sends its records"));
    menu->addAction(undo);
    menu->addAction(redo);
}
