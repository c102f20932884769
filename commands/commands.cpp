// commands.cpp: range fields and the write commands.
#include "commands/commands.h"
#include "commands/report.h"
#include "numtext/numtext.h"
#include "targets/random.h"
#include "targets/targets.h"
#include "window/controls.h"

// A field holds at most 10 units; one more for the terminator.
const INT32 FieldTextLength = 11;

UINT32 ReadRangeField(HWND field)
{
    TCHAR text[FieldTextLength];
    TCHAR *end;

    text[0] = 0; // a failed read leaves an empty text, not stack garbage
    GetWindowText(field, text, FieldTextLength);
    UINT32 number = ScanUnsigned(text, &end);

    if (end == nullptr) {
        TCHAR clamped[FieldTextLength];
        SetWindowText(field, FormatUnsigned(number, 10, clamped, FieldTextLength, 0));
        text[0] = 0;
        GetWindowText(field, text, FieldTextLength);
        return ScanUnsigned(text, &end);
    }
    if (*end != 0) {
        *end = 0;
        SetWindowText(field, text);
    }
    return number;
}

void RunCommand(UINT32 commandId)
{
    UINT32 low = ReadRangeField(Control(IDC_LOW));
    UINT32 high = ReadRangeField(Control(IDC_HIGH));
    if (low > high) high = low;

    if (commandId == IDC_WRITE_A) {
        UINT32 v = RandomInRange(low, high);
        for (UINT32 i = 0; i < TargetCount; ++i) {
            if (TargetTable[i].block != nullptr) *TargetTable[i].value = v;
        }
    } else if (commandId == IDC_WRITE_B) {
        for (UINT32 i = 0; i < TargetCount; ++i) {
            if (TargetTable[i].block != nullptr) *TargetTable[i].value = RandomInRange(low, high);
        }
    }
    BuildReport(high);
}
