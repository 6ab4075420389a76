#pragma once
// Reading a table file into lines.
//
// The text is taken as strict UTF-8 first (a leading byte-order mark
// skipped). If any byte sequence is not valid UTF-8, the bytes are decoded a
// second time by their byte-order mark (EF BB BF UTF-8, FF FE UTF-16
// little-endian, FE FF UTF-16 big-endian), and a file without a mark as
// CP932, the Japanese legacy code page.
//
// A large UTF-8 file is not copied: the lines are a read-only view of the
// mapped file. The mapping is made only while the program holds a read lease
// on the file, so the kernel tells it before anybody may write to or
// truncate the file; it then takes a private copy of the text and lets the
// writer go on. The lines therefore always show the file as it was read,
// never a half-rewritten one, and never fault on a truncated one. When no
// lease can be had (the file belongs to somebody else, the file system does
// not support leases) the file is read into memory instead.
//
// A file that another program has open for writing may be half written, so
// it is refused with the file-open error wherever the kernel can tell (its
// read lease is refused because of a writer); where it cannot (leases
// unavailable, network file systems) the file is read. Smaller files are
// read under a lease too, which keeps writers out while they are read.

#include "LineList.h"

#include <QByteArray>
#include <QString>

#include <cstddef>

// Reads the file at `path`. Throws EFOpenError when the file cannot be
// opened (missing, a folder, no permission, open for writing elsewhere, not
// a regular file: a pipe or a device) and
// EReadError when it cannot be
// read or is too large; the message names the path and gives the system's
// description of the cause.
LineList ReadTableFile(const QString& path);

// The two decoding attempts on bytes in memory, as ReadTableFile applies
// them.
LineList DecodeTable(QByteArray bytes);

// True when [p, p + n) is valid UTF-8 (no overlong forms, no surrogates,
// nothing above U+10FFFF).
bool IsValidUtf8(const char* p, std::size_t n) noexcept;
// The same, letting `keeper` drop the pages it has checked as it goes.
bool IsValidUtf8Releasing(const char* p, std::size_t n, const TextKeeper* keeper) noexcept;

// The second attempt: decodes by the byte-order mark, or as CP932 without
// one, into UTF-8 (mark removed). Sequences that cannot be decoded become
// U+FFFD. Throws EReadError when the result would exceed
// LineList::kMaxTextBytes.
QByteArray DecodeWithDetection(const char* p, std::size_t n);

namespace tablefile_detail {
// Files at least this large are mapped rather than read (tests lower it).
void SetMapThreshold(std::size_t bytes);
// Whether the last ReadTableFile used a mapping (for tests).
bool LastReadWasMapped();
} // namespace tablefile_detail
