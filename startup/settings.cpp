// settings.cpp: the command line, read into Settings.
#include "startup/settings.h"
#include "numtext/numtext.h"
#include "startup/build.h"

SettingsRecord Settings;

static const TCHAR EmptyText[] = TEXT("");

#ifdef UNICODE
#define JAPANESE_GOTHIC "\uFF2D\uFF33 \u30B4\u30B7\u30C3\u30AF"
#else
// The same name in code page 932 (Shift_JIS).
#define JAPANESE_GOTHIC "\x82\x6C\x82\x72 \x83\x53\x83\x56\x83\x62\x83\x4E"
#endif

static const TCHAR UsageText[] = TEXT(
    PROGRAM_NAME "  ver.20111127\n"
    "\n"
    "usage:\n"
    "  " PROGRAM_NAME " [CtrlSize [FontSize [GapSize [FontName]]]]\n"
    "\n"
    "command line examples:\n"
    "  " PROGRAM_NAME "\n"
    "  " PROGRAM_NAME " 22\n"
    "  " PROGRAM_NAME " 22 16\n"
    "  " PROGRAM_NAME " 22 16 6\n"
    "  " PROGRAM_NAME " 22 16 6 MS Gothic\n"
    "  " PROGRAM_NAME " 22 16 6 " JAPANESE_GOTHIC);

static void SetDefaults()
{
    Settings.CtrlSize = 22;
    Settings.FontSize = 16;
    Settings.FontName = EmptyText;
    Settings.GapSize = 6;
}

static TCHAR *SkipBlanks(TCHAR *p)
{
    while (*p == ' ') ++p;
    return p;
}

enum SeparatorResult { SeparatorStop, SeparatorUsage, SeparatorNext };

// TestSeparator: what follows a value decides whether reading goes on.
static SeparatorResult TestSeparator(TCHAR *end, TCHAR **next)
{
    if (end == nullptr) return SeparatorUsage; // overflow
    if (*end == 0) return SeparatorStop;
    if (*end != ' ') return SeparatorUsage;
    *next = SkipBlanks(end);
    return **next == 0 ? SeparatorStop : SeparatorNext;
}

// ShowUsage: the one message box, then nothing read so far survives.
static void ShowUsage()
{
    MessageBox(nullptr, UsageText, nullptr, 0);
    SetDefaults();
}

void ReadCommandLine()
{
    SetDefaults();
    TCHAR *p = GetCommandLine();

    // The program's own name comes first.
    if (*p == '"') {
        do {
            ++p;
            if (*p == 0) return;
        } while (*p != '"');
        ++p;
    } else {
        while (*p != ' ') {
            if (*p == 0) return;
            ++p;
        }
    }

    if (*p == 0) return;
    p = SkipBlanks(p);
    if (*p == 0) return;

    TCHAR *end;
    Settings.CtrlSize = (INT32)ScanUnsigned(p, &end);
    if (Settings.CtrlSize <= 0) return ShowUsage();
    Settings.FontSize = Settings.CtrlSize - 6;

    SeparatorResult next = TestSeparator(end, &p);
    if (next == SeparatorUsage) return ShowUsage();
    if (next == SeparatorStop) return;

    Settings.FontSize = (INT32)ScanUnsigned(p, &end);
    next = TestSeparator(end, &p);
    if (next == SeparatorUsage) return ShowUsage();
    if (next == SeparatorStop) return;

    Settings.GapSize = (INT32)ScanUnsigned(p, &end);
    next = TestSeparator(end, &p);
    if (next == SeparatorUsage) return ShowUsage();
    if (next == SeparatorStop) return;

    Settings.FontName = p;
}
