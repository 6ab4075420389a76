#include "EmfRecordWriter.h"

#include <QtEndian>

#include <cstring>

namespace emf {

void RecordWriter::Begin(std::uint32_t type)
{
    Q_ASSERT(m_recordStart < 0);
    m_recordStart = m_bytes.size();
    U32(type);
    U32(0); // size, set by End()
}

void RecordWriter::End()
{
    Q_ASSERT(m_recordStart >= 0);
    while ((m_bytes.size() - m_recordStart) % 4 != 0)
        m_bytes.append('\0');
    qToLittleEndian<std::uint32_t>(std::uint32_t(m_bytes.size() - m_recordStart), m_bytes.data() + m_recordStart + 4);
    m_recordStart = -1;
    ++m_records;
}

void RecordWriter::U16(std::uint16_t v)
{
    char b[2];
    qToLittleEndian(v, b);
    m_bytes.append(b, 2);
}

void RecordWriter::U32(std::uint32_t v)
{
    char b[4];
    qToLittleEndian(v, b);
    m_bytes.append(b, 4);
}

void RecordWriter::F32(float v)
{
    std::uint32_t bits;
    std::memcpy(&bits, &v, 4);
    U32(bits);
}

void RecordWriter::Rect(const RectL& r)
{
    I32(r.left);
    I32(r.top);
    I32(r.right);
    I32(r.bottom);
}

void RecordWriter::PatchU32(qsizetype offset, std::uint32_t v)
{
    Q_ASSERT(m_recordStart >= 0 && offset + 4 <= RecordOffset());
    qToLittleEndian(v, m_bytes.data() + m_recordStart + offset);
}

std::uint32_t RecordWriter::AllocateHandle()
{
    ++m_live;
    for (std::uint32_t i = 1; i < m_used.size(); ++i) {
        if (!m_used[i]) {
            m_used[i] = true;
            return i;
        }
    }
    m_used.push_back(true);
    return std::uint32_t(m_used.size() - 1);
}

void RecordWriter::FreeHandle(std::uint32_t handle)
{
    Q_ASSERT(handle > 0 && handle < m_used.size() && m_used[handle]);
    m_used[handle] = false;
    --m_live;
}

std::uint16_t RecordWriter::HandleTableSize() const { return std::uint16_t(m_used.size()); }

} // namespace emf
