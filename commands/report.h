// report.h: the text that shows every present target's address and value.
#pragma once
#include <windows.h>
#include "targets/targets.h"

const UINT32 AddressDigits = 2 * sizeof(void *);
// Address, two spaces, ten value digits, a space, eight byte digits, CR LF.
const UINT32 LongestLine = AddressDigits + 2 + 10 + 1 + 8 + 2;
// Every slot with its longest line, an empty line before each later group of
// 32 mapped slots, the two "--" lines and the terminator.
const UINT32 ReportCapacity = TargetCount * LongestLine + (MappedTargetCount / 32 - 1) * 2 + 2 * 4 + 1;

extern TCHAR ReportBuffer[ReportCapacity];

// Builds the report with values as wide as high's decimal text and sets it
// into the report field.
void BuildReport(UINT32 high);
