// Option sets and kinds shared by the data-aware grid and its companions (columns, titles,
// footers, selection, filter row, style), and IDBGridEx: what those companions need of the grid.
//
// How it plugs in: the grid class (TCustomDBGridEx) derives from IDBGridEx (and from
// TGridDataLinkClient) and implements every pure operation below. It owns, and hands out through
// the accessors, one TDBGridColumnsEx (made with `new TDBGridColumnsEx(this)`), one
// TDBGridExColumnDefValuesEx, one TDBGridExSumList, one TBookmarkListEx and one
// TDBGridExSelection, one TSTDBGridExFilter, the sorted and visible column lists and its
// TGridDataLinkEx. Columns, footers and the selection call back into the grid only through this
// interface, so they can be tested with a small fake grid.
//
// Order of destruction: IsDestroying() must answer true from the start of the grid's destructor,
// and the grid frees its columns before its sum list, selection and bookmark list (a column
// that goes while the grid lives unregisters its footers' aggregates and leaves the sort-marked
// list; while the grid is being destroyed it touches neither).
#pragma once

#include "platform/enumset.h"
#include "platform/graphics.h"
#include "platform/types.h"

#include <QString>
#include <cstdint>
#include <functional>
#include <utility>

class TCanvas;
class TGridDataLinkEx;
class TColumnEx;
class TColumnsExList;
class TDBGridColumnsEx;
class TDBGridExColumnDefValuesEx;
class TDBGridExSumList;
class TDBGridExSelection;
class TBookmarkListEx;
class TSTDBGridExFilter;

// ---- Grid options -----------------------------------------------------------------------------

enum TDBGridOption : std::uint8_t {
    dgEditing, dgAlwaysShowEditor, dgTitles, dgIndicator, dgColumnResize, dgColLines, dgRowLines,
    dgTabs, dgRowSelect, dgAlwaysShowSelection, dgConfirmDelete, dgCancelOnExit, dgMultiSelect
};
using TDBGridOptions = TEnumSet<TDBGridOption>;

enum TDBGridExOption : std::uint8_t {
    dghFixed3D, dghFrozen3D, dghFooter3D, dghData3D, dghResizeWholeRightPart, dghHighlightFocus,
    dghClearSelection, dghFitRowHeightToText, dghAutoSortMarking, dghMultiSortMarking,
    dghEnterAsTab, dghTraceColSizing, dghIncSearch, dghPreferIncSearch, dghRowHighlight,
    dghDblClickOptimizeColWidth
};
using TDBGridExOptions = TEnumSet<TDBGridExOption>;

enum TDBGridExAllowedOperation : std::uint8_t { alopInsertEx, alopUpdateEx, alopDeleteEx, alopAppendEx };
using TDBGridExAllowedOperations = TEnumSet<TDBGridExAllowedOperation>;

enum TDBGridExSelectionType : std::uint8_t { gstNon, gstRecordBookmarks, gstRectangle, gstColumns, gstAll };
using TDBGridExSelectionTypes = TEnumSet<TDBGridExSelectionType>;

// ---- Column kinds -----------------------------------------------------------------------------

enum TColumnButtonStyleEx : std::uint8_t { cbsAuto, cbsEllipsis, cbsNone, cbsUpDown, cbsDropDown };
enum TTextOrientationEx : std::uint8_t { tohHorizontal, tohVertical };
enum TSortMarkerEx : std::uint8_t { smNoneEx, smDownEx, smUpEx };
enum TFooterValueType : std::uint8_t { fvtNon, fvtSum, fvtAvg, fvtCount, fvtFieldValue, fvtStaticText };

// How a column presents its values (GetColumnType).
enum TColumnTypeEx : std::uint8_t { ctCommon = 0, ctPickList = 1, ctLookupField = 2, ctKeyPickList = 3,
                                    ctKeyImageList = 4, ctCheckboxes = 5 };

enum TDBLookupGridExOption : std::uint8_t { dlgColumnResizeEx, dlgColLinesEx, dlgRowLinesEx,
                                            dlgAutoSortMarkingEx, dlgMultiSortMarkingEx };
using TDBLookupGridExOptions = TEnumSet<TDBLookupGridExOption>;

enum TScrollBarVisibleModeEx : std::uint8_t { sbAlwaysShowEx, sbNeverShowEx, sbAutoShowEx };
enum TScrollBarKind : std::uint8_t { sbHorizontal, sbVertical };

// Stand-in for the input-method mode of a column's editor (kept and handed on, nothing more).
enum TImeMode : std::uint8_t { imDisable, imClose, imOpen, imDontCare, imSAlpha, imAlpha, imHira,
                               imSKata, imKata, imChinese, imSHanguel, imHanguel };

// ---- What the companions need of the grid -----------------------------------------------------

