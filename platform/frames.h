// Classic 3D frames and frame controls drawn on a TCanvas, and the fixed system metrics that
// control layouts depend on. Colours come from the fixed system-colour table, sizes from the
// classic defaults, so that pictures and layouts are the same on every machine.
#pragma once

#include "platform/types.h"

class TCanvas;

// ---- System metrics -------------------------------------------------------------------------

enum TSystemMetric {
    SM_CXSCREEN = 0,
    SM_CYSCREEN = 1,
    SM_CXVSCROLL = 2,
    SM_CYHSCROLL = 3,
    SM_CYCAPTION = 4,
    SM_CXBORDER = 5,
    SM_CYBORDER = 6,
    SM_CXDLGFRAME = 7,
    SM_CYDLGFRAME = 8,
    SM_CYVTHUMB = 9,
    SM_CXHTHUMB = 10,
    SM_CYVSCROLL = 20,
    SM_CXHSCROLL = 21,
    SM_CXDOUBLECLK = 36,
    SM_CYDOUBLECLK = 37,
    SM_CXEDGE = 45,
    SM_CYEDGE = 46,
};

// The classic value of a metric (16-pixel scroll arrows, 1-pixel borders, 2-pixel edges,
// a 4 x 4 double-click box); 0 for a metric not in the table.
int GetSystemMetrics(int metric);
// Milliseconds between the clicks of a double click.
int GetDoubleClickTime();

// ---- Edges ----------------------------------------------------------------------------------

enum : unsigned {
    BDR_RAISEDOUTER = 0x1,
    BDR_SUNKENOUTER = 0x2,
    BDR_RAISEDINNER = 0x4,
    BDR_SUNKENINNER = 0x8,
    BDR_OUTER = 0x3,
    BDR_INNER = 0xC,
    EDGE_RAISED = BDR_RAISEDOUTER | BDR_RAISEDINNER,
    EDGE_SUNKEN = BDR_SUNKENOUTER | BDR_SUNKENINNER,
    EDGE_ETCHED = BDR_SUNKENOUTER | BDR_RAISEDINNER,
    EDGE_BUMP = BDR_RAISEDOUTER | BDR_SUNKENINNER,

    BF_LEFT = 0x1,
    BF_TOP = 0x2,
    BF_RIGHT = 0x4,
    BF_BOTTOM = 0x8,
    BF_TOPLEFT = BF_TOP | BF_LEFT,
    BF_BOTTOMRIGHT = BF_BOTTOM | BF_RIGHT,
    BF_RECT = BF_LEFT | BF_TOP | BF_RIGHT | BF_BOTTOM,
    BF_MIDDLE = 0x800,
    BF_SOFT = 0x1000,
    BF_ADJUST = 0x2000,
    BF_FLAT = 0x4000,
    BF_MONO = 0x8000,
};

// Draws up to two one-pixel rings inside r: the outer ring from the BDR_*OUTER bits, the inner
// from the BDR_*INNER bits, on the sides that flags name. Top and left take the light colour of
// a raised ring (the dark one of a sunken ring), bottom and right the other. BF_MIDDLE fills
// what the rings leave with the button face; BF_ADJUST shrinks r by the rings drawn; BF_FLAT
// and BF_MONO draw plain rings (shadow and face, or frame and window).
void DrawEdge(TCanvas& canvas, TRect& r, unsigned edge, unsigned flags);

// ---- Frame controls -------------------------------------------------------------------------

enum : unsigned {
    DFC_CAPTION = 1,
    DFC_MENU = 2,
    DFC_SCROLL = 3,
    DFC_BUTTON = 4,

    DFCS_BUTTONCHECK = 0x0,
    DFCS_BUTTONRADIO = 0x4,
    DFCS_BUTTON3STATE = 0x8,
    DFCS_BUTTONPUSH = 0x10,

    DFCS_SCROLLUP = 0x0,
    DFCS_SCROLLDOWN = 0x1,
    DFCS_SCROLLLEFT = 0x2,
    DFCS_SCROLLRIGHT = 0x3,
    DFCS_SCROLLCOMBOBOX = 0x5,

    DFCS_INACTIVE = 0x100,
    DFCS_PUSHED = 0x200,
    DFCS_CHECKED = 0x400,
    DFCS_ADJUSTRECT = 0x2000,
    DFCS_FLAT = 0x4000,
    DFCS_MONO = 0x8000,
};

// Draws a standard control part into r: DFC_SCROLL buttons (an arrow on a push-button face;
// the combo-box form points down) and DFC_BUTTON check boxes and push buttons, in the states
// the DFCS_ flags give. Returns false for a kind it does not draw.
bool DrawFrameControl(TCanvas& canvas, const TRect& r, unsigned type, unsigned state);

// A filled arrow triangle pointing up (0), down (1), left (2) or right (3), centred in r and
// sized from its smaller side, in the given colour.
void DrawArrow(TCanvas& canvas, const TRect& r, int direction, TColor color);
