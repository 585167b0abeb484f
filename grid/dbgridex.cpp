#include "grid/dbgridex.h"

#include "grid/celltext.h"

#include "platform/application.h"
#include "platform/text.h"

#include <QScrollBar>
#include <algorithm>
#include <cmath>

TDBGridExEditHooks& DBGridExEditHooks()
{
    static TDBGridExEditHooks hooks;
    return hooks;
}

namespace {

constexpr unsigned kOptionsDefault = 3325;
constexpr unsigned kOptionsExDefault = 97;
constexpr int kIndicatorWidth = 11;

// Measures on a device-independent canvas, as a grid without a window borrows a screen context.
struct MeasureCanvas {
    TCanvas canvas;
    explicit MeasureCanvas(const TFont& font) { canvas.SetFont(font); }
};

} // namespace

// ---- Construction -------------------------------------------------------------------------------

TCustomDBGridEx::TCustomDBGridEx(QWidget* parent) : TCustomGrid(parent)
{
    InitDBGridExResources();
    link_ = std::make_unique<TGridDataLinkEx>(this);
    columnDefValues_ = std::make_unique<TDBGridExColumnDefValuesEx>(this);
    sumList_ = std::make_unique<TDBGridExSumList>(this, this);
    bookmarks_ = std::make_unique<TBookmarkListEx>(this);
    selection_ = std::make_unique<TDBGridExSelection>(this);
    stFilter_ = std::make_unique<TSTDBGridExFilter>(this);
    horzScrollBar_ = std::make_unique<TDBGridExScrollBar>(this, sbHorizontal);
    vertScrollBar_ = std::make_unique<TVertDBGridExScrollBar>(this);
    columns_ = std::make_unique<TDBGridColumnsEx>(this);
    headRoot_ = std::make_unique<THeadTreeNode>(QStringLiteral("Root"), 0, 10);

    SetGridOptions(3727);
    SetRowCount(2);
    SetColCount(2);
    options_ = TDBGridOptions::FromBits(kOptionsDefault);
    optionsEx_ = TDBGridExOptions::FromBits(kOptionsExDefault);
    titleFont_.Assign(font_);
    footerFont_.Assign(font_);
    titleFont_.OnChange = [this] { OwnFontChanged(); };
    footerFont_.OnChange = [this] { OwnFontChanged(); };
    font_.OnChange = [this] { OwnFontChanged(); };

    sumList_->SumListChanged = [this](TDBSumListProducer&) { SumListChanged(); };
    sumList_->OnRecalcAll = [this](TDBSumListProducer&) {
        if (OnSumListRecalcAll)
            OnSumListRecalcAll(*this);
    };
    sumList_->OnAfterRecalcAll = [this](TDBSumListProducer&) {
        if (OnSumListAfterRecalcAll)
            OnSumListAfterRecalcAll(*this);
    };
    // These run from the scroll bars' signals: nothing may escape into Qt.
    vertScrollBar_->OnUpdateScrollBar = [this] { Guarded([&] { UpdateVertScrollBar(); }); };
    horzScrollBar_->OnUpdateScrollBar = [this] { Guarded([&] { UpdateHorzScrollBar(); }); };
    vertScrollBar_->OnScroll = [this](TScrollBarKind, int, int pos) {
        Guarded([&] { ScrollBarAction(true, scPosition, pos); });
    };
    horzScrollBar_->OnScroll = [this](TScrollBarKind, int, int pos) {
        Guarded([&] { ScrollBarAction(false, scPosition, pos); });
    };

    style_ = GetDefaultGridStyle();
    if (style_)
        style_->RegisterGrid(this);

    SetGridOptionsFromOptions();
    editButtonWidth_ = CalcDefaultEditButtonWidth();
    LayoutChanged();
}

TCustomDBGridEx::~TCustomDBGridEx()
{
    destroying_ = true;
    DestroyEditors();
    if (style_)
        style_->UnregisterGrid(this);
    style_ = nullptr;
    sumList_->SetOwnerDestroying();
    // Columns go first: while the grid is destroyed they touch neither the sum list nor the
    // selection.
    visibleColumns_.Clear();
    sortMarked_.Clear();
    leafs_.clear();
    headRoot_.reset();
    columns_.reset();
    link_->SetDataSource(nullptr);
    sumList_->SetDataSet(nullptr);
    selection_.reset();
    bookmarks_.reset();
    sumList_.reset();
    link_.reset();
}

void TCustomDBGridEx::BeginLoad()
{
    loading_ = true;
    sumList_->SetLoading(true);
}

void TCustomDBGridEx::Loaded()
{
    loading_ = false;
    if (columns_->Count() > 0 && autoFitColWidths_) {
        columns_->BeginUpdate();
        for (int i = 0; i < columns_->Count(); ++i)
            columns_->Items(i)->SetAutoFitColWidthBase(columns_->Items(i)->Width());
        columns_->EndUpdate();
    }
    columns_->RebuildSortMarkedList();
    sumList_->SetLoading(false);
    if (DataSource())
        sumList_->Loaded();
    LayoutChanged();
}

// ---- Data source and link -----------------------------------------------------------------------

void TCustomDBGridEx::SetDataSource(TDataSource* source)
{
    if (source == link_->DataSource())
        return;
    link_->SetDataSource(source);
    LinkActive(link_->Active());
    sumList_->SetDataSet(source ? source->DataSet() : nullptr);
}

void TCustomDBGridEx::LinkActive(bool value)
{
    if (destroying_)
        return;
    if (!value)
        HideEditor();
    selection_->LinkActive(value);
    sumList_->SetDataSet(DataSet());
    LayoutChanged();
    if (value && EditorAlwaysShown())
        ShowEditor();
    UpdateVertScrollBar();
}

void TCustomDBGridEx::DataChanged()
{
    if (destroying_ || inDataChanged_)
        return;
    inDataChanged_ = true;
    try {
        UpdateRowCount();
        const bool wasShown = verticalScrollBarPolicy() == Qt::ScrollBarAlwaysOn;
        UpdateVertScrollBar();
        const bool shown = verticalScrollBarPolicy() == Qt::ScrollBarAlwaysOn;
        if (wasShown != shown && autoFitColWidths_)
            LayoutChanged();
        FollowActiveRecord();
        UpdateEditors();
        InvalidateGrid();
    } catch (...) {
        inDataChanged_ = false;
        throw;
    }
    inDataChanged_ = false;
}

