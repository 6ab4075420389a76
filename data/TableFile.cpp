#include "TableFile.h"

#include "AnsiCodec.h"
#include "FileLease.h"

#include "Exceptions.h"
#include "Parallel.h"

#include <QDir>
#include <QFile>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <new>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Raw input may be up to twice the text limit (UTF-16 halves when it
// becomes UTF-8); the decoded text is checked against the limit itself.
constexpr std::uint64_t kMaxFileBytes = 2 * LineList::kMaxTextBytes;

std::atomic<std::size_t> g_mapThreshold{std::size_t(1) << 20};
std::atomic<bool> g_lastMapped{false};

QString SystemError(int err)
{
    return QString::fromLocal8Bit(std::strerror(err));
}

[[noreturn]] void ThrowOpenError(const QString& path, int err)
{
    throw EFOpenError(
        QStringLiteral("ファイル \"%1\" を開けません。%2").arg(QDir::toNativeSeparators(path), SystemError(err)));
}

// The file-open error for a file that somebody has open for writing: it
// may be half written, and the table would show whatever was there so far.
[[noreturn]] void ThrowBeingWritten(const QString& path)
{
    throw EFOpenError(QStringLiteral("ファイル \"%1\" を開けません。別のプログラムが書き込み用に開いています")
                          .arg(QDir::toNativeSeparators(path)));
}

[[noreturn]] void ThrowReadError(const QString& path, const QString& why)
{
    throw EReadError(QStringLiteral("ファイル \"%1\" を読み込めません。%2").arg(QDir::toNativeSeparators(path), why));
}

[[noreturn]] void ThrowTooLarge(std::uint64_t limit)
{
    throw EReadError(QStringLiteral("テキストが大きすぎます (上限は %1 バイト)").arg(limit));
}

// ---------------------------------------------------------------------------
// Decoding.

inline bool IsCont(unsigned char c) { return (c & 0xC0) == 0x80; }

// Length of the valid UTF-8 sequence at p (1 to 4), or 0 when the bytes
// there are not one; `bad` then receives the length of the maximal invalid
// subpart to replace by one U+FFFD.
int SequenceLength(const unsigned char* p, const unsigned char* e, int& bad)
{
    const unsigned char c = p[0];
    bad = 1;
    if (c < 0x80)
        return 1;
    int len;
    unsigned char lo = 0x80, hi = 0xBF; // allowed range of the second byte
    if (c >= 0xC2 && c <= 0xDF) {
        len = 2;
    } else if (c >= 0xE0 && c <= 0xEF) {
        len = 3;
        if (c == 0xE0)
            lo = 0xA0;
        else if (c == 0xED)
            hi = 0x9F; // no surrogates
    } else if (c >= 0xF0 && c <= 0xF4) {
        len = 4;
        if (c == 0xF0)
            lo = 0x90;
        else if (c == 0xF4)
            hi = 0x8F; // nothing above U+10FFFF
    } else {
        return 0;
    }
    if (e - p < 2 || p[1] < lo || p[1] > hi)
        return 0;
    for (int k = 2; k < len; ++k) {
        bad = k;
        if (e - p <= k || !IsCont(p[k]))
            return 0;
    }
    return len;
}

bool IsValidUtf8Serial(const unsigned char* p, const unsigned char* e) noexcept
{
    constexpr std::uint64_t kHigh = 0x8080808080808080ull;
    while (p < e) {
        // ASCII runs sixteen bytes at a time.
        while (e - p >= 16) {
            std::uint64_t a, b;
            std::memcpy(&a, p, 8);
            std::memcpy(&b, p + 8, 8);
            if ((a | b) & kHigh)
                break;
            p += 16;
        }
        if (p == e)
            break;
        if (*p < 0x80) {
            ++p;
            continue;
        }
        int bad;
        const int len = SequenceLength(p, e, bad);
        if (len == 0)
            return false;
        p += len;
    }
    return true;
}

void AppendReplacement(QByteArray& out) { out.append("\xEF\xBF\xBD", 3); }

