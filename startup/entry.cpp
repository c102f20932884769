// entry.cpp: the image's own entry point; no runtime library runs before it
// or after it.
#include "startup/application.h"

extern "C" [[noreturn]] void EntryPoint()
{
    HINSTANCE instance = GetModuleHandle(nullptr);
    UINT32 code = RunApplication(instance, nullptr, nullptr, SW_SHOWNORMAL);
    ExitProcess(code);
}
