// A .syx file is any bytes: the reader either refuses them and leaves the records as they were,
// or accepts them, and then writing the records it read gives back bytes it accepts again.
#include "device/syxfile.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), int(size));
    for (int dialect : {KorvaneSyxFile::Palmetto, KorvaneSyxFile::Remote}) {
        for (bool vesko : {false, true}) {
            KorvaneSyxFile::Contents records;
            records.map = KorvaneSensorsState::fresh();
            const KorvaneSyxFile::Contents before = records;
            QString error;
            if (!KorvaneSyxFile::read(bytes, dialect, vesko, records, &error)) {
                if (error.isEmpty() || records.map.nodes != before.map.nodes ||
                    records.calibration != before.calibration)
                    std::abort();
                continue;
            }
            KorvaneSyxFile::Contents again = before;
            const QByteArray written =
                KorvaneSyxFile::join(KorvaneSyxFile::backup(dialect, records, vesko));
            if (!KorvaneSyxFile::read(written, dialect, vesko, again, &error))
                std::abort();
        }
    }
    return 0;
}
