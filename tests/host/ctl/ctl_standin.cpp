#include "ctl_standin.h"

#include <stdlib.h>

namespace ctlfake {
std::string Out, Err;
int ErrorWrites;
long GrowsLeft = -1, LiveBlocks;
void Reset()
{
    Out.clear();
    Err.clear();
    ErrorWrites = 0;
    GrowsLeft = -1;
}
void ResetHooks()
{
    Interrupt = false;
    ReadCost = 0;
    OnRead = nullptr;
}
} // namespace ctlfake

void WriteStandard(UINT32 stream, const char *text, UINT32 length)
{
    if (stream == StreamError) ++ctlfake::ErrorWrites;
    (stream == StreamError ? ctlfake::Err : ctlfake::Out).append(text, length);
}

void *GrowBlock(void *block, SIZE_T bytes)
{
    if (ctlfake::GrowsLeft == 0) return nullptr;
    if (ctlfake::GrowsLeft > 0) --ctlfake::GrowsLeft;
    void *bigger = realloc(block, bytes);
    if (bigger && !block) ++ctlfake::LiveBlocks;
    return bigger;
}

void FreeBlock(void *block)
{
    if (block) --ctlfake::LiveBlocks;
    free(block);
}

namespace ctlfake {
std::map<std::string, std::string> Files;
UINT64 Clock;
bool Interrupt;
UINT64 ReadCost;
std::function<void()> OnRead;
} // namespace ctlfake

BOOL WriteWholeFile(const WCHAR *path, const char *bytes, SIZE_T length)
{
    std::string name;
    for (const WCHAR *p = path; *p; ++p) name += (char)*p;
    ctlfake::Files[name].assign(bytes, length);
    return TRUE;
}

UINT64 Microseconds() { return ctlfake::Clock; }
void WaitUntil(UINT64 moment) { ctlfake::Clock = moment > ctlfake::Clock ? moment : ctlfake::Clock; }
void CatchInterrupt() {}
BOOL Interrupted() { return ctlfake::Interrupt; }
