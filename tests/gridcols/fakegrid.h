// A grid stand-in for the column, footer, selection and style tests: it owns the parts a grid
// owns, answers IDBGridEx from plain fields and counts what it is asked to repaint or lay out.
#pragma once

#include "grid/dbgridexcolumns.h"
#include "grid/dbgridexdataservice.h"
#include "grid/dbgridexfooters.h"
#include "grid/dbgridexselection.h"
#include "grid/gridlink.h"

#include "platform/datasource.h"
#include "platform/memdataset.h"

#include <QStringList>
#include <map>
#include <memory>

class FakeGrid : public IDBGridEx, public TGridDataLinkClient {
public:
    FakeGrid()
    {
        titleFont.SetName("Liberation Serif");
        footerFont.SetName("Liberation Mono");
        columns = std::make_unique<TDBGridColumnsEx>(this);
    }
    ~FakeGrid() override
    {
        destroying = true;
        columns.reset();
    }

    // ---- settings the tests change
    TFont font;
    TFont titleFont;
    TFont footerFont;
    TColor color = clWindow;
    TColor footerColor = clWindow;
    TColor fixedColor = clBtnFace;
    int defaultColWidth = 64;
    bool readOnly = false;
    bool drawMemoText = false;
    bool useMultiTitle = false;
    bool autoFit = false;
    TDBGridOptions options{dgTitles, dgIndicator, dgColLines, dgRowLines};
    TDBGridExOptions optionsEx;
    TDBGridExAllowedOperations allowed{alopInsertEx, alopUpdateEx, alopDeleteEx, alopAppendEx};
    bool loading = false;
    bool destroying = false;
    bool focused = true;
    bool layoutFromDataSet = false;
    bool editorVisible = false;
    QString editorText;
    bool editorModified = false;
    int selectedIndex = 0;
    int rowCount = 20;
    std::map<int, int> widths;

    // ---- what the tests observe
    int layouts = 0;
    int invalidates = 0;
    int footerInvalidates = 0;
    int editorUpdates = 0;
    int filterEditHides = 0;
    QStringList calls;
    std::vector<TRect> invalidatedRects;

    // ---- owned parts
    TDBGridExColumnDefValuesEx defValues{this};
    TGridDataLinkEx link{this};
    TDBGridExSumList sumList{this};
    TBookmarkListEx bookmarks{this};
    TDBGridExSelection selection{this};
    TSTDBGridExFilter stFilter{this};
    TColumnsExList sortMarked;
    TColumnsExList visible;
    std::unique_ptr<TDBGridColumnsEx> columns;

