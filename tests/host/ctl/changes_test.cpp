// Checked writes: what changed between a snapshot and memory now, whether
// the expected writes and only they were made, and how a wrong write is
// named; the snapshot's document both ways; the refusals of --expect.
#include "ctl/changes.h"
#include "ctl/output.h"
#include "ctl/snapshot.h"
#include "ctl_standin.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Wide = std::u16string;

// A target in memory: its bytes with AroundBytes-style room on each side,
// then and now, as the tests change them.
struct Place {
    std::vector<BYTE> then, now;
    Watched w;
};

// A target of kind at address holding value bytes, with before and after
// bytes of fill around it.
Place Make(UINT32 kind, UINT64 address, UINT32 type, std::vector<BYTE> value, UINT32 before = 16, UINT32 after = 16,
           BYTE fill = 0xA5, const char *name = "private")
{
    Place p;
    p.then.assign(before, fill);
    p.then.insert(p.then.end(), value.begin(), value.end());
    p.then.insert(p.then.end(), after, fill);
    p.now = p.then;
    p.w = {};
    p.w.address = address, p.w.kind = kind, p.w.slot = 0xFFFFFFFF, p.w.name = name;
    p.w.type = type, p.w.size = (UINT32)value.size(), p.w.before = before, p.w.after = after;
    return p;
}

// Points each at its bytes: after the vector holding them stops moving.
std::vector<Watched> Watch(std::vector<Place> &places, bool unreadableLast = false)
{
    std::vector<Watched> w;
    for (Place &p : places) {
        p.w.then = p.then.data();
        p.w.now = p.now.data();
        w.push_back(p.w);
    }
    if (unreadableLast) w.back().now = nullptr;
    return w;
}

// Writes bytes into now from the target's address + offset.
void Write(Place &p, int offset, std::vector<BYTE> bytes)
{
    for (size_t k = 0; k < bytes.size(); ++k) p.now[p.w.before + offset + k] = bytes[k];
}

Expectation Expect(const std::vector<Watched> &w, const char *text, UINT32 *read = nullptr)
{
    Wide wide(text, text + strlen(text));
    Expectation e = {};
    UINT32 why = 0;
    UINT32 r = ReadExpectation(wide.c_str(), w.data(), (UINT32)w.size(), nullptr, nullptr, 0, &e, &why);
    if (read) *read = r;
    else EXPECT_EQ(r, (UINT32)ExpectOk) << text;
    return e;
}

struct Row {
    UINT32 target, part, why;
    std::string text;
};

// Compares and gives each row with its text; the exit code into *exit.
std::vector<Row> Rows(const std::vector<Watched> &w, const std::vector<Expectation> &e, UINT32 *exit)
{
    Comparison c;
    EXPECT_TRUE(Compare(w.data(), (UINT32)w.size(), e.data(), (UINT32)e.size(), &c));
    std::vector<Row> rows;
    for (UINT32 k = 0; k < c.count; ++k) {
        char text[512];
        DifferenceText(c.rows[k], w.data(), e.data(), 8, text, sizeof text);
        rows.push_back({c.rows[k].target, c.rows[k].part, c.rows[k].why, text});
    }
    *exit = ComparisonExit(&c, (UINT32)e.size());
    FreeComparison(&c);
    return rows;
}

std::string Texts(const std::vector<Row> &rows)
{
    std::string all;
    for (const Row &r : rows) all += r.text + "\n";
    return all;
}

// ------------------------------------------------------------ wrong writes

// A planted i32 (12345) at 0x10000, a planted u8 (200) at 0x20000, the near
// miss one above the i32 at 0x10800 and Vantoriel's own target (12345 as
// u32) at 0x30000: what each write the tools make is named as.
struct Case {
    const char *name;
    std::vector<const char *> expect;
    void (*write)(std::vector<Place> &);
    UINT32 exit;
    std::vector<std::string> texts; // each must be among the rows' texts, in this order
};

