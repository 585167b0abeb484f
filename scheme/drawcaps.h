// Line caps: the decorations at the ends of open lines (arrowheads, forks, square, diamond,
// circles, bracket), their metrics and their outlines as small paths.
#pragma once

#include "platform/types.h"
#include "scheme/drawpath.h"

class TCanvas;

// Built-in cap styles run from -18 to -1; 0 is no cap.
inline constexpr int LineCapFirstStyle = -18;
inline constexpr int LineCapLastStyle = -1;

struct TLineCapMetrics {
    int Size = 0;
    int Indent = 0;
    TRect Bounds;
};

struct TLineCapData : TLineCapMetrics {
    TPoint CapStart;
    TPoint CapEnd;
    TPointArray Points;
    TPointTypeArray Types;
};

// One end's cap as the painter gets it; Size in pixels.
struct TLineCapInfo {
    int Style = 0;
    TColor OutlineColor = clBlack;
    TColor FillColor = clWhite;
    int Size = 0;
};

bool GetLineCapInfo(int style, TLineCapMetrics& metrics, int size);
bool BuildLineCap(int style, TLineCapData& data, const TPoint& endPoint, const TPoint& prevPoint, int size);
void PaintLineCap(TCanvas& canvas, int style, const TPoint& prevPoint, int size, const TPoint& endPoint);
// Paints the begin and end caps of every open figure of at least two nodes.
void PaintLineCaps(TCanvas& canvas, int penWidth, const TLineCapInfo& beginCap, const TPathInfo* info,
                   const TPointTypeArray& types, const TPointArray& points, const TLineCapInfo& endCap);