void TCustomDBGridEx::Scroll(int distance)
{
    if (destroying_)
        return;
    if (link_->ActiveRecord() >= GetDataRowCount())
        UpdateRowCount();
    const bool wasShown = verticalScrollBarPolicy() == Qt::ScrollBarAlwaysOn;
    UpdateVertScrollBar();
    if (wasShown != (verticalScrollBarPolicy() == Qt::ScrollBarAlwaysOn) && autoFitColWidths_)
        LayoutChanged();
    FollowActiveRecord();
    if (distance != 0) {
        HideEditor();
        if (options_.Contains(dgAlwaysShowEditor))
            ShowEditor();
    }
    // The whole view is repainted: rows move and the footers follow the data.
    InvalidateGrid();
}

void TCustomDBGridEx::EditingChanged()
{
    if (indicatorOffset_ > 0)
        InvalidateCell(0, Row());
}

void TCustomDBGridEx::RecordChanged(TField*)
{
    if (destroying_)
        return;
    InvalidateRow(Row());
    InvalidateFooter();
}

bool TCustomDBGridEx::AcquireFocus()
{
    if (!hasFocus() && isEnabled() && isVisible())
        setFocus(Qt::OtherFocusReason);
    return true;
}

void TCustomDBGridEx::FollowActiveRecord()
{
    if (!incSearchMoving_ && incSearching_)
        StopIncSearch();
    if (!link_->Active() || loading_)
        return;
    const int target = link_->ActiveRecord() + topDataOffset_;
    if (target != Row() && target < RowCount()) {
        if (!options_.Contains(dgAlwaysShowEditor))
            HideEditor();
        MoveColRow(Col(), target, false, false);
        UpdateEditors();
    }
}

void TCustomDBGridEx::StyleDestroyed(TDBGridExStyle* style)
{
    if (style == style_)
        style_ = nullptr;
    InvalidateGrid();
}

void TCustomDBGridEx::SetStyle(TDBGridExStyle* style)
{
    if (style == style_)
        return;
    if (style_)
        style_->UnregisterGrid(this);
    style_ = style;
    if (style_)
        style_->RegisterGrid(this);
    InvalidateGrid();
}

// ---- Properties ---------------------------------------------------------------------------------

void TCustomDBGridEx::FontsChanged()
{
    if (destroying_)
        return;
    LayoutChanged();
}

void TCustomDBGridEx::OwnFontChanged()
{
    if (!fontFromParent_)
        parentFont_ = false;
    FontsChanged();
}


void TCustomDBGridEx::ParentFontChanged()
{
    if (!parentFont_ || destroying_)
        return;
    TFont parent(font_);
    parent.AssignQFont(QWidget::font());
    fontFromParent_ = true;
    BeginLayout();
    try {
        font_.Assign(parent);
        titleFont_.Assign(font_);
        footerFont_.Assign(font_);
    } catch (...) {
        fontFromParent_ = false;
        EndLayout();
        throw;
    }
    fontFromParent_ = false;
    EndLayout();
}

void TCustomDBGridEx::SetParentFont(bool value)
{
    if (value == parentFont_)
        return;
    parentFont_ = value;
    ParentFontChanged();
}

void TCustomDBGridEx::changeEvent(QEvent* e)
{
    if (e->type() == QEvent::FontChange)
        Guarded([&] { ParentFontChanged(); });
    TCustomGrid::changeEvent(e);
}

void TCustomDBGridEx::ChangeScale(int m, int d)
{
    if (m == d || d == 0)
        return;
    BeginLayout();
    try {
        if (!parentFont_) {
            auto scale = [m, d](TFont& f) { f.SetHeight(MulDiv(f.Height(), m, d)); };
            scale(titleFont_);
            scale(footerFont_);
            scale(font_);
        }
        columns_->BeginUpdate();
        try {
            // Widths scale as a running total so that their sum does not drift.
            int total = 0;
            int scaledBefore = 0;
            for (int i = 0; i < columns_->Count(); ++i) {
                TColumnEx* c = columns_->Items(i);
                c->ScaleOwnFonts(m, d);
                total += c->Width();
                const int scaled = MulDiv(total, m, d);
                c->SetWidth(scaled - scaledBefore);
                scaledBefore = scaled;
            }
        } catch (...) {
            columns_->EndUpdate();
            throw;
        }
        columns_->EndUpdate();
    } catch (...) {
        EndLayout();
        throw;
    }
    EndLayout();
}

void TCustomDBGridEx::SumListChanged()
{
    if (!destroying_)
        InvalidateFooter();
}

void TCustomDBGridEx::SetColor(TColor value)
{
    if (value == color_)
        return;
    color_ = value;
    InvalidateGrid();
}

void TCustomDBGridEx::SetFooterColor(TColor value)
{
    if (value == footerColor_)
        return;
    footerColor_ = value;
    if (footerRowCount_ > 0)
        InvalidateGrid();
}

void TCustomDBGridEx::SetFixedColor(TColor value)
{
    if (value == fixedColor_)
        return;
    fixedColor_ = value;
    InvalidateGrid();
}

void TCustomDBGridEx::SetDrawMemoText(bool value)
{
    if (value == drawMemoText_)
        return;
    drawMemoText_ = value;
    InvalidateGrid();
}

void TCustomDBGridEx::SetUseMultiTitle(bool value)
{
    if (value == useMultiTitle_)
        return;
    useMultiTitle_ = value;
    LayoutChanged();
}

void TCustomDBGridEx::SetAutoFitColWidths(bool value)
{
    if (value == autoFitColWidths_)
        return;
    if (value) {
        for (int i = 0; i < columns_->Count(); ++i)
            columns_->Items(i)->SetAutoFitColWidthBase(columns_->Items(i)->Width());
        autoFitColWidths_ = true;
    } else {
        autoFitColWidths_ = false;
        columns_->BeginUpdate();
        for (int i = 0; i < columns_->Count(); ++i)
            columns_->Items(i)->SetWidth(columns_->Items(i)->AutoFitColWidthBase());
        columns_->EndUpdate();
    }
    LayoutChanged();
}

void TCustomDBGridEx::SetGridOptionsFromOptions()
{
    TGridOptions o = 0;
    if (options_.Contains(dgEditing))
        o |= goEditing;
    if (options_.Contains(dgAlwaysShowEditor))
        o |= goAlwaysShowEditor;
    if (options_.Contains(dgColumnResize))
        o |= goColSizing | goColMoving;
    if (options_.Contains(dgColLines))
        o |= goFixedVertLine | goVertLine;
    if (options_.Contains(dgRowLines))
        o |= goFixedHorzLine | goHorzLine;
    if (options_.Contains(dgTabs))
        o |= goTabs;
    if (options_.Contains(dgRowSelect))
        o |= goRowSelect;
    if (rowSizingAllowed_)
        o |= goRowSizing;
    SetGridOptions(o);
}

