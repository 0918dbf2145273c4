// Runs a fuzz target's check on every file of the given folders, without libFuzzer: the
// inputs that once broke a reader stay fixed. Exit status 0 when every input passed (a
// failing check aborts).
#include <QDir>
#include <QFile>

#include <cstdint>
#include <cstdio>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);
extern "C" __attribute__((weak)) int LLVMFuzzerInitialize(int *argc, char ***argv);

int main(int argc, char **argv)
{
    if (LLVMFuzzerInitialize)
        LLVMFuzzerInitialize(&argc, &argv);
    int files = 0;
    for (int i = 1; i < argc; ++i) {
        const QDir dir(QString::fromLocal8Bit(argv[i]));
        for (const QFileInfo &fi : dir.entryInfoList(QDir::Files, QDir::Name)) {
            QFile f(fi.filePath());
            if (!f.open(QIODevice::ReadOnly)) {
                std::fprintf(stderr, "cannot read %s\n", qPrintable(fi.filePath()));
                return 1;
            }
            const QByteArray bytes = f.readAll();
            std::printf("replaying %s (%d bytes)\n", qPrintable(fi.fileName()), int(bytes.size()));
            std::fflush(stdout);
            LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t *>(bytes.constData()),
                                   size_t(bytes.size()));
            ++files;
        }
    }
    std::printf("%d inputs passed\n", files);
    return files > 0 ? 0 : 1;
}
