// Settings file reader: any bytes are either refused, leaving the settings as they were, or
// read (a channel or curve type out of range clamped) into settings that read back the same.
#include "core/settingsfile.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char *>(data), int(size));
    SettingsFile::Settings st;
    const SettingsFile::Settings defaults;
    const SettingsFile::Result r = SettingsFile::parse(bytes, 0.5f, st);
    if (r != SettingsFile::Result::Ok) {
        if (st.calibration != defaults.calibration || st.mute != defaults.mute)
            std::abort();
        return 0;
    }
    SettingsFile::Settings again;
    const QByteArray written = SettingsFile::serialize(st, 0.5f);
    if (SettingsFile::parse(written, 0.5f, again) != SettingsFile::Result::Ok ||
        again.calibration != st.calibration || again.remoteType != st.remoteType)
        std::abort();
    return 0;
}
