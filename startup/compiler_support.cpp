// compiler_support.cpp: the one routine a compiler may call on its own with
// no C runtime behind it (LLVM turns the padding loop of the number text into
// memset). Linked only into the .exe files; unused code is dropped.
#include <stddef.h>

// cl.exe treats memset as an intrinsic it will not let us define without this.
#if defined(_MSC_VER) && !defined(__clang__)
#pragma function(memset)
#endif

extern "C" void *memset(void *destination, int value, size_t count)
{
    // Volatile, so that this loop is not itself turned into a memset call.
    volatile unsigned char *p = (volatile unsigned char *)destination;
    while (count--) *p++ = (unsigned char)value;
    return destination;
}
