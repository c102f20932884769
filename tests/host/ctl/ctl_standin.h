// Host stand-in for the companion's platform side: what it writes to its
// two streams is kept, and its heap can be made to run out.
#pragma once
#include "ctl/platform.h"

#include <string>

namespace ctlfake {
extern std::string Out, Err;
extern int ErrorWrites;     // calls that wrote to standard error
extern long GrowsLeft;      // GrowBlock calls before one fails; -1: none fails
extern long LiveBlocks;     // blocks given and not yet freed
void Reset();
} // namespace ctlfake
