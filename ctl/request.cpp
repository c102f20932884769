// request.cpp: the companion's command line.
#include "ctl/request.h"
#include "ctl/output.h"
#include "ctl/plants.h"
#include "ctl/target.h"

const char Usage[] =
    "usage: vantoriel-ctl VERB [OPTIONS]\n"
    "  start [--32 | --exe PATH] [-- ARGS...]  start Vantoriel64 (Vantoriel32, PATH) from this folder;\n"
    "                                          print its process id and its targets\n"
    "  table                                   the targets: report value and memory now\n"
    "  read | write-a | write-b [--low TEXT] [--high TEXT]\n"
    "                                          set the range fields, press the button, print the targets\n"
    "  set (--value V | --add D) [--type T] [--kind mapped|static|heap|planted] [--case NAME,...]\n"
    "      [ADDRESS...]                        write into targets from outside, pressing nothing (as T,\n"
    "                                          or 32 bits); print the targets\n"
    "  score [FILE | -] [--value V [--type T]] [--exact] [--field N]\n"
    "                                          compare a scanner's found addresses with the targets;\n"
    "                                          exit code 1 when a target was missed (or, with --exact,\n"
    "                                          a line that is not an expected target); --field N reads\n"
    "                                          the address from the line's N-th field alone\n"
    "  close                                   close Vantoriel as a person would; print its exit code\n"
    "  plant --value V [--type T]... [--case NAME,...] [--count N]\n"
    "                                          plant targets holding V as T into Vantoriel from outside,\n"
    "                                          one a case and type; print them; exit code 1 when a case\n"
    "                                          could not be placed\n"
    "  unplant [--case NAME,...]               take plants back (all, or those of the cases)\n"
    "  snapshot [--out FILE]                   every target's bytes, with those around it, as JSON Lines\n"
    "  changes SNAPSHOT [--expect ADDRESS=VALUE[:TYPE]]...\n"
    "                                          what changed since the snapshot; exit code 1 when\n"
    "                                          something did (with --expect: anything but exactly that)\n"
    "  watch [--for SECONDS] [--every MS] [--set VALUE[:TYPE]] [ADDRESS...]\n"
    "                                          print each change of the targets as it happens (10 s,\n"
    "                                          every 10 ms; at most 3600 s); --set writes VALUE first\n"
    "options: --pid N (which Vantoriel; else the only one running), --json (JSON Lines), --csv,\n"
    "         --timeout SECONDS (the longest wait for each answer of Vantoriel, and for close; 30;\n"
    "         start waits 60 s in all for the first report, or SECONDS if longer),\n"
    "         --near-misses (table, plant: list the near misses too)\n"
    "types: i8 u8 i16 u16 i32 u32 i64 u64 f32 f64, big-endian i16be ... f64be, bytes (hexadecimal)\n"
    "cases: private readonly exec-read exec-readwrite shared file guarded unaligned-1 unaligned-2\n"
    "       unaligned-3 page-straddle region-straddle chunk-edges, and dense when named\n"
    "exit codes: 0 done, 1 a target missed (score), a case not placed (plant), or a change that was not\n"
    "            expected (changes), 2 an error (one line on standard error)\n";

static const char *const VerbNames[] = {"",      "start", "table", "read",  "write-a", "write-b",
                                        "set",   "score", "close", "plant", "unplant",
                                        "snapshot", "changes", "watch"};

// Each option, and the verbs it goes with (bit k for verb k).
struct OptionRule {
    const char *name;
    BOOL takesValue;
    UINT32 verbs;
};
static const UINT32 Pressing = 1 << VerbRead | 1 << VerbWriteA | 1 << VerbWriteB;
static const UINT32 Attached = 1 << VerbTable | Pressing | 1 << VerbSet | 1 << VerbScore | 1 << VerbClose |
                               1 << VerbPlant | 1 << VerbUnplant | 1 << VerbSnapshot | 1 << VerbChanges | 1 << VerbWatch;
