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
