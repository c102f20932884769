// application.cpp: start-up from register to loop.
#include "startup/application.h"
#include "startup/settings.h"
#include "window/mainwindow.h"

UINT32 RunApplication(HINSTANCE instance, HINSTANCE, TCHAR *, INT32 show)
{
    ReadCommandLine();
    RegisterMainClass(instance);
    if (CreateMainWindow(instance, show) == 0) return 0;
    return RunMessageLoop();
}
