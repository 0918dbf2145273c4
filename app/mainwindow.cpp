#include "app/mainwindow.h"

#include "app/mainwindowform.h"
#include "audio/korvaneaudioengine.h"
#include "core/datapaths.h"
#include "core/korvanecore.h"
#include "dialogs/aboutdialog.h"
#include "dialogs/fixedspinbox.h"
#include "dialogs/namedialog.h"
#include "dialogs/numberedit.h"
#include "hand/korvanehandwidget.h"
#include "scales/scales.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QMessageBox>
#include <QSignalBlocker>
#include <QSlider>
#include <QTextStream>

namespace {
const char *const kStyleSheet = ":/orangestyle/darkorange-apple9.qss";
}

MainWindow::MainWindow(QWidget *parent) : QMainWindow(parent), ui(new MainWindowForm)
{
    ui->setupUi(this);
    setWindowTitle(tr("VARNO Control"));
    setWindowIcon(QIcon(QStringLiteral(":/images/varno-control.svg")));

    unsaved = false;
    soundEdited = false;
    memoryFlushed = false;
    currentSound = QStringLiteral("Flute");
    keyOffset = 0;
    octaveCounter = 4;

    dataPath = DataPaths::dataPath();
    qDebug().noquote() << "actual datapath: " << dataPath;
    QDir().mkpath(dataPath);

    ui->widget->setFocusPolicy(Qt::StrongFocus);
    setStyleSheet(QString());

    // The hub builds the device link, the audio engine, the settings and the first map.
    // The sensor edit dialog, the sound browser, the map browser and the sound editor are
    // created here too, once they exist.
    hub = new KorvaneCore(this);

    connect(ui->widget, SIGNAL(OpenNode(int)), this, SLOT(OpenNodeView(int)));
    connect(hub, SIGNAL(SendNoteTrigger(int, bool, int)), ui->widget,
            SLOT(Trigger(int, bool, int)));
    connect(hub, SIGNAL(SendEnvelopeParameters(KorvaneEnvelope)), this,
            SLOT(setEnvelopeParameters(KorvaneEnvelope)));
    connect(hub, SIGNAL(SendReverbParameters(KorvaneSamplerReverb)), this,
            SLOT(setReverbParameters(KorvaneSamplerReverb)));
    connect(hub, SIGNAL(SendLayerView(KorvaneLayerView)), this,
            SLOT(ProcessLayerUpdate(KorvaneLayerView)));
    connect(hub, SIGNAL(EnableMIDIConnect()), this, SLOT(EnableMIDIConnect()));
    connect(hub, SIGNAL(EnableMIDIDisconnect()), this, SLOT(EnableMIDIDisconnect()));

    about = new AboutDialog(this);
    name = new NameDialog(this);
    numedit = new NumberEdit(this);

    connect(hub, SIGNAL(sendStatusMessage(QString)), this, SLOT(setMainMessage(QString)));
    connect(hub, SIGNAL(SendStateUI(KorvaneSensorsState)), ui->widget,
            SLOT(UpdateFromState(KorvaneSensorsState)));
    connect(hub, SIGNAL(setUnsaved()), this, SLOT(setUnsaved()));
    connect(name, SIGNAL(Send(int, QString)), this, SLOT(ReceiveName(int, QString)));
    connect(hub, SIGNAL(SendVersionError()), this, SLOT(ShowVersionError()));
    connect(hub, SIGNAL(LoadCompleted()), this, SLOT(LoadComplete()));
    connect(hub, SIGNAL(SaveCompleted()), this, SLOT(LoadComplete()));
    connect(hub, SIGNAL(SysExLoadCompleted()), this, SLOT(SysExLoadComplete()));
    connect(hub, SIGNAL(SoundLoadComplete()), this, SLOT(SoundLoadComplete()));
    connect(hub, SIGNAL(SoundSaveComplete()), this, SLOT(SoundLoadComplete()));
    connect(hub, SIGNAL(NextSound()), this, SLOT(NextSound()));
    connect(hub, SIGNAL(PrevSound()), this, SLOT(PrevSound()));
    connect(hub, SIGNAL(SendSoundName(QString)), this, SLOT(setCurrentSoundName(QString)));
    connect(hub, SIGNAL(UpdateSettingsUI(KorvaneCalibration)), this,
            SLOT(UpdateSettingsUI(KorvaneCalibration)));
    connect(hub, SIGNAL(UpdateBendUI(KorvaneBendSettings)), this,
            SLOT(UpdateBendUI(KorvaneBendSettings)));
    connect(hub, SIGNAL(SendRemoteDevice(int)), this, SLOT(setRemoteMapping(int)));
    connect(hub, SIGNAL(SendTemporalOffset(int)), ui->widget, SLOT(setTemporalOffset(int)));
    connect(hub, SIGNAL(SendMute(bool)), this, SLOT(setMute(bool)));
    connect(hub, SIGNAL(PassDeviceVersionNumber(int)), this, SLOT(ShowDeviceVersionNumber(int)));
    connect(hub, SIGNAL(SendWriteCount(int)), this, SLOT(setWriteCountAmount(int)));
    connect(hub, SIGNAL(IOSResendMapping()), this, SLOT(reSendMapping()));

    UpdateDirectory();
    hub->StartEngines();

    ui->widget->setDeviceType(hub->GetRemoteMap());
    hub->LoadSettings();
    UpdateSettingsUI(hub->getCalibration());
    soundEdited = false;
    ui->widget->UpdateFromState(hub->GetState(0));

    QFile style(QString::fromLatin1(kStyleSheet));
    if (style.open(QFile::ReadOnly | QFile::Text)) {
        styleText = QTextStream(&style).readAll();
        setStyleSheet(styleText);
        numedit->setStyleSheet(styleText);
        about->setStyleSheet(styleText);
        name->setStyleSheet(styleText);
    } else {
        qDebug() << "could not load stylesheet";
    }

    hub->LoadWriteCount();
    qDebug() << "All ready!";
}

