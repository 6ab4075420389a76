#pragma once
// Byte-level writing of enhanced metafile records: little-endian fields,
// records padded to four bytes, the record count, and the table of object
// handles. Knows nothing about Qt's painting; the paint engine builds on it.

#include <QByteArray>
#include <QPoint>
#include <QRect>

#include <cstdint>
#include <vector>

namespace emf {

// An inclusive rectangle of 32-bit coordinates, as the format stores bounds.
struct RectL {
    std::int32_t left = 0, top = 0, right = -1, bottom = -1;
};

class RecordWriter {
public:
    // Appends one record; finish it with End() before the next Begin().
    void Begin(std::uint32_t type);
    void End();

    void U8(std::uint8_t v) { m_bytes.append(char(v)); }
    void U16(std::uint16_t v);
    void U32(std::uint32_t v);
    void I32(std::int32_t v) { U32(std::uint32_t(v)); }
    void I16(std::int16_t v) { U16(std::uint16_t(v)); }
    void F32(float v);
    void Rect(const RectL& r);
    void Raw(const char* data, qsizetype size) { m_bytes.append(data, size); }
    void Zeros(qsizetype n) { m_bytes.append(n, '\0'); }
    // Bytes written into the open record so far, its 8-byte head included.
    qsizetype RecordOffset() const { return m_bytes.size() - m_recordStart; }
    // Overwrites a 32-bit field at `offset` bytes into the open record.
    void PatchU32(qsizetype offset, std::uint32_t v);

    // Object handles: index 0 is the metafile itself, so handles start at 1.
    std::uint32_t AllocateHandle();
    void FreeHandle(std::uint32_t handle);
    // The size of the object table the file needs: the highest index + 1.
    std::uint16_t HandleTableSize() const;
    std::uint32_t LiveHandles() const { return m_live; }

    std::uint32_t Records() const { return m_records; }
    qsizetype Size() const { return m_bytes.size(); }
    QByteArray& Bytes() { return m_bytes; }

private:
    QByteArray m_bytes;
    qsizetype m_recordStart = -1;
    std::uint32_t m_records = 0;
    std::vector<bool> m_used{true}; // slot 0 belongs to the metafile
    std::uint32_t m_live = 0;
};

} // namespace emf
