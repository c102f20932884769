// plant.h: planting targets into a running Vantoriel, taking them back, and
// the record of them, which lives exactly as long as that Vantoriel.
#pragma once
#include <windows.h>

#include "ctl/plants.h"
#include "ctl/remote.h"

// A case of one type that a plant did not place, and why.
struct NotPlaced {
    UINT32 plantCase, type;
    const char *reason;
};
enum { NotPlacedMax = CaseCount * TypeCount };

// The record of remote's plants, copied (null: none planted). ExitOk, or
// ExitError after the error line, which ends with tail.
UINT32 ReadPlants(const Remote *remote, const PlantBook **book, const char *tail = "");

// Plants each of count values, in each case of cases (dense with copies
// copies). ExitOk with the record after it into *book, and the first of its
// entries this call added into *first; ExitError after the error line, with
// nothing of this call left placed (or the line says what is).
UINT32 Plant(const Remote *remote, const TypedValue *values, UINT32 count, UINT32 cases, UINT32 copies,
             NotPlaced *notPlaced, UINT32 *notPlacedCount, const PlantBook **book, UINT32 *first);

// Takes back the plants of cases, and the near misses of regions left
// without a target; the number of entries removed into *removed.
UINT32 Unplant(const Remote *remote, UINT32 cases, UINT32 *removed);