MainWindow::~MainWindow()
{
    hub->ShutDown();
    delete ui;
}

KorvaneHandWidget *MainWindow::handWidget() const
{
    return ui->widget;
}

QString MainWindow::testSoundFile(const QString &dataPath, int index)
{
    QString file = QStringLiteral("Electric Piano.kvi");
    if (index == 1)
        file = QStringLiteral("Marimba.kvi");
    else if (index == 2)
        file = QStringLiteral("Flute.kvi");
    return dataPath + QStringLiteral("/sounds/") + file;
}

void MainWindow::refreshHand()
{
    ui->widget->UpdateFromState(hub->GetState(0));
}

// ---- settings tab ----

void MainWindow::on_onThresholdSlider_valueChanged(int value)
{
    ui->noteOnLabel->setText(QString::number(value));
}

void MainWindow::on_onThresholdSlider_sliderMoved(int value)
{
    ui->noteOnLabel->setText(QString::number(value));
}

void MainWindow::on_offThresholdSlider_valueChanged(int value)
{
    ui->noteOffLabel->setText(QString::number(value));
}

void MainWindow::on_offThresholdSlider_sliderMoved(int value)
{
    ui->noteOffLabel->setText(QString::number(value));
}

void MainWindow::on_velocitySlider_sliderMoved(int value)
{
    ui->velocitySensitivyLabel->setText(QString::number(value));
}

void MainWindow::on_controlSlider_sliderMoved(int value)
{
    ui->controlAmountLabel_2->setText(QString::number(value));
}

// Note-on must stay above note-off: a release on the wrong side moves the slider back.
void MainWindow::on_onThresholdSlider_sliderReleased()
{
    KorvaneCalibration calib = hub->getCalibration();
    const int off = calib.offThreshold;
    int on = ui->onThresholdSlider->value();
    if (off >= on) {
        on = off + 1;
        ui->onThresholdSlider->setValue(on);
    }
    calib.onThreshold = uint8_t(on);
    hub->setCalibration(calib);
}

void MainWindow::on_offThresholdSlider_sliderReleased()
{
    KorvaneCalibration calib = hub->getCalibration();
    const int on = calib.onThreshold;
    int off = ui->offThresholdSlider->value();
    if (on <= off) {
        off = on - 1;
        ui->offThresholdSlider->setValue(off);
    }
    calib.offThreshold = uint8_t(off);
    hub->setCalibration(calib);
}

