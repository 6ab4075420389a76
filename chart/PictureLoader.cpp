#include "PictureLoader.h"

#include "ChartModel.h"
#include "Exceptions.h"
#include "Metafile.h"

#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QImageReader>

#include <algorithm>

namespace {

constexpr qint64 kAllocationLimitBytes = qint64(kPictureAllocationLimitMb) * 1024 * 1024;
// An icon file holds one picture per size; more than this is no icon.
constexpr int kMaxIconImages = 64;

struct PictureKind {
    const char* extension;
    const char* qtFormat; // null: a metafile
    const char* description;
};

// The decoders by extension. Anything else is refused.
constexpr PictureKind kKinds[] = {
    {"bmp", "bmp", "ビットマップ"},
    {"ico", "ico", "アイコン"},
    {"png", "png", "PNG 画像"},
    {"tif", "tiff", "TIFF 画像"},
    {"tiff", "tiff", "TIFF 画像"},
    {"emf", nullptr, "エンハンス メタファイル"},
    {"wmf", nullptr, "メタファイル"},
};

const PictureKind* KindOf(const QString& extension)
{
    for (const PictureKind& k : kKinds)
        if (extension.compare(QLatin1String(k.extension), Qt::CaseInsensitive) == 0)
            return &k;
    return nullptr;
}

[[noreturn]] void Refuse(const QString& path, const QString& what)
{
    throw EInvalidGraphic(QStringLiteral("画像ファイル \"%1\" を読み込めません。%2").arg(path, what));
}

QString NotValid(const PictureKind& kind)
{
    return QStringLiteral("%1として正しくないか、壊れています").arg(QString::fromUtf8(kind.description));
}

QString TooLarge(QSize size)
{
    return QStringLiteral("画像が大きすぎます (%1 × %2 ピクセル、上限 %3 MB)")
        .arg(size.width())
        .arg(size.height())
        .arg(kPictureAllocationLimitMb);
}

bool FitsTheLimit(QSize size)
{
    return qint64(size.width()) * qint64(size.height()) * 4 <= kAllocationLimitBytes;
}

void OpenForReading(QFile& file, const QString& path)
{
    const QFileInfo info(path);
    if (info.exists() && !info.isFile())
        throw EFOpenError(QStringLiteral("ファイル \"%1\" を開けません。通常のファイルではありません").arg(path));
    if (!file.open(QIODevice::ReadOnly))
        throw EFOpenError(QStringLiteral("ファイル \"%1\" を開けません。%2").arg(path, file.errorString()));
}

QImage ReadImage(QFile& file, const QString& path, const PictureKind& kind)
{
    if (file.size() == 0)
        Refuse(path, QStringLiteral("ファイルが空です"));
    // Only the extension's own decoder may read the file: a PNG named .bmp
    // is no bitmap.
    QImageReader reader(&file, kind.qtFormat);
    reader.setAutoDetectImageFormat(false);
    reader.setAllocationLimit(kPictureAllocationLimitMb);
    reader.setAutoTransform(true);
    if (!reader.canRead())
        Refuse(path, NotValid(kind));
    const QSize declared = reader.size();
    if (declared.isValid() && !FitsTheLimit(declared))
        Refuse(path, TooLarge(declared));

    // An icon carries several sizes; the largest stretches best.
    const bool icon = qstrcmp(kind.qtFormat, "ico") == 0;
    const int count = icon ? std::clamp(reader.imageCount(), 1, kMaxIconImages) : 1;
    QImage best;
    for (int i = 0; i < count; ++i) {
        if (i > 0 && !reader.jumpToImage(i))
            break;
        if (i > 0) {
            const QSize next = reader.size();
            if (next.isValid() && !FitsTheLimit(next))
                break;
        }
        QImage image = reader.read();
        if (image.isNull()) {
            if (i == 0) {
                if (reader.error() == QImageReader::DeviceError)
                    Refuse(path, reader.errorString());
                Refuse(path, NotValid(kind));
            }
            break;
        }
        if (qint64(image.width()) * image.height() > qint64(best.width()) * best.height())
            best = std::move(image);
    }
    return best;
}

std::shared_ptr<const Metafile> ReadMetafile(QFile& file, const QString& path)
{
    if (file.size() > kAllocationLimitBytes)
        Refuse(path, QStringLiteral("ファイルが大きすぎます (上限 %1 MB)").arg(kPictureAllocationLimitMb));
    // The player keeps these bytes as long as the picture is shown: what
    // the file held when it was opened, in a buffer of that size (asking
    // for the limit would keep a buffer of the limit's size).
    const QByteArray bytes = file.read(file.size());
    if (file.error() != QFileDevice::NoError)
        Refuse(path, file.errorString());
    if (bytes.size() > kAllocationLimitBytes)
        Refuse(path, QStringLiteral("ファイルが大きすぎます (上限 %1 MB)").arg(kPictureAllocationLimitMb));
    if (bytes.isEmpty())
        Refuse(path, QStringLiteral("ファイルが空です"));
    // Either kind of metafile is accepted under either extension: the
    // player tells them apart by their header.
    try {
        return Metafile::Load(bytes);
    } catch (const EInvalidGraphic& e) {
        Refuse(path, e.Message());
    }
}

} // namespace

void LoadPictureFile(const QString& path, TChartPicture& into)
{
    const QString extension = QFileInfo(path).suffix();
    const PictureKind* kind = KindOf(extension);
    if (!kind)
        throw EInvalidGraphic(QStringLiteral("画像のファイル拡張子 (.%1) が不明です").arg(extension));

    QFile file(path);
    OpenForReading(file, path);
    if (kind->qtFormat) {
        QImage image = ReadImage(file, path, *kind);
        into.SetImage(image);
    } else {
        into.SetVector(ReadMetafile(file, path));
    }
}
