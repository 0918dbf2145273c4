#include "korvanesoundeditview.h"
#include "ui_korvanesoundeditview.h"

#include "korvanerecordindicator.h"
#include "korvanerecordingview.h"
#include "korvanesamplerwidget.h"

#include <cmath>

KorvaneSoundEditView::KorvaneSoundEditView(QWidget *parent)
    : QDialog(parent), ui(new Ui::KorvaneSoundEditView)
{
    ui->setupUi(this);
    registerSamplerMetaTypes();

    connect(ui->samplerwidget, SIGNAL(PreviewPlay(int)), this, SIGNAL(PreviewPlay(int)));
    connect(ui->samplerwidget, SIGNAL(PreviewStop()), this, SIGNAL(PreviewStop()));
    connect(ui->samplerwidget, SIGNAL(Edited()), this, SLOT(setEdited()));
    connect(ui->samplerwidget, SIGNAL(DeleteSample(int)), this, SIGNAL(DeleteSample(int)));
    connect(ui->samplerwidget, SIGNAL(SendLayerUpdate(KorvaneLayerView)), this,
            SIGNAL(SendLayerUpdate(KorvaneLayerView)));
    connect(ui->samplerwidget, SIGNAL(OpenBaseNumberEditor(int, double)), this,
            SIGNAL(OpenFreqNumberEditor(int, double)));
    connect(ui->recIndicator, SIGNAL(RecPressed()), this, SIGNAL(startRecord()));
    connect(ui->recIndicator, SIGNAL(StopPressed()), this, SIGNAL(stopRecord()));
}

KorvaneSoundEditView::~KorvaneSoundEditView()
{
    delete ui;
}

KorvaneSamplerWidget *KorvaneSoundEditView::samplerWidget() const
{
    return ui->samplerwidget;
}

KorvaneRecordIndicator *KorvaneSoundEditView::recordIndicator() const
{
    return ui->recIndicator;
}

KorvaneRecordingView *KorvaneSoundEditView::recordingView() const
{
    return ui->recordingView;
}

bool KorvaneSoundEditView::importMixToMono() const
{
    return ui->importMonoBox->isChecked();
}

void KorvaneSoundEditView::ShowRecData(RecordView rec)
{
    ui->recordingView->setRecData(rec);
}

void KorvaneSoundEditView::ShowAnalyzeData(AnalyzeDataView data)
{
    ui->recordingView->setAnalyzeData(data);
}

void KorvaneSoundEditView::getLayerView(KorvaneLayerView view)
{
    ui->samplerwidget->setFromLayerView(view);
    ui->samplerwidget->update();
    // Not blocked on purpose: a changed mode travels back to the hub.
    if (view.samplerMode >= 0 && view.samplerMode < ui->samplerModeBox->count())
        ui->samplerModeBox->setCurrentIndex(view.samplerMode);
}

void KorvaneSoundEditView::resetScrollIndex()
{
    ui->samplerwidget->resetScroll();
}

void KorvaneSoundEditView::RecordEnded()
{
    ui->recIndicator->toggle(false);
}

void KorvaneSoundEditView::setSamplerMessage(QString msg)
{
    ui->sampletMSG->setText(msg);
}

void KorvaneSoundEditView::setEnvelope(KorvaneEnvelope env)
{
    // Showing the sampler's own values sends nothing back: a freshly loaded instrument
    // must not count as changed.
    const QSignalBlocker a(ui->attackSlider);
    const QSignalBlocker r(ui->releaseSlider);
    ui->attackSlider->setValue(env.attack);
    ui->releaseSlider->setValue(env.release);
}

void KorvaneSoundEditView::setReverb(float volume)
{
    const QSignalBlocker b(ui->reverbSlider);
    ui->reverbSlider->setValue(int(std::lround(100.0 * double(volume))));
}

void KorvaneSoundEditView::setEdited() {}

void KorvaneSoundEditView::setUnEdited() {}

void KorvaneSoundEditView::setScreen() {}

void KorvaneSoundEditView::setLoadSoundName(QString name)
{
    ui->instNameLabel->setText(name);
}

void KorvaneSoundEditView::setSampleBaseFreq(int target_sample, double freq)
{
    ui->samplerwidget->setBaseNumber(target_sample, freq);
}

void KorvaneSoundEditView::on_flushMemButton_clicked()
{
    emit flushMemory();
    emit NewSound();
    ui->samplerwidget->resetScroll();
}

void KorvaneSoundEditView::on_attackSlider_valueChanged(int value)
{
    emit SendEnvelopeAttack(value);
}

void KorvaneSoundEditView::on_releaseSlider_valueChanged(int value)
{
    emit SendEnvelopeRelease(value);
}

void KorvaneSoundEditView::on_soundSaveAsButton_clicked()
{
    emit saveAsSound();
}

void KorvaneSoundEditView::on_reverbSlider_valueChanged(int value)
{
    emit SendReverbAmount(float(value * 0.01));
}

void KorvaneSoundEditView::on_importButton_clicked()
{
    emit ImportSamples();
}

void KorvaneSoundEditView::on_exportButton_clicked()
{
    emit ExportSound();
}

void KorvaneSoundEditView::on_samplerModeBox_currentIndexChanged(int index)
{
    emit SendSamplerMode(index);
}