void MainWindow::on_velocitySlider_sliderReleased()
{
    KorvaneCalibration calib = hub->getCalibration();
    calib.velocityScale = float(ui->velocitySlider->value());
    hub->setCalibration(calib);
}

void MainWindow::on_controlSlider_sliderReleased()
{
    KorvaneCalibration calib = hub->getCalibration();
    calib.aftertouchScale = float(ui->controlSlider->value());
    hub->setCalibration(calib);
}

void MainWindow::on_velocityCurveBox_currentIndexChanged(int index)
{
    KorvaneCalibration calib = hub->getCalibration();
    calib.setVelocityCurveType(index);
    hub->setCalibration(calib);
}

void MainWindow::on_controlCurveBox_currentIndexChanged(int index)
{
    KorvaneCalibration calib = hub->getCalibration();
    calib.setAftertouchCurveType(index);
    hub->setCalibration(calib);
}

void MainWindow::on_aftertouchSpinbox_valueChanged(int value)
{
    KorvaneCalibration calib = hub->getCalibration();
    calib.aftertouchDelay = uint8_t(value);
    hub->setCalibration(calib);
}

void MainWindow::on_defaultControlBox_currentIndexChanged(int index)
{
    // Pitch bend as the global aftertouch leaves no room for bend assignments.
    if (index == 2)
        hub->RemoveGlobalBend();
    KorvaneCalibration calib = hub->getCalibration();
    calib.globalControl = index;
    hub->setSettings(calib);
}

void MainWindow::on_ccNumberspinBox_valueChanged(int value)
{
    KorvaneCalibration calib = hub->getCalibration();
    calib.globalCC = uint8_t(value);
    hub->setSettings(calib);
}

void MainWindow::on_midiChannelBox_currentIndexChanged(int index)
{
    KorvaneCalibration calib = hub->getCalibration();
    calib.midiChannel = uint8_t(index);
    hub->setSettings(calib);
}

void MainWindow::on_syncButton_clicked()
{
    hub->SyncToDevice();
}

void MainWindow::on_ROMButton_clicked()
{
    hub->SendWriteCommand();
}

void MainWindow::on_reConButton_clicked()
{
    hub->ReconnectMIDI();
}

void MainWindow::on_disconButton_clicked()
{
    hub->DisconnectMIDI();
}

void MainWindow::on_versionButton_clicked()
{
    about->setVersionLabel(QStringLiteral("No device connected"));
    hub->RequestVersionNumber();
    about->show();
}

void MainWindow::on_actionAbout_Korvane_Control_triggered()
{
    on_versionButton_clicked();
}

// ---- mapping tab ----

void MainWindow::on_transposeUp_clicked()
{
    keyOffset += 1;
    hub->Transpose(1);
    refreshHand();
}

void MainWindow::on_transPoseDown_clicked()
{
    keyOffset -= 1;
    hub->Transpose(-1);
    refreshHand();
}

void MainWindow::on_oupButton_clicked()
{
    octaveCounter += 1;
    hub->Transpose(12);
    refreshHand();
}

void MainWindow::on_odownButton_clicked()
{
    octaveCounter -= 1;
    hub->Transpose(-12);
    refreshHand();
}

void MainWindow::on_comboBox_currentIndexChanged(int index)
{
    ui->widget->setMajorScale(Scales::isMajorScale(index));
    GenerateScale(index);
    ui->patchNameLine->setText(ui->comboBox->itemText(index));
}

void MainWindow::on_patchPushButton_clicked()
{
    // Opens the map browser once it exists.
}

void MainWindow::on_mapSaveButton_clicked()
{
    // The map browser's save, once the browser exists.
}

void MainWindow::on_testSoundBox_currentIndexChanged(int index)
{
    hub->LoadSound(testSoundFile(dataPath, index));
}

void MainWindow::on_muteBox_toggled(bool checked)
{
    hub->setMute(checked);
    ui->widget->ResetTriggers();
}

void MainWindow::on_volSlider_valueChanged(int v)
{
    hub->setSamplerVolume(float(v * 0.010101010101010102));
}

void MainWindow::on_bleButton_clicked() {}

void MainWindow::on_muteBox_clicked() {}

// ---- slots reached by the hub and the other windows ----

