// Map file reader: any bytes are either refused or give a 24-node map that writes back to
// the same stored fields.
#include "core/mapfile.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char *>(data), int(size));
    KorvaneSensorsState map = KorvaneSensorsState::fresh();
    if (MapFile::parse(bytes, 0.2f, map) != MapFile::Result::Ok)
        return 0;
    if (map.nodes.size() != size_t(kSensorCount))
        std::abort();
    KorvaneSensorsState again = KorvaneSensorsState::fresh();
    const QByteArray written = MapFile::serialize(map, 0.2f, 1);
    if (written.size() != MapFile::kFileSize ||
        MapFile::parse(written, 0.2f, again) != MapFile::Result::Ok)
        std::abort();
    for (int i = 0; i < kSensorCount; ++i)
        if (again.nodes[i] != map.nodes[i])
            std::abort();
    return 0;
}
