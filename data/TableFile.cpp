#include "TableFile.h"

#include "AnsiCodec.h"

#include "Exceptions.h"
#include "Parallel.h"

#include <QDir>
#include <QFile>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <new>
#include <pthread.h>

#include <fcntl.h>
#include <sched.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/vfs.h>
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
// Mapped files under a read lease.
//
// A lease break is announced by a signal. Its handler finds the mapping of
// that file, copies the text into anonymous memory, moves the copy over the
// mapping at the same address (readers on other threads see the same bytes
// before and after) and releases the lease, which lets the writer proceed.
// Everything it calls is a plain system call or memcpy.

enum SlotState : int {
    kFree = 0,
    kClaimed, // being set up or torn down by its owner; the handler keeps off
    kArming,  // lease requested, nothing mapped yet
    kMapped,  // mapped under the lease
    kBusy,    // the handler is copying
    kCopied,  // private copy in place, lease released
    kBroken,  // lease lost before the mapping was in use
};

struct LeaseSlot {
    std::atomic<int> state{kFree};
    std::atomic<int> advising{0}; // threads dropping resident pages right now
    std::atomic<int> fd{-1};
    std::atomic<void*> addr{nullptr};
    std::atomic<std::size_t> len{0};
};

constexpr int kSlots = 16;
LeaseSlot g_slots[kSlots];
int g_leaseSignal = 0;
struct sigaction g_previousSigio;