std::vector<Place> Scene()
{
    std::vector<Place> p;
    p.push_back(Make(KindPlanted, 0x10000, TypeI32, {0x39, 0x30, 0, 0}));
    p.push_back(Make(KindPlanted, 0x20000, TypeU8, {200}));
    p.push_back(Make(KindNearMiss, 0x10800, TypeI32, {0x3A, 0x30, 0, 0}, 16, 16, 0xA5, "one above"));
    p.push_back(Make(KindHeap, 0x30000, TypeU32, {0x39, 0x30, 0, 0}, 0, 0, 0, "process"));
    p.push_back(Make(KindPlanted, 0x40000, TypeF32, {0, 0, 0x20, 0x40})); // 2.5
    return p;
}

TEST(Changes, WritesAreNamedForWhatTheyLookLike)
{
    const Case cases[] = {
        {"nothing written, nothing expected", {}, [](std::vector<Place> &) {}, ExitOk, {}},
        {"a change without expectations", {}, [](std::vector<Place> &p) { Write(p[0], 0, {7}); }, ExitMissed,
         {"changed from 12345 to 12295 as i32"}},
        {"the i32 written as expected", {"0x10000=77"}, [](std::vector<Place> &p) { Write(p[0], 0, {77, 0, 0, 0}); },
         ExitOk, {"holds 77 as i32, as expected"}},
        {"an i16 written into Vantoriel's own u32 target", {"0x30000=5:i16"},
         [](std::vector<Place> &p) { Write(p[3], 0, {5, 0}); }, ExitOk, {"holds 5 as i16, as expected"}},
        {"an 8-byte write over the i32", {"0x10000=77:i32"},
         [](std::vector<Place> &p) { Write(p[0], 0, {77, 0, 0, 0, 0, 0, 0, 0}); }, ExitMissed,
         {"holds 77 as i32, as expected",
          "4 bytes after the planted i32 target at 00010000 changed: written 8 bytes wide?"}},
        {"a one-byte write made four wide", {"0x20000=7"},
         [](std::vector<Place> &p) { Write(p[1], 0, {7, 0, 0, 0}); }, ExitMissed,
         {"3 bytes after the planted u8 target at 00020000 changed: written 4 bytes wide?"}},
        {"a write that began early", {"0x10000=77"},
         [](std::vector<Place> &p) { Write(p[0], -2, {0, 0, 77, 0, 0, 0}); }, ExitMissed,
         {"2 bytes before the planted i32 target at 00010000 changed: written from 2 bytes before it?"}},
        {"a float where an integer was expected", {"0x10000=1"},
         [](std::vector<Place> &p) { Write(p[0], 0, {0, 0, 0x80, 0x3F}); }, ExitMissed,
         {"holds 1 as f32, not 1 as i32: stored as a float?"}},
        {"the other byte order", {"0x10000=0x01020304"},
         [](std::vector<Place> &p) { Write(p[0], 0, {1, 2, 3, 4}); }, ExitMissed,
         {"holds 16909060 as i32be, not 16909060 as i32: in the other byte order?"}},
        {"a value cut to four bytes", {"0x10000=1099511627777:i64"},
         [](std::vector<Place> &p) { Write(p[0], 0, {1, 0, 0, 0}); }, ExitMissed,
         {"only its first 4 bytes were written: cut to the type's width?"}},
        {"written into the near miss instead", {"0x10000=99"},
         [](std::vector<Place> &p) { Write(p[2], 0, {99, 0, 0, 0}); }, ExitMissed,
         {"was not written; the near miss (one above) at 00010800 holds 99 instead: written to a near miss?",
          "changed, not expected: it holds the value expected at 00010000: written to this near miss instead?"}},
        {"written into a stale match", {"0x10000=99"},
         [](std::vector<Place> &p) { Write(p[3], 0, {99, 0, 0, 0}); }, ExitMissed,
         {"was not written; the heap target at 00030000 holds 99 instead: written to a stale match?"}},
        {"of two expected, one written: the other is no stale match of it", {"0x10000=99", "0x30000=99"},
         [](std::vector<Place> &p) { Write(p[3], 0, {99, 0, 0, 0}); }, ExitMissed,
         {"was not written: it still holds 12345 as i32", "holds 99 as u32, as expected"}},
        {"an integer where a float was expected: named at its own width", {"0x40000=1"},
         [](std::vector<Place> &p) { Write(p[4], 0, {1, 0, 0, 0}); }, ExitMissed,
         {"holds 1 as i32, not 1 as f32: stored as an integer?"}},
        {"a u8 written four wide into Vantoriel's own target", {"0x30000=7:u8"},
         [](std::vector<Place> &p) { Write(p[3], 0, {7, 0, 0, 0x11}); }, ExitMissed,
         {"holds 7 as u8, as expected", "2 bytes after the u8 expected at 00030000 changed: written 4 bytes wide?"}},
        {"not written at all", {"0x10000=99"}, [](std::vector<Place> &) {}, ExitMissed,
         {"was not written: it still holds 12345 as i32"}},
        {"the expected write and another", {"0x10000=77"},
         [](std::vector<Place> &p) { Write(p[0], 0, {77, 0, 0, 0}); Write(p[1], 0, {1}); }, ExitMissed,
         {"holds 77 as i32, as expected", "changed from 200 to 1 as u8, not expected"}},
        {"a canary alone", {"0x10000=77"},
         [](std::vector<Place> &p) { Write(p[0], 0, {77, 0, 0, 0}); Write(p[0], 10, {0}); }, ExitMissed,
         {"1 byte after the planted i32 target at 00010000 changed, not expected"}},
    };
    for (const Case &c : cases) {
        std::vector<Place> places = Scene();
        c.write(places);
        std::vector<Watched> w = Watch(places);
        std::vector<Expectation> e;
        for (const char *text : c.expect) e.push_back(Expect(w, text));
        UINT32 exit;
        std::vector<Row> rows = Rows(w, e, &exit);
        EXPECT_EQ(exit, c.exit) << c.name << "\n" << Texts(rows);
        size_t at = 0;
        std::string all = Texts(rows);
        for (const std::string &text : c.texts) {
            size_t found = all.find(text, at);
            EXPECT_NE(found, std::string::npos) << c.name << ": no \"" << text << "\" in\n" << all;
            if (found != std::string::npos) at = found;
        }
        if (c.texts.empty()) EXPECT_TRUE(rows.empty()) << c.name << "\n" << all;
    }
}

