// score.h: a scanner's findings against the targets: which were found,
// which missed, and what else it found.
#pragma once
#include <windows.h>

#include "ctl/findings.h"
#include "ctl/target.h"

struct Score {
    BOOL haveValue;         // only targets that hold value were there to be found
    UINT32 value;
    BOOL exact;             // and nothing else was to be found
    UINT32 expected[3], found[3];   // by kind
    BOOL counts[MaxTargets];        // target k was there to be found
    BOOL hit[MaxTargets];           // target k's address is among the findings
    UINT32 missed;                  // targets that count and were not found
    UINT32 notHolding;              // targets found that do not count (with a value)
    UINT32 unreadable;              // targets whose memory cannot be read (with a value: unknown)
    const UINT64 *others;           // found addresses that are no target, rising
    SIZE_T otherCount;
    SIZE_T lines, withoutAddress;   // as the findings had them
    const UnreadLine *unread;       // the first of the lines without an address
};

// Counts findings against the targets. The findings' addresses are left as
// the ones that are no target (score->others).
void CountScore(const Target *targets, UINT32 count, Findings *findings, BOOL haveValue, UINT32 value, Score *score);

// Counts and writes the score in format: ExitOk when every target that
// counts was found, ExitMissed when one was not, or, exact, when a line of
// the findings is not such a target (no target, one that does not hold the
// value, or no address of the program's); ExitError (with its line) when
// the findings hold no address, or, with a value, when a target cannot be
// read (the score could not be complete) or none holds the value. source
// names the findings in that line: a path, or null for standard input.
UINT32 ScoreFindings(const Target *targets, UINT32 count, Findings *findings, BOOL haveValue, UINT32 value,
                     BOOL exact, UINT32 digits, UINT32 format, const WCHAR *source);
