// Bytes the program holds on the heap right now, for tests that bound memory per row.
#pragma once

#include <cstddef>

#if defined(__SANITIZE_ADDRESS__)
// From the address sanitizer's runtime (its header does not come with every compiler).
extern "C" std::size_t __sanitizer_get_current_allocated_bytes();
inline std::size_t HeapInUse()
{
    return __sanitizer_get_current_allocated_bytes();
}
#else
#include <malloc.h>
inline std::size_t HeapInUse()
{
    // Large blocks are mapped apart from the heap proper.
    const struct mallinfo2 m = mallinfo2();
    return m.uordblks + m.hblkhd;
}
#endif