void TakePrivateCopy(LeaseSlot& s, int fd)
{
    int st = kMapped;
    if (!s.state.compare_exchange_strong(st, kBusy))
        return;
    // A thread that is dropping resident pages finishes first (its own
    // thread blocks the lease signals meanwhile, so it is not this one).
    while (s.advising.load() != 0)
        sched_yield();
    void* a = s.addr.load();
    const std::size_t n = s.len.load();
    int next = kCopied;
    void* copy = mmap(nullptr, n, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (copy != MAP_FAILED) {
        std::memcpy(copy, a, n);
        mprotect(copy, n, PROT_READ);
        if (mremap(copy, n, n, MREMAP_MAYMOVE | MREMAP_FIXED, a) == MAP_FAILED) {
            munmap(copy, n);
            copy = MAP_FAILED;
        }
    }
    if (copy == MAP_FAILED) {
        // No memory for a copy: blank pages are better than a fault on a
        // truncated file later.
        mmap(a, n, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0);
        next = kBroken;
    }
    fcntl(fd, F_SETLEASE, F_UNLCK);
    s.state.store(next);
}

void OnLeaseBreak(int sig, siginfo_t* info, void* context)
{
    const int savedErrno = errno;
    const bool named = sig == g_leaseSignal && info;
    bool handled = false;
    for (LeaseSlot& s : g_slots) {
        const int st = s.state.load();
        if (st != kArming && st != kMapped)
            continue;
        const int fd = s.fd.load();
        // The kernel's word decides, not the signal's: a lease that still
        // reads F_RDLCK is not being broken, whatever fd a queued signal
        // names (a stale one for a closed descriptor, or one sent by hand).
        if ((named && info->si_fd != fd) || fcntl(fd, F_GETLEASE) == F_RDLCK)
            continue;
        handled = true;
        if (st == kArming) {
            int expected = kArming;
            if (s.state.compare_exchange_strong(expected, kBroken))
                fcntl(fd, F_SETLEASE, F_UNLCK);
            else
                TakePrivateCopy(s, fd);
        } else {
            TakePrivateCopy(s, fd);
        }
    }
    // A SIGIO that was not about our leases goes to whoever handled it before.
    if (sig == SIGIO && !handled) {
        if ((g_previousSigio.sa_flags & SA_SIGINFO) && g_previousSigio.sa_sigaction)
            g_previousSigio.sa_sigaction(sig, info, context);
        else if (!(g_previousSigio.sa_flags & SA_SIGINFO) && g_previousSigio.sa_handler != SIG_DFL
                 && g_previousSigio.sa_handler != SIG_IGN)
            g_previousSigio.sa_handler(sig);
    }
    errno = savedErrno;
}

bool InstallLeaseHandler()
{
    static std::once_flag once;
    static bool ok = false;
    std::call_once(once, [] {
        g_leaseSignal = SIGRTMIN + 6;
        if (g_leaseSignal > SIGRTMAX)
            return;
        struct sigaction sa {};
        sa.sa_sigaction = OnLeaseBreak;
        sa.sa_flags = SA_SIGINFO | SA_RESTART;
        sigemptyset(&sa.sa_mask);
        // When the queue of real-time signals overflows the kernel sends
        // SIGIO instead, so that one is handled too.
        ok = sigaction(g_leaseSignal, &sa, nullptr) == 0 && sigaction(SIGIO, &sa, &g_previousSigio) == 0;
    });
    return ok;
}

// Takes a slot back from the handler: waits out a copy in progress, then
// marks the slot as the owner's so the handler keeps off.
void Reclaim(LeaseSlot& s)
{
    int st = s.state.load();
    for (;;) {
        if (st == kBusy) {
            sched_yield();
            st = s.state.load();
            continue;
        }
        if (s.state.compare_exchange_weak(st, kClaimed))
            return;
    }
}

// Whether `fd` lies on a local disk file system, where every write goes
// through this kernel and so breaks our lease first. On network and
// user-space file systems a write elsewhere would change or shorten the
// mapped file under us without warning, so such files are read instead.
bool OnLocalDisk(int fd)
{
    struct statfs fs {};
    if (fstatfs(fd, &fs) != 0)
        return false;
    switch (static_cast<unsigned long>(fs.f_type)) {
    case 0xEF53UL:     // ext2, ext3, ext4
    case 0x58465342UL: // xfs
    case 0x9123683EUL: // btrfs
    case 0x01021994UL: // tmpfs
    case 0xF2F52010UL: // f2fs
    case 0x3153464AUL: // jfs
    case 0x52654973UL: // reiserfs
        return true;
    default:
        return false;
    }
}

// Whether a read lease refused with EAGAIN means that somebody has the
// file open for writing. It does wherever the kernel's own lease code
// answers; the NFS and SMB clients also answer EAGAIN when the server will
// not grant them the file, writer or not.
bool RefusalMeansWriter(int fd)
{
    struct statfs fs {};
    if (fstatfs(fd, &fs) != 0)
        return false;
    switch (static_cast<unsigned long>(fs.f_type)) {
    case 0x6969UL:     // NFS
    case 0x517BUL:     // SMB
    case 0xFF534D42UL: // CIFS
    case 0xFE534D42UL: // SMB2
        return false;
    default:
        return true;
    }
}

// Whether anybody has the file open for writing, so far as this kernel can
// tell: a read lease is refused then. It cannot tell
// - where leases are switched off (/proc/sys/fs/leases-enable) or the file
//   system has none (EINVAL), or for a reader who neither owns the file nor
//   may take leases (EACCES): the file is read;
// - on NFS and SMB, whose refusals do not say why, nor about writers on
//   other machines: the file is read;
// - about a writer that opens the file after it has been read.
// A writer that opens the file while it is being read under the lease
// waits until the read is over.
bool WriterRefusesLease(int fd, int leaseErrno)
{
    return leaseErrno == EAGAIN && RefusalMeansWriter(fd);
}

// A read lease held while a file is read into memory, so that nobody opens
// it for writing meanwhile; or the reason none could be had.
class ReadLease {
public:
    explicit ReadLease(int fd) : m_fd(fd)
    {
        // Without its handler the lease-break signal would end the program.
        if (!InstallLeaseHandler() || fcntl(fd, F_SETSIG, g_leaseSignal) != 0 || fcntl(fd, F_SETOWN, getpid()) != 0)
            return;
        if (fcntl(fd, F_SETLEASE, F_RDLCK) == 0)
            m_held = true;
        else
            m_errno = errno;
    }
    ~ReadLease()
    {
        if (m_held)
            fcntl(m_fd, F_SETLEASE, F_UNLCK);
    }
    ReadLease(const ReadLease&) = delete;
    ReadLease& operator=(const ReadLease&) = delete;

    // The errno of a refused lease, 0 when it is held or was not asked for.
    int RefusedWith() const { return m_errno; }

private:
    int m_fd;
    bool m_held = false;
    int m_errno = 0;
};

class MappedFile final : public TextKeeper {
public:
    // Maps the whole file `fd` under a read lease and takes ownership of fd.
    // Returns null (fd left open, no lease) when that is not possible; a
    // refused lease leaves its errno in `leaseErrno`.
    static std::shared_ptr<MappedFile> Map(int fd, int& leaseErrno)
    {
        if (!OnLocalDisk(fd) || !InstallLeaseHandler())
            return nullptr;
        LeaseSlot* slot = nullptr;
        for (LeaseSlot& s : g_slots) {
            int expected = kFree;
            if (s.state.compare_exchange_strong(expected, kClaimed)) {
                slot = &s;
                break;
            }
        }
        if (!slot)
            return nullptr;
        // The holder exists before anything is acquired, so that nothing can
        // fail between acquiring and handing over. Until it holds a mapping
        // its destructor does nothing.
        std::shared_ptr<MappedFile> file;
        try {
            file = std::make_shared<MappedFile>(slot, fd);
        } catch (const std::bad_alloc&) {
            slot->state.store(kFree);
            return nullptr;
        }
        auto release = [&] {
            slot->fd.store(-1);
            slot->state.store(kFree);
        };
        slot->fd.store(fd);
        slot->addr.store(nullptr);
        slot->len.store(0);
        if (fcntl(fd, F_SETSIG, g_leaseSignal) != 0 || fcntl(fd, F_SETOWN, getpid()) != 0) {
            release();
            return nullptr;
        }
        slot->state.store(kArming);
        if (fcntl(fd, F_SETLEASE, F_RDLCK) != 0) {
            // Typically EAGAIN: somebody has the file open for writing.
            leaseErrno = errno;
            Reclaim(*slot);
            release();
            return nullptr;
        }
        // The size is taken under the lease: nobody can shorten the file now
        // without our handler knowing first.
        struct stat st {};
        void* addr = MAP_FAILED;
        if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0
            && std::uint64_t(st.st_size) <= LineList::kMaxTextBytes)
            addr = mmap(nullptr, std::size_t(st.st_size), PROT_READ, MAP_PRIVATE, fd, 0);
        if (addr != MAP_FAILED) {
            slot->addr.store(addr);
            slot->len.store(std::size_t(st.st_size));
            int expected = kArming;
            if (slot->state.compare_exchange_strong(expected, kMapped)) {
                madvise(addr, std::size_t(st.st_size), MADV_WILLNEED);
                file->m_addr = addr;
                file->m_len = std::size_t(st.st_size);
                return file;
            }
            // The lease broke before the mapping was used; read instead.
            munmap(addr, std::size_t(st.st_size));
        }
        Reclaim(*slot);
        fcntl(fd, F_SETLEASE, F_UNLCK);
        release();
        return nullptr;
    }

    ~MappedFile()
    {
        if (!m_addr)
            return;
        Reclaim(*m_slot);
        fcntl(m_fd, F_SETLEASE, F_UNLCK);
        munmap(m_addr, m_len);
        close(m_fd);
        m_slot->fd.store(-1);
        m_slot->state.store(kFree);
    }

    const char* Data() const { return static_cast<const char*>(m_addr); }
    std::size_t Size() const { return m_len; }

    // Drops the resident pages of a range that has been read; they come
    // back from the page cache when read again. Only while the mapping is
    // the file itself: a private copy taken at a lease break would be lost.
    void Release(const char* begin, const char* end) const noexcept override
    {
        const std::uintptr_t page = std::uintptr_t(sysconf(_SC_PAGESIZE));
        const std::uintptr_t lo = (std::uintptr_t(begin) + page - 1) & ~(page - 1);
        const std::uintptr_t hi = std::uintptr_t(end) & ~(page - 1);
        if (hi <= lo || lo < std::uintptr_t(m_addr) || hi > std::uintptr_t(m_addr) + m_len)
            return;
        sigset_t block, old;
        sigemptyset(&block);
        sigaddset(&block, g_leaseSignal);
        sigaddset(&block, SIGIO);
        pthread_sigmask(SIG_BLOCK, &block, &old);
        m_slot->advising.fetch_add(1);
        if (m_slot->state.load() == kMapped)
            madvise(reinterpret_cast<void*>(lo), hi - lo, MADV_DONTNEED);
        m_slot->advising.fetch_sub(1);
        pthread_sigmask(SIG_SETMASK, &old, nullptr);
    }

    // Use Map(); a holder made here holds nothing yet.
    MappedFile(LeaseSlot* slot, int fd) : m_slot(slot), m_fd(fd) {}

private:
    LeaseSlot* m_slot;
    int m_fd;
    void* m_addr = nullptr;
    std::size_t m_len = 0;
};

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
