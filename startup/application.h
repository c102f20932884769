// application.h: the order of start-up.
#pragma once
#include <windows.h>

// Reads the settings, registers the class, creates the main window and runs
// the loop; the loop's result is the exit code (0 if no window could be made).
UINT32 RunApplication(HINSTANCE instance, HINSTANCE previous, TCHAR *commandText, INT32 show);