void CheckDecodedSize(qsizetype n)
{
    if (std::uint64_t(n) > LineList::kMaxTextBytes)
        ThrowTooLarge(LineList::kMaxTextBytes);
}

QByteArray LenientUtf8(const unsigned char* p, const unsigned char* e)
{
    // Valid bytes are kept and each invalid one grows, so the text is at
    // least as long as the input.
    CheckDecodedSize(e - p);
    QByteArray out;
    out.reserve((e - p) + 16);
    while (p < e) {
        const unsigned char* run = p;
        int bad = 1;
        int len;
        while (p < e && (len = SequenceLength(p, e, bad)) > 0)
            p += len;
        out.append(reinterpret_cast<const char*>(run), p - run);
        if (p < e) {
            AppendReplacement(out);
            p += bad;
            CheckDecodedSize(out.size() + (e - p));
        }
    }
    return out;
}

void AppendUtf8(QByteArray& out, char32_t c)
{
    char b[4];
    int n;
    if (c < 0x80) {
        b[0] = char(c);
        n = 1;
    } else if (c < 0x800) {
        b[0] = char(0xC0 | (c >> 6));
        b[1] = char(0x80 | (c & 0x3F));
        n = 2;
    } else if (c < 0x10000) {
        b[0] = char(0xE0 | (c >> 12));
        b[1] = char(0x80 | ((c >> 6) & 0x3F));
        b[2] = char(0x80 | (c & 0x3F));
        n = 3;
    } else {
        b[0] = char(0xF0 | (c >> 18));
        b[1] = char(0x80 | ((c >> 12) & 0x3F));
        b[2] = char(0x80 | ((c >> 6) & 0x3F));
        b[3] = char(0x80 | (c & 0x3F));
        n = 4;
    }
    out.append(b, n);
}

QByteArray Utf16ToUtf8(const unsigned char* p, const unsigned char* e, bool bigEndian)
{
    const std::size_t units = std::size_t(e - p) / 2;
    CheckDecodedSize(qsizetype(units)); // every unit gives at least one byte
    QByteArray out;
    out.reserve(qsizetype(units * 3 / 2 + 16)); // mostly one or three bytes a unit
    auto unit = [&](std::size_t i) -> char16_t {
        const unsigned char a = p[2 * i], b = p[2 * i + 1];
        return bigEndian ? char16_t((a << 8) | b) : char16_t((b << 8) | a);
    };
    for (std::size_t i = 0; i < units; ++i) {
        const char16_t u = unit(i);
        if (u < 0x80) {
            out.append(char(u));
        } else if (u >= 0xD800 && u <= 0xDBFF && i + 1 < units && unit(i + 1) >= 0xDC00 && unit(i + 1) <= 0xDFFF) {
            AppendUtf8(out, 0x10000 + ((char32_t(u) - 0xD800) << 10) + (char32_t(unit(i + 1)) - 0xDC00));
            ++i;
        } else if (u >= 0xD800 && u <= 0xDFFF) {
            AppendReplacement(out); // an unpaired surrogate
        } else {
            AppendUtf8(out, u);
        }
    }
    if ((e - p) % 2)
        AppendReplacement(out); // a stray last byte
    CheckDecodedSize(out.size());
    return out;
}

QByteArray Cp932ToUtf8(const unsigned char* p, const unsigned char* e)
{
    AnsiCodec::Utf8Result r =
        AnsiCodec::DecodeToUtf8(reinterpret_cast<const char*>(p), std::size_t(e - p), LineList::kMaxTextBytes);
    if (!r.converted)
        return LenientUtf8(p, e); // no converter installed: keep what is readable
    if (r.tooLarge)
        ThrowTooLarge(LineList::kMaxTextBytes);
    return std::move(r.text);
}

inline bool StartsWith(const unsigned char* p, std::size_t n, const char* mark, std::size_t m)
{
    return n >= m && std::memcmp(p, mark, m) == 0;
}

std::size_t Utf8BomLength(const char* p, std::size_t n)
{
    return StartsWith(reinterpret_cast<const unsigned char*>(p), n, "\xEF\xBB\xBF", 3) ? 3 : 0;
}

