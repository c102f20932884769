// sheet.h: rows of named cells, written for people (an aligned table), as
// JSON Lines or as CSV with one header. An empty cell is left out of JSON
// and blank elsewhere.
#pragma once
#include <windows.h>

enum Format { FormatText, FormatJson, FormatCsv };

struct Column {
    const char *key;
    BOOL number;            // right-aligned, and bare in JSON
};

// Columns of a sheet, and room for a heading; rows grow, and a cell holds its whole text.
enum { MaxColumns = 14, CellBytes = 256 };

void BeginSheet(const Column *columns, UINT32 count);
UINT32 AddRow();            // a row of empty cells; its number
void SetCell(UINT32 row, UINT32 column, const char *text);
void WriteSheet(UINT32 format);
// False when the memory for a row or a cell ran out since BeginSheet.
BOOL SheetComplete();

// text as a JSON string, quotes included.
void PutJsonString(const char *text);
