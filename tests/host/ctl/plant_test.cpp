// What plants add to the companion's pure logic: which target a search
// expects, where a value lies in memory, the fill around planted values, the
// cases a value cannot be placed in, and refusals that place nothing.
#include "ctl/output.h"
#include "ctl/plants.h"
#include "ctl/request.h"
#include "ctl/score.h"
#include "ctl_standin.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <string>
#include <vector>

namespace {

using Wide = std::u16string;

TypedValue Typed(const char *text, UINT32 type)
{
    Wide wide(text, text + strlen(text));
    TypedValue v = {};
    EXPECT_EQ(ReadValue(wide.c_str(), type, &v), (UINT32)ValueOk) << text;
    return v;
}

// A plant holding bytes (little-endian as memory holds them), then known
// bytes of memory from its address on.
struct Planted {
    PlantEntry entry;
    Target target;
};

Planted Plant(UINT32 type, UINT32 size, std::vector<BYTE> memory, UINT32 kind = KindPlanted, BOOL readable = TRUE)
{
    Planted p = {};
    p.entry.type = (UINT8)type;
    p.entry.size = size;
    p.target.kind = kind;
    p.target.plant = &p.entry;
    p.target.readable = readable;
    p.target.known = (UINT32)memory.size();
    for (size_t k = 0; k < memory.size(); ++k) p.target.now[k] = memory[k];
    for (UINT32 k = 0; k < 4 && k < memory.size(); ++k) p.target.memory |= (UINT32)memory[k] << 8 * k;
    return p;
}

// A search expects what holds its value as its type, however it was placed:
// an i32 plant of 12345 is found by a 16-bit search for 12345 (39 30 ...),
// and one in zero memory by a 64-bit search; without a type, the first four
// bytes as a 32-bit number. Vantoriel's own targets hold four bytes: a
// longer type is not searched in them.
TEST(Plants, WhatASearchExpects)
{
    const TypedValue i16 = Typed("12345", TypeI16), i64 = Typed("12345", TypeI64), u16 = Typed("7", TypeU16),
                     f32 = Typed("12345", TypeF32);
    const Search none = {FALSE, 0, nullptr}, untyped = {TRUE, 12345, nullptr}, as16 = {TRUE, 0, &i16},
                 as64 = {TRUE, 0, &i64}, asU16 = {TRUE, 0, &u16}, asF32 = {TRUE, 0, &f32};
    Planted i32Fill = Plant(TypeI32, 4, {0x39, 0x30, 0, 0, 0xA5, 0xA5, 0xA5, 0xA5});
    Planted i32Zeros = Plant(TypeI32, 4, {0x39, 0x30, 0, 0, 0, 0, 0, 0});
    Planted i64Plant = Plant(TypeI64, 8, {0x39, 0x30, 0, 0, 0, 0, 0, 0});
    Planted i16Short = Plant(TypeI16, 2, {0x39, 0x30});
    Planted unreadable = Plant(TypeI32, 4, {}, KindPlanted, FALSE);
    Planted f32Plant = Plant(TypeF32, 4, {0x00, 0xE4, 0x40, 0x46}); // 12345.0f
    Planted nearMiss = Plant(TypeI32, 4, {0x3A, 0x30, 0, 0, 0xA5, 0xA5, 0xA5, 0xA5}, KindNearMiss);
    Planted nearMissHolding = Plant(TypeI32, 4, {0x39, 0x30, 1, 0}, KindNearMiss); // 12345 as i16
    Target own = {KindHeap, 0, 0x1000, 7, 7, TRUE};
    Target ownUnreadable = {KindHeap, 0, 0x1000, 7, 7, FALSE};
    const struct {
        const char *name;
        const Target *target;
        const Search *search;
        UINT32 role;
    } cases[] = {
        {"without a value, Vantoriel's own are expected", &own, &none, RoleExpected},
        {"and a plant is not searched for", &i32Fill.target, &none, RoleNotSearched},
        {"a near miss never is", &nearMiss.target, &none, RoleNearMiss},
        {"32 bits without a type: a 4-byte integer plant holding it", &i32Fill.target, &untyped, RoleExpected},
        {"32 bits without a type: an i64 plant whose first four bytes hold it", &i64Plant.target, &untyped,
         RoleExpected},
        {"32 bits without a type: an f32 plant of the same number does not", &f32Plant.target, &untyped,
         RoleNotHolding},
        {"32 bits without a type: an i16 plant and the fill after it do not", &i16Short.target, &untyped,
         RoleNotHolding},
        {"unreadable memory: unknown", &unreadable.target, &untyped, RoleUnknown},
        {"as i16: an i32 plant's first two bytes", &i32Fill.target, &as16, RoleExpected},
        {"as i16: an i16 plant", &i16Short.target, &as16, RoleExpected},
        {"as i16: an f32 plant of the same number does not", &f32Plant.target, &as16, RoleNotHolding},
        {"as i64: an i32 plant among zero bytes", &i32Zeros.target, &as64, RoleExpected},
        {"as i64: an i32 plant before fill does not", &i32Fill.target, &as64, RoleNotHolding},
        {"as i64: too few bytes known to read one", &i16Short.target, &as64, RoleNotHolding},
        {"as f32: the f32 plant", &f32Plant.target, &asF32, RoleExpected},
        {"as u16: Vantoriel's own target's first two bytes", &own, &asU16, RoleExpected},
        {"as i64: Vantoriel's own are not searched", &own, &as64, RoleNotSearched},
        {"as u16: unreadable own memory is unknown", &ownUnreadable, &asU16, RoleUnknown},
        {"a near miss that holds the value as the searched type is a target of that search", &nearMissHolding.target,
         &as16, RoleExpected},
        {"a near miss of i32 is one for an i16 search too", &nearMiss.target, &as16, RoleNearMiss},
    };
    for (const auto &c : cases) EXPECT_EQ(RoleOf(*c.target, c.search), c.role) << c.name;
}

// Every offset at which the bytes read as the type equal the value: the
// float zero has two encodings, big-endian ones with the sign first.
TEST(Plants, FindValue)
{
    const struct {
        const char *name;
        TypedValue value;
        std::vector<BYTE> bytes;
        std::vector<SIZE_T> at;
    } cases[] = {
        {"unaligned and overlapping copies", Typed("0x0101", TypeU16), {1, 1, 1, 0, 1, 1}, {0, 1, 4}},
        {"the last bytes, none cut short at the end", Typed("0x3039", TypeI16), {0, 0x39, 0x30, 0x39}, {1}},
        {"f32 zero: both signs", Typed("0", TypeF32), {0, 0, 0, 0x80, 0, 0, 0, 0}, {0, 4}},
        {"f32be zero: the sign byte first", Typed("-0", TypeF32Be), {0x80, 0, 0, 0, 0, 0, 0}, {0, 1, 2, 3}},
        {"a float other than zero: its bytes only", Typed("1", TypeF32), {0, 0, 0x80, 0x3F, 0, 0, 0x80, 0xBF}, {0}},
        {"bytes", Typed("AB CD", TypeBytes), {0xAB, 0xCD, 0xAB, 0xAB, 0xCD}, {0, 3}},
    };
    for (const auto &c : cases) {
        std::vector<SIZE_T> at;
        for (SIZE_T k = FindValue(c.bytes.data(), c.bytes.size(), &c.value, 0); k < c.bytes.size();
             k = FindValue(c.bytes.data(), c.bytes.size(), &c.value, k + 1))
            at.push_back(k);
        EXPECT_EQ(at, c.at) << c.name;
    }
}

// Fill is none of the value's bytes, so that every copy of the value lies in
// bytes a plant wrote; the next attempts give other bytes.
TEST(Plants, FillHoldsNoByteOfTheValue)
{
    for (const char *text : {"0", "165", "0xA55A", "0xA55AC33C", "0xFFFFFFFF"}) {
        TypedValue v = Typed(text, TypeU32);
        BYTE first = ChooseFill(&v, 0), second = ChooseFill(&v, 1);
        EXPECT_NE(first, second) << text;
        for (UINT32 k = 0; k < v.size; ++k) {
            EXPECT_NE(first, v.bytes[k]) << text;
            EXPECT_NE(second, v.bytes[k]) << text;
        }
    }
}

PlantEntry Entry(UINT64 address, UINT32 copies, const TypedValue &v, UINT32 region, UINT32 nearMiss = 0)
{
    PlantEntry e = {};
    e.address = address;
    e.copies = copies;
    e.region = region;
    e.size = v.size;
    e.type = (UINT8)v.type;
    e.nearMiss = (UINT8)nearMiss;
    return e;
}

// V lies only where a target starts: one at an address that is none (in
// fill, in a near miss, inside another target, past a dense run) is the
// stray the check names; one of another type's target there is a target.
TEST(Plants, AValueWhereNoTargetStarts)
{
    const TypedValue i16 = Typed("12345", TypeI16), i32 = Typed("12345", TypeI32), minus1 = Typed("-1", TypeI16);
    const UINT64 base = 0x10000;
    // Fill A5, an i32 target at 0x10, an i16 one at 0x20, a near miss at 0x30.
    std::vector<BYTE> memory(0x40, 0xA5);
    auto put = [&](size_t at, std::vector<BYTE> bytes) { std::copy(bytes.begin(), bytes.end(), memory.begin() + at); };
    put(0x10, {0x39, 0x30, 0, 0});
    put(0x20, {0x39, 0x30});
    put(0x30, {0x3A, 0x30, 0, 0});
    std::vector<PlantEntry> entries = {Entry(base + 0x10, 1, i32, 0), Entry(base + 0x20, 1, i16, 0),
                                       Entry(base + 0x30, 1, i32, 0, 1)};
    const TypedValue both[] = {i32, i16};
    UINT32 which = 9;
    // The i16 value lies in the i32 target's first bytes: a target starts there.
    EXPECT_EQ(StrayValue(memory.data(), memory.size(), memory.size(), base, both, 2, entries.data(), 3, 0, &which),
              memory.size());
    // Not when that target is gone from the entries.
    EXPECT_EQ(StrayValue(memory.data(), memory.size(), memory.size(), base, both, 2, entries.data() + 1, 2, 0, &which),
              0x10u);
    EXPECT_EQ(which, 0u);
    // In fill, where nothing was planted.
    put(0x3A, {0x39, 0x30});
    EXPECT_EQ(StrayValue(memory.data(), memory.size(), memory.size(), base, both, 2, entries.data(), 3, 0, &which),
              0x3Au);
    EXPECT_EQ(which, 1u);
    // Only what starts below `starts` belongs to this piece.
    EXPECT_EQ(StrayValue(memory.data(), memory.size(), 0x3A, base, both, 2, entries.data(), 3, 0, &which),
              memory.size());
    // A near miss holding the value is no target.
    put(0x30, {0x39, 0x30, 0, 0});
    EXPECT_EQ(StrayValue(memory.data(), 0x38, 0x38, base, both, 2, entries.data(), 3, 0, &which), 0x30u);
    // Copies side by side of -1 as i16 (FF FF FF FF): it lies at odd offsets too.
    std::vector<BYTE> dense(8, 0xFF);
    std::vector<PlantEntry> run = {Entry(base, 4, minus1, 0)};
    EXPECT_EQ(StrayValue(dense.data(), dense.size(), dense.size(), base, &minus1, 1, run.data(), 1, 0, &which), 1u);
    // A run of copies is a target at every copy and at no other place.
    EXPECT_TRUE(StartsTarget(run.data(), 1, base + 6, 0));
    EXPECT_FALSE(StartsTarget(run.data(), 1, base + 8, 0));
    EXPECT_FALSE(StartsTarget(run.data(), 1, base + 3, 0));
}

TEST(Plants, CasesAValueCannotBePlacedIn)
{
    TypedValue u8 = Typed("7", TypeU8), zero = Typed("0", TypeI32), one = Typed("1", TypeI32);
    for (UINT32 c : {CasePageStraddle, CaseRegionStraddle, CaseChunkEdges}) EXPECT_NE(CaseRefusal(c, &u8), nullptr);
    for (UINT32 c : {CasePrivate, CaseUnaligned3, CaseGuarded, CaseDense}) EXPECT_EQ(CaseRefusal(c, &u8), nullptr);
    // Untouched memory is zero bytes: zero cannot lie only where planted there.
    EXPECT_NE(CaseRefusal(CaseChunkEdges, &zero), nullptr);
    EXPECT_EQ(CaseRefusal(CaseChunkEdges, &one), nullptr);
    EXPECT_EQ(CaseRefusal(CasePageStraddle, &zero), nullptr);
    // Straddles: half the value on each side of its boundary.
    EXPECT_EQ(CaseOffset(CasePageStraddle, 8, 0) + 4, PageBytes);
    EXPECT_EQ(CaseOffset(CaseChunkEdges, 4, 12) + 2, (UINT64)256 << 20);
}

// Refused before anything is planted: one error line, exit code 2.
TEST(Plants, RefusalsOfThePlantLine)
{
    const struct {
        std::vector<std::string> args;
        const char *error;
    } cases[] = {
        {{"plant", "--value", "5", "--type", "f16"}, "unknown type f16 (see vantoriel-ctl --help)"},
        {{"plant", "--value", "5", "--type", "i32", "--type", "i32"}, "type i32 given twice"},
        {{"plant", "--value", "5", "--case", "private,heap"}, "unknown case heap (see vantoriel-ctl --help)"},
        {{"plant", "--type", "i32"}, "plant needs --value"},
        {{"plant", "--value", "5", "--count", "10"}, "--count goes with --case dense"},
        {{"score", "--type", "i16"}, "--type goes with --value"},
        {{"set", "--type", "i16", "--type", "i32", "--value", "1", "--kind", "planted"}, "option --type given twice"},
    };
    for (const auto &c : cases) {
        ctlfake::Reset();
        std::vector<Wide> wide = {u"vantoriel-ctl"};
        for (const std::string &a : c.args) wide.push_back(Wide(a.begin(), a.end()));
        std::vector<WCHAR *> argv;
        for (Wide &w : wide) argv.push_back(&w[0]);
        Request request;
        EXPECT_EQ(ReadRequest((int)argv.size(), argv.data(), &request), (UINT32)ExitError) << c.args[0];
        Flush();
        EXPECT_EQ(ctlfake::Err, std::string("vantoriel-ctl: ") + c.error + "\n");
    }
}

} // namespace