// How many raw bytes may stand for one table's text, given its first bytes.
// Only UTF-16 gets shorter when it becomes UTF-8; any other input larger
// than the text limit would be refused after decoding anyway.
std::uint64_t RawLimit(const unsigned char* first, std::size_t n)
{
    const bool utf16 = StartsWith(first, n, "\xFF\xFE", 2) || StartsWith(first, n, "\xFE\xFF", 2);
    return utf16 ? kMaxFileBytes : LineList::kMaxTextBytes;
}

// Reads an open file to its end, however long it claims to be.
QByteArray ReadAll(int fd, const QString& path, std::uint64_t sizeHint)
{
    if (sizeHint > kMaxFileBytes)
        ThrowTooLarge(kMaxFileBytes);
    if (sizeHint > LineList::kMaxTextBytes) {
        // Look at the mark before reading gigabytes that cannot be used.
        unsigned char mark[2];
        const ssize_t got = pread(fd, mark, sizeof mark, 0);
        if (RawLimit(mark, got > 0 ? std::size_t(got) : 0) < sizeHint)
            ThrowTooLarge(LineList::kMaxTextBytes);
    }
    QByteArray buf(qsizetype(sizeHint) + 1, Qt::Uninitialized);
    qsizetype used = 0;
    for (;;) {
        if (used == buf.size()) {
            const std::uint64_t limit =
                RawLimit(reinterpret_cast<const unsigned char*>(buf.constData()), std::size_t(used));
            if (std::uint64_t(used) > limit)
                ThrowTooLarge(limit);
            buf.resize(std::min<qsizetype>(qsizetype(limit) + 1, used + std::max<qsizetype>(used, 65536)));
        }
        const ssize_t r = read(fd, buf.data() + used, std::size_t(buf.size() - used));
        if (r == 0)
            break;
        if (r < 0) {
            if (errno == EINTR)
                continue;
            if (errno == EAGAIN)
                break; // a pipe without data
            ThrowReadError(path, SystemError(errno));
        }
        used += r;
    }
    buf.resize(used);
    return buf;
}

struct FdCloser {
    int fd;
    ~FdCloser()
    {
        if (fd >= 0)
            close(fd);
    }
};

} // namespace

namespace {
// The next byte at or after p that starts a character: no sequence spans it.
const unsigned char* CharacterStart(const unsigned char* p, const unsigned char* e)
{
    while (p < e && IsCont(*p))
        ++p;
    return p;
}

// Validates in steps, letting the keeper drop each step's pages behind.
bool IsValidUtf8Stepwise(const unsigned char* b, const unsigned char* e, const TextKeeper* keeper)
{
    if (!keeper)
        return IsValidUtf8Serial(b, e);
    while (b < e) {
        const unsigned char* stop =
            std::size_t(e - b) > ReleaseBehind::kStep ? CharacterStart(b + ReleaseBehind::kStep, e) : e;
        if (!IsValidUtf8Serial(b, stop))
            return false;
        keeper->Release(reinterpret_cast<const char*>(b), reinterpret_cast<const char*>(stop));
        b = stop;
    }
    return true;
}
} // namespace

bool IsValidUtf8Releasing(const char* p, std::size_t n, const TextKeeper* keeper) noexcept
{
    const auto* b = reinterpret_cast<const unsigned char*>(p);
    const auto* e = b + n;
    constexpr std::size_t kParallelBytes = std::size_t(8) << 20;
    if (n < kParallelBytes)
        return IsValidUtf8Stepwise(b, e, keeper);
    // Split at a byte that starts a character, so no sequence spans both halves.
    const unsigned char* mid = CharacterStart(b + n / 2, e);
    bool first = true, second = true;
    InParallel([&] { first = IsValidUtf8Stepwise(b, mid, keeper); },
               [&] { second = IsValidUtf8Stepwise(mid, e, keeper); });
    return first && second;
}

bool IsValidUtf8(const char* p, std::size_t n) noexcept
{
    return IsValidUtf8Releasing(p, n, nullptr);
}

