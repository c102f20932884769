// kind.h: the three kinds of Vantoriel's own targets, in the report's order of
// groups, then what the companion plants: targets and near misses.
#pragma once

enum TargetKind { KindMapped, KindStatic, KindHeap, KindPlanted, KindNearMiss };