    // ---- IDBGridEx
    const TFont& Font() const override { return font; }
    TColor Color() const override { return color; }
    const TFont& TitleFont() const override { return titleFont; }
    const TFont& FooterFont() const override { return footerFont; }
    TColor FooterColor() const override { return footerColor; }
    TColor FixedColor() const override { return fixedColor; }
    int DefaultColWidth() const override { return defaultColWidth; }
    bool ReadOnly() const override { return readOnly; }
    bool DrawMemoText() const override { return drawMemoText; }
    bool UseMultiTitle() const override { return useMultiTitle; }
    bool AutoFitColWidths() const override { return autoFit; }
    TDBGridOptions Options() const override { return options; }
    TDBGridExOptions OptionsEx() const override { return optionsEx; }
    TDBGridExAllowedOperations AllowedOperations() const override { return allowed; }
    TDBGridExColumnDefValuesEx& ColumnDefValues() override { return defValues; }
    TDBGridColumnsEx& Columns() override { return *columns; }
    TGridDataLinkEx& DataLink() override { return link; }
    TDBGridExSumList& SumList() override { return sumList; }
    TDBGridExSelection& Selection() override { return selection; }
    TBookmarkListEx& SelectedRows() override { return bookmarks; }
    TSTDBGridExFilter& STFilter() override { return stFilter; }
    TColumnsExList& SortMarkedColumns() override { return sortMarked; }
    const TColumnsExList& VisibleColumns() const override { return visible; }
    bool IsLoading() const override { return loading; }
    bool IsDesigning() const override { return false; }
    bool IsDestroying() const override { return destroying; }
    bool HasWindow() const override { return true; }
    bool Focused() const override { return focused; }
    bool LayoutFromDataSet() const override { return layoutFromDataSet; }
    void SetLayoutFromDataSet(bool value) override { layoutFromDataSet = value; }
    void BeginLayout() override { ++layoutLock; }
    void EndLayout() override
    {
        if (--layoutLock == 0)
            LayoutChanged();
    }
    void LayoutChanged() override
    {
        if (layoutLock > 0)
            return;
        ++layouts;
        visible.Clear();
        for (int i = 0; i < columns->Count(); ++i) {
            TColumnEx* c = columns->Items(i);
            if (c->Visible())
                visible.Add(c);
            widths[IndicatorOffset() + i] = c->Visible() ? c->Width() : -1;
        }
    }
    bool InLayout() const override { return layoutLock > 0; }
    void LayoutTitles() override { calls << "LayoutTitles"; }
    int IndicatorOffset() const override { return options.Contains(dgIndicator) ? 1 : 0; }
    int TopDataOffset() const override { return options.Contains(dgTitles) ? 1 : 0; }
    int ColCount() const override { return IndicatorOffset() + columns->Count(); }
    int RowCount() const override { return rowCount; }
    int FooterRowCount() const override { return 1; }
    int ColWidth(int gridCol) const override
    {
        const auto it = widths.find(gridCol);
        return it == widths.end() ? 64 : it->second;
    }
    void SetColWidth(int gridCol, int width) override
    {
        widths[gridCol] = width;
        calls << QString("SetColWidth %1 %2").arg(gridCol).arg(width);
    }
    // 20-pixel rows, 50-pixel columns.
    TRect CellRect(int gridCol, int gridRow) const override
    {
        return TRect(gridCol * 50, gridRow * 20, gridCol * 50 + 50, gridRow * 20 + 20);
    }
    int SelectedIndex() const override { return selectedIndex; }
    void SetSelectedIndex(int index) override { selectedIndex = index; }
    void Invalidate() override { ++invalidates; }
    void InvalidateCol(int gridCol) override { calls << QString("InvalidateCol %1").arg(gridCol); }
    void InvalidateRow(int gridRow) override { calls << QString("InvalidateRow %1").arg(gridRow); }
    void InvalidateCell(int gridCol, int gridRow) override { calls << QString("InvalidateCell %1 %2").arg(gridCol).arg(gridRow); }
    void InvalidateRect(const TRect& rect) override { invalidatedRects.push_back(rect); }
    void InvalidateFooter() override { ++footerInvalidates; }
    bool EditorVisible() const override { return editorVisible; }
    QString EditorText() const override { return editorText; }
    bool EditorModified() const override { return editorModified; }
    void ShowEditor() override { calls << "ShowEditor"; }
    void HideEditor() override { calls << "HideEditor"; }
    bool EditorAlwaysShown() const override { return options.Contains(dgAlwaysShowEditor); }
    void UpdateEditors() override { ++editorUpdates; }
    void HideFilterEdit() override
    {
        ++filterEditHides;
        calls << QString("HideFilterEdit visible=%1").arg(stFilter.Visible());
    }

    // ---- TGridDataLinkClient
    void LinkActive(bool value) override { selection.LinkActive(value); }
    void DataChanged() override {}
    void Scroll(int) override {}
    TField* SelectedField() const override { return nullptr; }
    void SetSelectedField(TField*) override {}
    bool AcquireFocus() override { return true; }
    void EditingChanged() override {}
    void RecordChanged(TField*) override {}
    void UpdateData() override {}

    int layoutLock = 0;
};

// A grid over an open in-memory table: ID integer, NAME string(10), FLAG boolean, AMOUNT float;
// ten records with ID 1..10.
class GridFixture {
public:
    GridFixture()
    {
        ds.AddField(ftInteger, "ID");
        ds.AddField(ftString, "NAME", 10);
        ds.AddField(ftBoolean, "FLAG");
        ds.AddField(ftFloat, "AMOUNT");
        ds.Open();
        for (int i = 1; i <= 10; ++i)
            ds.AppendRecord({i, QString("n%1").arg(i), i % 2 == 0, i * 1.5});
        ds.First();
        grid.link.SetBufferCount(5);
        grid.link.SetDataSource(&source);
    }
    ~GridFixture() { grid.link.SetDataSource(nullptr); }

    TColumnEx* AddColumn(const QString& fieldName)
    {
        TColumnEx* c = grid.columns->Add();
        c->SetFieldName(fieldName);
        return c;
    }

    TMemDataSet ds;
    TDataSource source{&ds};
    FakeGrid grid;
};