static const OptionRule Options[OptionCount] = {
    {"--pid", TRUE, Attached},
    // A snapshot is a JSON Lines document of its own.
    {"--json", FALSE, (Attached & ~(1u << VerbSnapshot)) | 1 << VerbStart},
    {"--csv", FALSE, (Attached & ~(1u << VerbSnapshot)) | 1 << VerbStart},
    {"--low", TRUE, Pressing},
    {"--high", TRUE, Pressing},
    {"--value", TRUE, 1 << VerbScore | 1 << VerbSet | 1 << VerbPlant},
    {"--add", TRUE, 1 << VerbSet},
    {"--kind", TRUE, 1 << VerbSet},
    {"--exact", FALSE, 1 << VerbScore},
    {"--32", FALSE, 1 << VerbStart},
    {"--exe", TRUE, 1 << VerbStart},
    {"--timeout", TRUE, Attached | 1 << VerbStart},
    {"--field", TRUE, 1 << VerbScore},
    {"--type", TRUE, 1 << VerbPlant | 1 << VerbSet | 1 << VerbScore},
    {"--case", TRUE, 1 << VerbPlant | 1 << VerbUnplant | 1 << VerbSet},
    {"--count", TRUE, 1 << VerbPlant},
    {"--near-misses", FALSE, 1 << VerbTable | 1 << VerbPlant},
    {"--out", TRUE, 1 << VerbSnapshot},
    {"--expect", TRUE, 1 << VerbChanges},
    {"--for", TRUE, 1 << VerbWatch},
    {"--every", TRUE, 1 << VerbWatch},
    {"--set", TRUE, 1 << VerbWatch},
};

BOOL SameAscii(const WCHAR *text, const char *ascii)
{
    while (*ascii && (UINT32)*text == (UINT32)(unsigned char)*ascii) ++text, ++ascii;
    return *text == 0 && *ascii == 0;
}

BOOL WholeNumber(const WCHAR *text, UINT32 *value)
{
    UINT32 base = 10;
    if (text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) base = 16, text += 2;
    UINT64 v = 0;
    const WCHAR *first = text;
    for (; *text; ++text) {
        UINT32 d = *text >= '0' && *text <= '9'   ? (UINT32)(*text - '0')
                   : *text >= 'a' && *text <= 'f' ? (UINT32)(*text - 'a' + 10)
                   : *text >= 'A' && *text <= 'F' ? (UINT32)(*text - 'A' + 10)
                                                  : 16;
        if (d >= base) return FALSE;
        v = v * base + d;
        if (v > 0xFFFFFFFFu) return FALSE;
    }
    *value = (UINT32)v;
    return text != first;
}

WCHAR **SplitCommandLine(const WCHAR *line, int *argc)
{
    // An argument's text is no longer than its input, and each needs a unit
    // and a blank before it: neither array can overflow.
    static WCHAR text[2 * CommandLineUnits];
    static WCHAR *argv[CommandLineUnits / 2 + 2];
    UINT32 length = 0;
    while (line[length])
        if (++length > CommandLineUnits) return nullptr;
    UINT32 n = 0, count = 0;
    const WCHAR *p = line;
    argv[count++] = text;
    BOOL quoted = FALSE;
    for (; *p && (quoted || (*p != ' ' && *p != '\t')); ++p)
        if (*p == '"') quoted = !quoted;
        else text[n++] = *p;
    text[n++] = 0;
    for (;;) {
        while (*p == ' ' || *p == '\t') ++p;
        if (!*p) break;
        argv[count++] = text + n;
        quoted = FALSE;
        while (*p && (quoted || (*p != ' ' && *p != '\t'))) {
            UINT32 slashes = 0;
            while (*p == '\\') ++slashes, ++p;
            if (*p == '"') {
                for (UINT32 k = 0; k < slashes / 2; ++k) text[n++] = '\\';
                if (slashes % 2) {
                    text[n++] = '"';
                } else if (quoted && p[1] == '"') {
                    // "" inside quotes: one quote, still quoted.
                    text[n++] = '"';
                    ++p;
                } else {
                    quoted = !quoted;
                }
                ++p;
            } else {
                for (UINT32 k = 0; k < slashes; ++k) text[n++] = '\\';
                if (*p && (quoted || (*p != ' ' && *p != '\t'))) text[n++] = *p++;
            }
        }
        text[n++] = 0;
    }
    *argc = (int)count;
    return argv;
}

