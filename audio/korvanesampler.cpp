// The sample bank, parameters and rendering of KorvaneSampler; note requests and voice
// allocation are in korvanesamplernotes.cpp.
#include "korvanesampler.h"
#include "korvanesamplerbank.h"

#include <algorithm>
#include <cmath>
#include <mutex>

using Guard = std::lock_guard<SpinLock>;

KorvaneSampler::KorvaneSampler(double sampleRate, int voiceCount)
    : sampleRate_(sampleRate), voiceCount_(std::clamp(voiceCount, 1, int(MaxVoices))),
      bank_(std::make_shared<Bank>())
{
    live_ = bank_.get();
    std::fill(std::begin(voiceNote_), std::end(voiceNote_), -1);
    std::fill(std::begin(voiceAge_), std::end(voiceAge_), -1);
    std::fill(std::begin(voiceSample_), std::end(voiceSample_), 0);
    const KorvaneSamplerReverb &r = reverbParameters_;
    reverb_.set(r.room, r.damp, r.width, r.amount, 0.0f);
    if (sampleRate != SamplerVoice::fileRate)
        setSampleRate(sampleRate);
}

KorvaneSampler::~KorvaneSampler() = default;

void KorvaneSampler::setSampleRate(double rate)
{
    if (!(rate > 0.0))
        return;
    Guard g(lock_);
    sampleRate_ = rate;
    for (SamplerVoice &v : voices_)
        v.setStreamRate(rate);
    applyEnvelopeLocked();
    reverb_.setSampleRate(rate);
}

// ---------------------------------------------------------------- bank changes

std::shared_ptr<KorvaneSampler::Bank> KorvaneSampler::copyBank() const
{
    return std::make_shared<Bank>(*bank_);
}

void KorvaneSampler::publish(std::shared_ptr<Bank> next)
{
    next->reindex();
    {
        Guard g(lock_);
        live_ = next.get();
    }
    // The previous bank (and any frames only it held) is freed here, on the GUI thread,
    // after the callback has stopped looking at it.
    bank_ = std::move(next);
}

SampleTrigger KorvaneSampler::triggerFor(const Sample &s)
{
    SampleTrigger t;
    t.sampleId = s.id;
    t.loop = s.loop;
    t.loopStart = s.loopStart;
    t.loopEnd = s.loopEnd;
    t.baseFrequency = s.baseFrequency;
    t.key = s.key;
    t.start = s.start;
    t.volume = s.volume;
    return t;
}

SamplerSample KorvaneSampler::toSample(const Sample &s)
{
    SamplerSample out;
    if (s.frames)
        out.frames = *s.frames;
    out.baseFrequency = s.baseFrequency;
    out.loop = s.loop;
    out.loopStart = s.loopStart;
    out.loopEnd = s.loopEnd;
    out.name = s.name;
    out.key = s.key;
    out.start = s.start;
    out.id = s.id;
    out.volume = s.volume;
    return out;
}

void KorvaneSampler::addSample(SamplerSample sample, bool keepName)
{
    std::vector<SamplerSample> one;
    one.push_back(std::move(sample));
    addSamples(std::move(one), keepName);
}

void KorvaneSampler::addSamples(std::vector<SamplerSample> samples, bool keepName)
{
    auto next = copyBank();
    for (SamplerSample &in : samples) {
        Sample s;
        s.frames = std::make_shared<const std::vector<StereoFrame>>(std::move(in.frames));
        s.baseFrequency = in.baseFrequency;
        s.loop = in.loop;
        s.loopStart = in.loopStart;
        s.loopEnd = in.loopEnd;
        s.key = in.key;
        s.start = in.start;
        s.id = nextSampleId_++;
        s.name = keepName ? in.name : QString::number(s.id) + QLatin1Char(' ') + in.name;
        s.volume = 1.0f;
        next->triggers.push_back(triggerFor(s));
        next->samples.push_back(std::move(s));
    }
    publish(std::move(next));
}

void KorvaneSampler::flushMemory()
{
    publish(std::make_shared<Bank>());
    nextSampleId_ = 0;
}

