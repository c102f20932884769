// random.h: the program's own pseudo-random source, the same on every run.
#pragma once
#include <windows.h>

// Pointer-wide state: 64 bits in the 64-bit build, 32 bits in the 32-bit one.
extern UINT_PTR RandomState;

// One step of the generator; the low 32 bits of the new state.
UINT32 NextRandom32();

// A uniform draw from low..high (low <= high), taken from the top bits of
// the generator's output; candidates above the span are thrown away.
UINT32 RandomInRange(UINT32 low, UINT32 high);