void TCustomDBGridEx::SetOptions(TDBGridOptions value)
{
    if (value.Contains(dgRowSelect)) {
        value.Exclude(dgEditing);
        value.Exclude(dgAlwaysShowEditor);
    }
    if (value == options_)
        return;
    const TDBGridOptions layoutOptions{dgEditing, dgAlwaysShowEditor, dgTitles, dgIndicator, dgColLines,
                                       dgRowLines, dgRowSelect, dgAlwaysShowSelection};
    const bool relayout = ((value - options_) + (options_ - value)) * layoutOptions != TDBGridOptions();
    const bool multiSelectOff = options_.Contains(dgMultiSelect) && !value.Contains(dgMultiSelect);
    options_ = value;
    SetGridOptionsFromOptions();
    if (multiSelectOff)
        selection_->Clear();
    if (relayout)
        LayoutChanged();
    UpdateEditors();
    InvalidateGrid();
}

void TCustomDBGridEx::SetOptionsEx(TDBGridExOptions value)
{
    if (value == optionsEx_)
        return;
    const bool multiSortOff = optionsEx_.Contains(dghMultiSortMarking) && !value.Contains(dghMultiSortMarking);
    optionsEx_ = value;
    if (multiSortOff) {
        // Only the first sort-marked column keeps its marker.
        columns_->BeginUpdate();
        std::vector<TColumnEx*> marked = sortMarked_.List();
        for (std::size_t i = 1; i < marked.size(); ++i) {
            marked[i]->Title().SetSortMarker(smNoneEx);
            marked[i]->Title().SetSortIndex(0);
        }
        columns_->EndUpdate();
        columns_->RebuildSortMarkedList();
    }
    LayoutChanged();
}

void TCustomDBGridEx::SetAllowedSelections(TDBGridExSelectionTypes value)
{
    if (value == allowedSelections_)
        return;
    allowedSelections_ = value;
    const TDBGridExSelectionType t = selection_->SelectionType();
    if (t != gstNon && !value.Contains(t))
        selection_->Clear();
}

void TCustomDBGridEx::SetBorderStyle(TBorderStyle value)
{
    borderStyle_ = value;
    if (value == bsNone)
        setFrameShape(QFrame::NoFrame);
    else {
        setFrameShape(flat_ ? QFrame::Box : QFrame::StyledPanel);
        setFrameShadow(flat_ ? QFrame::Plain : QFrame::Sunken);
    }
}

void TCustomDBGridEx::SetFlat(bool value)
{
    if (value == flat_)
        return;
    flat_ = value;
    flatFrame_ = flat_ ? 2 : 4;
    editButtonWidth_ = flat_ ? DefaultFlatEditButtonWidth() + 1 : CalcDefaultEditButtonWidth();
    SetBorderStyle(borderStyle_);
    LayoutChanged();
}

void TCustomDBGridEx::SetFooterRowCount(int value)
{
    if (value < 0 || value == footerRowCount_)
        return;
    footerRowCount_ = value;
    LayoutChanged();
}

void TCustomDBGridEx::SetFrozenCols(int value)
{
    if (value < 0 || value == frozenCols_)
        return;
    frozenCols_ = value;
    LayoutChanged();
}

void TCustomDBGridEx::SetMinAutoFitWidth(int value)
{
    if (value == minAutoFitWidth_)
        return;
    minAutoFitWidth_ = value;
    LayoutChanged();
}

void TCustomDBGridEx::SetRowHeight(int value)
{
    value = std::max(0, value);
    if (value == rowHeight_)
        return;
    rowHeight_ = value;
    LayoutChanged();
}

void TCustomDBGridEx::SetRowLines(int value)
{
    value = std::max(0, value);
    if (value == rowLines_)
        return;
    rowLines_ = value;
    LayoutChanged();
}

void TCustomDBGridEx::SetRowSizingAllowed(bool value)
{
    if (value == rowSizingAllowed_)
        return;
    rowSizingAllowed_ = value;
    SetGridOptionsFromOptions();
}

void TCustomDBGridEx::SetTitleHeight(int value)
{
    if (value == titleHeight_)
        return;
    titleHeight_ = value;
    LayoutChanged();
}

void TCustomDBGridEx::SetTitleImages(TImageList* value)
{
    titleImages_ = value;
    LayoutChanged();
}

void TCustomDBGridEx::SetTitleLines(int value)
{
    if (value == titleLines_)
        return;
    titleLines_ = value;
    LayoutChanged();
}

void TCustomDBGridEx::SetVTitleMargin(int value)
{
    if (value == vTitleMargin_)
        return;
    vTitleMargin_ = value;
    LayoutChanged();
}

bool TCustomDBGridEx::EditorAlwaysShown() const
{
    return options_.Contains(dgAlwaysShowEditor) && !filterEditing_;
}

// ---- Columns and cells --------------------------------------------------------------------------

int TCustomDBGridEx::SelectedIndex() const
{
    return Col() - indicatorOffset_;
}

void TCustomDBGridEx::SetSelectedIndex(int index)
{
    SetCurrentDataCol(index);
}

TColumnEx* TCustomDBGridEx::SelectedColumn() const
{
    const int i = SelectedIndex();
    return i >= 0 && i < columns_->Count() ? columns_->Items(i) : nullptr;
}

TField* TCustomDBGridEx::SelectedField() const
{
    TColumnEx* c = SelectedColumn();
    return c ? c->Field() : nullptr;
}

void TCustomDBGridEx::SetSelectedField(TField* field)
{
    if (!field)
        return;
    for (int i = 0; i < columns_->Count(); ++i)
        if (columns_->Items(i)->Field() == field) {
            SetCurrentDataCol(i);
            return;
        }
}

void TCustomDBGridEx::SetCurrentDataCol(int dataCol)
{
    if (dataCol < 0 || dataCol >= columns_->Count())
        return;
    const int gridCol = DataColToGridCol(dataCol);
    if (gridCol == Col())
        return;
    if (OnColExit)
        OnColExit(*this);
    MoveColRow(gridCol, Row(), true, true);
    if (OnColEnter)
        OnColEnter(*this);
}

bool TCustomDBGridEx::SelectCell(int col, int)
{
    // The changed text of the cell being left is written first: a value the field refuses raises
    // here, before the current cell has moved away from it.
    if (col != Col() && EditorVisible() && EditorModified() && link_->Active())
        link_->UpdateData();
    return true;
}

int TCustomDBGridEx::GetTitleRowCount() const { return options_.Contains(dgTitles) ? 1 : 0; }

int TCustomDBGridEx::GetFilterRowCount() const { return stFilter_->Visible() ? 1 : 0; }

