#pragma once
// The bytes of a text file as UTF-8: the strict UTF-8 check, and the second
// reading by byte-order mark (EF BB BF UTF-8, FF FE UTF-16 little-endian,
// FE FF UTF-16 big-endian) or, without one, as CP932 (AnsiCodec).

#include <QByteArray>

#include <cstddef>
#include <cstdint>

namespace TextDecoding {

// A byte that continues a UTF-8 sequence (10xxxxxx).
inline bool IsContinuation(unsigned char c) { return (c & 0xC0) == 0x80; }

// True when [p, e) is valid UTF-8 (no overlong forms, no surrogates,
// nothing above U+10FFFF), checked on this thread.
bool IsValidUtf8Serial(const unsigned char* p, const unsigned char* e) noexcept;

// Whether the n bytes at p begin with the m bytes of `mark`.
bool StartsWith(const unsigned char* p, std::size_t n, const char* mark, std::size_t m);
// 3 when the n bytes at p begin with the UTF-8 byte-order mark, else 0.
std::size_t Utf8BomLength(const char* p, std::size_t n);

// Decodes by the byte-order mark, or as CP932 without one, into UTF-8 (mark
// removed). Sequences that cannot be decoded become U+FFFD. Throws
// EReadError (ThrowTextTooLarge) when the result would exceed `maxBytes`.
QByteArray DecodeWithDetection(const char* p, std::size_t n, std::uint64_t maxBytes);

// The error for a text larger than `limit` bytes.
[[noreturn]] void ThrowTextTooLarge(std::uint64_t limit);

} // namespace TextDecoding
