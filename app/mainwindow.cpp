#include "app/mainwindow.h"

#include "app/mainwindowform.h"
#include "audio/korvaneaudioengine.h"
#include "audio/sfzexport.h"
#include "core/datapaths.h"
#include "core/korvanecore.h"
#include "dialogs/aboutdialog.h"
#include "dialogs/fixedspinbox.h"
#include "dialogs/korvanenodeview.h"
#include "dialogs/korvanepatchview.h"
#include "dialogs/korvanesoundeditview.h"
#include "dialogs/korvanesoundview.h"
#include "dialogs/namedialog.h"
#include "dialogs/numberedit.h"
#include "hand/korvanehandwidget.h"
#include "scales/scales.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QMessageBox>
#include <QProgressDialog>
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
    hub = new KorvaneCore(this);
    nodeDialog = new KorvaneNodeView(this);
    soundBrowser = new KorvaneSoundView(this);
    patchBrowser = new KorvanePatchView(this);
    soundEditor = new KorvaneSoundEditView(this);

    QObject *const hand = ui->widget;
    QObject *const node = nodeDialog;
    QObject *const sound = soundBrowser;
    QObject *const patch = patchBrowser;
    QObject *const edit = soundEditor;

    connect(hand, SIGNAL(OpenNode(int)), this, SLOT(OpenNodeView(int)));
    connect(node, SIGNAL(SendConfiguration(KorvaneSensorNode, int)), this,
            SLOT(UpdateNode(KorvaneSensorNode, int)));
    connect(node, SIGNAL(SendBendSettings(KorvaneBendSettings)), hub,
            SLOT(SendBendSettings(KorvaneBendSettings)));
    connect(node, SIGNAL(SendGyroSettings(KorvaneGyroSettings)), hub,
            SLOT(SendGyroSettings(KorvaneGyroSettings)));
    connect(node, SIGNAL(ReadyRecSampler()), this, SLOT(ReadyRecSampler()));
    connect(node, SIGNAL(removeGlobalBend()), this, SLOT(removeGlobalBend()));
    connect(hub, SIGNAL(SendNoteTrigger(int, bool, int)), hand, SLOT(Trigger(int, bool, int)));
    connect(hub, SIGNAL(SendEnvelopeParameters(KorvaneEnvelope)), this,
            SLOT(setEnvelopeParameters(KorvaneEnvelope)));
    connect(hub, SIGNAL(SendReverbParameters(KorvaneSamplerReverb)), this,
            SLOT(setReverbParameters(KorvaneSamplerReverb)));
    connect(hub, SIGNAL(SendLayerView(KorvaneLayerView)), this,
            SLOT(ProcessLayerUpdate(KorvaneLayerView)));
    connect(edit, SIGNAL(SendLayerUpdate(KorvaneLayerView)), hub,
            SLOT(setLayerView(KorvaneLayerView)));
    connect(edit, SIGNAL(PreviewPlay(int)), this, SLOT(ProcessPreviewPlay(int)));
    connect(edit, SIGNAL(PreviewStop()), this, SLOT(ProcessPreviewStop()));
    connect(edit, SIGNAL(startRecord()), hub, SLOT(StartRecord()));
    connect(edit, SIGNAL(stopRecord()), hub, SLOT(EndRecord()));
    connect(edit, SIGNAL(flushMemory()), this, SLOT(FlushMemoryAsk()));
    connect(edit, SIGNAL(flushPrevious()), this, SLOT(FlushPreviousAsk()));
    connect(edit, SIGNAL(NewSound()), this, SLOT(setAsNewSound()));
    connect(edit, SIGNAL(SendEnvelopeAttack(int)), this, SLOT(PassEnvelopeAttack(int)));
    connect(edit, SIGNAL(SendEnvelopeRelease(int)), this, SLOT(PassEnvelopeRelease(int)));
    connect(edit, SIGNAL(SendReverbAmount(float)), this, SLOT(setReverbAmount(float)));
    connect(edit, SIGNAL(SendSamplerMode(int)), this, SLOT(ProcessSamplerMode(int)));
    connect(edit, SIGNAL(saveSound()), this, SLOT(ProcessSoundSave()));
    connect(edit, SIGNAL(saveAsSound()), this, SLOT(ProcessSoundSaveAs()));
    connect(edit, SIGNAL(DeleteSample(int)), this, SLOT(FlushMemorySelected(int)));
    connect(hub, SIGNAL(EnableMIDIConnect()), this, SLOT(EnableMIDIConnect()));
    connect(hub, SIGNAL(EnableMIDIDisconnect()), this, SLOT(EnableMIDIDisconnect()));
    connect(hub, SIGNAL(ResetScroll()), edit, SLOT(resetScrollIndex()));
    connect(hub, SIGNAL(SendLoadedSoundName(QString)), edit, SLOT(setLoadSoundName(QString)));

    about = new AboutDialog(this);
    name = new NameDialog(this);
    numedit = new NumberEdit(this);

    connect(hub, SIGNAL(sendStatusMessage(QString)), this, SLOT(setMainMessage(QString)));
    connect(hub, SIGNAL(SendStateUI(KorvaneSensorsState)), hand,
            SLOT(UpdateFromState(KorvaneSensorsState)));
    connect(hub, SIGNAL(sendSamplerMessage(QString)), edit, SLOT(setSamplerMessage(QString)));
    connect(hub, SIGNAL(RecEnded()), edit, SLOT(RecordEnded()));
    connect(hub, SIGNAL(setUnsaved()), this, SLOT(setUnsaved()));
    connect(patch, SIGNAL(SaveState(QString)), this, SLOT(SaveState(QString)));
    connect(patch, SIGNAL(NewState(QString)), this, SLOT(NewState(QString)));
    connect(patch, SIGNAL(LoadState(QString)), hub, SLOT(LoadState(QString)));
    connect(patch, SIGNAL(DeleteState(QString)), this, SLOT(DeleteState(QString)));
    connect(patch, SIGNAL(RenameState(QString)), this, SLOT(RenameState(QString)));
    connect(patch, SIGNAL(giveFolderName(QString)), this, SLOT(GetMapFolder(QString)));
    connect(patch, SIGNAL(Close()), this, SLOT(CloseFileView()));
    connect(sound, SIGNAL(SaveSound(QString)), this, SLOT(SaveSound(QString)));
    connect(sound, SIGNAL(LoadSound(QString)), hub, SLOT(LoadSound(QString)));
    connect(sound, SIGNAL(NewSound(QString)), this, SLOT(NewSound(QString)));
    connect(sound, SIGNAL(DeleteSound(QString)), this, SLOT(DeleteSound(QString)));
    connect(sound, SIGNAL(RenameSound(QString)), this, SLOT(RenameSound(QString)));
    connect(sound, SIGNAL(giveFolderName(QString)), this, SLOT(GetSoundFolder(QString)));
    connect(sound, SIGNAL(NewFolder(QString)), this, SLOT(NewFolder(QString)));
    connect(sound, SIGNAL(DeleteFolder(QString)), this, SLOT(DeleteFolder(QString)));
    connect(sound, SIGNAL(NameFolder(QString)), this, SLOT(RenameFolder(QString)));
    connect(sound, SIGNAL(EditSound()), this, SLOT(OpenSoundEdit()));
    connect(patch, SIGNAL(NewFolder(QString)), this, SLOT(NewFolder(QString)));
    connect(patch, SIGNAL(DeleteFolder(QString)), this, SLOT(DeleteFolder(QString)));
    connect(patch, SIGNAL(NameFolder(QString)), this, SLOT(RenameFolder(QString)));
    connect(patch, SIGNAL(scaleGeneration(int)), this, SLOT(scaleGeneration(int)));
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
    connect(hub, SIGNAL(SendTemporalOffset(int)), hand, SLOT(setTemporalOffset(int)));
    connect(hub, SIGNAL(SendMute(bool)), this, SLOT(setMute(bool)));
    connect(hub, SIGNAL(PassDeviceVersionNumber(int)), this, SLOT(ShowDeviceVersionNumber(int)));
    connect(hub, SIGNAL(SendWriteCount(int)), this, SLOT(setWriteCountAmount(int)));
    connect(hub, SIGNAL(IOSResendMapping()), this, SLOT(reSendMapping()));

    connect(edit, SIGNAL(OpenFreqNumberEditor(int, double)), this,
            SLOT(OpenNumberEditor(int, double)));
    connect(numedit, SIGNAL(SendNumber(int, double)), edit, SLOT(setSampleBaseFreq(int, double)));

    // Import, export, the recording's pictures and the nearest map's sensors.
    connect(edit, SIGNAL(ImportSamples()), this, SLOT(ImportSamples()));
    connect(edit, SIGNAL(ExportSound()), this, SLOT(ExportSound()));
    connect(hub, SIGNAL(ImportProgress(int, QString)), this, SLOT(importProgress(int, QString)));
    connect(hub, SIGNAL(ImportFinished(bool, QString)), this, SLOT(importFinished(bool, QString)));
    // The views point into the engine's buffers only while delivered: direct on purpose.
    connect(hub, SIGNAL(SendRecData(RecordView)), edit, SLOT(ShowRecData(RecordView)),
            Qt::DirectConnection);
    connect(hub, SIGNAL(SendAnalyzeData(AnalyzeDataView)), edit,
            SLOT(ShowAnalyzeData(AnalyzeDataView)), Qt::DirectConnection);
    connect(hub, SIGNAL(SendDifferingSensors(QList<int>)), hand,
            SLOT(setOutlinedSensors(QList<int>)));

    // The sound browser moves files itself; what goes wrong there reaches the status line.
    connect(sound, SIGNAL(sendStatusMessage(QString)), this, SLOT(setMainMessage(QString)));

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
        patchBrowser->setStyleSheet(styleText);
        soundBrowser->setStyleSheet(styleText);
        nodeDialog->setStyleSheet(styleText);
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
    patchBrowser->show();
}

