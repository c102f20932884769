// score.h: a scanner's findings against the targets: which were found,
// which missed, and what else it found.
#pragma once
#include <windows.h>

#include "ctl/findings.h"
#include "ctl/target.h"

// What a target is to a search.
enum TargetRole {
    RoleExpected,           // there to be found
    RoleNotHolding,         // a target that does not hold the value
    RoleUnknown,            // whether it holds the value is unknown: its memory cannot be read
    RoleNotSearched,        // a plant without a value; Vantoriel's own for a type wider than they are
    RoleNearMiss,           // a near miss that does not hold the value: never to be found
};

// The search: without a value, Vantoriel's own targets; with one, every
// target whose bytes read as the type hold it, however it was planted
// (without a type, as a 32-bit unsigned number in its first four bytes;
// Vantoriel's own, which hold four bytes, only for types no wider).
struct Search {
    BOOL haveValue;
    UINT32 value;           // 32 bits, without a type
    const TypedValue *typed; // or null
};

// A target's role in a search.
UINT32 RoleOf(const Target &t, const Search *search);

struct Score {
    Search search;
    BOOL exact;             // and nothing else was to be found
    UINT32 expected[5], found[5];   // by kind
    UINT32 caseExpected[CaseCount], caseFound[CaseCount]; // plants, by case
    BYTE *role;             // of each target
    BOOL *hit;              // target k's address is among the findings
    UINT32 missed;          // expected targets not found, but for region straddles
    UINT32 missedAcross;    // region straddles not found
    UINT32 notHolding, notSearched, nearMisses; // found, of each role
    UINT32 unreadable;      // targets whose role is unknown
    const UINT64 *others;   // found addresses that are no target, rising
    SIZE_T otherCount;
    SIZE_T lines, withoutAddress;   // as the findings had them
    const UnreadLine *unread;       // the first of the lines without an address
};

// Counts findings against the targets. The findings' addresses are left as
// the ones that are no target (score->others). False when there was no
// memory for it; FreeScore gives its memory back either way.
BOOL CountScore(const Target *targets, UINT32 count, Findings *findings, const Search *search, Score *score);
void FreeScore(Score *score);

// Counts and writes the score in format: ExitOk when every target that
// counts was found, ExitMissed when one was not (a value across two regions
// aside, which is named with its reason), or, exact, when a line of the
// findings is not such a target (no target, one that does not hold the
// value, a plant not searched for, a near miss, or no address of the
// program's); ExitError (with its line) when the findings hold no address,
// or, with a value, when a target cannot be read (the score could not be
// complete) or none holds the value. source names the findings in that
// line: a path, or null for standard input.
UINT32 ScoreFindings(const Target *targets, UINT32 count, Findings *findings, BOOL haveValue, UINT32 value,
                     BOOL exact, UINT32 digits, UINT32 format, const WCHAR *source, const TypedValue *typed = nullptr);
