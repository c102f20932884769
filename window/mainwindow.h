// mainwindow.h: the one top-level window, its procedure and the message loop.
#pragma once
#include <windows.h>

extern HWND MainWindow;

// Registers the main window class; the result is not examined.
void RegisterMainClass(HINSTANCE instance);

// Creates and shows the main window; 1 on success, 0 on failure.
INT32 CreateMainWindow(HINSTANCE instance, INT32 show);

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Runs until WM_QUIT (or a failed retrieval); the quit code.
UINT32 RunMessageLoop();
