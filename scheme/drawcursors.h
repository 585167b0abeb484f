// Cursor numbers of the scheme editor. Positive numbers are the editor's own cursors, which the
// library does not install by itself: until the host calls LoadSchemeEditorCursors (or sets its
// own with SetSchemeCursor) they show as the arrow. Negative numbers are the standard shapes.
#pragma once

#include <QCursor>

// The creation cursors 7 to 12 are numbered by the controls (crDrawDefault .. crDrawCurve in
// drawcontrols.h); these are the editor's others.
enum TDrawEditCursor : int {
    crEditArrow = 0,
    crEditPoint = 1,          // point editing, nothing under the mouse
    crEditPointAdd = 2,       // a click inserts a node
    crEditPointDelete = 3,    // a click deletes the node
    crEditPointClose = 4,     // a click closes the open figure
    crEditPointMove = 5,      // over a node or a line segment
    crEditCurveSegment = 6,   // over a curve segment
    crEditZoomIn = 13,
    crEditZoomOut = 14,
    crEditPan = 15,
    crEditPanning = 16,
    crEditSizeNESW = -6,
    crEditSizeNS = -7,
    crEditSizeNWSE = -8,
    crEditSizeWE = -9,
    crEditHandPoint = -21,
    crEditSizeAll = -22,
};

// The cursor for a number; an editor cursor that was never installed gives the arrow.
QCursor SchemeCursor(int id);
// Installs a cursor for an editor number (1 to 16); other numbers are ignored.
void SetSchemeCursor(int id, const QCursor& cursor);
// Installs the library's own drawings for all editor numbers.
void LoadSchemeEditorCursors();
// Forgets the installed cursors (back to the arrow).
void ResetSchemeCursors();
bool SchemeCursorLoaded(int id);
