#include "TableFile.h"

#include "FileLease.h"
#include "TextDecoding.h"

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

using TextDecoding::IsContinuation;
using TextDecoding::IsValidUtf8Serial;
using TextDecoding::StartsWith;
using TextDecoding::ThrowTextTooLarge;
using TextDecoding::Utf8BomLength;

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
        ThrowTextTooLarge(kMaxFileBytes);
    if (sizeHint > LineList::kMaxTextBytes) {
        // Look at the mark before reading gigabytes that cannot be used.
        unsigned char mark[2];
        const ssize_t got = pread(fd, mark, sizeof mark, 0);
        if (RawLimit(mark, got > 0 ? std::size_t(got) : 0) < sizeHint)
            ThrowTextTooLarge(LineList::kMaxTextBytes);
    }
    QByteArray buf(qsizetype(sizeHint) + 1, Qt::Uninitialized);
    qsizetype used = 0;
    for (;;) {
        if (used == buf.size()) {
            const std::uint64_t limit =
                RawLimit(reinterpret_cast<const unsigned char*>(buf.constData()), std::size_t(used));
            if (std::uint64_t(used) > limit)
                ThrowTextTooLarge(limit);
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
    while (p < e && IsContinuation(*p))
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
    return TextDecoding::DecodeWithDetection(data, n, LineList::kMaxTextBytes);
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
