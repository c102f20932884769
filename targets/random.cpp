// random.cpp: a multiply-add step with an xor-shift, and the range draw on it.
#include "targets/random.h"

UINT_PTR RandomState = 0x0ABCDEF7u;

// The shift follows the state width: 50 of 64 bits, 25 of 32.
static const UINT32 RandomShift = sizeof(UINT_PTR) == 8 ? 50 : 25;

UINT32 NextRandom32()
{
    UINT_PTR s = RandomState * 0x6C32C5D3u + 0x76543219u;
    s ^= s >> RandomShift;
    RandomState = s;
    return (UINT32)s;
}

UINT32 RandomInRange(UINT32 low, UINT32 high)
{
    UINT32 span = high - low;
    UINT32 bits = 0;
    UINT32 rest = span;
    do {
        ++bits;
        rest >>= 1;
    } while (rest != 0);

    UINT32 candidate;
    do {
        candidate = NextRandom32() >> (32 - bits);
    } while (candidate > span);
    return low + candidate;
}
