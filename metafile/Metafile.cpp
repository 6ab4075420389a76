#include "Metafile.h"

#include "Exceptions.h"

// Placeholder until the player lands: every file is refused.
struct Metafile::Data {};

Metafile::Metafile(std::unique_ptr<Data> data) : d(std::move(data)) {}
Metafile::~Metafile() = default;

std::shared_ptr<const Metafile> Metafile::Load(const QByteArray&)
{
    throw EInvalidGraphic(QStringLiteral("メタファイルを読み込めません"));
}

MetafileKind Metafile::Kind() const { return MetafileKind::Emf; }
QSize Metafile::Size() const { return {}; }
void Metafile::Play(QPainter&, const QRectF&) const {}
