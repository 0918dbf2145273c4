#include "samplertypes.h"

void registerSamplerMetaTypes()
{
    qRegisterMetaType<KorvaneEnvelope>("KorvaneEnvelope");
    qRegisterMetaType<KorvaneSamplerReverb>("KorvaneSamplerReverb");
    qRegisterMetaType<KorvaneLayerView>("KorvaneLayerView");
    qRegisterMetaType<AnalyzeDataView>("AnalyzeDataView");
    qRegisterMetaType<RecordView>("RecordView");
}
