#pragma once
// A growable array of plain values whose new elements are left
// uninitialised. Large tables are written once by the code that fills them;
// zeroing them first would touch every page twice.

#include <cstdlib>
#include <cstring>
#include <new>
#include <type_traits>
#include <utility>

template <class T>
class PodArray {
    static_assert(std::is_trivially_copyable_v<T>);

public:
    PodArray() = default;
    PodArray(const PodArray& o) { *this = o; }
    PodArray(PodArray&& o) noexcept { swap(o); }
    ~PodArray() { std::free(m_p); }

    PodArray& operator=(const PodArray& o)
    {
        if (this != &o) {
            PodArray tmp;
            tmp.ResizeUninitialized(o.m_size);
            if (o.m_size)
                std::memcpy(tmp.m_p, o.m_p, o.m_size * sizeof(T));
            swap(tmp);
        }
        return *this;
    }
    PodArray& operator=(PodArray&& o) noexcept
    {
        PodArray tmp(std::move(o));
        swap(tmp);
        return *this;
    }
    void swap(PodArray& o) noexcept
    {
        std::swap(m_p, o.m_p);
        std::swap(m_size, o.m_size);
        std::swap(m_cap, o.m_cap);
    }

    T* data() noexcept { return m_p; }
    const T* data() const noexcept { return m_p; }
    std::size_t size() const noexcept { return m_size; }
    bool empty() const noexcept { return m_size == 0; }
    T& operator[](std::size_t i) noexcept { return m_p[i]; }
    const T& operator[](std::size_t i) const noexcept { return m_p[i]; }

    void Reserve(std::size_t n)
    {
        if (n <= m_cap)
            return;
        if (n > std::size_t(-1) / sizeof(T))
            throw std::bad_alloc();
        void* p = std::realloc(m_p, n * sizeof(T));
        if (!p)
            throw std::bad_alloc();
        m_p = static_cast<T*>(p);
        m_cap = n;
    }
    // New elements have indeterminate values; the caller writes them.
    void ResizeUninitialized(std::size_t n)
    {
        Reserve(n);
        m_size = n;
    }
    void Truncate(std::size_t n) noexcept
    {
        if (n < m_size)
            m_size = n;
    }
    void PushBack(T v)
    {
        if (m_size == m_cap)
            Reserve(m_cap < 16 ? 16 : m_cap + m_cap / 2);
        m_p[m_size++] = v;
    }
    void Erase(std::size_t i) noexcept
    {
        std::memmove(m_p + i, m_p + i + 1, (m_size - i - 1) * sizeof(T));
        --m_size;
    }
    void Clear() noexcept
    {
        std::free(m_p);
        m_p = nullptr;
        m_size = m_cap = 0;
    }

private:
    T* m_p = nullptr;
    std::size_t m_size = 0;
    std::size_t m_cap = 0;
};
