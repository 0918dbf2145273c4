#include "app/mappingtabcontroller.h"

#include "app/mainwindowform.h"
#include "core/korvanecore.h"
#include "hand/korvanehandwidget.h"
#include "scales/scales.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDebug>
#include <QLabel>
#include <QPushButton>
#include <QShortcut>
#include <QSignalBlocker>

MappingTabController::MappingTabController(MainWindowForm *ui, KorvaneCore *hub,
                                           const QString &dataPath, QObject *parent)
    : QObject(parent), ui(ui), hub(hub), dataPath(dataPath), scale(ui->comboBox->currentIndex())
{
    connect(ui->transposeUp, &QPushButton::clicked, this, [this] { transpose(1, 0); });
    connect(ui->transPoseDown, &QPushButton::clicked, this, [this] { transpose(-1, 0); });
    connect(ui->oupButton, &QPushButton::clicked, this, [this] { transpose(0, 1); });
    connect(ui->odownButton, &QPushButton::clicked, this, [this] { transpose(0, -1); });
    connect(ui->soundEditButton, &QPushButton::clicked, this,
            &MappingTabController::soundEditorRequested);
    connect(ui->panicButton, &QPushButton::clicked, this, &MappingTabController::panic);
    // Escape anywhere in the window, as long as no popup or dialog takes it first.
    auto *escape = new QShortcut(QKeySequence(Qt::Key_Escape), ui->tab->window());
    escape->setContext(Qt::WindowShortcut);
    connect(escape, &QShortcut::activated, this, &MappingTabController::panic);
    connect(ui->comboBox, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &MappingTabController::scaleChosen);
    shownSound = ui->testSoundBox->currentIndex();
    connect(ui->testSoundBox, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &MappingTabController::testSoundChosen);
    connect(ui->muteBox, &QCheckBox::toggled, this, &MappingTabController::muteToggled);
    connect(ui->patchPushButton, &QPushButton::clicked, this,
            &MappingTabController::mapBrowserRequested);
    connect(ui->mapSaveButton, &QPushButton::clicked, this,
            &MappingTabController::mapSaveRequested);
    connect(ui->soundsButton, &QPushButton::clicked, this,
            &MappingTabController::soundBrowserRequested);
    showKeyOctave();
}

void MappingTabController::showKeyOctave()
{
    ui->keyOctaveLabel->setText(
        QStringLiteral("Key %1 · Octave %2").arg(noteName(((key % 12) + 12) % 12)).arg(octave));
}

QString MappingTabController::testSoundFile(const QString &dataPath, int index)
{
    QString file = QStringLiteral("Electric Piano.kvi");
    if (index == 1)
        file = QStringLiteral("Marimba.kvi");
    else if (index == 2)
        file = QStringLiteral("Flute.kvi");
    return dataPath + QStringLiteral("/sounds/") + file;
}

void MappingTabController::refreshHand()
{
    ui->widget->UpdateFromState(hub->GetState(0));
}

void MappingTabController::transpose(int keySteps, int octaveSteps)
{
    // A note beyond 0..127 cannot be sent: the whole step is refused.
    const int semitones = keySteps + 12 * octaveSteps;
    const KorvaneSensorsState state = hub->GetState(0);
    for (const KorvaneSensorNode &n : state.nodes) {
        const int note = n.note + semitones;
        if (n.type == NodeNote && (note < 0 || note > 127)) {
            emit statusMessage(semitones > 0
                                   ? QStringLiteral("Highest note reached: not transposed.")
                                   : QStringLiteral("Lowest note reached: not transposed."));
            return;
        }
    }
    recorded(octaveSteps != 0 ? QStringLiteral("Octave") : QStringLiteral("Key"), [&] {
        key += keySteps;
        octave += octaveSteps;
        hub->Transpose(semitones);
        refreshHand();
        showKeyOctave();
    });
}

void MappingTabController::recorded(const QString &text, const std::function<void()> &edit)
{
    if (recorder)
        recorder(text, edit);
    else
        edit();
}

MappingView MappingTabController::view() const
{
    return {key, octave, scale, ui->patchNameLine->text()};
}

void MappingTabController::showView(const MappingView &view)
{
    key = view.key;
    octave = view.octave;
    scale = view.scale;
    {
        const QSignalBlocker block(ui->comboBox);
        ui->comboBox->setCurrentIndex(view.scale);
    }
    ui->widget->setMajorScale(Scales::isMajorScale(view.scale));
    ui->patchNameLine->setText(view.name);
    refreshHand();
    showKeyOctave();
}

void MappingTabController::panic()
{
    hub->Panic();
    ui->widget->ResetTriggers();
}

void MappingTabController::scaleChosen(int index)
{
    recorded(QStringLiteral("Scale"), [&] {
        scale = index;
        ui->widget->setMajorScale(Scales::isMajorScale(index));
        generateScale(index);
        ui->patchNameLine->setText(ui->comboBox->itemText(index));
    });
}

void MappingTabController::setSoundLoader(std::function<bool(const QString &)> loader)
{
    soundLoader = std::move(loader);
}

void MappingTabController::testSoundChosen(int index)
{
    const QString file = testSoundFile(dataPath, index);
    if (soundLoader ? soundLoader(file) : hub->LoadSound(file)) {
        shownSound = index;
        return;
    }
    // The instrument in memory stays, and so does the choice that shows it.
    const QSignalBlocker block(ui->testSoundBox);
    ui->testSoundBox->setCurrentIndex(shownSound);
}

void MappingTabController::muteToggled(bool checked)
{
    hub->setMute(checked);
    ui->widget->ResetTriggers();
}

void MappingTabController::generateScale(int scale)
{
    qDebug() << "generating requested scale";
    recorded(QStringLiteral("Scale"), [&] { hub->ScaleRequest(key, octave, scale); });
    showKeyOctave();
}

void MappingTabController::generateScaleFromBrowser(int scale)
{
    recorded(QStringLiteral("Scale"), [&] { hub->ScaleRequest(key, octave - 1, scale); });
}

void MappingTabController::showMapLoaded(bool fromFile)
{
    const KorvaneSensorsState state = hub->GetState(0);
    ui->widget->UpdateFromState(state);
    key = state.key;
    octave = state.octave;
    showKeyOctave();
    setPatchName(hub->GetMapName());
    if (fromFile)
        hub->SendState();
}

void MappingTabController::setNode(const KorvaneSensorNode &node, int index)
{
    // Named from what changed ("Sensor 5 note").
    recorded(QString(), [&] {
        hub->SetNode(node, index);
        refreshHand();
        hub->SendState();
    });
}

void MappingTabController::setPatchName(const QString &filename)
{
    ui->patchNameLine->setText(filename.section(QLatin1Char('.'), 0, 0));
}

void MappingTabController::showMute(bool on)
{
    const QSignalBlocker block(ui->muteBox);
    ui->muteBox->setChecked(on);
}

void MappingTabController::setRemoteMapping(int mapping)
{
    ui->widget->setDeviceType(mapping);
}
