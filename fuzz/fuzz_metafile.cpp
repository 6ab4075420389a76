// Fuzz target for the metafile player: any bytes are loaded as a metafile
// and, when accepted, played onto small images, plain and transformed.
// Refusal with EInvalidGraphic is the expected outcome for most inputs;
// anything else that escapes, and every crash, leak or undefined
// behaviour the sanitizers see, is a finding.

#include "FuzzApp.h"
#include "Metafile.h"

#include "Exceptions.h"

#include <QImage>
#include <QPainter>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    fuzz::StartGuiApp(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    std::shared_ptr<const Metafile> picture;
    try {
        picture = Metafile::Load(bytes);
    } catch (const EInvalidGraphic&) {
        return 0;
    }
    (void)picture->Kind();
    const QSize natural = picture->Size();
    if (natural.width() < 1 || natural.height() < 1 || natural.width() > 32767 || natural.height() > 32767)
        __builtin_trap(); // the natural size is documented to be capped

    QImage image(48, 40, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    QPainter painter(&image);
    picture->Play(painter, QRectF(4, 4, 40, 32));
    // A mirrored, rotated target exercises the transform paths.
    painter.translate(24, 20);
    painter.rotate(30);
    picture->Play(painter, QRectF(20, 16, -40, -32));
    painter.end();
    return 0;
}
