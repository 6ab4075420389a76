#pragma once
// Bounds-checked little-endian reads over a span of untrusted bytes.
//
// Every read takes an offset from the span's start. A read that would reach
// past the end yields zero and marks the reader as overrun, so a record
// handler can read its fixed fields first and check Overrun() once, and an
// overlooked check still cannot read outside the buffer. Offsets and lengths
// are 64-bit and every sum is checked, so no value from a file can wrap.

#include <cstdint>
#include <cstring>

namespace metafile {

// true when [offset, offset + length) lies inside [0, size).
constexpr bool Fits(std::uint64_t offset, std::uint64_t length, std::uint64_t size)
{
    return offset <= size && length <= size - offset;
}

// a * b, or false when the product would exceed `limit`.
constexpr bool MulWithin(std::uint64_t a, std::uint64_t b, std::uint64_t limit, std::uint64_t& out)
{
    if (a != 0 && b > limit / a)
        return false;
    out = a * b;
    return out <= limit;
}

class ByteReader {
public:
    ByteReader() = default;
    ByteReader(const std::uint8_t* data, std::uint64_t size) : m_data(data), m_size(size) {}

    std::uint64_t Size() const { return m_size; }
    const std::uint8_t* Data() const { return m_data; }
    bool Has(std::uint64_t offset, std::uint64_t length) const { return Fits(offset, length, m_size); }
    bool Overrun() const { return m_overrun; }

    std::uint8_t U8(std::uint64_t off) const
    {
        if (!Has(off, 1))
            return Fail<std::uint8_t>();
        return m_data[off];
    }
    std::uint16_t U16(std::uint64_t off) const
    {
        if (!Has(off, 2))
            return Fail<std::uint16_t>();
        return std::uint16_t(m_data[off] | (m_data[off + 1] << 8));
    }
    std::uint32_t U32(std::uint64_t off) const
    {
        if (!Has(off, 4))
            return Fail<std::uint32_t>();
        return std::uint32_t(m_data[off]) | (std::uint32_t(m_data[off + 1]) << 8) |
               (std::uint32_t(m_data[off + 2]) << 16) | (std::uint32_t(m_data[off + 3]) << 24);
    }
    std::int16_t I16(std::uint64_t off) const { return std::int16_t(U16(off)); }
    std::int32_t I32(std::uint64_t off) const { return std::int32_t(U32(off)); }
    float F32(std::uint64_t off) const
    {
        const std::uint32_t bits = U32(off);
        float f;
        std::memcpy(&f, &bits, sizeof f);
        return f;
    }

    // The sub-span [offset, offset + length), or an empty reader (and the
    // overrun mark) when it does not fit.
    ByteReader Sub(std::uint64_t offset, std::uint64_t length) const
    {
        if (!Has(offset, length)) {
            m_overrun = true;
            return {};
        }
        return ByteReader(m_data + offset, length);
    }

private:
    template <typename T>
    T Fail() const
    {
        m_overrun = true;
        return T(0);
    }

    const std::uint8_t* m_data = nullptr;
    std::uint64_t m_size = 0;
    mutable bool m_overrun = false;
};

} // namespace metafile
