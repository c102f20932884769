// checks.h: checking a memory tool's writes against a running Vantoriel:
// a snapshot of every target's bytes, what changed since one, and a watch
// of the targets as they change.
#pragma once
#include "ctl/remote.h"
#include "ctl/request.h"
#include "ctl/snapshot.h"
#include "ctl/target.h"

// snapshot: the targets' bytes now, to standard output or into a file.
UINT32 SnapshotVerb(const Request *request, const Remote *remote, const Target *targets, UINT32 count,
                    const Module *image);

// changes: the snapshot (of remote's process: the caller checked its id)
// against memory now, under the request's expectations.
UINT32 ChangesVerb(const Request *request, const Remote *remote, Snapshot *snapshot, UINT32 format);

// What set wrote before a watch: target, and the bytes before and after.
struct Written {
    UINT32 target, type, size;
    const BYTE *before, *after;
};

// watch: the chosen targets read every --every ms for --for s, each change
// printed as it comes; what --set wrote first, at time 0, the moment
// (Microseconds) its write ended: what it wrote is what a change is seen
// against, however soon another write follows.
UINT32 WatchVerb(const Request *request, const Remote *remote, const Target *targets, UINT32 count,
                 const BOOL *chosen, const Written *written, UINT32 writtenCount, UINT64 writtenAt, UINT32 format);