TRect TCustomDBGridEx::GetDataRect() const
{
    const int bottom = footerRowCount_ > 0 ? RowCount() - footerRowCount_ - 2 : RowCount();
    return TRect(indicatorOffset_, topDataOffset_, ColCount() - 1, bottom);
}

int TCustomDBGridEx::GetDataRowCount() const
{
    int n = RowCount() - topDataOffset_;
    if (footerRowCount_ > 0)
        n -= footerRowCount_ + 1;
    return n;
}

int TCustomDBGridEx::GetVisibleDataRowCount() const
{
    int n = VisibleRowCount();
    if (footerRowCount_ > 0)
        n = std::max(1, n - (footerRowCount_ + 1));
    return n;
}

TCellAreaEx TCustomDBGridEx::GetCellType(int col, int row) const
{
    TCellAreaEx a;
    if (col < indicatorOffset_) {
        a.ColKind = cacIndicator;
        a.AreaCol = col;
    } else {
        a.ColKind = cacData;
        a.AreaCol = col - indicatorOffset_;
    }
    const TRect data = GetDataRect();
    const int titles = GetTitleRowCount();
    if (row < titles) {
        a.RowKind = carTitle;
        a.AreaRow = row;
    } else if (row < titles + GetFilterRowCount()) {
        a.RowKind = carFilter;
        a.AreaRow = row - titles;
    } else if (row >= data.Top && row <= data.Bottom) {
        a.RowKind = carData;
        a.AreaRow = row - topDataOffset_;
    } else if (row == data.Bottom + 1) {
        a.RowKind = carAfterData;
        a.AreaRow = 0;
    } else if (row > data.Bottom + 1) {
        a.RowKind = carFooter;
        a.AreaRow = row - (data.Bottom + 1);
    } else {
        throw Exception("Algorithm error in TCustomDBGridEx.GetCellType");
    }
    return a;
}

void TCustomDBGridEx::InvalidateFooter()
{
    if (footerRowCount_ <= 0)
        return;
    for (int r = RowCount() - footerRowCount_; r < RowCount(); ++r)
        TCustomGrid::InvalidateRow(r);
}

THeadTreeNode* TCustomDBGridEx::LeafOf(int dataCol) const
{
    if (!useMultiTitle_ || dataCol < 0 || dataCol >= int(leafs_.size()))
        return nullptr;
    return leafs_[std::size_t(dataCol)].first;
}

// ---- Layout -------------------------------------------------------------------------------------

void TCustomDBGridEx::BeginLayout()
{
    if (layoutLock_ == 0)
        columns_->BeginUpdate();
    ++layoutLock_;
}

void TCustomDBGridEx::EndLayout()
{
    if (layoutLock_ <= 0)
        return;
    if (layoutLock_ == 1) {
        // The collection's change report is swallowed while the lock still stands; the layout
        // then runs once.
        columns_->EndUpdate();
        layoutLock_ = 0;
        if (updateLock_ == 0)
            LayoutChanged();
        return;
    }
    --layoutLock_;
}

void TCustomDBGridEx::BeginUpdate() { ++updateLock_; }

void TCustomDBGridEx::EndUpdate()
{
    if (updateLock_ > 0)
        --updateLock_;
}

void TCustomDBGridEx::LayoutChanged()
{
    if (destroying_ || layoutLock_ > 0 || updateLock_ > 0 || inLayout_)
        return;
    InternalLayout();
}

void TCustomDBGridEx::DefineFieldMap()
{
    TDataSet* ds = DataSet();
    if (!ds)
        return;
    if (columns_->State() == csCustomized) {
        link_->SetSparseMap(true);
        for (int i = 0; i < columns_->Count(); ++i)
            link_->AddMapping(columns_->Items(i)->FieldName());
    } else {
        link_->SetSparseMap(false);
        for (TField* f : DefaultColumnFields())
            link_->AddMapping(f->FieldName());
    }
}

std::vector<TField*> TCustomDBGridEx::DefaultColumnFields() const
{
    std::vector<TField*> result;
    TDataSet* ds = DataSet();
    if (!ds)
        return result;
    if (ds == defaultOrderDataSet_)
        for (const QString& name : defaultFieldOrder_)
            if (TField* f = ds->FindField(name); f && std::find(result.begin(), result.end(), f) == result.end())
                result.push_back(f);
    for (TField* f : ds->Fields())
        if (std::find(result.begin(), result.end(), f) == result.end())
            result.push_back(f);
    return result;
}

void TCustomDBGridEx::DefaultColumnMoved(int from, int to)
{
    QStringList order;
    for (int i = 0; i < columns_->Count(); ++i)
        order << columns_->Items(i)->FieldName();
    if (from < 0 || from >= order.size() || to < 0 || to >= order.size())
        return;
    order.move(from, to);
    defaultFieldOrder_ = order;
    defaultOrderDataSet_ = DataSet();
}

void TCustomDBGridEx::BuildFieldMap() { DefineFieldMap(); }

