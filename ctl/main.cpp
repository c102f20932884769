// main.cpp: vantoriel-ctl, the console companion that lets scripts drive a
// running Vantoriel: start it, read its targets, press its buttons, score a
// memory scanner's findings, close it. Needs no C runtime, like the program,
// so that every compiler that builds the program builds this too.
#include <windows.h>

#include "ctl/output.h"
#include "ctl/request.h"
#include "ctl/verbs.h"

static_assert(sizeof(TCHAR) == 2, "the companion is a wide-character program");

static UINT32 Main()
{
    int argc = 0;
    WCHAR **argv = SplitCommandLine(GetCommandLineW(), &argc);
    static Request request;
    UINT32 result = ExitOk;
    if (!argv) result = Fail("the command line is longer than 32767 units");
    else if (argc == 2 && (SameAscii(argv[1], "--help") || SameAscii(argv[1], "-h"))) Put(Usage);
    else if ((result = ReadRequest(argc, argv, &request)) == ExitOk) result = RunRequest(&request);
    Flush();
    return result;
}

extern "C" [[noreturn]] void CtlEntry()
{
    ExitProcess(Main());
}
