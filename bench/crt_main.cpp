// The same program linked with the C runtime, for the size comparison: the
// runtime's start-up code calls WinMain, which starts the program as the
// image's own entry point does.
#include "startup/application.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR, int show)
{
    return (int)RunApplication(instance, previous, nullptr, show);
}