void TCustomDBGridEx::InternalLayout()
{
    if (loading_ || destroying_)
        return;
    inLayout_ = true;
    try {
        indicatorOffset_ = options_.Contains(dgIndicator) ? 1 : 0;

        // Field map.
        link_->ClearMapping();
        if (link_->Active())
            BuildFieldMap();

        // Columns.
        columns_->BeginUpdate();
        try {
            // A user-defined column after grid-added ones: the grid-added ones go.
            bool seenDefault = false;
            bool mixed = false;
            for (int i = 0; i < columns_->Count(); ++i) {
                if (!columns_->Items(i)->UserDefined())
                    seenDefault = true;
                else if (seenDefault)
                    mixed = true;
            }
            if (mixed)
                for (int i = columns_->Count() - 1; i >= 0; --i)
                    if (!columns_->Items(i)->UserDefined())
                        columns_->Delete(i);
            if (columns_->State() == csCustomized) {
                for (int i = 0; i < columns_->Count(); ++i)
                    columns_->Items(i)->ClearFieldCache();
            } else if (!link_->Active()) {
                if (columns_->Count() > 0)
                    columns_->Clear();
            } else {
                TDataSet* ds = DataSet();
                for (int i = columns_->Count() - 1; i >= 0; --i) {
                    TColumnEx* c = columns_->Items(i);
                    if (c->FieldName().isEmpty() || !ds->FindField(c->FieldName()))
                        columns_->Delete(i);
                }
                const std::vector<TField*> fields = DefaultColumnFields();
                for (int i = 0; i < int(fields.size()); ++i) {
                    TField* f = fields[std::size_t(i)];
                    TColumnEx* found = nullptr;
                    int at = -1;
                    for (int k = 0; k < columns_->Count(); ++k)
                        if (SameText(columns_->Items(k)->FieldName(), f->FieldName())) {
                            found = columns_->Items(k);
                            at = k;
                            break;
                        }
                    if (!found) {
                        found = columns_->AddDefault();
                        found->SetFieldName(f->FieldName());
                        at = columns_->Count() - 1;
                    }
                    if (at != i)
                        found->TCollectionItem::SetIndex(i);
                }
                if (columns_->Count() == 0)
                    columns_->AddDefault();
            }
        } catch (...) {
            columns_->EndUpdate();
            throw;
        }
        // The collection's own update would lay us out again; we are doing it now.
        columns_->EndUpdate();

        // Visible columns and frozen area.
        visibleColumns_.Clear();
        for (int i = 0; i < columns_->Count(); ++i)
            if (columns_->Items(i)->Visible())
                visibleColumns_.Add(columns_->Items(i));
        int hidden = 0;
        {
            int seen = 0;
            int i = 0;
            const int n = columns_->Count();
            while (i < n && seen < frozenCols_) {
                if (columns_->Items(i)->Visible())
                    ++seen;
                else
                    ++hidden;
                ++i;
            }
            while (i < n && !columns_->Items(i)->Visible()) {
                ++hidden;
                ++i;
            }
            if (visibleColumns_.Count() == 0 && hidden > 0)
                --hidden;
        }

        SetColCount(std::max(1, columns_->Count() + indicatorOffset_));
        int fixedCols = indicatorOffset_ + hidden;
        if (link_->Active() || columns_->State() == csCustomized)
            fixedCols += std::min(frozenCols_, visibleColumns_.Count());
        SetFixedCols(std::min(fixedCols, ColCount() - 1));

        topDataOffset_ = GetTitleRowCount() + GetFilterRowCount();

        // Row heights from the fonts.
        MeasureCanvas m(font_);
        const int pad = (flat_ ? 1 : 3) + (options_.Contains(dgRowLines) ? LineWidth() : 0);
        const int h = std::max(1, m.canvas.TextHeight(QStringLiteral("Wg")));
        const TTextMetric tm = m.canvas.TextMetrics();
        int rowH;
        if (rowHeight_ < 1 && rowLines_ < 1)
            rowH = h + pad;
        else
            rowH = (tm.Height + tm.ExternalLeading) * rowLines_ + rowHeight_;
        if (optionsEx_.Contains(dghFitRowHeightToText)) {
            const int r = (rowH - pad) % h;
            const int q = (rowH - pad) / h;
            if (r <= h / 2 && q > 0)
                rowH = q * h + pad;
            else
                rowH = (q + 1) * h + pad;
            rowLines_ = (rowH - pad) / h;
            rowHeight_ = pad;
        }
        SetDefaultRowHeight(std::max(1, rowH));
        const int bw = editButtonWidth_;
        const int buttonLimit = int(std::lround(1.5 * bw));
        editButtonHeight_ = buttonLimit < rowH ? bw : rowH;
        multiLineRows_ = tm.Height + tm.ExternalLeading + tm.InternalLeading + flatFrame_ < rowH;

        // Title row height.
        if (options_.Contains(dgTitles)) {
            int th = 0;
            if (columns_->Count() == 0) {
                MeasureCanvas t(titleFont_);
                th = t.canvas.TextHeight(QStringLiteral("Wg")) + flatFrame_;
            } else
                for (int i = 0; i < columns_->Count(); ++i) {
                    MeasureCanvas t(columns_->Items(i)->Title().Font());
                    th = std::max(th, t.canvas.TextHeight(QStringLiteral("Wg")) + flatFrame_);
                }
            titleRowHeight_ = th;
        }

        // Horizontal scroll bar.
        const bool wantHorz = !autoFitColWidths_ && horzScrollBar_->Visible() && !horzScrollBar_->ExtScrollBar();
        SetScrollBars(wantHorz ? ssBoth : ssVertical);

        ApplyColumnAttributes();
        if (autoFitColWidths_)
            ShareAutoFitWidths();

        if (options_.Contains(dgTitles) && (titleHeight_ != 0 || titleLines_ != 0)) {
            TTextMetric best;
            int bestH = -1;
            auto consider = [&](const TFont& f) {
                MeasureCanvas t(f);
                const int fh = t.canvas.TextHeight(QStringLiteral("Wg"));
                if (fh > bestH) {
                    bestH = fh;
                    best = t.canvas.TextMetrics();
                }
            };
            if (columns_->Count() == 0)
                consider(titleFont_);
            for (int i = 0; i < columns_->Count(); ++i)
                consider(columns_->Items(i)->Title().Font());
            titleRowHeight_ = titleLines_ * best.Height + best.ExternalLeading + 2 + titleHeight_;
            if (options_.Contains(dgRowLines))
                titleRowHeight_ += 1;
        }

        if (options_.Contains(dgTitles) && useMultiTitle_) {
            leafs_.assign(std::size_t(columns_->Count()), {nullptr, nullptr});
            for (int i = 0; i < columns_->Count(); ++i)
                leafs_[std::size_t(i)].second = columns_->Items(i);
            CreateFieldTree();
            const int total = GetTitleTreeHeight(headRoot_.get());
            headRoot_->Height = total;
            titleRowHeight_ = total - (optionsEx_.Contains(dghFixed3D) ? 1 : 3);
        } else {
            headRoot_->FreeAllChild();
            leafs_.clear();
        }

        ApplyColumnAttributes();
        ApplyTitleRowHeight();
        const int left = LeftCol();
        UpdateRowCount();
        if (options_.Contains(dgRowSelect))
            SetLeftCol(left);
        FollowActiveRecord();
        UpdateScrollRange();
        UpdateVertScrollBar();
        InvalidateGrid();
        if (selection_->SelectionType() == gstColumns)
            selection_->Columns().Refresh();
    } catch (...) {
        inLayout_ = false;
        throw;
    }
    inLayout_ = false;
}

void TCustomDBGridEx::ApplyTitleRowHeight()
{
    if (options_.Contains(dgTitles) && RowCount() > 0)
        SetRowHeights(0, std::max(1, titleRowHeight_));
}

void TCustomDBGridEx::ApplyColumnAttributes()
{
    for (int i = 0; i < columns_->Count(); ++i) {
        TColumnEx* c = columns_->Items(i);
        const int gc = indicatorOffset_ + i;
        if (gc >= ColCount())
            break;
        SetColWidths(gc, c->Visible() ? c->Width() : (options_.Contains(dgColLines) ? -1 : 0));
    }
    if (indicatorOffset_ > 0)
        SetColWidths(0, kIndicatorWidth);
}

