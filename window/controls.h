// controls.h: the six child controls, their font and their layout.
#pragma once
#include <windows.h>

enum ControlId : UINT32 {
    IDC_LOW = 1000,
    IDC_HIGH = 1001,
    IDC_WRITE_A = 1002,
    IDC_WRITE_B = 1003,
    IDC_READ = 1004,
    IDC_OUTPUT = 1005,
};
const UINT32 ControlCount = 6;

extern HINSTANCE AppInstance;
extern HWND ControlHandles[ControlCount]; // element k has id 1000 + k
extern HFONT SavedFont;                   // the parent's font before ours
extern HFONT ControlFont;                 // made from Settings; null if none

inline HWND Control(UINT32 id) { return ControlHandles[id - IDC_LOW]; }

// Creates the font and the six controls on parent, lays them out, sets
// their texts, focus, limits and margins.
void CreateControls(HWND parent);

// Sends font to every control, with redraw.
void ApplyFont(HFONT font);

// Gives the controls their earlier font back and deletes ours.
void ReleaseControlFont();

// Stacks the controls in window's client area with Settings' sizes.
void LayoutControls(HWND window);