void MainWindow::GenerateScale(int nro)
{
    qDebug() << "generating requested scale";
    hub->ScaleRequest(keyOffset, octaveCounter, nro);
}

void MainWindow::scaleGeneration(int nro)
{
    hub->ScaleRequest(keyOffset, octaveCounter - 1, nro);
}

void MainWindow::ProcessSamplerMode(int mode)
{
    hub->setSamplerMode(mode);
    hub->getLayerView();
}

void MainWindow::ProcessPreviewPlay(int sample_id)
{
    hub->PreviewPlay(sample_id);
}

void MainWindow::ProcessPreviewStop()
{
    hub->PreviewStop();
}

void MainWindow::ProcessLayerUpdate(KorvaneLayerView)
{
    // Handed to the sound editor once it exists.
}

void MainWindow::EndRecord()
{
    hub->EndRecord();
}

void MainWindow::ReadyRecSampler()
{
    hub->ReadyRecSampler();
}

void MainWindow::SoundLoadComplete()
{
    // The sound editor shows the hub's instrument name once it exists.
}

void MainWindow::showMapLoaded(bool fromFile)
{
    const KorvaneSensorsState state = hub->GetState(0);
    ui->widget->UpdateFromState(state);
    keyOffset = state.key;
    // The window counts octaves the way the map does, so a scale chosen after a load keeps
    // the loaded octave.
    octaveCounter = state.octave;
    setPatchName(hub->GetMapName());
    if (fromFile)
        hub->SendState();
}

void MainWindow::LoadComplete()
{
    qDebug() << "load complete";
    showMapLoaded(true);
}

void MainWindow::SysExLoadComplete()
{
    qDebug() << "Updating view from sysex load";
    showMapLoaded(false);
}

void MainWindow::UpdateSettingsUI(KorvaneCalibration calib)
{
    // Mirrors the calibration without sending it back.
    const QSignalBlocker b1(ui->velocitySlider), b2(ui->velocityCurveBox), b3(ui->controlSlider),
        b4(ui->controlCurveBox), b5(ui->midiChannelBox), b6(ui->offThresholdSlider),
        b7(ui->onThresholdSlider), b8(ui->defaultControlBox), b9(ui->ccNumberspinBox),
        b10(ui->aftertouchSpinbox);
    ui->aftertouchSpinbox->setValue(calib.aftertouchDelay);
    ui->velocityCurveBox->setCurrentIndex(calib.velocityCurveType);
    ui->velocitySlider->setValue(int(calib.velocityScale));
    ui->velocitySensitivyLabel->setText(QString::number(int(calib.velocityScale)));
    ui->controlCurveBox->setCurrentIndex(calib.aftertouchCurveType);
    ui->controlSlider->setValue(int(calib.aftertouchScale));
    ui->controlAmountLabel_2->setText(QString::number(int(calib.aftertouchScale)));
    ui->midiChannelBox->setCurrentIndex(calib.midiChannel);
    ui->offThresholdSlider->setValue(calib.offThreshold);
    ui->noteOffLabel->setText(QString::number(calib.offThreshold));
    ui->onThresholdSlider->setValue(calib.onThreshold);
    ui->noteOnLabel->setText(QString::number(calib.onThreshold));
    ui->defaultControlBox->setCurrentIndex(calib.globalControl);
    ui->ccNumberspinBox->setValue(calib.globalCC);
}

void MainWindow::UpdateBendUI(KorvaneBendSettings) {}

void MainWindow::OpenNodeView(int node_i)
{
    // The sensor edit dialog receives this node and opens once it exists.
    const KorvaneSensorNode node = hub->GetNode(node_i);
    qDebug() << "open sensor" << node_i << "type" << node.type;
}

void MainWindow::UpdateNode(KorvaneSensorNode node, int node_i)
{
    hub->SetNode(node, node_i);
    refreshHand();
    hub->SendState();
}

void MainWindow::removeGlobalBend()
{
    KorvaneCalibration calib = hub->getCalibration();
    if (calib.globalControl != 2)
        return;
    {
        const QSignalBlocker block(ui->defaultControlBox);
        ui->defaultControlBox->setCurrentIndex(0);
    }
    calib.globalControl = 0;
    hub->setSettings(calib);
}

void MainWindow::reSendMapping()
{
    qDebug() << "Active again: Re-sending mapping";
    hub->SendState();
}

