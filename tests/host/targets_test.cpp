#include "targets/targets.h"
#include "test_support.h"

#include <vector>

namespace {

const bool Wide = sizeof(UINT_PTR) == 8;
const UINT32 M = MappedTargetCount;

class TargetsTest : public HostTest {
protected:
    std::vector<UINT_PTR> AttemptsFor(UINT32 slot)
    {
        // Attempts of a slot carry its index in their offset within the granule.
        std::vector<UINT_PTR> attempts;
        for (auto &c : fake::CallsNamed("VirtualAlloc"))
            if (c.a >= MappedBase(slot) && (slot + 1 == M || c.a < MappedBase(slot + 1))) attempts.push_back(c.a);
        return attempts;
    }
    void TakeRegion(UINT_PTR start, UINT_PTR end) { fake::world.taken.push_back({start, end}); }
};

TEST_F(TargetsTest, CountsFollowThePointerWidth)
{
    EXPECT_EQ(MappedTargetCount, Wide ? 128u : 64u);
    EXPECT_EQ(TargetCount, Wide ? 138u : 74u);
    EXPECT_EQ(sizeof(TargetSlot), 3 * sizeof(void *));
}

TEST_F(TargetsTest, MappedBases)
{
    struct { UINT32 index; unsigned long long base; } cases[] = {
        {0, 0x1}, {1, 0x3}, {7, 0xF}, {8, 0x10}, {31, 0xF000}, {32, 0x10000}, {33, 0x30000},
        {40, 0x100000}, {63, 0xF0000000ull}, {91, 0x700000000000ull}, {127, 0xF000000000000000ull}};
    for (auto c : cases) {
        if (c.index >= M) continue;
        EXPECT_EQ((unsigned long long)MappedBase(c.index), c.base) << "slot " << c.index;
    }
    for (UINT32 i = 0; i + 1 < M; ++i) EXPECT_LT(MappedBase(i), MappedBase(i + 1)) << "slot " << i;
}

TEST_F(TargetsTest, ZeroTableHasEverySlotAbsent)
{
    for (UINT32 i = 0; i < TargetCount; ++i) {
        EXPECT_EQ(TargetTable[i].block, nullptr) << i;
        EXPECT_EQ(TargetTable[i].value, nullptr) << i;
    }
}

TEST_F(TargetsTest, DefaultAddressSpacePlacesFromSlot32UpWithTheIndexInTheLowBits)
{
    AllocateTargets();
    ASSERT_EQ(fake::world.hostRefusals, 0) << "the build machine had something mapped at a target address";

    UINT32 lastPlaced = Wide ? 91 : 59; // max just below 2^47, or a 2 GiB user range
    for (UINT32 i = 0; i < M; ++i) {
        const TargetSlot &slot = TargetTable[i];
        EXPECT_EQ((unsigned long long)slot.base, (unsigned long long)MappedBase(i)) << "slot " << i;
        if (i < 32 || i > lastPlaced) {
            EXPECT_EQ(slot.block, nullptr) << "slot " << i;
            EXPECT_EQ(slot.value, nullptr) << "slot " << i;
            EXPECT_TRUE(AttemptsFor(i).empty()) << "slot " << i << " gives up without a call";
            continue;
        }
        UINT_PTR address = MappedBase(i) + 4 * i;
        ASSERT_NE(slot.block, nullptr) << "slot " << i;
        EXPECT_EQ((UINT_PTR)slot.value, address) << "slot " << i;
        EXPECT_EQ((UINT_PTR)slot.block, address & ~(UINT_PTR)0xFFFF) << "slot " << i;
        EXPECT_EQ((UINT_PTR)slot.value & 0xFFFF, 4 * i) << "slot " << i;
        *slot.value = 0xA5A50000u + i; // real memory behind it
        EXPECT_EQ(*slot.value, 0xA5A50000u + i);
    }
    EXPECT_EQ((unsigned long long)TargetTable[M].base, (unsigned long long)~(UINT_PTR)0);

    auto calls = fake::CallsNamed("VirtualAlloc");
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(calls[0].a, (UINT_PTR)0x10080) << "slot 32 first tries 0x10080";
    for (auto &c : calls) {
        EXPECT_EQ(c.b, 4u);
        EXPECT_EQ(c.c, (UINT_PTR)(MEM_RESERVE | MEM_COMMIT));
        EXPECT_EQ(c.d, (UINT_PTR)PAGE_READWRITE);
    }
    EXPECT_EQ(calls.size(), lastPlaced - 32 + 1) << "one attempt per placed slot";
    EXPECT_EQ(fake::CallsNamed("GetSystemInfo").size(), 1u);
}

TEST_F(TargetsTest, FourGigabyteRangeOfA32BitProcessPlacesAllUpperSlots)
{
    if (Wide) GTEST_SKIP() << "a 32-bit address space";
    fake::world.maxAddress = 0xFFFEFFFFu;
    fake::world.backWithMemory = false; // the upper 2 GiB belong to the host's own process
    AllocateTargets();
    for (UINT32 i = 32; i < M; ++i) EXPECT_NE(TargetTable[i].block, nullptr) << "slot " << i;
    EXPECT_EQ((UINT_PTR)TargetTable[63].value, (UINT_PTR)0xF00000FCu);
}

TEST_F(TargetsTest, TakenRegionsMoveTheSearchUpByOneGranuleKeepingTheOffset)
{
    TakeRegion(0x10000, 0x20000); // slot 32's first granule
    TakeRegion(0x50000, 0x60000); // slot 34's first granule
    AllocateTargets();
    EXPECT_EQ((UINT_PTR)TargetTable[32].value, (UINT_PTR)0x20080);
    EXPECT_EQ((UINT_PTR)TargetTable[32].block, (UINT_PTR)0x20000);
    EXPECT_EQ(AttemptsFor(32), (std::vector<UINT_PTR>{0x10080, 0x20080}));
    EXPECT_EQ((UINT_PTR)TargetTable[34].value, (UINT_PTR)0x60088);
    EXPECT_EQ(AttemptsFor(34), (std::vector<UINT_PTR>{0x50088, 0x60088}));
}

TEST_F(TargetsTest, SlotIsAbsentWhenEveryAttemptInItsIntervalFails)
{
    TakeRegion(0x10000, 0x30000); // 0x10080 and 0x20080; 0x30080 is slot 33's
    fake::world.failingAddresses.insert(0x30084);
    AllocateTargets();
    EXPECT_EQ(TargetTable[32].block, nullptr);
    EXPECT_EQ(TargetTable[32].value, nullptr);
    EXPECT_EQ(AttemptsFor(32), (std::vector<UINT_PTR>{0x10080, 0x20080}));
    // A failing call moves the search on as well: 0x30084 fails, 0x40084 is taken by nobody.
    EXPECT_EQ((UINT_PTR)TargetTable[33].value, (UINT_PTR)0x40084);
}

TEST_F(TargetsTest, SearchStopsAtTheMaximum)
{
    // Max inside slot 40's interval: its attempts run up to max and no further.
    fake::world.maxAddress = 0x1500A0;
    TakeRegion(0x100000, 0x150000);
    AllocateTargets();
    EXPECT_EQ((UINT_PTR)TargetTable[40].value, (UINT_PTR)0x1500A0);
    fake::Reset();
    for (UINT32 i = 0; i < TargetCount; ++i) TargetTable[i] = TargetSlot();
    fake::world.maxAddress = 0x1500A0;
    fake::world.backWithMemory = false;
    TakeRegion(0x100000, 0x160000);
    AllocateTargets();
    EXPECT_EQ(TargetTable[40].block, nullptr);
    EXPECT_EQ(AttemptsFor(40).size(), 6u); // 0x1000A0 .. 0x1500A0
    for (UINT32 i = 41; i < M; ++i) EXPECT_EQ(TargetTable[i].block, nullptr) << i;
}

TEST_F(TargetsTest, LastMappedSlotSearchesUntilTheMaximumAndGivesUpOnWrap)
{
    // The last interval ends at the all-ones base of the first static slot, so
    // only max or a wrap past the top ends its search. A large granularity
    // reaches the top in a few steps; these addresses are the host kernel's,
    // so nothing is mapped for real.
    UINT32 last = M - 1;
    UINT_PTR base = MappedBase(last);
    fake::world.backWithMemory = false;
    fake::world.minAddress = 0;
    fake::world.maxAddress = ~(UINT_PTR)0;
    fake::world.granularity = Wide ? 0x80000000u : 0x4000000u;
    TakeRegion(base, ~(UINT_PTR)0);
    for (UINT32 i = 0; i < last; ++i) fake::world.failingAddresses.insert(MappedBase(i) + 4 * i);
    if (Wide) fake::world.maxAddress = base + 0x1FC + 3 * (UINT_PTR)0x80000000u;

    AllocateTargets();

    EXPECT_EQ(TargetTable[last].block, nullptr);
    std::vector<UINT_PTR> attempts = AttemptsFor(last);
    // 64-bit: base + 0x1FC and three granules more, up to max. 32-bit:
    // 0xF00000FC up to 0xFC0000FC; the next address wraps to 0xFC, below base.
    ASSERT_EQ(attempts.size(), 4u);
    EXPECT_EQ(attempts.back(), Wide ? fake::world.maxAddress : (UINT_PTR)0xFC0000FCu);
    for (UINT_PTR a : attempts) EXPECT_EQ(a & 0xFFFF, (UINT_PTR)(4 * last));
}

TEST_F(TargetsTest, StaticAndHeapTargets)
{
    AllocateTargets();
    void *statics[] = {&StaticWordA, &StaticQword, StaticBlock, &StaticWordB};
    for (UINT32 k = 0; k < 4; ++k) {
        EXPECT_EQ(TargetTable[M + k].block, statics[k]) << "static " << k;
        EXPECT_EQ((void *)TargetTable[M + k].value, statics[k]) << "static " << k;
        EXPECT_EQ((unsigned long long)TargetTable[M + k].base, k == 0 ? (unsigned long long)~(UINT_PTR)0 : 0ull);
    }
    EXPECT_EQ((UINT_PTR)&StaticQword % 8, 0u);
    EXPECT_EQ(sizeof(StaticQword), 8u);
    EXPECT_EQ(sizeof(StaticBlock), 4100u);

    const char *names[] = {"HeapAlloc", "GlobalAlloc", "LocalAlloc", "HeapAlloc", "GlobalAlloc", "LocalAlloc"};
    const SIZE_T sizes[] = {4, 4, 4, 4100, 4100, 4100};
    ASSERT_EQ(fake::world.allocations.size(), 6u);
    for (UINT32 k = 0; k < 6; ++k) {
        EXPECT_EQ(fake::world.allocations[k].name, names[k]) << k;
        EXPECT_EQ(fake::world.allocations[k].size, sizes[k]) << k;
        EXPECT_EQ(TargetTable[M + 4 + k].block, fake::world.allocations[k].result) << k;
        EXPECT_EQ((void *)TargetTable[M + 4 + k].value, fake::world.allocations[k].result) << k;
        EXPECT_EQ(TargetTable[M + 4 + k].base, 0u) << k;
    }
    for (auto &c : fake::CallsNamed("HeapAlloc")) EXPECT_EQ(c.d, 0u) << "flags 0";
    for (auto &c : fake::CallsNamed("GlobalAlloc")) EXPECT_EQ(c.c, (UINT_PTR)GMEM_FIXED);
    for (auto &c : fake::CallsNamed("LocalAlloc")) EXPECT_EQ(c.c, (UINT_PTR)LMEM_FIXED);
}

TEST_F(TargetsTest, OneFailedAllocationLeavesOnlyItsOwnSlotAbsent)
{
    for (int failing = 0; failing < 6; ++failing) {
        ResetProgram();
        fake::world.failingAllocations.insert(failing);
        AllocateTargets();
        for (int k = 0; k < 6; ++k) {
            EXPECT_EQ(TargetTable[M + 4 + k].block == nullptr, k == failing) << "failing " << failing << " slot " << k;
            EXPECT_EQ(TargetTable[M + 4 + k].value == nullptr, k == failing) << "failing " << failing;
        }
    }
}

TEST_F(TargetsTest, ReleaseGivesBackBlocksNeverValues)
{
    TakeRegion(0x30000, 0x40000); // slot 33 moves one granule up
    fake::world.failingAllocations.insert(4); // GlobalAlloc of 4100
    AllocateTargets();
    fake::world.calls.clear();
    ReleaseTargets();

    std::vector<UINT_PTR> expectedFrees;
    for (UINT32 i = 0; i < M; ++i)
        if (TargetTable[i].block != nullptr) expectedFrees.push_back((UINT_PTR)TargetTable[i].block);
    std::vector<UINT_PTR> frees;
    for (auto &c : fake::CallsNamed("VirtualFree")) {
        frees.push_back(c.a);
        EXPECT_EQ(c.b, 0u);
        EXPECT_EQ(c.c, (UINT_PTR)MEM_RELEASE);
    }
    EXPECT_EQ(frees, expectedFrees);
    EXPECT_EQ((UINT_PTR)TargetTable[33].block, (UINT_PTR)0x40000);
    EXPECT_EQ((UINT_PTR)TargetTable[33].value, (UINT_PTR)0x40084);

    std::vector<std::string> heapFrees;
    std::vector<UINT_PTR> heapBlocks;
    for (auto &c : fake::world.calls) {
        if (c.name == "HeapFree" || c.name == "GlobalFree" || c.name == "LocalFree") {
            heapFrees.push_back(c.name);
            heapBlocks.push_back(c.a);
        }
    }
    EXPECT_EQ(heapFrees, (std::vector<std::string>{"HeapFree", "GlobalFree", "LocalFree", "HeapFree", "LocalFree"}));
    std::vector<UINT_PTR> expectedBlocks;
    for (UINT32 k : {0u, 1u, 2u, 3u, 5u}) expectedBlocks.push_back((UINT_PTR)TargetTable[M + 4 + k].block);
    EXPECT_EQ(heapBlocks, expectedBlocks);
    for (auto &c : fake::CallsNamed("HeapFree")) {
        EXPECT_EQ(c.b, (UINT_PTR)GetProcessHeap());
        EXPECT_EQ(c.c, 0u) << "flags 0";
    }
    // Static slots are never given back, and the table keeps its pointers.
    for (auto &c : fake::world.calls)
        for (UINT32 k = 0; k < 4; ++k) EXPECT_NE(c.a, (UINT_PTR)TargetTable[M + k].block) << c.name;
    EXPECT_EQ(TargetTable[M].block, (void *)&StaticWordA);
}

TEST_F(TargetsTest, NothingIsFreedWhenEverythingFailed)
{
    fake::world.minAddress = ~(UINT_PTR)0; // no mapped slot can be placed
    for (int k = 0; k < 6; ++k) fake::world.failingAllocations.insert(k);
    AllocateTargets();
    EXPECT_TRUE(fake::CallsNamed("VirtualAlloc").empty());
    fake::world.calls.clear();
    ReleaseTargets();
    for (auto &c : fake::world.calls) ADD_FAILURE() << "unexpected " << c.name;
}

} // namespace
