#pragma once
// The legacy code page of files that carry no byte-order mark (tables and
// settings files): CP932 (Japanese Shift JIS with its usual extensions),
// converted through the C library's iconv so no extra dependency is needed.

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <limits>
#include <optional>

namespace AnsiCodec {

struct Utf8Result {
    QByteArray text;
    bool converted = true; // false: no CP932 converter is installed
    bool tooLarge = false; // the text would exceed the caller's limit
    bool replaced = false; // some bytes were not CP932 and became U+FFFD
};

// Decodes CP932 bytes into UTF-8. A byte sequence that is not valid CP932
// becomes U+FFFD, one byte at a time, so a damaged file still loads. The
// output never grows beyond `maxBytes`: a longer text is reported instead.
Utf8Result DecodeToUtf8(const char* p, std::size_t n,
                        std::size_t maxBytes = std::numeric_limits<std::size_t>::max());

// Decodes CP932 bytes. A byte sequence that is not valid CP932 becomes
// U+FFFD, one byte at a time, so a damaged file still loads; `replaced`, when
// given, tells whether that happened.
QString Decode(const QByteArray& bytes, bool* replaced = nullptr);

// Decodes bytes that are valid CP932 throughout; std::nullopt when some
// sequence is not (or no CP932 converter is installed).
std::optional<QString> DecodeStrict(const QByteArray& bytes);

// Encodes text in CP932 when every character survives the round trip
// unchanged; std::nullopt when one does not (a character the code page
// lacks, or one that would come back as a different character, such as
// U+301C WAVE DASH, which reads back as U+FF5E).
std::optional<QByteArray> EncodeExact(const QString& text);

} // namespace AnsiCodec