void KorvaneSampler::flushPrevious()
{
    auto next = copyBank();
    if (!next->samples.empty())
        next->samples.pop_back();
    if (!next->triggers.empty())
        next->triggers.pop_back();
    if (next->samples.empty())
        nextSampleId_ = 0;
    publish(std::move(next));
}

void KorvaneSampler::deleteSample(int triggerIndex)
{
    if (triggerIndex < 0 || triggerIndex >= int(bank_->triggers.size()))
        return;
    auto next = copyBank();
    const int id = next->triggers[triggerIndex].sampleId;
    for (int i = int(next->samples.size()) - 1; i >= 0; --i) {
        if (next->samples[i].id == id) {
            next->samples.erase(next->samples.begin() + i);
            break;
        }
    }
    next->triggers.erase(next->triggers.begin() + triggerIndex);
    if (next->samples.empty())
        nextSampleId_ = 0;
    publish(std::move(next));
}

void KorvaneSampler::replaceKeySample(int key)
{
    int trigger = -1;
    int sample = -1;
    for (int i = 0; i < int(bank_->triggers.size()); ++i)
        if (bank_->triggers[i].key == key)
            trigger = i;
    for (int i = 0; i < int(bank_->samples.size()); ++i)
        if (bank_->samples[i].key == key)
            sample = i;
    if (trigger < 0 || sample < 0)
        return;
    auto next = copyBank();
    next->triggers.erase(next->triggers.begin() + trigger);
    next->samples.erase(next->samples.begin() + sample);
    if (next->samples.empty())
        nextSampleId_ = 0;
    publish(std::move(next));
}

void KorvaneSampler::setSampleKey(int sampleId, int key)
{
    auto next = copyBank();
    for (size_t i = 0; i < next->triggers.size(); ++i) {
        if (next->triggers[i].sampleId != sampleId)
            continue;
        next->triggers[i].key = key;
        if (i < next->samples.size())
            next->samples[i].key = key;
    }
    publish(std::move(next));
}

void KorvaneSampler::setSampleVolume(int index, float volume)
{
    if (index < 0 || index >= int(bank_->samples.size()))
        return;
    auto next = copyBank();
    next->samples[index].volume = volume;
    // The editor shows and sends back the trigger's copy.
    if (index < int(next->triggers.size()))
        next->triggers[index].volume = volume;
    publish(std::move(next));
}

void KorvaneSampler::setSampleBaseFrequency(int index, double frequency)
{
    if (index < 0 || index >= int(bank_->samples.size()))
        return;
    auto next = copyBank();
    next->samples[index].baseFrequency = frequency;
    if (index < int(next->triggers.size()))
        next->triggers[index].baseFrequency = frequency;
    publish(std::move(next));
}

void KorvaneSampler::setLayerView(const KorvaneLayerView &view)
{
    auto next = copyBank();
    const size_t n =
        std::min({size_t(view.triggers.size()), next->triggers.size(), next->samples.size()});
    for (size_t i = 0; i < n; ++i) {
        const SampleTrigger &t = view.triggers.at(int(i));
        next->triggers[i] = t;
        Sample &s = next->samples[i];
        s.loop = t.loop;
        s.loopStart = t.loopStart;
        s.loopEnd = t.loopEnd;
        s.baseFrequency = t.baseFrequency;
        s.volume = t.volume;
        s.key = t.key;
        s.start = t.start;
    }
    publish(std::move(next));
    Guard g(lock_);
    samplerMode_ = view.samplerMode;
}

// ---------------------------------------------------------------- queries

bool KorvaneSampler::isLoaded() const
{
    return !bank_->samples.empty();
}

int KorvaneSampler::sampleCount() const
{
    return int(bank_->samples.size());
}

SamplerSample KorvaneSampler::sampleAt(int index) const
{
    if (index < 0 || index >= int(bank_->samples.size()))
        return SamplerSample();
    return toSample(bank_->samples[index]);
}

