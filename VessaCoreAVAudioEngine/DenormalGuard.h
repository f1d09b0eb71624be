#pragma once

#if defined(__SSE__) || defined(__x86_64__)
#include <xmmintrin.h>
#endif

namespace vessa {

// Makes the floating-point unit of the current thread flush denormal numbers
// to zero for the guard's lifetime (render callbacks), then restores it.
class DenormalGuard {
public:
#if defined(__SSE__) || defined(__x86_64__)
    DenormalGuard() : m_saved(_mm_getcsr())
    {
        _mm_setcsr(m_saved | flushToZero | denormalsAreZero);
    }
    ~DenormalGuard()
    {
        _mm_setcsr(m_saved);
    }

private:
    static constexpr unsigned flushToZero = 0x8000;
    static constexpr unsigned denormalsAreZero = 0x0040;
    unsigned m_saved;
#elif defined(__aarch64__)
    DenormalGuard() : m_saved(__builtin_aarch64_get_fpcr())
    {
        __builtin_aarch64_set_fpcr(m_saved | (1u << 24));
    }
    ~DenormalGuard()
    {
        __builtin_aarch64_set_fpcr(m_saved);
    }

private:
    unsigned m_saved;
#else
    DenormalGuard() = default;
#endif

public:
    DenormalGuard(const DenormalGuard&) = delete;
    DenormalGuard& operator=(const DenormalGuard&) = delete;
};

} // namespace vessa
