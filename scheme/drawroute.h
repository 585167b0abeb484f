// Routing of connectors: a free polyline whose ends follow the link points, or an orthogonal
// route that leaves each link point through a side of its control and keeps a gap around both.
#pragma once

#include "platform/types.h"
#include "scheme/drawpath.h"

#include <cstdint>

enum TRerouteMode : uint8_t { rmAlways = 0, rmAsNeeded = 1, rmNever = 2 };

// Side flags of a point against a rectangle.
enum : int { sfTop = 1, sfRight = 2, sfBottom = 4, sfLeft = 8 };

struct TRouteParams {
    TRect RectA;
    TRect RectB;
    TRerouteMode RerouteMode = rmAlways;
    bool Ortogonal = true;
    int MinGap = 8000;
    bool SameControl = false;
    TPoint LinkA;
    TPoint LinkB;
};

int GetSideFlags(const TPoint& point, const TRect& rect);
// True when the points were set. The path must be one open figure.
bool RouteOrthogonalPath(TPointArray& points, TPointTypeArray& types, const TRouteParams& params);