TEST(Changes, MemoryThatCannotBeReadNowIsAChange)
{
    std::vector<Place> places = Scene();
    std::vector<Watched> w = Watch(places, true);
    UINT32 exit;
    std::vector<Row> rows = Rows(w, {}, &exit);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].why, (UINT32)WhyUnreadable);
    EXPECT_EQ(exit, (UINT32)ExitMissed);
}

TEST(Changes, ExpectationsThatCannotBeCheckedAreRefused)
{
    std::vector<Place> places = Scene();
    std::vector<Watched> w = Watch(places);
    const struct {
        const char *text;
        UINT32 read;
    } cases[] = {
        {"0x10000", ExpectMalformed},        {"=5", ExpectMalformed},          {"0x10000=", ExpectMalformed},
        {"0x10004=5", ExpectNoTarget},       {"hello=5", ExpectNoAddress},     {"0x10000=5:i33", ExpectUnknownType},
        {"0x10000=12345", ExpectAlreadyHeld}, {"0x10000=12345:u16", ExpectAlreadyHeld},
        {"0x20000=300", ExpectBadValue},     {"0x20000=1.5:f64", ExpectOk},    {"0x30000=5:i64", ExpectTooWide},
        {"0x10000=1.5", ExpectBadValue},
        {"0x10000=1:u8", ExpectOk},
        {"0x10000=1:bytes", ExpectBadValue},
    };
    for (const auto &c : cases) {
        UINT32 read;
        Expect(w, c.text, &read);
        EXPECT_EQ(read, c.read) << c.text;
    }
    // A value longer than any value's text.
    UINT32 read;
    Expect(w, ("0x10000=" + std::string(200, '1')).c_str(), &read);
    EXPECT_EQ(read, (UINT32)ExpectTooLong);
    // The same target twice.
    Expectation first = Expect(w, "0x10000=1");
    Wide again(u"0x10000=2");
    Expectation e;
    UINT32 why;
    EXPECT_EQ(ReadExpectation(again.c_str(), w.data(), (UINT32)w.size(), nullptr, &first, 1, &e, &why), (UINT32)ExpectTwice);
}