class IDBGridEx {
public:
    virtual ~IDBGridEx() = default;

    // Appearance the columns fall back to.
    virtual const TFont& Font() const = 0;
    virtual TColor Color() const = 0;
    virtual const TFont& TitleFont() const = 0;
    virtual const TFont& FooterFont() const = 0;
    virtual TColor FooterColor() const = 0;
    virtual TColor FixedColor() const = 0;
    virtual int DefaultColWidth() const = 0;

    // Settings.
    virtual bool ReadOnly() const = 0;
    virtual bool DrawMemoText() const = 0;
    virtual bool UseMultiTitle() const = 0;
    virtual bool AutoFitColWidths() const = 0;
    virtual TDBGridOptions Options() const = 0;
    virtual TDBGridExOptions OptionsEx() const = 0;
    virtual TDBGridExAllowedOperations AllowedOperations() const = 0;

    // Owned parts.
    virtual TDBGridExColumnDefValuesEx& ColumnDefValues() = 0;
    virtual TDBGridColumnsEx& Columns() = 0;
    virtual TGridDataLinkEx& DataLink() = 0;
    virtual TDBGridExSumList& SumList() = 0;
    virtual TDBGridExSelection& Selection() = 0;
    virtual TBookmarkListEx& SelectedRows() = 0;
    virtual TSTDBGridExFilter& STFilter() = 0;
    // Columns with a sort marker, in SortIndex order.
    virtual TColumnsExList& SortMarkedColumns() = 0;
    // Visible columns in collection order.
    virtual const TColumnsExList& VisibleColumns() const = 0;

    // Lifecycle state.
    virtual bool IsLoading() const = 0;
    virtual bool IsDesigning() const = 0;
    virtual bool IsDestroying() const = 0;
    virtual bool HasWindow() const = 0;
    // The grid or its in-place editor has the focus.
    virtual bool Focused() const = 0;
    // The grid builds its default columns from the dataset right now.
    virtual bool LayoutFromDataSet() const = 0;

    // Layout. BeginLayout/EndLayout nest; the outermost EndLayout lays the grid out once.
    virtual void BeginLayout() = 0;
    virtual void EndLayout() = 0;
    virtual void LayoutChanged() = 0;
    // A layout (or a layout lock) is under way.
    virtual bool InLayout() const = 0;
    // The multi-level title tree (after a caption or width change).
    virtual void LayoutTitles() = 0;
    // A grid-made column moves from one place to another: the grid keeps its fields in that order.
    virtual void DefaultColumnMoved(int from, int to)
    {
        (void)from;
        (void)to;
    }

    // Geometry in grid cells: data column I is grid column IndicatorOffset() + I.
    virtual int IndicatorOffset() const = 0;
    virtual int TopDataOffset() const = 0;
    virtual int ColCount() const = 0;
    virtual int RowCount() const = 0;
    virtual int FooterRowCount() const = 0;
    virtual int ColWidth(int gridCol) const = 0;
    virtual void SetColWidth(int gridCol, int width) = 0;
    // Client pixels of a grid cell; an empty rectangle when it is scrolled out of view.
    virtual TRect CellRect(int gridCol, int gridRow) const = 0;

    // The current column (index in Columns) and record row.
    virtual int SelectedIndex() const = 0;
    virtual void SetSelectedIndex(int index) = 0;

    // Repainting.
    virtual void Invalidate() = 0;
    virtual void InvalidateCol(int gridCol) = 0;
    virtual void InvalidateRow(int gridRow) = 0;
    virtual void InvalidateCell(int gridCol, int gridRow) = 0;
    // Client pixels.
    virtual void InvalidateRect(const TRect& rect) = 0;
    virtual void InvalidateFooter() = 0;

    // The in-place editor and the filter-row editor.
    virtual bool EditorVisible() const = 0;
    virtual QString EditorText() const = 0;
    virtual bool EditorModified() const = 0;
    virtual void ShowEditor() = 0;
    virtual void HideEditor() = 0;
    // dgAlwaysShowEditor is in effect (and no filter-row editing).
    virtual bool EditorAlwaysShown() const = 0;
    virtual void UpdateEditors() = 0;
    virtual void HideFilterEdit() = 0;
};

// ---- Shared helpers ------------------------------------------------------------------------

// Copies source into a font that follows a default, without firing the font's change handler.
inline void FollowDefaultFont(TFont& font, const TFont& source)
{
    std::function<void()> handler = std::move(font.OnChange);
    font.OnChange = nullptr;
    font.Assign(source);
    font.OnChange = std::move(handler);
}

// The font of a column, title or footer that has no grid to take one from.
inline const TFont& StandaloneDefaultFont()
{
    static const TFont font;
    return font;
}
