// report.cpp: one line per present target, with group separators.
#include "commands/report.h"
#include "numtext/numtext.h"
#include "window/controls.h"

TCHAR ReportBuffer[ReportCapacity];

// Ten decimal digits and the terminator.
const INT32 NumberLength = 11;

// Append: copies piece with its terminator to p; returns the new end.
static TCHAR *Append(TCHAR *p, const TCHAR *piece)
{
    lstrcpy(p, piece);
    return p + lstrlen(piece);
}

// AppendTargetLine: address, value and bytes, all from one 32-bit load.
static TCHAR *AppendTargetLine(TCHAR *p, volatile UINT32 *target, INT32 width)
{
    TCHAR address[AddressDigits + 1];
    TCHAR number[NumberLength];
    UINT32 v = *target;

    p = Append(p, FormatUnsigned((UINT_PTR)target, 16, address, AddressDigits + 1, AddressDigits));
    p = Append(p, TEXT("  "));
    p = Append(p, FormatUnsigned(v, 10, number, NumberLength, -width));
    p = Append(p, TEXT(" "));
    for (UINT32 k = 0; k < 4; ++k) {
        p = Append(p, FormatUnsigned((v >> (8 * k)) & 0xFF, 16, number, NumberLength, 2));
    }
    return Append(p, TEXT("\r\n"));
}

void BuildReport(UINT32 high)
{
    TCHAR number[NumberLength];
    INT32 width = lstrlen(FormatUnsigned(high, 10, number, NumberLength, 0));

    TCHAR *start = ReportBuffer;
    TCHAR *p = start;
    *p = 0;
    for (UINT32 i = 0; i < TargetCount; ++i) {
        if (i % 32 == 0 && i < MappedTargetCount && p != start) p = Append(p, TEXT("\r\n"));
        if (i == FirstStaticTarget || i == FirstHeapTarget) p = Append(p, TEXT("--\r\n"));
        if (TargetTable[i].block != nullptr) p = AppendTargetLine(p, TargetTable[i].value, width);
        // The mapped group does not end in an empty line: drop one.
        if (i == MappedTargetCount - 1 && p - start >= 3 && p[-3] == '\n' && p[-2] == '\r' && p[-1] == '\n') {
            p -= 2;
            *p = 0;
        }
    }
    SetWindowText(Control(IDC_OUTPUT), ReportBuffer);
}
