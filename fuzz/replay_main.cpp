// Replays committed fuzz inputs through a fuzz target's entry point, built
// by the normal compiler without libFuzzer, so every seed and every past
// crash reproducer is run by the ordinary test suite and a fixed finding
// stays fixed. Arguments: files or folders (every file inside, sorted).

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>

#include <cstdint>
#include <cstdio>

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv);

// Under the sanitizer build: the caches fontconfig never frees are not
// leaks of ours (fuzz/lsan.supp says the same for libFuzzer runs).
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libfontconfig.so\n";
}
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

int main(int argc, char** argv)
{
    LLVMFuzzerInitialize(&argc, &argv);
    QStringList files;
    for (int i = 1; i < argc; ++i) {
        const QString arg = QString::fromLocal8Bit(argv[i]);
        const QFileInfo info(arg);
        if (info.isDir()) {
            const QDir dir(arg);
            for (const QString& name : dir.entryList(QDir::Files, QDir::Name))
                if (name != QLatin1String("README.md"))
                    files << dir.filePath(name);
        } else {
            files << arg;
        }
    }
    int ran = 0;
    for (const QString& path : files) {
        QFile f(path);
        if (!f.open(QIODevice::ReadOnly)) {
            std::fprintf(stderr, "cannot read %s\n", qPrintable(path));
            return 1;
        }
        const QByteArray bytes = f.readAll();
        std::fprintf(stderr, "%s (%lld bytes)\n", qPrintable(path), static_cast<long long>(bytes.size()));
        LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.constData()), std::size_t(bytes.size()));
        ++ran;
    }
    std::printf("%d passed, 0 failed\n", ran);
    return ran > 0 ? 0 : 1;
}
