// settings.h: the start-up choices read from the command line.
#pragma once
#include <windows.h>

struct SettingsRecord {
    INT32 CtrlSize;        // height of the five upper controls
    INT32 FontSize;        // height asked of the controls' font
    INT32 GapSize;         // gap between controls and around them
    const TCHAR *FontName; // points into the command-line text, never a copy
};

extern SettingsRecord Settings;

// Fills Settings from "[CtrlSize [FontSize [GapSize [FontName]]]]"; on bad
// input shows the usage message box once and leaves the defaults.
void ReadCommandLine();
