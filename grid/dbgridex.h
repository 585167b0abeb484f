// The data-aware grid: a TCustomGrid bound to a dataset through TGridDataLinkEx. The grid keeps
// one row per record of the link's buffer window (so its row count follows the client height),
// an indicator column, frozen columns, a title row (several title levels inside it with
// UseMultiTitle), an optional filter row, a stretch row after the data and footer rows standing
// at the bottom of the client area. Columns, footers, selection and style live in their own
// units; this class lays them out, paints them and turns keys and mouse into dataset moves.
#pragma once

#include "grid/customgrid.h"
#include "grid/dbgridexcolumns.h"
#include "grid/dbgridexdataservice.h"
#include "grid/dbgridexfooters.h"
#include "grid/dbgridexselection.h"
#include "grid/dbgridextypes.h"
#include "grid/gridlink.h"
#include "grid/gridstyle.h"
#include "grid/headtree.h"

#include "platform/datasource.h"
#include "platform/graphics.h"
#include "platform/imagelist.h"

#include <chrono>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

enum TBorderStyle { bsNone, bsSingle };

enum TDBGridExEditAction : std::uint8_t { geaCutEx, geaCopyEx, geaPasteEx, geaDeleteEx, geaSelectAllEx };
using TDBGridExEditActions = TEnumSet<TDBGridExEditAction>;

// Kinds GetCellType gives.
enum TCellAreaCol : int { cacIndicator = 0, cacData = 1 };
enum TCellAreaRow : int { carTitle = 0, carFilter = 1, carData = 2, carAfterData = 3, carFooter = 4 };

struct TCellAreaEx {
    int ColKind = cacData;
    int RowKind = carData;
    int AreaCol = 0;
    int AreaRow = 0;
};

// Milliseconds of a clock that never goes back, for the grid's own double-click timing.
inline qint64 SteadyMilliseconds()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

class TCustomDBGridEx;
class TDBGridInplaceEdit;
class TInplaceFilterEditEx;

// Makes the fields read the record of a data row of the link's window, and the current record
// again when it goes (also after a failure).
class TLinkActiveRecordScope {
public:
    TLinkActiveRecordScope(TDataLink& link, int row) : link_(link), old_(link.ActiveRecord())
    {
        link_.SetActiveRecord(row);
    }
    ~TLinkActiveRecordScope() { link_.SetActiveRecord(old_); }
    TLinkActiveRecordScope(const TLinkActiveRecordScope&) = delete;
    TLinkActiveRecordScope& operator=(const TLinkActiveRecordScope&) = delete;

private:
    TDataLink& link_;
    int old_;
};

// Clipboard and deletion operations that the export unit provides; the keyboard calls them
// through these hooks, which stay empty until that unit sets them.
struct TDBGridExEditHooks {
    std::function<void(TCustomDBGridEx&)> CopyToClipboard;
    std::function<void(TCustomDBGridEx&)> CutToClipboard;
    std::function<void(TCustomDBGridEx&)> PasteFromClipboard;
    std::function<void(TCustomDBGridEx&)> DeleteSelection;
    // The clipboard holds grid records or plain text.
    std::function<bool()> ClipboardHasData;
};
TDBGridExEditHooks& DBGridExEditHooks();

