#pragma once
// Running two halves of a pass at once.

#include <system_error>
#include <thread>

// Runs a() on this thread and b() on a second one, and returns when both
// are done. Without a second thread to be had, runs them one after the other.
template <class A, class B>
void InParallel(A&& a, B&& b)
{
    std::jthread second;
    try {
        second = std::jthread([&b] { b(); });
    } catch (const std::system_error&) {
        b();
    }
    a();
}