void TCustomDBGridEx::UpdateRowCount()
{
    const int oldRows = RowCount();
    if (RowCount() < topDataOffset_ + 1)
        SetRowCount(topDataOffset_ + 1);
    SetFixedRows(topDataOffset_);

    const int lw = LineWidth();
    const int rowH = DefaultRowHeight();
    int used = 0;
    if (options_.Contains(dgTitles))
        used += titleRowHeight_ + (options_.Contains(dgRowLines) ? lw : 0);
    const int hlw = options_.Contains(dgRowLines) ? lw : 0;
    if (GetFilterRowCount() > 0)
        used += rowH + hlw;
    used += footerRowCount_ * (rowH + hlw);
    if (footerRowCount_ > 0)
        used += hlw;

    // Setting the default height resets every row, the title row included.
    for (int r = 0; r < RowCount(); ++r)
        SetRowHeights(r, rowH);
    ApplyTitleRowHeight();

    const int client = ClientHeight();
    if (link_->Active() && link_->RecordCount() > 0 && DataSet() && DataSet()->VisibleCount() > 0) {
        const int buffers = std::max(1, (client - used) / std::max(1, rowH + hlw));
        link_->SetBufferCount(buffers);
        const int records = link_->RecordCount();
        used += records * (rowH + hlw);
        int rows = topDataOffset_ + records;
        if (footerRowCount_ > 0)
            rows += 1 + footerRowCount_;
        SetRowCount(rows);
        for (int r = 0; r < RowCount(); ++r)
            SetRowHeights(r, rowH);
        ApplyTitleRowHeight();
        if (footerRowCount_ > 0)
            SetRowHeights(topDataOffset_ + records, std::max(0, client - used));
    } else {
        if (link_->Active())
            link_->SetBufferCount(std::max(1, (client - used) / std::max(1, rowH + hlw)));
        int rows = topDataOffset_ + 1;
        used += rowH + hlw;
        if (footerRowCount_ > 0)
            rows += footerRowCount_ + 1;
        SetRowCount(rows);
        for (int r = 0; r < RowCount(); ++r)
            SetRowHeights(r, rowH);
        ApplyTitleRowHeight();
        if (footerRowCount_ > 0)
            SetRowHeights(topDataOffset_ + 1, std::max(0, client - used));
    }
    SetTopRow(topDataOffset_);
    if (RowCount() != oldRows)
        InvalidateGrid();
}

void TCustomDBGridEx::Resized()
{
    if (destroying_ || loading_)
        return;
    if (autoFitColWidths_)
        LayoutChanged();
    else {
        UpdateRowCount();
        FollowActiveRecord();
        UpdateVertScrollBar();
    }
}

// ---- Scroll bars --------------------------------------------------------------------------------

void TCustomDBGridEx::UpdateVertScrollBar()
{
    if (destroying_)
        return;
    int min = 0, max = 1, page = 2, pos = 0;
    TDataSet* ds = DataSet();
    if (link_->Active() && ds) {
        if (sumList_->IsSequenced()) {
            min = 1;
            page = GetVisibleDataRowCount();
            max = sumList_->GetRecordCount() + page - 1;
            const TDataSetState st = ds->State();
            pos = st == dsInsert ? verticalScrollBar()->value() : sumList_->GetRecNo();
        } else {
            min = 0;
            max = 4;
            page = 0;
            pos = ds->Bof() ? 0 : ds->Eof() ? 4 : 2;
        }
    }
    const bool shownSetting = vertScrollBar_->Visible() && !vertScrollBar_->ExtScrollBar();
    if (!shownSetting)
        max = min;
    const bool fits = max - min + 1 <= page || max <= min;
    bool visible;
    bool enabled = true;
    switch (vertScrollBar_->VisibleMode()) {
    case sbNeverShowEx: visible = false; break;
    case sbAlwaysShowEx:
        visible = shownSetting;
        enabled = !fits;
        break;
    default:
        visible = shownSetting && !fits;
        enabled = !fits;
        break;
    }
    if (vertScrollBar_->ExtScrollBar()) {
        vertScrollBar_->SetExtScrollInfo(min, max, page, pos);
        visible = false;
    }
    SetVertScrollInfo(min, max, std::max(1, page), pos, visible, enabled);
    vertScrollBar_->SetOwnBarShown(visible);
}

void TCustomDBGridEx::UpdateHorzScrollBar()
{
    if (horzScrollBar_->ExtScrollBar()) {
        const int last = MaxLeftCol() - FixedCols();
        const int pos = last > 0 ? MulDiv(LeftCol() - FixedCols(), 127, last) : 0;
        horzScrollBar_->SetExtScrollInfo(0, last > 0 ? 127 : 0, VisibleColCount(), pos);
    }
    UpdateScrollRange();
}

void TCustomDBGridEx::ScrollBarAction(bool vertical, TScrollCode code, int pos)
{
    if (!vertical) {
        if (code == scTrack) {
            if (!horzScrollBar_->Tracking())
                return;
            code = scPosition;
        }
        TCustomGrid::ScrollBarAction(vertical, code, pos);
        return;
    }
    if (!AcquireFocus())
        return;
    TDataSet* ds = DataSet();
    if (!link_->Active() || !ds)
        return;
    const bool tracking = vertScrollBar_->Tracking();
    switch (code) {
    case scLineUp: link_->MoveBy(-link_->ActiveRecord() - 1); break;
    case scLineDown: link_->MoveBy(link_->RecordCount() - link_->ActiveRecord()); break;
    case scPageUp: link_->MoveBy(-GetVisibleDataRowCount()); break;
    case scPageDown: link_->MoveBy(GetVisibleDataRowCount()); break;
    case scTop: ds->First(); break;
    case scBottom: ds->Last(); break;
    case scTrack:
        if (!tracking)
            return;
        ignoreNextThumb_ = true;
        [[fallthrough]];
    case scPosition:
        if (code == scPosition && ignoreNextThumb_) {
            ignoreNextThumb_ = false;
            break;
        }
        if (sumList_->IsSequenced()) {
            if (pos <= 1)
                ds->First();
            else if (pos >= sumList_->GetRecordCount())
                ds->Last();
            else if (code == scTrack)
                ds->MoveBy(pos - sumList_->GetRecNo());
            else
                sumList_->SetRecNo(pos);
        } else {
            switch (pos) {
            case 0: ds->First(); break;
            case 1: link_->MoveBy(-GetVisibleDataRowCount()); break;
            case 3: link_->MoveBy(GetVisibleDataRowCount()); break;
            case 4: ds->Last(); break;
            default: break;
            }
        }
        break;
    default: break;
    }
    UpdateVertScrollBar();
}

// ---- Footer values ------------------------------------------------------------------------------

