#include "test_support.h"

#include "commands/report.h"
#include "startup/settings.h"
#include "targets/random.h"
#include "targets/targets.h"
#include "window/controls.h"
#include "window/mainwindow.h"

#include <string.h>

void ResetProgram()
{
    fake::Reset();
    memset(&Settings, 0, sizeof Settings);
    memset(TargetTable, 0, sizeof TargetTable);
    memset(ControlHandles, 0, sizeof ControlHandles);
    memset(ReportBuffer, 0, sizeof ReportBuffer);
    StaticWordA = 0;
    StaticQword = 0;
    memset(StaticBlock, 0, sizeof StaticBlock);
    StaticWordB = 0;
    RandomState = 0x0ABCDEF7u;
    AppInstance = nullptr;
    SavedFont = nullptr;
    ControlFont = nullptr;
    MainWindow = nullptr;
}