void MainWindow::setMainMessage(QString msg)
{
    ui->mainmessages->setText(msg);
    ui->statuslabel->setText(msg);
}

void MainWindow::setMute(bool on)
{
    const QSignalBlocker block(ui->muteBox);
    ui->muteBox->setChecked(on);
}

void MainWindow::setRemoteMapping(int mapping)
{
    ui->widget->setDeviceType(mapping);
}

void MainWindow::ShowDeviceVersionNumber(int nro)
{
    qDebug() << "showing version number";
    about->setVersionLabel(QStringLiteral("Version: ") + QString::number(nro));
}

void MainWindow::ShowVersionError()
{
    QMessageBox box(this);
    box.setText(QStringLiteral("Version error"));
    box.setInformativeText(QStringLiteral("Version mismatch"));
    box.setStandardButtons(QMessageBox::Ok);
    box.exec();
}

void MainWindow::setReverbParameters(KorvaneSamplerReverb)
{
    // Handed to the sound editor once it exists.
}

void MainWindow::setEnvelopeParameters(KorvaneEnvelope)
{
    // Handed to the sound editor once it exists.
}

void MainWindow::setReverbAmount(float amount)
{
    hub->audio()->setReverbAmount(amount);
    unsaved = true;
}

void MainWindow::PassEnvelopeAttack(int value)
{
    hub->audio()->setAttack(value);
    unsaved = true;
}

void MainWindow::PassEnvelopeRelease(int value)
{
    hub->audio()->setRelease(value);
    unsaved = true;
}

void MainWindow::setUnsaved()
{
    unsaved = true;
}

void MainWindow::setPatchName(QString filename)
{
    ui->patchNameLine->setText(filename.section(QLatin1Char('.'), 0, 0));
}

void MainWindow::GetMapFolder(QString folder)
{
    setPatchName(folder);
}

void MainWindow::OpenNumberEditor(int target_sample, double freq)
{
    numedit->setNumber(target_sample, freq);
    numedit->show();
}

void MainWindow::UpdateDirectory()
{
    // Points the map browser and the sound browser at the data folder once they exist.
}

// ---- file, instrument and folder requests ----

