// snapshot.h: the bytes of a running Vantoriel's targets at one moment, as
// one JSON Lines document, written and read back here alone:
//   {"snapshot":1,"pid":N,"start":"HEX","program":"Vantoriel64","module":NAME,"base":"ADDRESS","image":N,"targets":N}
//   {"address":"ADDRESS","kind":KIND,["slot":N,]"name":NAME,"type":TYPE,"size":N,"before":N,"after":N,"value":TEXT,"bytes":"HEX"}
// one line a target; bytes are the target's with those around it, from
// address - before. "value" is for people and is not read back.
#pragma once
#include <windows.h>

#include "ctl/changes.h"

struct SnapshotHeader {
    UINT32 pid;
    UINT64 start;           // the process's creation time, as the system gives it
    const char *program;    // "Vantoriel64" or "Vantoriel32"
    const char *module;     // the image's file name, or null if not known
    UINT64 base, image;     // where it is loaded, and its size
    UINT32 targets;
};

// Writes the header, then a line a target (digits: the build's address digits).
void PutSnapshotHeader(const SnapshotHeader &h, UINT32 digits);
void PutSnapshotTarget(const Watched &w, UINT32 digits);

struct Snapshot {
    SnapshotHeader header;
    Watched *targets;       // then: into bytes; now: null
    UINT32 count;
    BYTE *bytes;
};
enum SnapshotRead { SnapshotOk, SnapshotNoHeader, SnapshotBadLine, SnapshotCutShort, SnapshotTooLong, SnapshotNoMemory };

// Reads a snapshot from text (changed in place; names point into it). On a
// bad line, its number (from 1) goes into *line. FreeSnapshot gives the
// memory back either way.
UINT32 ReadSnapshot(char *text, SIZE_T length, Snapshot *s, SIZE_T *line);
void FreeSnapshot(Snapshot *s);
