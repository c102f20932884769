// request.h: the companion's command line: split into arguments, then read
// into one request; bad input is refused with its error line.
#pragma once
#include <windows.h>

#include "ctl/value.h"

enum Verb { VerbNone, VerbStart, VerbTable, VerbRead, VerbWriteA, VerbWriteB, VerbSet, VerbScore, VerbClose, VerbPlant, VerbUnplant,
            VerbSnapshot, VerbChanges, VerbWatch };
enum Option { OptPid, OptJson, OptCsv, OptLow, OptHigh, OptValue, OptAdd, OptKind, OptExact, Opt32, OptExe, OptTimeout, OptField,
              OptType, OptCase, OptCount, OptNearMisses, OptOut, OptExpect, OptFor, OptEvery, OptSet, OptionCount };

// The platform's limit of a command line, in units, terminator excluded.
enum { CommandLineUnits = 32767 };

struct Request {
    UINT32 verb;
    const WCHAR *values[OptionCount]; // the option's text, u"" for a flag given; null if not given
    const WCHAR *file;                // score's FILE ("-" for standard input), changes' SNAPSHOT
    const WCHAR *arguments;           // start's ARGS, joined by single blanks
    const WCHAR *const *addresses;    // set's and watch's ADDRESS arguments
    UINT32 addressCount;
    const WCHAR *const *expects;      // changes' --expect texts, in order given
    UINT32 expectCount;
    UINT32 forSeconds, everyMs;       // watch's --for and --every, or their defaults
    UINT32 pid, value, add;           // --pid, --value and --add, read (--add as 32-bit wrapping)
    UINT32 kinds;                     // set's --kind: bit k for kind k
    UINT32 seconds;                   // --timeout, or its default
    UINT32 field;                     // score's --field, or 0 for the whole line
    UINT32 types[TypeCount];          // plant's --type, each once, in order given (none: i32)
    UINT32 typeCount;
    UINT32 cases;                     // --case: bit c for case c; 0 if not given
    UINT32 count;                     // --count, or the dense case's default
};

extern const char Usage[];

// Splits a command line as the C runtime documents it: blanks separate,
// quotes group, 2n backslashes before a quote give n and the quote its
// meaning, 2n + 1 give n and a plain quote, and "" inside quotes gives one
// quote; the program's name ends at a blank outside quotes, backslashes
// being plain there. Null for a line longer than the platform allows.
WCHAR **SplitCommandLine(const WCHAR *line, int *argc);

// Reads argv into request: ExitOk, or ExitError after its error line.
UINT32 ReadRequest(int argc, WCHAR **argv, Request *request);

// A whole unsigned 32-bit number: decimal, or hexadecimal after 0x or 0X,
// with at least one digit and nothing else.
BOOL WholeNumber(const WCHAR *text, UINT32 *value);

// Whether wide text equals ASCII text.
BOOL SameAscii(const WCHAR *text, const char *ascii);
