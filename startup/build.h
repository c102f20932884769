// build.h: what the one build choice decides.
// The 64-bit build is wide-character (UNICODE), the 32-bit build narrow; the
// program name, class name and title follow from that choice.
#pragma once
#include <windows.h>

#ifdef UNICODE
#define PROGRAM_NAME "Vantoriel64"
#else
#define PROGRAM_NAME "Vantoriel32"
#endif

static_assert((sizeof(TCHAR) == 2) == (sizeof(void *) == 8),
              "wide text goes with 64-bit pointers, narrow text with 32-bit ones");
