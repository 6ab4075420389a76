#include "FileLease.h"

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

} // namespace

struct LeaseSlot {
    std::atomic<int> state{kFree};
    std::atomic<int> advising{0}; // threads dropping resident pages right now
    std::atomic<int> fd{-1};
    std::atomic<void*> addr{nullptr};
    std::atomic<std::size_t> len{0};
};

namespace {

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

} // namespace

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

ReadLease::ReadLease(int fd) : m_fd(fd)
{
    // Without its handler the lease-break signal would end the program.
    if (!InstallLeaseHandler() || fcntl(fd, F_SETSIG, g_leaseSignal) != 0 || fcntl(fd, F_SETOWN, getpid()) != 0)
        return;
    if (fcntl(fd, F_SETLEASE, F_RDLCK) == 0)
        m_held = true;
    else
        m_errno = errno;
}

ReadLease::~ReadLease()
{
    if (m_held)
        fcntl(m_fd, F_SETLEASE, F_UNLCK);
}

std::shared_ptr<MappedFile> MappedFile::Map(int fd, int& leaseErrno)
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

MappedFile::~MappedFile()
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

void MappedFile::Release(const char* begin, const char* end) const noexcept
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
