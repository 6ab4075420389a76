#pragma once
// The legacy code page of settings files that carry no byte-order mark:
// CP932 (Japanese Shift JIS with its usual extensions), converted through
// the C library's iconv so no extra dependency is needed.

#include <QByteArray>
#include <QString>

#include <optional>

namespace AnsiCodec {

// Decodes CP932 bytes. A byte sequence that is not valid CP932 becomes
// U+FFFD, one byte at a time, so a damaged file still loads.
QString Decode(const QByteArray& bytes);

// Encodes text in CP932 when every character survives the round trip
// unchanged; std::nullopt when one does not (a character the code page
// lacks, or one that would come back as a different character, such as
// U+301C WAVE DASH, which reads back as U+FF5E).
std::optional<QByteArray> EncodeExact(const QString& text);

} // namespace AnsiCodec