QByteArray DecodeWithDetection(const char* data, std::size_t n)
{
    const auto* p = reinterpret_cast<const unsigned char*>(data);
    const auto* e = p + n;
    if (StartsWith(p, n, "\xEF\xBB\xBF", 3))
        return LenientUtf8(p + 3, e);
    if (StartsWith(p, n, "\xFF\xFE", 2))
        return Utf16ToUtf8(p + 2, e, false);
    if (StartsWith(p, n, "\xFE\xFF", 2))
        return Utf16ToUtf8(p + 2, e, true);
    return Cp932ToUtf8(p, e);
}

namespace {
bool CheckUtf8Piece(const char* b, const char* e) noexcept
{
    return IsValidUtf8Serial(reinterpret_cast<const unsigned char*>(b), reinterpret_cast<const unsigned char*>(e));
}
} // namespace

LineList DecodeTable(QByteArray bytes)
{
    const std::size_t n = std::size_t(bytes.size());
    const std::size_t skip = Utf8BomLength(bytes.constData(), n);
    // The first attempt checks the bytes while it finds the lines.
    if (std::optional<LineList> l = LineList::FromCheckedUtf8(bytes, CheckUtf8Piece, {}, qsizetype(skip)))
        return std::move(*l);
    QByteArray decoded = DecodeWithDetection(bytes.constData(), n);
    bytes = QByteArray(); // one copy at a time
    return LineList::FromUtf8(std::move(decoded));
}

LineList ReadTableFile(const QString& path)
{
    g_lastMapped = false;
    const QByteArray name = QFile::encodeName(path);
    // Non-blocking open so that a FIFO without a writer cannot hang us.
    const int fd = open(name.constData(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0)
        ThrowOpenError(path, errno);
    FdCloser closer{fd};
    struct stat st {};
    if (fstat(fd, &st) != 0)
        ThrowOpenError(path, errno);
    if (S_ISDIR(st.st_mode))
        ThrowOpenError(path, EISDIR);
    // A pipe or a device may never end (/dev/zero) or never send (a FIFO
    // whose writer stays silent), and reading it would freeze the window:
    // only regular files are tables.
    if (!S_ISREG(st.st_mode))
        throw EFOpenError(QStringLiteral("ファイル \"%1\" を開けません。通常のファイルではありません (パイプやデバイスは読み込めません)")
                              .arg(QDir::toNativeSeparators(path)));
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);

    try {
        if (S_ISREG(st.st_mode) && std::uint64_t(st.st_size) >= g_mapThreshold.load()
            && std::uint64_t(st.st_size) <= LineList::kMaxTextBytes) {
            int leaseErrno = 0;
            if (std::shared_ptr<MappedFile> map = MappedFile::Map(fd, leaseErrno)) {
                closer.fd = -1; // the mapping owns it now
                const std::size_t skip = Utf8BomLength(map->Data(), map->Size());
                const auto raw = QByteArray::fromRawData(map->Data(), qsizetype(map->Size()));
                // One pass checks the bytes and finds the lines, letting the
                // pages it has read go behind it.
                if (std::optional<LineList> l = LineList::FromCheckedUtf8(raw, CheckUtf8Piece, map, qsizetype(skip))) {
                    g_lastMapped = true;
                    return std::move(*l);
                }
                return LineList::FromUtf8(DecodeWithDetection(map->Data(), map->Size()));
            }
            if (WriterRefusesLease(fd, leaseErrno))
                ThrowBeingWritten(path);
        }
        const ReadLease lease(fd);
        if (WriterRefusesLease(fd, lease.RefusedWith()))
            ThrowBeingWritten(path);
        return DecodeTable(ReadAll(fd, path, std::uint64_t(st.st_size)));
    } catch (const std::bad_alloc&) {
        ThrowReadError(path, QStringLiteral("メモリが不足しています"));
    }
}

namespace tablefile_detail {
void SetMapThreshold(std::size_t bytes) { g_mapThreshold = bytes; }
bool LastReadWasMapped() { return g_lastMapped; }
} // namespace tablefile_detail
