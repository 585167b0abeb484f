// The grid's smaller companions: the colour style that decides how selected cells are
// highlighted, the scroll-bar settings (with an optional external bar), and what the grid
// library sets up once: the default style and data service, the sort-marker font, three cursors,
// the indicator and sort-marker pictures, and the incremental-search settings.
//
// The grid registers itself with its style (RegisterGrid) and asks it for colours while
// painting; when a style goes away it calls StyleDestroyed on every registered grid
// (IDBGridExStyleClient).
// The scroll-bar objects call OnUpdateScrollBar (set by the grid) and the grid's LayoutChanged
// when their settings change.
#pragma once

#include "grid/dbgridextypes.h"

#include "platform/dataset.h"

#include "platform/exceptions.h"
#include "platform/graphics.h"
#include "platform/imagelist.h"
#include "platform/keys.h"
#include "platform/types.h"

#include <QCursor>
#include <QImage>
#include <QObject>
#include <QPointer>
#include <QScrollBar>
#include <QString>
#include <functional>
#include <memory>
#include <vector>

class TColumnEx;
class TDBGridExStyle;

// Out of a system resource (here: a picture or cursor the program carries).
class EOutOfResources : public Exception {
public:
    using Exception::Exception;
};

// Seen from the style: the grid tells when a style it uses goes away.
class IDBGridExStyleClient {
public:
    virtual ~IDBGridExStyleClient() = default;
    virtual void StyleDestroyed(TDBGridExStyle* style) = 0;
};

// ---- Colours ----------------------------------------------------------------------------------

// The colour between base and tint (system colours resolved), lightened towards 225; the darker
// variant is pulled further from 122.
TColor BlendColor(TColor base, TColor tint, bool darker);

// What a data cell is to the grid's current position.
struct TDataCellHighlightArgs {
    int DataCol = -1;
    TBookmark Bookmark;       // the record painted
    bool Selected = false;    // the base grid's selected state of the cell
    bool CurrentRow = false;  // the grid's current record
    bool CurrentCol = false;  // the grid's current column
};

class TDBGridExStyle {
public:
    TDBGridExStyle();
    virtual ~TDBGridExStyle();
    TDBGridExStyle(const TDBGridExStyle&) = delete;
    TDBGridExStyle& operator=(const TDBGridExStyle&) = delete;

    // Whether the data cell is drawn highlighted; if so background and font colour are set.
    virtual bool HighlightDataCell(IDBGridEx& grid, const TDataCellHighlightArgs& cell, TColor& background,
                                   TFont& font);
    // Colours of a highlighted fixed cell of kind (column kind, row kind) as the grid classifies
    // cells; nothing changes unless highlight is set.
    virtual void GetHighlightColors(IDBGridEx& grid, bool highlight, int colKind, int rowKind, TColor& background,
                                    TFont& font);
    // The screen's colours changed.
    virtual void ReadScreenColors();

    // Colours blended from the cell's colour (True at creation).
    bool BlendColors() const { return blendColors_; }
    void SetBlendColors(bool value) { blendColors_ = value; }
    // Colours the display can show: -1 for more than 256.
    int ColorCount() const { return colorCount_; }
    void SetColorCount(int value) { colorCount_ = value; }
    bool TrueColorDisplay() const { return colorCount_ < 0 || colorCount_ > 256; }

    void RegisterGrid(IDBGridExStyleClient* grid);
    void UnregisterGrid(IDBGridExStyleClient* grid);
    int GridCount() const { return int(grids_.size()); }

private:
    std::vector<IDBGridExStyleClient*> grids_;
    bool blendColors_ = true;
    int colorCount_ = -1;
    std::unique_ptr<QObject> watcher_;  // re-reads the screen colours when the palette changes
};

// The style grids use unless given another; null after shut-down.
TDBGridExStyle* GetDefaultGridStyle();
void SetDefaultGridStyle(TDBGridExStyle* style);

// ---- Scroll bars ------------------------------------------------------------------------------