QString TCustomDBGridEx::GetFooterValueText(int footerRow, TColumnEx& column)
{
    TColumnFooterEx& footer = column.GetFooterByIndex(footerRow);
    TDataSet* ds = DataSet();
    const TFormatSettings fs = ds ? ds->FormatSettings() : FormatSettings();
    switch (footer.ValueType()) {
    case fvtSum:
    case fvtAvg: {
        const QString name = footer.FieldName().isEmpty() ? column.FieldName() : footer.FieldName();
        TField* field = ds ? ds->FindField(name) : nullptr;
        if (!field)
            return QStringLiteral("0");
        const TDBSum* sum =
            sumList_->SumCollection().FindSum(footer.ValueType() == fvtSum ? goSum : goAvg, field->FieldName());
        if (!sum)
            return QStringLiteral("0");
        if (sum->Overflow())
            return QStringLiteral("Переполнение");
        const Currency v = sum->SumValue();
        switch (field->DataType()) {
        case ftSmallint:
        case ftInteger:
        case ftWord:
        case ftAutoInc:
        case ftLargeint:
            if (!footer.DisplayFormat().isEmpty())
                return FormatFloat(footer.DisplayFormat(), v.ToDouble(), fs);
            if (!field->DisplayFormat().isEmpty())
                return FormatFloat(field->DisplayFormat(), v.ToDouble(), fs);
            return IntToStr(v.ToInt64());
        case ftFloat:
        case ftCurrency:
            if (!footer.DisplayFormat().isEmpty())
                return FormatFloat(footer.DisplayFormat(), v.ToDouble(), fs);
            if (!field->DisplayFormat().isEmpty())
                return FormatFloat(field->DisplayFormat(), v.ToDouble(), fs);
            if (field->IsCurrency())
                return FloatToStrF(v.ToDouble(), ffCurrency, 15, fs.CurrencyDecimals, fs);
            return FloatToStrF(v.ToDouble(), ffGeneral, field->Precision(), 0, fs);
        case ftBCD:
            if (!footer.DisplayFormat().isEmpty())
                return FormatFloat(footer.DisplayFormat(), v.ToDouble(), fs);
            if (!field->DisplayFormat().isEmpty())
                return FormatCurr(field->DisplayFormat(), v, fs);
            if (field->IsCurrency())
                return FloatToStrF(v.ToDouble(), ffCurrency, 15, fs.CurrencyDecimals, fs);
            return CurrToStr(v, fs);
        default: return QStringLiteral("0");
        }
    }
    case fvtCount: {
        const TDBSum* sum = sumList_->SumCollection().FindSum(goCount, QString());
        if (footer.DBSum())
            sum = footer.DBSum();
        const double n = sum ? sum->SumValue().ToDouble() : 0.0;
        if (!footer.DisplayFormat().isEmpty())
            return FormatFloat(footer.DisplayFormat(), n, fs);
        return FloatToStr(n, fs);
    }
    case fvtFieldValue: {
        if (!ds || !ds->Active() || footer.FieldName().isEmpty())
            return QString();
        TField* field = ds->FindField(footer.FieldName());
        return field ? FormatFieldValue(*field, footer.DisplayFormat()) : QString();
    }
    case fvtStaticText: return footer.Value();
    default: return QString();
    }
}

// ---- Column widths ------------------------------------------------------------------------------

void TCustomDBGridEx::ShareAutoFitWidths()
{
    std::vector<TColumnEx*> vis = visibleColumns_.List();
    if (vis.empty())
        return;
    // The widths set here must not feed back into the shares.
    columns_->BeginUpdate();
    struct EndUpdate {
        TDBGridColumnsEx& c;
        ~EndUpdate() { c.EndUpdate(); }
    } end{*columns_};
    std::vector<bool> fitted(vis.size(), false);
    int sumSet = 0;
    int available = 0;
    for (std::size_t round = 0; round < vis.size(); ++round) {
        int fixed = 0;
        int weights = 0;
        for (std::size_t i = 0; i < vis.size(); ++i) {
            if (!vis[i]->AutoFitColWidth() || fitted[i])
                fixed += vis[i]->Width();
            else
                weights += vis[i]->AutoFitColWidthBase();
        }
        available = std::max(ClientWidth(), minAutoFitWidth_) - fixed;
        available = std::max(0, available);
        if (options_.Contains(dgIndicator))
            available -= kIndicatorWidth;
        if (options_.Contains(dgColLines))
            available -= int(vis.size());
        if (options_.Contains(dgIndicator) && options_.Contains(dgColLines))
            available -= 1;
        available = std::max(0, available);
        bool again = false;
        sumSet = 0;
        for (std::size_t i = 0; i < vis.size(); ++i) {
            if (!vis[i]->AutoFitColWidth() || fitted[i])
                continue;
            const int asked = weights > 0 ? MulDiv(vis[i]->AutoFitColWidthBase(), available, weights) : 0;
            const int base = vis[i]->AutoFitColWidthBase();
            vis[i]->SetWidth(asked);
            vis[i]->SetAutoFitColWidthBase(base);
            if (vis[i]->Width() != asked) {
                fitted[i] = true;
                again = true;
            }
            sumSet += vis[i]->Width();
        }
        if (!again)
            break;
        // Recount the widths set for the columns still shared.
        sumSet = 0;
        for (std::size_t i = 0; i < vis.size(); ++i)
            if (vis[i]->AutoFitColWidth() && !fitted[i])
                sumSet += vis[i]->Width();
    }
    if (sumSet != available)
        for (std::size_t i = vis.size(); i-- > 0;)
            if (vis[i]->AutoFitColWidth() && !fitted[i]) {
                const int base = vis[i]->AutoFitColWidthBase();
                vis[i]->SetWidth(std::max(0, vis[i]->Width() + available - sumSet));
                vis[i]->SetAutoFitColWidthBase(base);
                break;
            }
}