class TCustomDBGridEx : public TCustomGrid,
                        public IDBGridEx,
                        public TGridDataLinkClient,
                        public IDBGridExStyleClient {
public:
    using TNotify = std::function<void(TCustomDBGridEx&)>;

    explicit TCustomDBGridEx(QWidget* parent = nullptr);
    ~TCustomDBGridEx() override;

    // ---- Loading from a window layout: nothing is laid out between these two.
    void BeginLoad();
    virtual void Loaded();

    // ---- Data
    TDataSource* DataSource() const { return link_->DataSource(); }
    void SetDataSource(TDataSource* source);
    TDataSet* DataSet() const { return link_->DataSet(); }

    // ---- IDBGridEx: appearance
    const TFont& Font() const override { return font_; }
    TFont& Font() { return font_; }
    void SetFont(const TFont& font) { font_.Assign(font); }
    TColor Color() const override { return color_; }
    void SetColor(TColor value);
    const TFont& TitleFont() const override { return titleFont_; }
    TFont& TitleFont() { return titleFont_; }
    void SetTitleFont(const TFont& font) { titleFont_.Assign(font); }
    const TFont& FooterFont() const override { return footerFont_; }
    TFont& FooterFont() { return footerFont_; }
    void SetFooterFont(const TFont& font) { footerFont_.Assign(font); }
    // The grid's font follows its parent widget's, and the title and footer fonts follow it;
    // setting any of the three ends that.
    bool ParentFont() const { return parentFont_; }
    void SetParentFont(bool value);
    // The window layout is scaled by m/d (another screen resolution).
    void ChangeScale(int m, int d);
    TColor FooterColor() const override { return footerColor_; }
    void SetFooterColor(TColor value);
    TColor FixedColor() const override { return fixedColor_; }
    void SetFixedColor(TColor value);
    int DefaultColWidth() const override { return TCustomGrid::DefaultColWidth(); }

    // ---- IDBGridEx: settings
    bool ReadOnly() const override { return readOnly_; }
    void SetReadOnly(bool value) { readOnly_ = value; }
    bool DrawMemoText() const override { return drawMemoText_; }
    void SetDrawMemoText(bool value);
    bool UseMultiTitle() const override { return useMultiTitle_; }
    void SetUseMultiTitle(bool value);
    bool AutoFitColWidths() const override { return autoFitColWidths_; }
    void SetAutoFitColWidths(bool value);
    TDBGridOptions Options() const override { return options_; }
    void SetOptions(TDBGridOptions value);
    TDBGridExOptions OptionsEx() const override { return optionsEx_; }
    void SetOptionsEx(TDBGridExOptions value);
    TDBGridExAllowedOperations AllowedOperations() const override { return allowedOperations_; }
    void SetAllowedOperations(TDBGridExAllowedOperations value) { allowedOperations_ = value; }

    // ---- IDBGridEx: parts
    TDBGridExColumnDefValuesEx& ColumnDefValues() override { return *columnDefValues_; }
    TDBGridColumnsEx& Columns() override { return *columns_; }
    const TDBGridColumnsEx& Columns() const { return *columns_; }
    TGridDataLinkEx& DataLink() override { return *link_; }
    TDBGridExSumList& SumList() override { return *sumList_; }
    TDBGridExSelection& Selection() override { return *selection_; }
    TBookmarkListEx& SelectedRows() override { return *bookmarks_; }
    TSTDBGridExFilter& STFilter() override { return *stFilter_; }
    TColumnsExList& SortMarkedColumns() override { return sortMarked_; }
    const TColumnsExList& VisibleColumns() const override { return visibleColumns_; }

    // ---- IDBGridEx: state
    bool IsLoading() const override { return loading_; }
    bool IsDesigning() const override { return false; }
    bool IsDestroying() const override { return destroying_; }
    bool HasWindow() const override { return !destroying_; }
    bool Focused() const override { return IsFocusWithin(); }
    bool LayoutFromDataSet() const override { return layoutFromDataSet_; }
    void SetLayoutFromDataSet(bool value) override { layoutFromDataSet_ = value; }

    // ---- Layout
    void BeginLayout() override;
    void EndLayout() override;
    void LayoutChanged() override;
    bool InLayout() const override { return inLayout_ || layoutLock_ > 0 || updateLock_ > 0; }
    void LayoutTitles() override { LayoutChanged(); }
    void BeginUpdate();
    void EndUpdate();

    // ---- Geometry
    int IndicatorOffset() const override { return indicatorOffset_; }
    int TopDataOffset() const override { return topDataOffset_; }
    int ColCount() const override { return TCustomGrid::ColCount(); }
    int RowCount() const override { return TCustomGrid::RowCount(); }
    int FooterRowCount() const override { return footerRowCount_; }
    void SetFooterRowCount(int value);
    int ColWidth(int gridCol) const override { return ColWidths(gridCol); }
    void SetColWidth(int gridCol, int width) override { SetColWidths(gridCol, width); }
    TRect CellRect(int gridCol, int gridRow) const override { return TCustomGrid::CellRect(gridCol, gridRow); }
    int SelectedIndex() const override;
    void SetSelectedIndex(int index) override;
    TColumnEx* SelectedColumn() const;
    TField* SelectedField() const override;
    void SetSelectedField(TField* field) override;

    // Classifies a grid cell; "Algorithm error in TCustomDBGridEx.GetCellType" for a row outside
    // every area.
    TCellAreaEx GetCellType(int col, int row) const;
    TRect GetDataRect() const;
    int GetDataRowCount() const;
    int GetVisibleDataRowCount() const;
    virtual int GetTitleRowCount() const;
    virtual int GetFilterRowCount() const;
    int DataColToGridCol(int dataCol) const { return dataCol + indicatorOffset_; }
    // The row height data rows get from fonts, RowHeight and RowLines.
    int DefaultDataRowHeight() const { return TCustomGrid::DefaultRowHeight(); }
    int TitleRowHeight() const { return titleRowHeight_; }
    bool MultiLineRows() const { return multiLineRows_; }
    int FrameMetric() const { return flatFrame_; }
    int DefaultEditButtonWidth() const { return editButtonWidth_; }
    int DefaultEditButtonHeight() const { return editButtonHeight_; }

    // ---- Repainting
    void Invalidate() override { InvalidateGrid(); }
    void InvalidateCol(int gridCol) override { TCustomGrid::InvalidateCol(gridCol); }
    void InvalidateRow(int gridRow) override { TCustomGrid::InvalidateRow(gridRow); }
    void InvalidateCell(int gridCol, int gridRow) override { TCustomGrid::InvalidateCell(gridCol, gridRow); }
    void InvalidateRect(const TRect& rect) override { TCustomGrid::InvalidateRect(rect); }
    void InvalidateFooter() override;

    // ---- Editors (the in-place editor plugs in here; grid/dbgridexinplace.cpp)
    bool EditorVisible() const override;
    QString EditorText() const override;
    bool EditorModified() const override;
    void ShowEditor() override;
    void HideEditor() override;
    bool EditorAlwaysShown() const override;
    void UpdateEditors() override;
    void HideFilterEdit() override;
    // The in-place editor (null until first shown).
    TDBGridInplaceEdit* InplaceEditor() const { return inplaceEdit_; }
    // Shows the editor with a typed character in it.
    void ShowEditorChar(QChar ch);
    bool CanEditShow() const;

    // ---- Filter row editor (grid/dbgridexfilterrow.cpp)
    TInplaceFilterEditEx* FilterEditor() const { return filterEdit_; }
    // Whether a press at a screen point completes a double click begun by a press on a filter
    // cell (which went to the grid, not to the editor); the remembered press is used up.
    bool TakeFilterDoubleClick(const QPoint& globalPos);
    int FilterCol() const { return filterCol_; }
    bool FilterEditing() const { return filterEditing_; }
    void ShowFilterEditor(int dataCol);
    void PlaceFilterEditor(bool focus);
    void HideFilterEditor();
    void ApplyFilter();
    virtual bool FilterEditorAllowed() const;
    virtual void StoreFilterEditText(int dataCol);
    virtual void LoadFilterEditText(int dataCol);
    virtual void DefaultApplyFilter();

    // ---- Data link client
    void LinkActive(bool value) override;
    void DefaultColumnMoved(int from, int to) override;
    void DataChanged() override;
    void Scroll(int distance) override;
    bool AcquireFocus() override;
    void EditingChanged() override;
    void RecordChanged(TField* field) override;
    void UpdateData() override;

    void StyleDestroyed(TDBGridExStyle* style) override;
    TDBGridExStyle* Style() const { return style_; }
    void SetStyle(TDBGridExStyle* style);

    // ---- Further properties
    TDBGridExSelectionTypes AllowedSelections() const { return allowedSelections_; }
    void SetAllowedSelections(TDBGridExSelectionTypes value);
    TBorderStyle BorderStyle() const { return borderStyle_; }
    void SetBorderStyle(TBorderStyle value);
    bool DefaultDrawing() const { return defaultDrawing_; }
    void SetDefaultDrawing(bool value) { defaultDrawing_ = value; }
    TDBGridExEditActions EditActions() const { return editActions_; }
    void SetEditActions(TDBGridExEditActions value) { editActions_ = value; }
    bool Flat() const { return flat_; }
    void SetFlat(bool value);
    int FrozenCols() const { return frozenCols_; }
    void SetFrozenCols(int value);
    TDBGridExScrollBar& HorzScrollBar() { return *horzScrollBar_; }
    TVertDBGridExScrollBar& VertScrollBar() { return *vertScrollBar_; }
    int MinAutoFitWidth() const { return minAutoFitWidth_; }
    void SetMinAutoFitWidth(int value);
    int RowHeight() const { return rowHeight_; }
    void SetRowHeight(int value);
    int RowLines() const { return rowLines_; }
    void SetRowLines(int value);
    bool RowSizingAllowed() const { return rowSizingAllowed_; }
    void SetRowSizingAllowed(bool value);
    bool SortLocal() const { return sortLocal_; }
    void SetSortLocal(bool value) { sortLocal_ = value; }
    int TitleHeight() const { return titleHeight_; }
    void SetTitleHeight(int value);
    TImageList* TitleImages() const { return titleImages_; }
    void SetTitleImages(TImageList* value);
    int TitleLines() const { return titleLines_; }
    void SetTitleLines(int value);
    int VTitleMargin() const { return vTitleMargin_; }
    void SetVTitleMargin(int value);

    // ---- Multi-level titles
    THeadTreeNode& HeadTree() { return *headRoot_; }
    // The leaf of a column's title (null without UseMultiTitle or before the first layout).
    THeadTreeNode* LeafOf(int dataCol) const;
    int GetTitleTreeHeight(THeadTreeNode* node);

    // ---- Footers and widths
    virtual QString GetFooterValueText(int footerRow, TColumnEx& column);
    void OptimizeColsWidth(const std::vector<TColumnEx*>& columns);
    void OptimizeSelectedColsWidth(TColumnEx* column);

    // ---- Keyboard and mouse helpers the program may call
    bool CanCopy() const;
    bool CanPaste() const;
    bool CanDelete() const;
    bool CanCut() const { return CanCopy() && CanDelete(); }
    bool CanSelectAll() const;
    bool CanSelectType(TDBGridExSelectionType type) const;
    // The standard edit actions (each under its EditActions flag and permission).
    bool ExecuteEditAction(TDBGridExEditAction action);
    bool IncSearchRunning() const { return incSearching_; }
    const QString& IncSearchText() const { return incSearchText_; }
    void StartIncSearch();
    void StopIncSearch();
    // Searches from the current column's text (mode 0 from the start, 1 next, 2 previous).
    void DoIncSearch(const QString& newChars, int mode);
    // Whether the current row's data cell is highlighted (for tests and the editor).
    bool IsCellSelected(int col, int row);

    // ---- Events
    TNotify OnApplyFilter;
    std::function<void(TCustomDBGridEx&, TColumnEx&)> OnCellClick;
    std::function<void(TCustomDBGridEx&, int dataCol, TColumnEx&, bool& enabled)> OnCheckButton;
    TNotify OnColEnter;
    TNotify OnColExit;
    std::function<void(TCustomDBGridEx&, int from, int to)> OnColumnMoved;
    TNotify OnColWidthsChanged;
    std::function<void(TCustomDBGridEx&, const TRect&, int dataCol, TColumnEx&, TGridDrawState)> OnDrawColumnCell;
    std::function<void(TCustomDBGridEx&, const TRect&, TField*, TGridDrawState)> OnDrawDataCell;
    std::function<void(TCustomDBGridEx&, int dataCol, int row, TColumnEx&, const TRect&, TGridDrawState)>
        OnDrawFooterCell;
    TNotify OnEditButtonClick;
    std::function<void(TCustomDBGridEx&, TColumnEx&, TFont&, TColor& background, TSortMarkerEx&, bool& isDown)>
        OnGetBtnParams;
    std::function<void(TCustomDBGridEx&, TColumnEx&, TFont&, TColor& background, TGridDrawState)> OnGetCellParams;
    std::function<void(TCustomDBGridEx&, int dataCol, int row, TColumnEx&, TFont&, TColor& background,
                       TAlignment&, TGridDrawState, QString& text)>
        OnGetFooterParams;
    TNotify OnSortMarkingChanged;
    TNotify OnSumListAfterRecalcAll;
    TNotify OnSumListRecalcAll;
    std::function<void(TCustomDBGridEx&, int dataCol, TColumnEx&)> OnTitleBtnClick;
    std::function<void(TCustomDBGridEx&, TColumnEx&)> OnTitleClick;
    std::function<void(TCustomDBGridEx&, int& key, TShiftState)> OnKeyDown;
    std::function<void(TCustomDBGridEx&, QChar& key)> OnKeyPress;
    std::function<void(TCustomDBGridEx&, Qt::MouseButton, TShiftState, int x, int y)> OnMouseDown;
    std::function<void(TCustomDBGridEx&, Qt::MouseButton, TShiftState, int x, int y)> OnMouseUp;
    TNotify OnDblClick;

protected:
    // A grid with its own column class puts its collection in place while it has no columns.
    void ReplaceColumns(std::unique_ptr<TDBGridColumnsEx> columns) { columns_ = std::move(columns); }
    virtual void InternalLayout();
    virtual void ApplyColumnAttributes();
    virtual void UpdateRowCount();
    virtual void UpdateVertScrollBar();
    virtual void UpdateHorzScrollBar();
    virtual void FollowActiveRecord();
    virtual void BuildFieldMap();
    void DefineFieldMap();
    // The dataset's fields in the order of the grid-made columns.
    std::vector<TField*> DefaultColumnFields() const;

    // Painting
    void Paint(TCanvas& canvas) override;
    void DrawCell(TCanvas& canvas, int col, int row, const TRect& rect, TGridDrawState state) override;
    virtual bool IsCellDrawn3D(int col, int row, TGridDrawState state) const;
    virtual void GetHighlightColors(const TCellAreaEx& area, TColor& background, TFont& font);
    virtual void DrawFixedCellFace(TCanvas& canvas, const TRect& rect, int dataCol, TGridDrawState state);
    void DrawTitleCell(TCanvas& canvas, int col, int row, TRect rect, TGridDrawState state, int dataCol, bool is3D,
                       int margin);
    void DrawDataCell(TCanvas& canvas, int col, int row, const TRect& rect, TGridDrawState state, int dataCol,
                      int dataRow, int margin);
    void DrawFooterCell(TCanvas& canvas, int col, int row, const TRect& rect, TGridDrawState state, int dataCol,
                        int footerRow, int margin);
    void DrawIndicatorCell(TCanvas& canvas, int col, int row, const TRect& rect, const TCellAreaEx& area);
    void DrawTitleGroups(TCanvas& canvas, int col, const TRect& cellRect, THeadTreeNode* leaf);
    void Draw3DFrame(TCanvas& canvas, const TRect& r, bool sunken, bool leftEdge, bool rightEdge);

    // Multi-level titles
    void CreateFieldTree();

    // Widths
    void ShareAutoFitWidths();
    void ColWidthsChanged() override;

    // Input
    void KeyDown(int& key, TShiftState shift) override;
    void KeyPress(QChar& ch) override;
    void MouseDown(Qt::MouseButton button, TShiftState shift, int x, int y, bool doubleClick) override;
    void MouseMove(TShiftState shift, int x, int y) override;
    void MouseUp(Qt::MouseButton button, TShiftState shift, int x, int y) override;
    void TimerEvent(int id) override;
    void CalcSizingState(int x, int y, TGridState& state, int& index, int& sizingPos, int& sizingOfs) override;
    void ColumnMoved(int from, int to) override;
    void DoExit() override;
    void DoEnter() override;
    void ScrollBarAction(bool vertical, TScrollCode code, int pos) override;
    void Resized() override;
    bool SelectCell(int col, int row) override;
    void wheelEvent(QWheelEvent* e) override;
    void changeEvent(QEvent* e) override;
    void contextMenuEvent(QContextMenuEvent* e) override;
    bool event(QEvent* e) override;
    // The pop-up menu of the data column at a viewport point (cells or title), if it has one.
    QMenu* ColumnPopupMenuAt(int x, int y) const;

    void MoveToRecord(int distance, bool select);
    bool ConfirmDelete();
    void DeleteCurrentOrSelected();
    void CopyValueFromAbove();
    void StepCheckCell(TColumnEx& column, bool backward);
    int TitleLeafBandTop(int dataCol, const TRect& cellRect) const;
    void TimerMouseSelect(int x, int y);
    // Moves a record-selection drag record by record, selecting the records passed on the way
    // out and dropping those left on the way back to where the drag began.
    void DragRecordsBy(int distance);
    void MarkSelectionEnd();
    bool SelectionGoesOn() const;
    // A record extension goes on from its anchor, or starts at the current record (selecting it).
    void BeginRecordExtension(bool goesOn);
    void ApplySortMarking();
    bool IsFocusedRowSelect() const;
    void SetCurrentDataCol(int dataCol);
    QCursor CursorAt(int x, int y) const;
    void UpdateCursor(int x, int y);


private:
    void FontsChanged();
    void OwnFontChanged();
    // Takes the parent widget's font while ParentFont is on.
    void ParentFontChanged();
    void SumListChanged();
    void SetGridOptionsFromOptions();
    int LineWidth() const { return GridLineWidth(); }
    void ApplyTitleRowHeight();

    // Owned parts, in creation order (freed in reverse: columns go before the sum list).
    std::unique_ptr<TGridDataLinkEx> link_;
    std::unique_ptr<TDBGridExColumnDefValuesEx> columnDefValues_;
    std::unique_ptr<TDBGridExSumList> sumList_;
    std::unique_ptr<TBookmarkListEx> bookmarks_;
    std::unique_ptr<TDBGridExSelection> selection_;
    std::unique_ptr<TSTDBGridExFilter> stFilter_;
    std::unique_ptr<TDBGridExScrollBar> horzScrollBar_;
    std::unique_ptr<TVertDBGridExScrollBar> vertScrollBar_;
    std::unique_ptr<TDBGridColumnsEx> columns_;
    TColumnsExList visibleColumns_;
    TColumnsExList sortMarked_;
    std::unique_ptr<THeadTreeNode> headRoot_;
    std::vector<std::pair<THeadTreeNode*, TColumnEx*>> leafs_;
    TColCellParamsEx cellParams_;
    TDBGridExStyle* style_ = nullptr;

    TFont font_;
    TFont titleFont_;
    TFont footerFont_;
    TColor color_ = clWindow;
    TColor fixedColor_ = clBtnFace;
    TColor footerColor_ = clWindow;

    TDBGridExAllowedOperations allowedOperations_{alopInsertEx, alopUpdateEx, alopDeleteEx, alopAppendEx};
    TDBGridExSelectionTypes allowedSelections_{gstRecordBookmarks, gstRectangle, gstColumns, gstAll};
    bool autoFitColWidths_ = false;
    TBorderStyle borderStyle_ = bsSingle;
    bool defaultDrawing_ = true;
    bool drawMemoText_ = false;
    TDBGridExEditActions editActions_;
    bool flat_ = false;
    int footerRowCount_ = 0;
    int frozenCols_ = 0;
    int minAutoFitWidth_ = 0;
    TDBGridOptions options_;
    TDBGridExOptions optionsEx_;
    bool readOnly_ = false;
    int rowHeight_ = 0;
    int rowLines_ = 0;
    bool rowSizingAllowed_ = false;
    bool sortLocal_ = false;
    int titleHeight_ = 0;
    TImageList* titleImages_ = nullptr;
    int titleLines_ = 0;
    bool useMultiTitle_ = false;
    int vTitleMargin_ = 10;

    int indicatorOffset_ = 1;
    int topDataOffset_ = 1;
    int flatFrame_ = 4;
    int editButtonWidth_ = 16;
    int editButtonHeight_ = 16;
    bool multiLineRows_ = false;
    int titleRowHeight_ = 0;
    int layoutLock_ = 0;
    int updateLock_ = 0;
    bool inLayout_ = false;
    bool layoutFromDataSet_ = false;
    bool loading_ = false;
    bool destroying_ = false;
    bool inDataChanged_ = false;
    bool ignoreNextThumb_ = false;

protected:
    // Input state
    bool incSearching_ = false;
    bool incSearchMoving_ = false;
    QString incSearchText_;
    int pressedTitleCol_ = -1;   // grid column of a held title button
    bool titleButtonDown_ = false;
    int pressX_ = 0;
    int pressY_ = 0;
    TGridCoord hotCheckCell_;
    int dragState_ = 0;          // 0 none, 1 records, 2 columns, 3 rectangle, 6 own column sizing
    bool dragSelecting_ = true;  // record drag selects (else deselects)
    TBookmark dragAnchor_;        // the record a record selection extends from (press, Shift+key)
    // The current cell when the last selection step (press, drag, Shift+key) ended: Shift+keys go
    // on from the anchors only from there; after any other move they start at the current cell.
    TBookmark selectionEndRow_;
    int selectionEndCol_ = -1;
    QStringList defaultFieldOrder_;          // fields of grid-made columns as the user arranged them
    const TDataSet* defaultOrderDataSet_ = nullptr;  // the dataset that order belongs to
    int ownSizingCol_ = -1;
    int ownSizingLine_ = -1;     // x of the dotted sizing line while shown
    int ownSizingOfs_ = 0;
    bool pendingClick_ = false;
    int lastMouseX_ = 0;
    int lastMouseY_ = 0;

    // In-place and filter-row editors (grid/dbgridexinplace.cpp, grid/dbgridexfilterrow.cpp).
    friend class TDBGridInplaceEdit;
    friend class TInplaceFilterEditEx;
    virtual TDBGridInplaceEdit* CreateEditor();
    virtual TInplaceFilterEditEx* CreateFilterEditor();
    void CurrentCellChanged() override;
    void DestroyEditors();
    int NextFilterColumn(int from, int step) const;
    void FilterEditKeyDown(int& key, TShiftState shift);
    void PassPressToFilterEditor(int x, int y, bool doubleClick = false);
    TDBGridInplaceEdit* inplaceEdit_ = nullptr;
    TInplaceFilterEditEx* filterEdit_ = nullptr;
    int filterCol_ = -1;
    bool filterEditing_ = false;
    bool parentFont_ = true;
    bool fontFromParent_ = false;   // the fonts change because the parent's did
    qint64 filterPressTime_ = -1;   // steady milliseconds of the last filter-cell press, -1 none
    QPoint filterPressPos_;         // its screen point
    bool filterFocusedGrid_ = false;
};

class TDBGridEx : public TCustomDBGridEx {
public:
    using TCustomDBGridEx::TCustomDBGridEx;
};