// --------------------------------------------------- what belongs to a target

TEST(Changes, TheBytesAroundATargetAreThoseThatBelongToIt)
{
    PlantEntry dense = {}, single = {};
    dense.copies = 1000, dense.size = 4;
    single.copies = 1, single.size = 2;
    const UINT64 statics[4] = {0x5000, 0x5008, 0x6000, 0x5004};
    struct {
        const char *name;
        Target t;
        UINT64 low, high;
        UINT32 before, after;
    } cases[] = {
        // The rest of the variable, cut at the next static target.
        {"StaticWordA", {KindStatic, 0, 0x5000}, 0, 0, 0, 0},
        {"StaticQword", {KindStatic, 1, 0x5008}, 0, 0, 0, 4},
        {"StaticBlock", {KindStatic, 2, 0x6000}, 0, 0, 0, 4096},
        {"a heap block of 4100", {KindHeap, 3, 0x7000}, 0, 0, 0, 4096},
        {"a heap block of 4", {KindHeap, 0, 0x7000}, 0, 0, 0, 0},
        {"mapped, at its region's start", {KindMapped, 3, 0x10000}, 0x10000, 0x11000, 0, 16},
        {"mapped, inside", {KindMapped, 3, 0x10100}, 0x10000, 0x11000, 16, 16},
        {"a plant near its region's end", {KindPlanted, CasePrivate, 0x2FFF8}, 0x20000, 0x30000, 16, 6},
        {"a guarded plant: its page only", {KindPlanted, CaseGuarded, 0x21008}, 0x20000, 0x30000, 8, 16},
    };
    for (auto &c : cases) {
        c.t.plant = c.t.kind == KindPlanted ? &single : nullptr;
        UINT32 before = 99, after = 99;
        AroundOf(c.t, c.low, c.high, statics, 4, &before, &after);
        EXPECT_EQ(before, c.before) << c.name;
        EXPECT_EQ(after, c.after) << c.name;
    }
    Target t = {KindPlanted, CaseDense, 0x40000};
    t.plant = &dense;
    UINT32 before = 99, after = 99;
    AroundOf(t, 0x40000, 0x50000, statics, 4, &before, &after);
    EXPECT_EQ(before + after, 0u) << "dense copies have no canaries";
}

// ----------------------------------------------------------------- snapshot

TEST(Snapshot, ReadsBackWhatItWrote)
{
    ctlfake::Reset();
    std::vector<Place> places = Scene();
    places[2].w.slot = 7;
    std::vector<Watched> w = Watch(places);
    SnapshotHeader h = {280, 0x01DD888408757AC6ull, "Vantoriel32", "Vantoriel32 (1), \"copy\".exe", 0x400000, 0x8000,
                        (UINT32)w.size()};
    PutSnapshotHeader(h, 8);
    for (const Watched &x : w) PutSnapshotTarget(x, 8);
    Flush();
    std::string text = ctlfake::Out;
    Snapshot s;
    SIZE_T line;
    ASSERT_EQ(ReadSnapshot(&text[0], text.size(), &s, &line), (UINT32)SnapshotOk) << line << "\n" << ctlfake::Out;
    EXPECT_EQ(s.header.pid, 280u);
    EXPECT_EQ(s.header.start, 0x01DD888408757AC6ull);
    EXPECT_STREQ(s.header.program, "Vantoriel32");
    EXPECT_STREQ(s.header.module, "Vantoriel32 (1), \"copy\".exe");
    EXPECT_EQ(s.header.base, 0x400000u);
    EXPECT_EQ(s.header.image, 0x8000u);
    ASSERT_EQ(s.count, w.size());
    for (UINT32 k = 0; k < s.count; ++k) {
        const Watched &a = w[k], &b = s.targets[k];
        EXPECT_EQ(a.address, b.address);
        EXPECT_EQ(a.kind, b.kind);
        EXPECT_EQ(a.slot, b.slot);
        EXPECT_STREQ(a.name, b.name);
        EXPECT_EQ(a.type, b.type);
        EXPECT_EQ(a.size, b.size);
        EXPECT_EQ(a.before, b.before);
        EXPECT_EQ(a.after, b.after);
        EXPECT_EQ(std::string(a.then, a.then + a.before + a.size + a.after),
                  std::string(b.then, b.then + b.before + b.size + b.after));
        EXPECT_EQ(b.now, nullptr);
    }
    FreeSnapshot(&s);
}