class TDBGridExScrollBar {
public:
    TDBGridExScrollBar(IDBGridEx* grid, TScrollBarKind kind);
    virtual ~TDBGridExScrollBar();
    TDBGridExScrollBar(const TDBGridExScrollBar&) = delete;
    TDBGridExScrollBar& operator=(const TDBGridExScrollBar&) = delete;

    TScrollBarKind Kind() const { return kind_; }
    void Assign(const TDBGridExScrollBar& source);

    // An external bar replaces the grid's own. A bar that already serves another control raises
    // "Possible <name> already attached to the other control.".
    QScrollBar* ExtScrollBar() const { return extBar_; }
    void SetExtScrollBar(QScrollBar* bar);
    bool Tracking() const { return tracking_; }
    void SetTracking(bool value) { tracking_ = value; }
    // True unless never shown; setting selects automatic (True) or never (False).
    bool Visible() const { return visibleMode_ != sbNeverShowEx; }
    void SetVisible(bool value);
    TScrollBarVisibleModeEx VisibleMode() const { return visibleMode_; }
    void SetVisibleMode(TScrollBarVisibleModeEx value);

    // The grid reports whether its own bar is shown now.
    void SetOwnBarShown(bool value) { ownBarShown_ = value; }
    // The external bar's visibility, or Visible and the grid's own bar.
    bool IsScrollBarShowing() const;
    // Sets an external bar's range the way a window bar is told: page 0 first, then position,
    // range and page.
    void SetExtScrollInfo(int min, int max, int page, int position);

    // Run after a change that needs the grid's bar updated (the grid sets it).
    std::function<void()> OnUpdateScrollBar;
    // Scroll actions of the external bar (QAbstractSlider::SliderAction) and its position.
    std::function<void(TScrollBarKind kind, int action, int position)> OnScroll;

private:
    void Detach();
    void Changed();

    IDBGridEx* grid_;
    TScrollBarKind kind_;
    QPointer<QScrollBar> extBar_;
    std::vector<QMetaObject::Connection> connections_;
    bool tracking_ = false;
    TScrollBarVisibleModeEx visibleMode_ = sbAutoShowEx;
    bool ownBarShown_ = false;
};

class TVertDBGridExScrollBar : public TDBGridExScrollBar {
public:
    explicit TVertDBGridExScrollBar(IDBGridEx* grid) : TDBGridExScrollBar(grid, sbVertical) {}
};

// ---- Start-up resources -----------------------------------------------------------------------

// Indicator pictures by index.
enum : int {
    kIndicatorArrow = 0, kIndicatorEdit = 1, kIndicatorInsert = 2, kIndicatorMultiDot = 3,
    kIndicatorMultiArrow = 4, kIndicatorArrowOnHighlight = 5, kIndicatorArrowOnSearch = 6
};
// Sort-marker pictures by index.
enum : int { kSortMarkerDown = 0, kSortMarkerUp = 1 };

enum TDBGridExCursor { crDownCurEx, crRightCurEx, crLeftCurEx };

// Sets up everything below once (also done on first use of any of it); a missing cursor picture
// raises EOutOfResources "Cannot load cursor resource".
void InitDBGridExResources();
// Frees it all (the default style and data service included).
void FinalizeDBGridExResources();

const TFont& SortMarkerFont();
const QCursor& DBGridExCursor(TDBGridExCursor cursor);
const TImageList& DBGridExIndicators();
const TImageList& DBGridExSortMarkers();
// A picture of the grid's resources by its name ("DBGARROWEH", ...); null when missing.
QImage DBGridExResourceImage(const QString& name);

// Incremental search and its keys.
inline TShortCut DBGridExIncSearchShortCut = scCtrl + 'F';
inline TShortCut DBGridExIncSearchNextShortCut = scCtrl + VK_RETURN;
inline TShortCut DBGridExIncSearchPriorShortCut = scCtrl + scShift + VK_RETURN;
inline TShortCut DBGridExCopyAboveValueShortCut = scCtrl + 222;
inline int DBGridExIncSearchInterval = 1500;
inline TColor DBGridExIncSearchColor = clYellow;
inline TColor DBGridExIncSearchFontColor = clBlack;