QString KorvaneSampler::sampleName(int triggerIndex) const
{
    if (triggerIndex < 0 || triggerIndex >= int(bank_->triggers.size()))
        return QStringLiteral("untitled");
    const int id = bank_->triggers[triggerIndex].sampleId;
    for (const Sample &s : bank_->samples)
        if (s.id == id)
            return s.name;
    return QStringLiteral("untitled");
}

std::vector<SampleTrigger> KorvaneSampler::triggers() const
{
    return bank_->triggers;
}

KorvaneLayerView KorvaneSampler::getLayerView() const
{
    KorvaneLayerView view;
    for (const SampleTrigger &t : bank_->triggers)
        view.triggers.append(t);
    for (const Sample &s : bank_->samples) {
        const std::vector<StereoFrame> &frames = *s.frames;
        const int count = int(frames.size());
        // About 300 points; short samples step by one frame instead of zero.
        const int step = std::max(1, int(std::lround(count * 0.0033333334f)));
        KorvaneLayerOverview overview;
        overview.frameCount = count;
        overview.points.reserve(count / step + 1);
        for (int i = 0; i < count; i += step)
            overview.points.append(std::fabs((frames[i][0] + frames[i][1]) / 2.0f));
        view.overviews.append(overview);
        view.names.append(s.name);
        view.sampleIds.append(s.id);
    }
    view.samplerMode = samplerMode_;
    view.valid = true;
    return view;
}

KorvaneSampler::VoiceSlot KorvaneSampler::voiceSlot(int index) const
{
    VoiceSlot slot;
    if (index < 0 || index >= voiceCount_)
        return slot;
    Guard g(lock_);
    slot.note = voiceNote_[index];
    slot.age = voiceAge_[index];
    slot.sampleId = voiceSample_[index];
    slot.voice = voices_[index];
    return slot;
}

bool KorvaneSampler::isPreviewing() const
{
    Guard g(lock_);
    return previewing_;
}

// ---------------------------------------------------------------- parameters

void KorvaneSampler::setReady(bool ready)
{
    Guard g(lock_);
    ready_ = ready;
}

void KorvaneSampler::setMasterVolume(float volume)
{
    Guard g(lock_);
    masterVolume_ = volume;
}

void KorvaneSampler::setSamplerMode(int mode)
{
    Guard g(lock_);
    samplerMode_ = mode;
}

void KorvaneSampler::setControllerMode(int mode)
{
    Guard g(lock_);
    controllerMode_ = mode;
    for (SamplerVoice &v : voices_)
        v.setControllerMode(mode);
}

void KorvaneSampler::applyEnvelopeLocked()
{
    for (SamplerVoice &v : voices_)
        v.setEnvelope(envelope_.attack, envelope_.decay, envelope_.sustain, envelope_.release);
}

void KorvaneSampler::setAttack(int attack)
{
    Guard g(lock_);
    envelope_.attack = attack;
    applyEnvelopeLocked();
}

void KorvaneSampler::setRelease(int release)
{
    Guard g(lock_);
    envelope_.release = release;
    applyEnvelopeLocked();
}

void KorvaneSampler::setEnvelope(const KorvaneEnvelope &envelope)
{
    Guard g(lock_);
    envelope_ = envelope;
    applyEnvelopeLocked();
}

void KorvaneSampler::setReverbAmount(float amount)
{
    KorvaneSamplerReverb r = reverbParameters_;
    r.amount = amount;
    setReverb(r);
}

void KorvaneSampler::setReverb(const KorvaneSamplerReverb &reverb)
{
    Guard g(lock_);
    reverbParameters_ = reverb;
    reverb_.set(reverb.room, reverb.damp, reverb.width, reverb.amount, 0.0f);
}

// ---------------------------------------------------------------- rendering

const KorvaneSampler::Sample *KorvaneSampler::findSample(const Bank &bank, int id) const noexcept
{
    auto it = std::lower_bound(bank.byId.begin(), bank.byId.end(), std::make_pair(id, 0),
                               [](const std::pair<int, int> &a, const std::pair<int, int> &b) {
                                   return a.first < b.first;
                               });
    if (it == bank.byId.end() || it->first != id)
        return nullptr;
    return &bank.samples[size_t(it->second)];
}