TEST(Snapshot, ADocumentThatIsNotOneWholeIsRefused)
{
    const std::string header =
        "{\"snapshot\":1,\"pid\":5,\"start\":\"0000000000000001\",\"program\":\"Vantoriel64\",\"targets\":1}\n";
    const std::string target = "{\"address\":\"0000000000001000\",\"kind\":\"heap\",\"name\":\"process\",\"type\":\"u32\","
                               "\"size\":4,\"before\":0,\"after\":0,\"bytes\":\"01020304\"}\n";
    const struct {
        const char *name;
        std::string text;
        UINT32 read;
        SIZE_T line;
    } cases[] = {
        {"whole", header + target, SnapshotOk, 0},
        {"with CR LF and a blank line", header + "\r\n" + target, SnapshotOk, 0},
        {"empty", "", SnapshotNoHeader, 0},
        {"findings instead", "00300000: 1592594996\n", SnapshotNoHeader, 1},
        {"cut short", header, SnapshotCutShort, 0},
        {"a line too many", header + target + target, SnapshotTooLong, 3},
        {"bytes of the wrong length", header + "{\"address\":\"1000\",\"kind\":\"heap\",\"name\":\"\",\"type\":\"u32\","
                                               "\"size\":4,\"before\":0,\"after\":0,\"bytes\":\"010203\"}\n",
         SnapshotBadLine, 2},
        {"an unknown kind", header + "{\"address\":\"1000\",\"kind\":\"stack\",\"name\":\"\",\"type\":\"u32\","
                                     "\"size\":4,\"before\":0,\"after\":0,\"bytes\":\"01020304\"}\n",
         SnapshotBadLine, 2},
        {"a size its type has not", header + "{\"address\":\"1000\",\"kind\":\"heap\",\"name\":\"\",\"type\":\"u16\","
                                             "\"size\":4,\"before\":0,\"after\":0,\"bytes\":\"01020304\"}\n",
         SnapshotBadLine, 2},
        {"a line cut in the middle", header + target.substr(0, 40) + "\n", SnapshotBadLine, 2},
        {"a count no document could hold",
         "{\"snapshot\":1,\"pid\":5,\"start\":\"0000000000000001\",\"program\":\"Vantoriel64\",\"targets\":67108863}\n" + target,
         SnapshotCutShort, 0},
    };
    for (const auto &c : cases) {
        std::string text = c.text;
        Snapshot s;
        SIZE_T line = 0;
        UINT32 read = ReadSnapshot(&text[0], text.size(), &s, &line);
        EXPECT_EQ(read, c.read) << c.name;
        if (c.line) EXPECT_EQ(line, c.line) << c.name;
        FreeSnapshot(&s);
    }
}

// ------------------------------------------------------------------ periods

TEST(Changes, PercentilesAreNearestRanks)
{
    std::vector<UINT64> hundred;
    for (UINT64 k = 100; k >= 1; --k) hundred.push_back(k * 10);
    EXPECT_EQ(Percentile(hundred.data(), hundred.size(), 50), 500u);
    EXPECT_EQ(Percentile(hundred.data(), hundred.size(), 95), 950u);
    UINT64 one = 7;
    EXPECT_EQ(Percentile(&one, 1, 95), 7u);
    std::vector<UINT64> three = {30, 10, 20};
    EXPECT_EQ(Percentile(three.data(), 3, 50), 20u);
}

} // namespace
