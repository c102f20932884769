// Host stand-in for the companion's platform side: what it writes to its
// two streams is kept, and its heap can be made to run out.
#pragma once
#include "ctl/platform.h"

#include <functional>
#include <map>
#include <string>

namespace ctlfake {
extern std::string Out, Err;
extern int ErrorWrites;     // calls that wrote to standard error
extern long GrowsLeft;      // GrowBlock calls before one fails; -1: none fails
extern long LiveBlocks;     // blocks given and not yet freed
extern std::map<std::string, std::string> Files; // written with WriteWholeFile, by path
extern UINT64 Clock;        // Microseconds; WaitUntil moves it on
extern bool Interrupt;      // Interrupted's answer
extern UINT64 ReadCost;     // microseconds each piece of a list of reads takes
extern std::function<void()> OnRead; // called after each such piece, if set
void Reset();
void ResetHooks();          // Interrupt, ReadCost, OnRead, which Reset keeps
} // namespace ctlfake