void MainWindow::on_soundsButton_clicked()
{
    soundBrowser->show();
    soundBrowser->raise();
}

void MainWindow::on_mapSaveButton_clicked()
{
    patchBrowser->Save();
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

void MainWindow::ProcessLayerUpdate(KorvaneLayerView view)
{
    soundEditor->getLayerView(view);
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
    // An instrument was loaded or saved: the sampler now holds exactly what its file holds.
    currentSound = QFileInfo(hub->GetSoundName()).completeBaseName();
    unsaved = false;
    isNewSound = false;
    soundEditor->setLoadSoundName(currentSound);
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
    if (node_i < 0 || node_i >= kSensorCount)
        return;
    nodeDialog->setConfiguration(hub->GetNode(node_i), node_i);
    nodeDialog->show();
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

void MainWindow::setReverbParameters(KorvaneSamplerReverb reverb)
{
    soundEditor->setReverb(reverb.amount);
}

void MainWindow::setEnvelopeParameters(KorvaneEnvelope envelope)
{
    soundEditor->setEnvelope(envelope);
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
    patchBrowser->UpdateDirectory(dataPath);
    soundBrowser->UpdateDirectory(dataPath);
}

void MainWindow::CloseFileView()
{
    patchBrowser->hide();
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

void MainWindow::askName(int mode, const QString &label, const QString &proposal)
{
    name->setMode(mode);
    name->setLabel(label);
    name->setText(proposal);
    name->show();
}

QString MainWindow::soundsFolder() const
{
    return dataPath + QStringLiteral("/sounds");
}

// The top folders of the browsers hold every map and instrument; they are never renamed or
// removed as a whole.
bool MainWindow::isBrowserRoot(const QString &folder) const
{
    const QString path = QDir(folder).canonicalPath();
    for (const QString &root : {dataPath, soundsFolder(), dataPath + QStringLiteral("/maps")}) {
        if (!path.isEmpty() && path == QDir(root).canonicalPath())
            return true;
    }
    return false;
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
    // A failed save is reported by the hub and leaves the map name as it was.
    if (hub->SaveState(filename))
        setPatchName(QFileInfo(filename).fileName());
    UpdateDirectory();
}

void MainWindow::DeleteState(QString filename)
{
    if (!confirm(QStringLiteral("Patch ") + QFileInfo(filename).fileName() +
                 QStringLiteral(" will be deleted.")))
        return;
    const bool existed = QFileInfo::exists(filename);
    hub->DeleteState(filename);
    if (!existed || QFileInfo::exists(filename))
        setMainMessage(
            QStringLiteral("Map %1 could not be deleted.").arg(QFileInfo(filename).fileName()));
    UpdateDirectory();
}

void MainWindow::NewState(QString path)
{
    currentFolder = path;
    askName(0, QStringLiteral("Save mapping as:") + QDir(path).dirName(),
            QStringLiteral("User mapping"));
}

void MainWindow::RenameState(QString filename)
{
    mapToRename = filename;
    const QString base = QFileInfo(filename).fileName().section(QLatin1Char('.'), 0, 0);
    askName(1, QStringLiteral("Renaming ") + base, base);
}

void MainWindow::ReceiveName(int mode, QString text)
{
    // A typed name never leaves the chosen folder.
    if (!DataPaths::isSafeName(text)) {
        setMainMessage(QStringLiteral("\"%1\" cannot be used as a name: it must not be empty, "
                                      "\".\" or \"..\", nor hold \"/\" or \"\\\".")
                           .arg(text));
        return;
    }
    const QString n = text.trimmed();
    switch (mode) {
    case 0:
        saveMapAs(n);
        break;
    case 1:
        renameMap(n);
        break;
    case 2:
        saveSoundAs(n);
        break;
    case 3:
        renameSound(n);
        break;
    case 4:
        createFolder(n);
        break;
    case 5:
        renameFolder(n);
        break;
    default:
        break;
    }
}

void MainWindow::saveMapAs(const QString &text)
{
    const QString path = currentFolder + QStringLiteral("/") + text + QStringLiteral(".kvs");
    // An existing map is only replaced after the overwrite question.
    if (QFileInfo::exists(path)) {
        SaveState(path);
        return;
    }
    hub->SaveState(path);
    setPatchName(hub->GetMapName());
    UpdateDirectory();
}

void MainWindow::renameMap(const QString &text)
{
    const QFileInfo old(mapToRename);
    const QString target = old.path() + QStringLiteral("/") + text + QStringLiteral(".kvs");
    if (QFileInfo(target) == old)
        return;
    if (QFileInfo::exists(target)) {
        setMainMessage(QStringLiteral("Map %1 was not renamed: %2 already exists.")
                           .arg(old.fileName(), QFileInfo(target).fileName()));
    } else if (!QFile::rename(mapToRename, target)) {
        setMainMessage(QStringLiteral("Map %1 could not be renamed.").arg(old.fileName()));
    }
    setPatchName(hub->GetMapName());
    UpdateDirectory();
}

void MainWindow::OpenSoundSaveAs(bool isnew)
{
    soundSaveFolder = soundsFolder();
    askName(2, QStringLiteral("Save Instrument as:"),
            isnew ? QStringLiteral("User instrument") : currentSound);
}

void MainWindow::NewSound(QString path)
{
    soundSaveFolder = path;
    askName(2, QStringLiteral("Save sound as:"), QStringLiteral("User sound"));
}

void MainWindow::saveSoundAs(const QString &text)
{
    const QString folder = soundSaveFolder.isEmpty() ? soundsFolder() : soundSaveFolder;
    const QString path = folder + QStringLiteral("/") + text + QStringLiteral(".kvi");
    if (QFileInfo::exists(path) &&
        !confirm(QStringLiteral("Instrument ") + text + QStringLiteral(" will be overwritten.")))
        return;
    // The hub reports a failed write; only a written file marks the instrument saved.
    if (hub->SaveSound(path)) {
        currentSound = text;
        unsaved = false;
        isNewSound = false;
    }
    soundBrowser->UpdateCombo();
}

void MainWindow::SaveSound(QString soundName)
{
    if (isNewSound) {
        OpenSoundSaveAs(true);
        return;
    }
    // The sound browser hands over the path of the selected file; the sound editor a name
    // in the sounds folder.
    QString file = soundName;
    QString shown = soundName;
    if (soundName.contains(QLatin1Char('/'))) {
        shown = QFileInfo(soundName).completeBaseName();
    } else {
        file = soundsFolder() + QStringLiteral("/") + soundName + QStringLiteral(".kvi");
    }
    currentSound = shown;
    if (!confirm(QStringLiteral("Instrument ") + shown + QStringLiteral(" will be overwritten.")))
        return;
    // Only a save that reached the disk clears the unsaved mark.
    if (hub->SaveSound(file))
        unsaved = false;
}

void MainWindow::RenameSound(QString filename)
{
    soundToRename = filename;
    askName(3, QStringLiteral("Renaming ") + QFileInfo(filename).baseName(), QString());
}

void MainWindow::renameSound(const QString &text)
{
    const QFileInfo old(soundToRename);
    const QString target = old.path() + QStringLiteral("/") + text + QStringLiteral(".kvi");
    if (QFileInfo(target) == old)
        return;
    if (QFileInfo::exists(target)) {
        setMainMessage(QStringLiteral("Instrument %1 was not renamed: %2 already exists.")
                           .arg(old.fileName(), QFileInfo(target).fileName()));
    } else if (!QFile::rename(soundToRename, target)) {
        setMainMessage(QStringLiteral("Instrument %1 could not be renamed.").arg(old.fileName()));
    } else if (old.completeBaseName() == currentSound) {
        currentSound = text;
    }
    UpdateDirectory();
}

void MainWindow::DeleteSound(QString filename)
{
    const QFileInfo info(filename);
    if (!confirm(QStringLiteral("Instrument ") + info.completeBaseName() +
                 QStringLiteral(" will be deleted.")))
        return;
    const bool existed = info.exists();
    hub->DeleteSound(filename);
    if (!existed || QFileInfo::exists(filename))
        setMainMessage(QStringLiteral("Instrument %1 could not be deleted.").arg(info.fileName()));
}

void MainWindow::NewFolder(QString path)
{
    currentFolder = path;
    askName(4, QStringLiteral("New folder into:") + QDir(path).dirName(), QString());
}

void MainWindow::createFolder(const QString &text)
{
    const QString folder = currentFolder + QStringLiteral("/") + text;
    if (QFileInfo::exists(folder))
        setMainMessage(QStringLiteral("Folder %1 already exists.").arg(text));
    else if (!QDir().mkdir(folder))
        setMainMessage(QStringLiteral("Folder %1 could not be created.").arg(text));
    UpdateDirectory();
}

void MainWindow::DeleteFolder(QString path)
{
    if (isBrowserRoot(path)) {
        setMainMessage(QStringLiteral("The top folder cannot be deleted; choose a folder in it."));
        return;
    }
    if (!confirm(QStringLiteral("Folder and all it's contents will be deleted.")))
        return;
    if (!QDir(path).removeRecursively() || QFileInfo::exists(path))
        setMainMessage(
            QStringLiteral("Folder %1 could not be deleted completely.").arg(QDir(path).dirName()));
    UpdateDirectory();
}

void MainWindow::RenameFolder(QString path)
{
    if (isBrowserRoot(path)) {
        setMainMessage(QStringLiteral("The top folder cannot be renamed; choose a folder in it."));
        return;
    }
    currentFolder = path;
    askName(5, QStringLiteral("Renaming folder ") + QDir(path).dirName(), QString());
}

void MainWindow::renameFolder(const QString &text)
{
    const QString old = QDir::cleanPath(currentFolder);
    const QString target = QFileInfo(old).path() + QStringLiteral("/") + text;
    if (QFileInfo(target) == QFileInfo(old))
        return;
    if (QFileInfo::exists(target))
        setMainMessage(QStringLiteral("Folder %1 was not renamed: %2 already exists.")
                           .arg(QFileInfo(old).fileName(), text));
    else if (!QDir().rename(old, target))
        setMainMessage(
            QStringLiteral("Folder %1 could not be renamed.").arg(QFileInfo(old).fileName()));
    UpdateDirectory();
}

void MainWindow::ProcessSoundSave()
{
    SaveSound(currentSound);
}

void MainWindow::ProcessSoundSaveAs()
{
    OpenSoundSaveAs(false);
}

void MainWindow::OpenSoundEdit()
{
    hub->getLayerView();
    soundEditor->show();
}

// Controller actions step through the sound browser's current folder.
void MainWindow::NextSound()
{
    soundBrowser->NextSound();
}

void MainWindow::PrevSound()
{
    soundBrowser->PrevSound();
}

// ---- sample import and export ----

void MainWindow::ImportSamples()
{
    QFileDialog dialog(soundEditor->isVisible() ? static_cast<QWidget *>(soundEditor) : this,
                       QStringLiteral("Import samples"));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setFileMode(QFileDialog::ExistingFiles);
    dialog.setNameFilters(
        {QStringLiteral("Audio files (*.wav *.wave *.aif *.aiff *.aifc *.flac *.ogg *.oga "
                        "*.opus *.mp3 *.WAV *.AIF *.AIFF *.FLAC *.OGG *.MP3)"),
         QStringLiteral("All files (*)")});
    if (dialog.exec() == QDialog::Accepted)
        ImportFiles(dialog.selectedFiles());
}

void MainWindow::ImportFiles(QStringList files)
{
    if (files.isEmpty() || hub->IsImporting())
        return;
    if (importError) {
        importError->deleteLater();
        importError = nullptr;
    }
    QWidget *owner = soundEditor->isVisible() ? static_cast<QWidget *>(soundEditor) : this;
    importDialog = new QProgressDialog(QStringLiteral("Importing samples..."),
                                       QStringLiteral("Cancel"), 0, 1000, owner);
    importDialog->setWindowTitle(QStringLiteral("Import"));
    importDialog->setWindowModality(Qt::WindowModal);
    importDialog->setAutoClose(false);
    importDialog->setAutoReset(false);
    // Short imports end before the dialog would show.
    importDialog->setMinimumDuration(500);
    importDialog->setValue(0);
    connect(importDialog, &QProgressDialog::canceled, hub, &KorvaneCore::CancelImport);
    hub->ImportSampleFiles(files, soundEditor->importMixToMono());
}

void MainWindow::importProgress(int permille, QString text)
{
    if (!importDialog)
        return;
    importDialog->setLabelText(text);
    importDialog->setValue(std::clamp(permille, 0, 999));
}

void MainWindow::importFinished(bool ok, QString message)
{
    QWidget *owner = this;
    if (importDialog) {
        owner = importDialog->parentWidget();
        importDialog->hide();
        importDialog->deleteLater();
        importDialog = nullptr;
    }
    if (ok) {
        unsaved = true;
        return;
    }
    // A cancel was the user's own doing; a file that could not be read is told in a box.
    if (message.startsWith(QStringLiteral("Import cancelled")))
        return;
    importError =
        new QMessageBox(QMessageBox::Warning, QStringLiteral("Import"),
                        QStringLiteral("The samples were not imported."), QMessageBox::Ok, owner);
    importError->setInformativeText(message);
    importError->open();
}

void MainWindow::ExportSound()
{
    const QString folder = QFileDialog::getExistingDirectory(
        soundEditor->isVisible() ? static_cast<QWidget *>(soundEditor) : this,
        QStringLiteral("Export instrument into folder"), QDir::homePath(),
        QFileDialog::ShowDirsOnly | QFileDialog::DontUseNativeDialog);
    if (!folder.isEmpty())
        ExportSoundTo(folder);
}

bool MainWindow::ExportSoundTo(QString parentFolder)
{
    const QString title =
        currentSound.trimmed().isEmpty() ? QStringLiteral("User instrument") : currentSound;
    const QString folder = parentFolder + QStringLiteral("/") + SfzExport::safeStem(title);
    if (QFileInfo::exists(folder) &&
        !confirm(QStringLiteral("Folder ") + folder +
                 QStringLiteral(" exists; its files of the same names will be replaced.")))
        return false;
    return hub->ExportSound(folder, title);
}

// ---- slots with nothing to do ----

void MainWindow::UpdateView()
{
    hub->GetInputLevel();
}

void MainWindow::selectionChanged(QItemSelection) {}
void MainWindow::setCurrentSoundName(QString) {}
void MainWindow::setSamplerMessage(QString) {}
void MainWindow::GetSoundFolder(QString) {}
void MainWindow::getMessage(QString) {}
void MainWindow::EnableMIDIConnect() {}
void MainWindow::EnableMIDIDisconnect() {}
void MainWindow::setWriteCountAmount(int) {}
void MainWindow::setAsNewSound() {}
void MainWindow::UpdateLayerView() {}
