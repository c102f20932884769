// verbs.h: what each verb of the companion does with a running Vantoriel.
#pragma once
#include "ctl/request.h"

// Carries out a request read from the command line: its exit code.
UINT32 RunRequest(const Request *request);