bool MainWindow::confirm(const QString &text)
{
    QMessageBox box(this);
    box.setText(text);
    box.setInformativeText(QStringLiteral("Are you sure to proceed?"));
    box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
    box.setDefaultButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

void MainWindow::FlushMemorySelected(int i)
{
    const KorvaneLayerView view = hub->audio()->getLayerView();
    const QString sample = i >= 0 && i < view.names.size() ? view.names.at(i) : QString();
    if (confirm(QStringLiteral("Sample '") + sample + QStringLiteral("' will be deleted!")))
        hub->FlushSelected(i);
}

void MainWindow::FlushMemoryAsk()
{
    if (!unsaved) {
        hub->FlushMemory();
        return;
    }
    if (confirm(QStringLiteral("Removing all currently loaded samples! The instrument can be "
                               "reloaded if it's saved."))) {
        hub->FlushMemory();
        isNewSound = true;
    }
}

void MainWindow::FlushPreviousAsk()
{
    if (confirm(QStringLiteral("Previous sample will be deleted!")))
        hub->FlushPrevious();
}

void MainWindow::SaveState(QString filename)
{
    if (!confirm(QStringLiteral("Patch ") + QFileInfo(filename).fileName() +
                 QStringLiteral(" will be overwritten.")))
        return;
    hub->SaveState(filename);
    setPatchName(QFileInfo(filename).fileName());
    UpdateDirectory();
}

void MainWindow::DeleteState(QString filename)
{
    if (!confirm(QStringLiteral("Patch ") + QFileInfo(filename).fileName() +
                 QStringLiteral(" will be deleted.")))
        return;
    hub->DeleteState(filename);
    UpdateDirectory();
}

void MainWindow::NewState(QString path)
{
    currentFolder = path;
    name->setMode(0);
    name->setLabel(QStringLiteral("Save mapping as:") + QFileInfo(path).fileName());
    name->setText(QStringLiteral("User mapping"));
    name->show();
}

void MainWindow::RenameState(QString filename)
{
    mapToRename = filename;
    const QString base = QFileInfo(filename).fileName().section(QLatin1Char('.'), 0, 0);
    name->setMode(1);
    name->setLabel(QStringLiteral("Renaming ") + base);
    name->setText(base);
    name->show();
}

void MainWindow::ReceiveName(int mode, QString text)
{
    // A typed name never leaves the chosen folder.
    if (!DataPaths::isSafeName(text)) {
        setMainMessage(QStringLiteral("Invalid name: ") + text);
        return;
    }
    switch (mode) {
    case 0:
        hub->SaveState(currentFolder + QStringLiteral("/") + text + QStringLiteral(".kvs"));
        setPatchName(hub->GetMapName());
        UpdateDirectory();
        break;
    case 1: {
        const QFileInfo old(mapToRename);
        QFile::rename(mapToRename,
                      old.path() + QStringLiteral("/") + text + QStringLiteral(".kvs"));
        setPatchName(hub->GetMapName());
        UpdateDirectory();
        break;
    }
    case 4: {
        const QString folder = currentFolder + QStringLiteral("/") + text;
        if (!QDir(folder).exists())
            QDir().mkdir(folder);
        UpdateDirectory();
        break;
    }
    case 5: {
        const QFileInfo old(currentFolder);
        QDir().rename(currentFolder, old.path() + QStringLiteral("/") + text);
        UpdateDirectory();
        break;
    }
    default:
        break;
    }
}

void MainWindow::OpenSoundSaveAs(bool isnew)
{
    name->setMode(2);
    name->setLabel(QStringLiteral("Save Instrument as:"));
    name->setText(isnew ? QStringLiteral("User instrument") : currentSound);
    name->show();
}

void MainWindow::SaveSound(QString soundName)
{
    if (isNewSound) {
        OpenSoundSaveAs(true);
        return;
    }
    currentSound = soundName;
    if (!confirm(QStringLiteral("Instrument ") + soundName +
                 QStringLiteral(" will be overwritten.")))
        return;
    // Only a save that reached the disk clears the unsaved mark.
    if (hub->SaveSound(dataPath + QStringLiteral("/sounds/") + soundName + QStringLiteral(".kvi")))
        unsaved = false;
}

void MainWindow::NewSound(QString)
{
    name->setMode(2);
    name->setLabel(QStringLiteral("Save sound as:"));
    name->setText(QStringLiteral("User sound"));
    name->show();
}

void MainWindow::RenameSound(QString filename)
{
    soundToRename = filename;
    name->setMode(3);
    name->setLabel(QStringLiteral("Renaming ") + QFileInfo(filename).baseName());
    name->show();
}

void MainWindow::NewFolder(QString path)
{
    currentFolder = path;
    name->setMode(4);
    name->setLabel(QStringLiteral("New folder into:") + QFileInfo(path).fileName());
    name->show();
}

void MainWindow::DeleteFolder(QString path)
{
    if (confirm(QStringLiteral("Folder and all it's contents will be deleted.")))
        QDir(path).removeRecursively();
    UpdateDirectory();
}

void MainWindow::RenameFolder(QString path)
{
    currentFolder = path;
    name->setMode(5);
    name->setLabel(QStringLiteral("Renaming folder ") + QFileInfo(path).fileName());
    name->show();
}

void MainWindow::ProcessSoundSave()
{
    SaveSound(currentSound);
}

void MainWindow::ProcessSoundSaveAs()
{
    OpenSoundSaveAs(false);
}

// ---- slots with nothing to do ----

void MainWindow::UpdateView()
{
    hub->GetInputLevel();
}

void MainWindow::selectionChanged(QItemSelection) {}
void MainWindow::DeleteSound(QString) {}
void MainWindow::setCurrentSoundName(QString) {}
void MainWindow::setSamplerMessage(QString) {}
void MainWindow::GetSoundFolder(QString) {}
void MainWindow::OpenSoundEdit() {}
void MainWindow::NextSound() {}
void MainWindow::PrevSound() {}
void MainWindow::getMessage(QString) {}
void MainWindow::EnableMIDIConnect() {}
void MainWindow::EnableMIDIDisconnect() {}
void MainWindow::setWriteCountAmount(int) {}
void MainWindow::setAsNewSound() {}
void MainWindow::UpdateLayerView() {}
