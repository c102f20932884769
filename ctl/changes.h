// changes.h: the memory that belongs to targets, as a snapshot held it and
// as it is now, compared: what changed, whether a memory tool wrote what it
// was expected to and only that, and what its write looks like where not.
#pragma once
#include <windows.h>

#include "ctl/kind.h"
#include "ctl/target.h"
#include "ctl/value.h"

// A target with the bytes around it that belong to it.
struct Watched {
    UINT64 address;
    UINT32 kind;            // TargetKind
    UINT32 slot;            // a mapped target's slot; 0xFFFFFFFF for others
    const char *name;       // its case, near miss reason, variable or allocator; "" if none
    UINT32 type, size;      // Vantoriel's own: u32 and 4
    UINT32 before, after;   // bytes around it: before its address, after its last byte
    const BYTE *then;       // before + size + after bytes from address - before, as the snapshot holds them
    const BYTE *now;        // the same bytes now; null if they cannot be read now
    UINT64 low, high;       // the memory it lies in, if known (else both 0): targets of one are read together
};

// Canary bytes a plant has on each side (dense: none), and as many of a
// mapped target's region.
enum { AroundBytes = 16 };

// A target's own bytes and what around it belongs to it: for a plant or a
// mapped target AroundBytes each side within [low, high) (its region, or the
// plant's canaries); for a static one the rest of its variable, up to the
// next static target of statics (count of them); for a heap one the rest of
// its block.
void AroundOf(const Target &t, UINT64 low, UINT64 high, const UINT64 *statics, UINT32 count, UINT32 *before,
              UINT32 *after);

// --expect ADDRESS=VALUE[:TYPE], read against the snapshot's targets.
struct Expectation {
    UINT32 target;          // which, in the snapshot
    TypedValue value;       // VALUE as TYPE, or as the target's own type
    WCHAR text[ValueTextMax]; // VALUE as given (read as other types to explain a wrong write)
};
enum ExpectRead {
    ExpectOk, ExpectMalformed, ExpectNoAddress, ExpectNoTarget, ExpectUnknownType, ExpectBadValue, ExpectTooWide,
    ExpectAlreadyHeld, ExpectTwice, ExpectTooLong
};
// Reads one --expect against watched (module resolves NAME+OFFSET; may be
// null), after the n expectations read before it. ExpectBadValue leaves
// ReadValue's reason in *why.
UINT32 ReadExpectation(const WCHAR *text, const Watched *watched, UINT32 count, const Module *module,
                       const Expectation *before, UINT32 n, Expectation *e, UINT32 *why);

// What a difference is, and what it looks like.
// PartRest: the target's own bytes after a narrower value expected there
// (and any after them that changed with them).
enum ChangePart { PartTarget, PartBefore, PartAfter, PartRest };
enum Why {
    WhyChanged,             // without expectations: it changed
    WhyAsExpected,          // holds the expected value
    WhyUnexpected,          // changed, not expected
    WhyUnreadable,          // cannot be read now
    WhyNotWritten,          // expected, unchanged
    WhyWrittenElsewhere,    // expected, unchanged; other (a target) now holds the value
    WhyInsteadOf,           // not expected: holds what other was expected to
    WhyOtherType,           // holds the value as type
    WhyCut,                 // only width bytes of the value were written
    WhyHoldsOther,          // holds something else
    WhyWider,               // bytes beside it changed, as a write width bytes wide from it would
    WhyLower,               // bytes before it changed, as a write from width bytes before it would
};
struct Difference {
    UINT32 target, part, why;
    UINT32 from, to;        // the changed span in then/now: [from, to)
    UINT32 changed;         // how many bytes of it differ
    UINT32 expectation;     // the target's expectation, if it has one; else 0xFFFFFFFF
    UINT32 other;           // WhyWrittenElsewhere, WhyInsteadOf: the other target
    UINT32 type;            // WhyOtherType
    UINT32 width;           // WhyCut, WhyWider, WhyLower
};
struct Comparison {
    Difference *rows;       // by target, then part
    UINT32 count;
    UINT32 changed;         // targets with a changed byte, or unreadable
    UINT32 met, unmet;      // expectations
    UINT32 unexpected;      // rows not expected
};

// Compares then and now of every watched target, under the expectations
// (none: every change is one). False when there was no memory for the rows;
// FreeComparison gives it back either way.
BOOL Compare(const Watched *watched, UINT32 count, const Expectation *expected, UINT32 expectCount, Comparison *c);
void FreeComparison(Comparison *c);
// The exit code: with expectations ExitOk when each is met and nothing else
// changed; without, ExitOk when nothing changed. ExitMissed otherwise.
UINT32 ComparisonExit(const Comparison *c, UINT32 expectCount);

// How people name a target: "the planted u8 target at ADDRESS", "the near
// miss (one above) at ADDRESS", "the heap target at ADDRESS".
void DescribeTarget(const Watched &w, UINT32 digits, char *out, UINT32 capacity);
// What a difference means, for its row: "3 bytes after the planted u8 target
// at ... changed: written 4 bytes wide?".
void DifferenceText(const Difference &d, const Watched *watched, const Expectation *expected, UINT32 digits,
                    char *out, UINT32 capacity);

// Upper-case hexadecimal pairs without blanks, as snapshots hold bytes;
// ReadHex reads them back: false for an odd count or another character.
void HexOf(const BYTE *bytes, UINT32 count, char *out);
BOOL ReadHex(const char *text, UINT32 length, BYTE *bytes);

// The k-th smallest of count numbers (count > 0), which are sorted in place.
UINT64 Percentile(UINT64 *numbers, SIZE_T count, UINT32 percent);
