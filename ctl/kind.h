// kind.h: the three kinds of target, in the report's order of groups.
#pragma once

enum TargetKind { KindMapped, KindStatic, KindHeap };