static UINT32 Refuse(const char *a, const WCHAR *wide, const char *b = "")
{
    BeginError();
    Put(a);
    PutWide(wide);
    Put(b);
    return EndError();
}

// D of --add: a whole number, perhaps after a plus or a minus, as 32-bit
// wrapping arithmetic takes it.
static BOOL Difference(const WCHAR *text, UINT32 *difference)
{
    BOOL negative = text[0] == '-';
    if (!WholeNumber(text + (text[0] == '-' || text[0] == '+'), difference)) return FALSE;
    if (negative) *difference = 0u - *difference;
    return TRUE;
}

UINT32 ReadRequest(int argc, WCHAR **argv, Request *request)
{
    // The joined ARGS are no longer than the command line they came from,
    // and there are no more addresses than arguments.
    static WCHAR arguments[CommandLineUnits + 1];
    static const WCHAR *addresses[CommandLineUnits / 2 + 2];
    static const WCHAR *expects[CommandLineUnits / 2 + 2];
    *request = {};
    request->arguments = arguments;
    request->addresses = addresses;
    request->expects = expects;
    arguments[0] = 0;
    request->seconds = 30;
    for (int i = 1; i < argc; ++i) {
        const WCHAR *arg = argv[i];
        if (SameAscii(arg, "--")) {
            if (request->verb != VerbStart) return Fail("arguments after -- go only with start");
            UINT32 n = 0;
            for (++i; i < argc; ++i) {
                if (n) arguments[n++] = ' ';
                for (const WCHAR *p = argv[i]; *p; ++p) arguments[n++] = *p;
            }
            arguments[n] = 0;
            break;
        }
        if (arg[0] == '-' && arg[1] == '-') {
            UINT32 o = 0;
            while (o < OptionCount && !SameAscii(arg, Options[o].name)) ++o;
            if (o == OptionCount) return Refuse("unknown option ", arg, " (see vantoriel-ctl --help)");
            if (Options[o].takesValue && i + 1 == argc) return Refuse("option ", arg, " needs a value");
            if (o == OptType && (request->verb == VerbPlant || !request->values[o])) {
                // Several types, one plant: each type once.
                UINT32 type;
                if (!TypeOfName(argv[i + 1], &type)) return Refuse("unknown type ", argv[i + 1], " (see vantoriel-ctl --help)");
                for (UINT32 k = 0; k < request->typeCount; ++k)
                    if (request->types[k] == type) return Refuse("type ", argv[i + 1], " given twice");
                request->types[request->typeCount++] = type;
                request->values[o] = argv[++i];
                continue;
            }
            if (o == OptExpect) {
                // One for each target expected to change.
                expects[request->expectCount++] = argv[++i];
                request->values[o] = argv[i];
                continue;
            }
            if (request->values[o]) return Refuse("option ", arg, " given twice");
            static const WCHAR given[1] = {0};
            request->values[o] = Options[o].takesValue ? argv[++i] : given;
            continue;
        }
        if (request->verb == VerbNone) {
            UINT32 v = VerbStart;
            while (v <= VerbWatch && !SameAscii(arg, VerbNames[v])) ++v;
            if (v > VerbWatch) return Refuse("unknown verb ", arg, " (see vantoriel-ctl --help)");
            request->verb = v;
        } else if ((request->verb == VerbScore || request->verb == VerbChanges) && !request->file) {
            request->file = arg;
        } else if (request->verb == VerbSet || request->verb == VerbWatch) {
            addresses[request->addressCount++] = arg;
        } else {
            return Refuse("unexpected argument ", arg);
        }
    }
    if (request->verb == VerbNone) return Fail("no verb given (see vantoriel-ctl --help)");
    for (UINT32 o = 0; o < OptionCount; ++o)
        if (request->values[o] && !(Options[o].verbs & 1u << request->verb))
            return Fail("option ", Options[o].name, " does not go with ", VerbNames[request->verb]);
    if (request->values[OptJson] && request->values[OptCsv]) return Fail("choose one of --json and --csv");
    if (request->values[Opt32] && request->values[OptExe]) return Fail("choose one of --32 and --exe");
    if (request->values[OptPid] && !WholeNumber(request->values[OptPid], &request->pid))
        return Refuse("--pid takes a process id, not ", request->values[OptPid]);
    // A typed value is read with its type, by the verb.
    BOOL typed = request->verb == VerbPlant || request->values[OptType];
    if (request->values[OptValue] && !typed && !WholeNumber(request->values[OptValue], &request->value))
        return Refuse("--value takes an unsigned 32-bit number, not ", request->values[OptValue]);
    if (request->values[OptTimeout] && (!WholeNumber(request->values[OptTimeout], &request->seconds) ||
                                        request->seconds == 0 || request->seconds > 86400))
        return Refuse("--timeout takes a number of seconds from 1 to 86400, not ", request->values[OptTimeout]);
    if (request->values[OptField] && (!WholeNumber(request->values[OptField], &request->field) || request->field == 0))
        return Refuse("--field takes a field's number from 1 on, not ", request->values[OptField]);
    if (request->values[OptAdd] && !typed && !Difference(request->values[OptAdd], &request->add))
        return Refuse("--add takes a 32-bit number, perhaps with a plus or a minus, not ", request->values[OptAdd]);
    if (request->values[OptKind]) {
        UINT32 k = 0;
        while (k <= KindPlanted && !SameAscii(request->values[OptKind], KindNames[k])) ++k;
        if (k > KindPlanted) return Refuse("--kind takes mapped, static, heap or planted, not ", request->values[OptKind]);
        request->kinds = 1u << k;
    }
    if (request->values[OptCase]) {
        static WCHAR bad[64];
        if (!ReadCases(request->values[OptCase], &request->cases, bad, 64))
            return Refuse("unknown case ", bad, " (see vantoriel-ctl --help)");
    }
    request->count = DenseDefault;
    if (request->values[OptCount] && (!WholeNumber(request->values[OptCount], &request->count) || request->count == 0 ||
                                      request->count > 10000000))
        return Refuse("--count takes a number of copies from 1 to 10000000, not ", request->values[OptCount]);
    if (request->verb == VerbPlant) {
        if (!request->values[OptValue]) return Fail("plant needs --value");
        if (request->values[OptCount] && !(request->cases >> CaseDense & 1)) return Fail("--count goes with --case dense");
        if (!request->typeCount) request->types[request->typeCount++] = TypeI32;
        if (!request->cases) request->cases = DefaultCases;
    }
    if (request->verb == VerbSet) {
        if (!request->values[OptValue] == !request->values[OptAdd]) return Fail("set takes one of --value and --add");
        if (!request->kinds && !request->addressCount && !request->cases)
            return Fail("set needs --kind, --case or an address of a target");
    }
    request->forSeconds = 10, request->everyMs = 10;
    if (request->values[OptFor] && (!WholeNumber(request->values[OptFor], &request->forSeconds) ||
                                    request->forSeconds == 0 || request->forSeconds > 3600))
        return Refuse("--for takes a number of seconds from 1 to 3600, not ", request->values[OptFor]);
    if (request->values[OptEvery] && (!WholeNumber(request->values[OptEvery], &request->everyMs) ||
                                      request->everyMs == 0 || request->everyMs > 60000))
        return Refuse("--every takes a number of milliseconds from 1 to 60000, not ", request->values[OptEvery]);
    if (request->verb == VerbChanges && !request->file) return Fail("changes needs the file of a snapshot");
    if (request->verb == VerbScore && request->values[OptType] && !request->values[OptValue])
        return Fail("--type goes with --value");
    if (request->verb == VerbScore && !request->file) {
        static const WCHAR standardInput[2] = {'-', 0};
        request->file = standardInput;
    }
    return ExitOk;
}