namespace {
// Far beyond full scale, yet finite: a NaN becomes silence, an overflow a clipped peak.
inline float bounded(float v) noexcept
{
    const float limit = 16.0f;
    if (!(v > -limit)) // NaN too
        return v != v ? 0.0f : -limit;
    return v < limit ? v : limit;
}
} // namespace

void KorvaneSampler::renderLocked(const Bank &bank, StereoFrame *out, int frames) noexcept
{
    if (!ready_ || bank.samples.empty()) {
        // A voice whose last sample was removed while it sounded stops here: a sample added
        // later may take the removed one's id and would sound without a note.
        if (bank.samples.empty()) {
            for (int i = 0; i < voiceCount_; ++i) {
                voices_[i].stop();
                voiceNote_[i] = -1;
            }
        }
        std::fill(out, out + frames, StereoFrame{0.0f, 0.0f});
        return;
    }
    // Voice by voice over the block: each voice looks its sample up once per stretch of
    // frames rather than once per frame, and keeps its state in registers. The mix of a
    // frame still adds the voices in voice order, so the sums are the same as frame by frame.
    alignas(16) float mix[2 * MaxBlock];
    for (int done = 0; done < frames;) {
        const int n = std::min(frames - done, int(MaxBlock));
        std::fill(mix, mix + 2 * n, 0.0f);
        for (int i = 0; i < voiceCount_; ++i) {
            SamplerVoice &voice = voices_[i];
            for (int k = 0; k < n;) {
                if (!voice.playing()) {
                    voiceNote_[i] = -1;
                    break;
                }
                const int id = voice.fading() ? voice.fadingSampleId() : voiceSample_[i];
                const Sample *s = findSample(bank, id);
                if (!s) {
                    // The sample was removed while it sounded: skip what is left of it.
                    if (voice.fading()) {
                        voice.finishFade();
                    } else {
                        voice.stop();
                        voiceNote_[i] = -1;
                    }
                    ++k;
                    continue;
                }
                k += voice.renderBlock(s->frames->data(), int(s->frames->size()),
                                       s->volume * s->volume, mix + 2 * k, n - k);
            }
        }
        const float m2 = masterVolume_ * masterVolume_;
        const bool reverbOn = reverbParameters_.amount > -0.9f;
        // Whatever an instrument file holds, nothing unbounded reaches the reverb (whose state
        // would keep it) or the sound card.
        for (int k = 0; k < n; ++k)
            out[done + k] = {bounded(mix[2 * k] * m2), bounded(mix[2 * k + 1] * m2)};
        if (reverbOn)
            reverb_.processBlock(out + done, n);
        if (previewing_)
            addPreview(bank, out + done, n, m2);
        if (reverbOn || previewing_)
            for (int k = 0; k < n; ++k)
                out[done + k] = {bounded(out[done + k][0]), bounded(out[done + k][1])};
        done += n;
    }
}

void KorvaneSampler::addPreview(const Bank &bank, StereoFrame *out, int frames, float m2) noexcept
{
    const Sample *s = findSample(bank, previewSampleId_);
    const int count = s ? int(s->frames->size()) : 0;
    for (int k = 0; k < frames && previewing_; ++k) {
        if (previewPosition_ >= 0 && previewPosition_ < count) {
            const StereoFrame &f = (*s->frames)[size_t(previewPosition_)];
            const float g = s->volume * s->volume * m2;
            out[k][0] += f[0] * g;
            out[k][1] += f[1] * g;
        }
        ++previewPosition_;
        if (previewPosition_ >= count)
            previewing_ = false;
    }
}

void KorvaneSampler::render(StereoFrame *out, int frames) noexcept
{
    if (!lock_.try_lock()) {
        std::fill(out, out + frames, StereoFrame{0.0f, 0.0f});
        return;
    }
    drainEventsLocked(*live_);
    renderLocked(*live_, out, frames);
    lock_.unlock();
}

StereoFrame KorvaneSampler::renderFrame() noexcept
{
    StereoFrame f;
    render(&f, 1);
    return f;
}
