// commands.h: the range fields and the three commands behind the buttons.
#pragma once
#include <windows.h>

// Reads a range field's number and rewrites the field in place when its
// text held more than a clean number (cut back) or too large a one (clamped).
UINT32 ReadRangeField(HWND field);

// "Write(A)" (IDC_WRITE_A), "Write(B)" (IDC_WRITE_B) or "Read" (any other
// id): normalise both fields, write the targets, show the report.
void RunCommand(UINT32 commandId);