void TCustomDBGridEx::ColWidthsChanged()
{
    if (!link_->Active() && columns_->State() != csCustomized) {
        if (OnColWidthsChanged)
            OnColWidthsChanged(*this);
        return;
    }
    stFilter_->BeginUpdate();
    try {
        if (layoutLock_ == 0 && updateLock_ == 0 && !inLayout_) {
            BeginLayout();
            try {
                for (int i = 0; i < columns_->Count(); ++i) {
                    const int gc = DataColToGridCol(i);
                    if (columns_->Items(i)->Visible())
                        SetColWidths(gc, columns_->Items(i)->LimitWidth(ColWidths(gc)));
                }
                const std::vector<TColumnEx*> vis = visibleColumns_.List();
                for (std::size_t k = 0; k < vis.size(); ++k) {
                    TColumnEx* c = vis[k];
                    const int gw = ColWidths(DataColToGridCol(c->Index()));
                    if (!autoFitColWidths_) {
                        c->SetWidth(gw);
                        continue;
                    }
                    if (gw == c->Width())
                        continue;
                    if (!optionsEx_.Contains(dghResizeWholeRightPart)) {
                        if (c->AutoFitColWidth()) {
                            const int oldBase = c->AutoFitColWidthBase();
                            const int newBase = c->Width() != 0 ? MulDiv(gw, oldBase, c->Width()) : gw;
                            c->SetAutoFitColWidthBase(newBase);
                            if (k + 1 < vis.size())
                                vis[k + 1]->SetAutoFitColWidthBase(
                                    std::max(0, vis[k + 1]->AutoFitColWidthBase() + oldBase - newBase));
                        } else
                            c->SetWidth(gw);
                    } else {
                        const int d = gw - c->Width();
                        if (c->AutoFitColWidth())
                            c->SetAutoFitColWidthBase(
                                c->Width() != 0 ? MulDiv(gw, c->AutoFitColWidthBase(), c->Width()) : gw);
                        else
                            c->SetWidth(gw);
                        int s = 0;
                        for (std::size_t j = k + 1; j < vis.size(); ++j)
                            if (vis[j]->AutoFitColWidth())
                                s += vis[j]->Width();
                        if (s > 0)
                            for (std::size_t j = k + 1; j < vis.size(); ++j)
                                if (vis[j]->AutoFitColWidth())
                                    vis[j]->SetAutoFitColWidthBase(
                                        std::max(1, MulDiv(s - d, vis[j]->AutoFitColWidthBase(), s)));
                    }
                }
            } catch (...) {
                EndLayout();
                throw;
            }
            EndLayout();
        } else {
            UpdateEditors();
            if (OnColWidthsChanged)
                OnColWidthsChanged(*this);
            UpdateHorzScrollBar();
        }
    } catch (...) {
        stFilter_->EndUpdate();
        throw;
    }
    stFilter_->EndUpdate();
    if (OnColWidthsChanged)
        OnColWidthsChanged(*this);
}

void TCustomDBGridEx::OptimizeSelectedColsWidth(TColumnEx* column)
{
    std::vector<TColumnEx*> list;
    if (selection_->SelectionType() == gstColumns)
        list = selection_->Columns().List();
    else if (selection_->SelectionType() == gstAll)
        for (int i = 0; i < columns_->Count(); ++i)
            list.push_back(columns_->Items(i));
    if (column && std::find(list.begin(), list.end(), column) == list.end())
        list.push_back(column);
    OptimizeColsWidth(list);
}

void TCustomDBGridEx::OptimizeColsWidth(const std::vector<TColumnEx*>& columns)
{
    if (columns.empty())
        return;
    TCanvas canvas;
    std::vector<int> widths(columns.size(), 0);
    const bool multiLineTitle = useMultiTitle_ || titleHeight_ != 0 || titleLines_ != 0;
    for (std::size_t i = 0; i < columns.size(); ++i) {
        TColumnEx* c = columns[i];
        const int sortW = c->Title().SortMarkingWidth();
        int margin = sortW + 2 > 2 ? sortW + 2 : 4;
        int w;
        if (titleImages_ && c->Title().ImageIndex() != -1)
            w = margin + titleImages_->Width();
        else {
            canvas.SetFont(c->Title().Font());
            QString caption = c->Title().Caption();
            if (THeadTreeNode* leaf = LeafOf(c->Index()))
                caption = leaf->Text;
            if (c->Title().Orientation() == tohVertical)
                w = margin + canvas.TextHeight(caption);
            else if (multiLineTitle) {
                TRect r(0, 0, std::max(1, c->Width() - margin), titleRowHeight_);
                canvas.DrawText(caption, r, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
                w = r.Width() + margin;
            } else
                w = canvas.TextWidth(caption) + margin;
        }
        widths[i] = w;
    }
    TDataSet* ds = DataSet();
    if (link_->Active() && ds) {
        ds->DisableControls();
        const TBookmark saved = ds->GetBookmark();
        try {
            ds->First();
            int n = 0;
            const int total = ds->RecordCount();
            while (!ds->Eof()) {
                for (std::size_t i = 0; i < columns.size(); ++i) {
                    TColumnEx* c = columns[i];
                    int w = 4;
                    if (c->AlwaysShowEditButton())
                        w += editButtonWidth_;
                    const TColumnTypeEx kind = c->GetColumnType();
                    if (kind == ctKeyImageList && c->ImageList())
                        w = std::max(w, c->ImageList()->Width() + 4);
                    else if (kind == ctCheckboxes)
                        w = std::max(w, DefaultCheckBoxWidth() + 4);
                    else {
                        TColCellParamsEx p;
                        c->FillCellParams(p);
                        canvas.SetFont(p.Font);
                        if (c->WordWrap() && multiLineRows_) {
                            TRect r(0, 0, std::max(1, c->Width()), DefaultRowHeight());
                            canvas.DrawText(p.Text, r, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
                            w = std::max(w, r.Width() + 4);
                        } else
                            w = std::max(w, canvas.TextWidth(p.Text) + 4);
                    }
                    widths[i] = std::max(widths[i], w);
                }
                ++n;
                if (sumList_->IsSequenced() && n >= total)
                    break;
                ds->Next();
            }
        } catch (...) {
            if (ds->BookmarkValid(saved))
                ds->GotoBookmark(saved);
            ds->EnableControls();
            throw;
        }
        if (ds->BookmarkValid(saved))
            ds->GotoBookmark(saved);
        ds->EnableControls();
    }
    for (int fr = 0; fr < footerRowCount_; ++fr)
        for (std::size_t i = 0; i < columns.size(); ++i) {
            TColumnEx* c = columns[i];
            TColumnFooterEx& f = c->GetFooterByIndex(fr);
            QString text = GetFooterValueText(fr, *c);
            TFont font;
            font.Assign(f.Font());
            TColor bg = f.Color();
            TAlignment al = f.Alignment();
            if (OnGetFooterParams)
                OnGetFooterParams(*this, c->Index(), fr, *c, font, bg, al, 0, text);
            canvas.SetFont(font);
            widths[i] = std::max(widths[i], canvas.TextWidth(text) + 5);
        }
    if (!autoFitColWidths_)
        BeginLayout();
    try {
        for (std::size_t i = 0; i < columns.size(); ++i)
            columns[i]->SetWidth(widths[i]);
    } catch (...) {
        if (!autoFitColWidths_)
            EndLayout();
        throw;
    }
    if (!autoFitColWidths_)
        EndLayout();
}
