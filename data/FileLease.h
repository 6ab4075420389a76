#pragma once
// Files held under a read lease, so the kernel tells this program before
// anybody may write to or truncate them.
//
// A lease break is announced by a signal, whose handler lives here. For a
// mapped file it copies the text into anonymous memory at the same address
// and then lets the writer go on, so readers see the file as it was mapped,
// never a half-rewritten one, and never fault on a truncated one.

#include "LineList.h"

#include <cstddef>
#include <memory>

struct LeaseSlot;

// Whether a read lease refused with `leaseErrno` means that somebody has
// the file open for writing, so far as this kernel can tell.
bool WriterRefusesLease(int fd, int leaseErrno);

// A read lease held while a file is read into memory, so that nobody opens
// it for writing meanwhile; or the reason none could be had.
class ReadLease {
public:
    explicit ReadLease(int fd);
    ~ReadLease();
    ReadLease(const ReadLease&) = delete;
    ReadLease& operator=(const ReadLease&) = delete;

    // The errno of a refused lease, 0 when it is held or was not asked for.
    int RefusedWith() const { return m_errno; }

private:
    int m_fd;
    bool m_held = false;
    int m_errno = 0;
};

// A whole file mapped under a read lease, kept alive as the text of a
// LineList.
class MappedFile final : public TextKeeper {
public:
    // Maps the whole file `fd` under a read lease and takes ownership of fd.
    // Returns null (fd left open, no lease) when that is not possible; a
    // refused lease leaves its errno in `leaseErrno`.
    static std::shared_ptr<MappedFile> Map(int fd, int& leaseErrno);

    ~MappedFile() override;

    const char* Data() const { return static_cast<const char*>(m_addr); }
    std::size_t Size() const { return m_len; }

    // Drops the resident pages of a range that has been read; they come
    // back from the page cache when read again. Only while the mapping is
    // the file itself: a private copy taken at a lease break would be lost.
    void Release(const char* begin, const char* end) const noexcept override;

    // Use Map(); a holder made here holds nothing yet.
    MappedFile(LeaseSlot* slot, int fd) : m_slot(slot), m_fd(fd) {}

private:
    LeaseSlot* m_slot;
    int m_fd;
    void* m_addr = nullptr;
    std::size_t m_len = 0;
};
