#include "grid/dblookupgridsex.h"

#include "grid/gridstyle.h"

#include "platform/application.h"
#include "platform/canvas.h"
#include "platform/frames.h"
#include "platform/text.h"

#include <QElapsedTimer>
#include <QScrollBar>
#include <algorithm>

namespace {

bool IsStringType(TFieldType t)
{
    return t == ftString || t == ftWideString || t == ftFixedChar || t == ftMemo || t == ftFmtMemo;
}

Variant ValuesOf(const std::vector<TField*>& fields)
{
    if (fields.empty())
        return Variant::Null();
    if (fields.size() == 1)
        return fields.front()->Value();
    std::vector<Variant> values;
    for (TField* f : fields)
        values.push_back(f->Value());
    return VarArrayOf(std::move(values));
}

QString JoinNames(const std::vector<TField*>& fields)
{
    QStringList names;
    for (TField* f : fields)
        names << f->FieldName();
    return names.join(QLatin1Char(';'));
}

[[noreturn]] void RaiseLookupDefined()
{
    throw EDatabaseError(QStringLiteral("Property already defined by lookup field"));
}

} // namespace

// ---- TSpecRowEx -------------------------------------------------------------------------------

TSpecRowEx::TSpecRowEx(IDBGridEx* owner) : owner_(owner) {}

void TSpecRowEx::Assign(const TSpecRowEx& source)
{
    if (&source == this)
        return;
    cellsText_ = source.cellsText_;
    cells_ = source.cells_;
    color_ = source.color_;
    colorAssigned_ = source.colorAssigned_;
    font_.Assign(source.font_);
    fontAssigned_ = source.fontAssigned_;
    shortCut_ = source.shortCut_;
    showIfNotInKeyList_ = source.showIfNotInKeyList_;
    value_ = source.value_;
    visible_ = source.visible_;
    Changed();
}

QStringList TSpecRowEx::SplitCellsText(const QString& text)
{
    QStringList out;
    const int n = int(text.size());
    int i = 0;
    auto skipControls = [&] {
        while (i < n && text.at(i).unicode() < 32)
            ++i;
    };
    skipControls();
    while (i < n) {
        QString part;
        if (text.at(i) == QLatin1Char('"')) {
            part = ReadQuotedItem(text, i, QLatin1Char('"'));
            // Anything between the closing quote and the separator is dropped.
            while (i < n && text.at(i) != QLatin1Char(';') && text.at(i).unicode() >= 32)
                ++i;
        } else {
            while (i < n && text.at(i) != QLatin1Char(';') && text.at(i).unicode() >= 32)
                part += text.at(i++);
        }
        out << part;
        if (i < n && text.at(i) == QLatin1Char(';'))
            ++i;
        skipControls();
    }
    return out;
}

void TSpecRowEx::SetCellsText(const QString& value)
{
    cellsText_ = value;
    cells_ = SplitCellsText(value);
    Changed();
}

QString TSpecRowEx::CellText(int index) const
{
    return index >= 0 && index < cells_.size() ? cells_.at(index) : QString();
}

TColor TSpecRowEx::Color() const
{
    if (colorAssigned_ || !owner_)
        return color_;
    return owner_->Color();
}

void TSpecRowEx::SetColor(TColor value)
{
    color_ = value;
    colorAssigned_ = true;
    Changed();
}

const TFont& TSpecRowEx::Font() const
{
    if (!fontAssigned_ && owner_)
        font_.Assign(owner_->Font());
    return font_;
}

void TSpecRowEx::SetFont(const TFont& value)
{
    font_.Assign(value);
    fontAssigned_ = true;
    Changed();
}

void TSpecRowEx::SetShowIfNotInKeyList(bool value)
{
    if (showIfNotInKeyList_ == value)
        return;
    showIfNotInKeyList_ = value;
    Changed();
}

void TSpecRowEx::SetValue(const Variant& value)
{
    value_ = value;
    Changed();
}

void TSpecRowEx::SetVisible(bool value)
{
    if (visible_ == value)
        return;
    visible_ = value;
    Changed();
}

void TSpecRowEx::Changed()
{
    if (OnChanged)
        OnChanged();
}

// ---- Special-row cells of the columns ---------------------------------------------------------

TSpecRowEx* TGridColumnSpecCellEx::SpecRow() const
{
    TDBLookupGridEx* grid = column_.LookupGrid();
    return grid ? &grid->SpecRow() : nullptr;
}

QString TGridColumnSpecCellEx::Text() const
{
    if (textAssigned_)
        return text_;
    const TSpecRowEx* row = SpecRow();
    return row ? row->CellText(column_.Index()) : QString();
}

void TGridColumnSpecCellEx::SetText(const QString& value)
{
    text_ = value;
    textAssigned_ = true;
    Changed();
}

TColor TGridColumnSpecCellEx::Color() const
{
    if (colorAssigned_)
        return color_;
    const TSpecRowEx* row = SpecRow();
    return row ? row->Color() : clWindow;
}

void TGridColumnSpecCellEx::SetColor(TColor value)
{
    color_ = value;
    colorAssigned_ = true;
    Changed();
}

const TFont& TGridColumnSpecCellEx::Font() const
{
    if (!fontAssigned_)
        if (const TSpecRowEx* row = SpecRow())
            return row->Font();
    return font_;
}

void TGridColumnSpecCellEx::SetFont(const TFont& value)
{
    font_.Assign(value);
    fontAssigned_ = true;
    Changed();
}

void TGridColumnSpecCellEx::Assign(const TGridColumnSpecCellEx& source)
{
    text_ = source.text_;
    textAssigned_ = source.textAssigned_;
    color_ = source.color_;
    colorAssigned_ = source.colorAssigned_;
    font_.Assign(source.font_);
    fontAssigned_ = source.fontAssigned_;
    Changed();
}

void TGridColumnSpecCellEx::Changed()
{
    if (TDBLookupGridEx* grid = column_.LookupGrid())
        grid->KeyValueChanged();
}

TDBLookupGridColumnEx::TDBLookupGridColumnEx(TDBGridColumnsEx* columns)
    : TDBGridColumnEx(columns), specCell_(std::make_unique<TGridColumnSpecCellEx>(*this))
{
}

TDBLookupGridColumnEx::~TDBLookupGridColumnEx() = default;

TDBLookupGridEx* TDBLookupGridColumnEx::LookupGrid() const { return dynamic_cast<TDBLookupGridEx*>(Grid()); }

void TDBLookupGridColumnEx::SetIndex(int index)
{
    const int from = Index();
    TDBLookupGridEx* grid = LookupGrid();
    QStringList texts;
    if (grid && Collection())
        for (int i = 0; i < Collection()->Count(); ++i)
            texts << grid->SpecRow().CellText(i);
    TDBGridColumnEx::SetIndex(index);
    const int to = Index();
    if (grid && from >= 0 && to != from)
        grid->ListColumnMoved(from, to, std::move(texts));
}

void TDBLookupGridColumnEx::Assign(const TCollectionItem& source)
{
    TDBGridColumnEx::Assign(source);
    if (const auto* column = dynamic_cast<const TDBLookupGridColumnEx*>(&source))
        specCell_->Assign(*column->specCell_);
}

// ---- TDBLookupGridEx --------------------------------------------------------------------------

// Marks the row whose key equals the key value, whatever the focus.
class TDBLookupGridEx::MarkStyle : public TDBGridExStyle {
public:
    explicit MarkStyle(TDBLookupGridEx& grid) : grid_(grid) {}

    bool HighlightDataCell(IDBGridEx&, const TDataCellHighlightArgs&, TColor& background, TFont& font) override
    {
        if (grid_.specRowSelected_ || !grid_.listActive_ || VarIsNull(grid_.keyValue_))
            return false;
        if (!VarValuesEqual(ValuesOf(grid_.keyFields_), grid_.keyValue_))
            return false;
        background = clHighlight;
        font.SetColor(clHighlightText);
        return true;
    }

private:
    TDBLookupGridEx& grid_;
};

TDBLookupGridEx::TDBLookupGridEx(QWidget* parent) : TCustomDBGridEx(parent)
{
    ReplaceColumns(std::make_unique<TDBLookupGridColumnsEx>(this));
    specRow_ = std::make_unique<TSpecRowEx>(this);
    markStyle_ = std::make_unique<MarkStyle>(*this);
    SetStyle(markStyle_.get());
    SetOptions(TDBGridOptions{dgColLines, dgRowSelect});
    SetOptionsEx(TDBGridExOptions{});
    SetFlat(true);
    SetDrawMemoText(true);
    SetVTitleMargin(5);
    setFocusPolicy(Qt::ClickFocus);
    Clock = [] {
        static QElapsedTimer timer;
        if (!timer.isValid())
            timer.start();
        return timer.elapsed();
    };
    dataLink_.OnDataChange = [this] { DataLinkChanged(); };
    dataLink_.OnActiveChange = [this] { UpdateDataFields(); };
    specRow_->OnChanged = [this] {
        LayoutChanged();
        FitHeight();
        KeyValueChanged();
    };
    TCustomDBGridEx::SetDataSource(&listDataSource_);
}

TDBLookupGridEx::~TDBLookupGridEx()
{
    // Nothing relinks while the grid goes (a bad field name must not raise from here).
    inRelink_ = true;
    specRow_->OnChanged = nullptr;
    dataLink_.OnDataChange = nullptr;
    dataLink_.OnActiveChange = nullptr;
    dataLink_.SetDataSource(nullptr);
    TCustomDBGridEx::SetDataSource(nullptr);
    SetStyle(nullptr);
}

void TDBLookupGridEx::CheckNotLookupMode() const
{
    if (lookupMode_)
        RaiseLookupDefined();
}

void TDBLookupGridEx::SetDataSource(TDataSource* source)
{
    if (source == dataLink_.DataSource())
        return;
    dataLink_.SetDataSource(source);
    UpdateDataFields();
}

void TDBLookupGridEx::SetDataField(const QString& name)
{
    if (name == dataLink_.FieldName())
        return;
    dataLink_.SetFieldName(name);
    UpdateDataFields();
}

void TDBLookupGridEx::SetListSource(TDataSource* source)
{
    CheckNotLookupMode();
    listSource_ = source;
    listDataSource_.SetDataSet(source ? source->DataSet() : nullptr);
    UpdateListFields();
}

void TDBLookupGridEx::SetKeyField(const QString& names)
{
    CheckNotLookupMode();
    if (keyFieldNames_ == names)
        return;
    keyFieldNames_ = names;
    UpdateListFields();
}

void TDBLookupGridEx::SetListField(const QString& names)
{
    CheckNotLookupMode();
    if (listFieldNames_ == names)
        return;
    listFieldNames_ = names;
    UpdateListFields();
}

void TDBLookupGridEx::SetListFieldIndex(int index)
{
    if (listFieldIndex_ == index)
        return;
    listFieldIndex_ = index;
    UpdateListFields();
}

void TDBLookupGridEx::SetKeyValue(const Variant& value)
{
    if (VarValuesEqual(keyValue_, value) && keyValue_.Type() == value.Type())
        return;
    keyValue_ = value;
    KeyValueChanged();
}

void TDBLookupGridEx::SetLookupOptions(TDBLookupGridExOptions value)
{
    lookupOptions_ = value;
    TDBGridOptions o = Options();
    auto apply = [&](TDBLookupGridExOption lo, TDBGridOption go) {
        if (value.Contains(lo))
            o.Include(go);
        else
            o.Exclude(go);
    };
    apply(dlgColumnResizeEx, dgColumnResize);
    apply(dlgColLinesEx, dgColLines);
    apply(dlgRowLinesEx, dgRowLines);
    SetOptions(o);
    TDBGridExOptions ox = OptionsEx();
    value.Contains(dlgAutoSortMarkingEx) ? ox.Include(dghAutoSortMarking) : ox.Exclude(dghAutoSortMarking);
    value.Contains(dlgMultiSortMarkingEx) ? ox.Include(dghMultiSortMarking) : ox.Exclude(dghMultiSortMarking);
    SetOptionsEx(ox);
    FitHeight();
}

void TDBLookupGridEx::SetShowTitles(bool value)
{
    TDBGridOptions o = Options();
    value ? o.Include(dgTitles) : o.Exclude(dgTitles);
    SetOptions(o);
    FitHeight();
}

int TDBLookupGridEx::GetFilterRowCount() const
{
    // The special row takes the slot between the titles and the data.
    return specRow_ && specRow_->Visible() ? 1 : 0;
}

// ---- Relinking

void TDBLookupGridEx::UpdateDataFields()
{
    lookupMode_ = false;
    dataFields_.clear();
    TField* f = dataLink_.Field();
    if (dataLink_.Active() && f && f->Lookup() && dataLink_.Fields().size() == 1 && f->DataSet()) {
        lookupMode_ = true;
        GetFieldsByNames(*f->DataSet(), f->KeyFields(), dataFields_);
        listDataSource_.SetDataSet(f->LookupDataSet());
        keyFieldNames_ = f->LookupKeyFields();
    } else {
        dataFields_ = dataLink_.Fields();
        listDataSource_.SetDataSet(listSource_ ? listSource_->DataSet() : nullptr);
    }
    dataFieldNames_ = JoinNames(dataFields_);
    UpdateListFields();
    DataLinkChanged();
}

void TDBLookupGridEx::UpdateListFields()
{
    listActive_ = false;
    keyFields_.clear();
    listFields_.clear();
    listField_ = nullptr;
    TDataSet* ds = ListDataSet();
    if (ds && ds->Active() && !keyFieldNames_.isEmpty()) {
        GetFieldsByNames(*ds, keyFieldNames_, keyFields_);
        if (!listFieldNames_.isEmpty())
            GetFieldsByNames(*ds, listFieldNames_, listFields_);
        if (lookupMode_ && dataLink_.Field()) {
            TField* result = ds->FieldByName(dataLink_.Field()->LookupResultField());
            if (std::find(listFields_.begin(), listFields_.end(), result) == listFields_.end())
                listFields_.insert(listFields_.begin(), result);
            listField_ = result;
        } else {
            if (listFields_.empty())
                listFields_ = keyFields_;
            const int index = listFieldIndex_ >= 0 && listFieldIndex_ < int(listFields_.size()) ? listFieldIndex_ : 0;
            listField_ = listFields_[std::size_t(index)];
        }
        listActive_ = true;
    }
    BuildColumns();
    KeyValueChanged();
}

void TDBLookupGridEx::BuildColumns()
{
    BeginLayout();
    try {
        Columns().Clear();
        for (TField* f : listFields_)
            Columns().Add()->SetFieldName(f->FieldName());
    } catch (...) {
        EndLayout();
        throw;
    }
    EndLayout();
    FitHeight();
}

void TDBLookupGridEx::DataLinkChanged()
{
    if (!dataLink_.DataSource())
        return;
    SetKeyValue(dataLink_.Active() ? ValuesOf(dataFields_) : Variant::Null());
}

// ---- Key value

Variant TDBLookupGridEx::CurrentListKey() const
{
    TDataSet* ds = ListDataSet();
    if (!listActive_ || !ds || ds->IsEmpty())
        return Variant::Null();
    return ValuesOf(keyFields_);
}

bool TDBLookupGridEx::LocateKey()
{
    TDataSet* ds = ListDataSet();
    if (VarIsNull(keyValue_) || VarIsEmpty(keyValue_) || !ds || !ds->Active() || keyFields_.empty())
        return false;
    try {
        return ds->Locate(keyFieldNames_, keyValue_);
    } catch (const EConvertError&) {
        // A key of another type than the key field matches no record.
        return false;
    }
}

void TDBLookupGridEx::KeyValueChanged()
{
    if (inKeyValueChanged_)
        return;
    inKeyValueChanged_ = true;
    try {
        bool located = false;
        bool tried = false;
        specRowSelected_ = false;
        if (specRow_->Visible()) {
            specRowSelected_ = VarValuesEqual(keyValue_, specRow_->Value()) && !VarIsEmpty(keyValue_);
            if (!specRowSelected_ && specRow_->ShowIfNotInKeyList() && !Locked()) {
                located = LocateKey();
                tried = true;
                specRowSelected_ = !located;
            }
        }
        TDataSet* ds = ListDataSet();
        if (listActive_ && !Locked()) {
            if (!tried && !specRowSelected_)
                located = LocateKey();
            if (!located && !specRowSelected_)
                ds->First();
        } else if (listActive_) {
            located = VarValuesEqual(CurrentListKey(), keyValue_);
        }
        if (specRowSelected_) {
            const int col = int(std::find(listFields_.begin(), listFields_.end(), listField_) - listFields_.begin());
            selectedText_ = SpecCellText(listField_ ? col : 0);
        } else if (located && listField_) {
            selectedText_ = listField_->DisplayText();
        } else {
            // A key outside the list selects no record, so no record's text is shown.
            selectedText_.clear();
        }
    } catch (...) {
        inKeyValueChanged_ = false;
        throw;
    }
    inKeyValueChanged_ = false;
    Invalidate();
    if (OnKeyValueChange)
        OnKeyValueChange(*this);
}

bool TDBLookupGridEx::CanModifyKey() const
{
    if (!listActive_ || ReadOnly())
        return false;
    if (!dataLink_.DataSource())
        return true;
    if (dataFields_.empty() || dataLink_.ReadOnly())
        return false;
    return std::all_of(dataFields_.begin(), dataFields_.end(), [](TField* f) { return f->CanModify(); });
}

void TDBLookupGridEx::SelectKeyValue(const Variant& value)
{
    if (dataFields_.empty()) {
        SetKeyValue(value);
    } else if (TDataSet* ds = dataLink_.DataSet(); ds && dataLink_.Edit()) {
        AssignFieldValues(*ds, dataFieldNames_, value);
        SetKeyValue(value);
    }
    RefreshDisplay();
}

void TDBLookupGridEx::RefreshDisplay() { Invalidate(); }

void TDBLookupGridEx::ProcessSearchKey(QChar ch)
{
    TDataSet* ds = ListDataSet();
    if (!listField_ || !ds || !IsStringType(listField_->DataType()) || listField_->FieldKind() == fkLookup)
        return;
    if (ch == QChar(8) || ch == QChar(27)) {
        searchText_.clear();
        return;
    }
    if (ch.unicode() < 32 || !CanModifyKey())
        return;
    const qint64 now = Clock ? Clock() : 0;
    if (now - lastSearchKey_ > kSearchTimeout)
        searchText_.clear();
    lastSearchKey_ = now;
    if (searchText_.size() >= 32)
        return;
    const QString text = searchText_ + ch;
    if (ds->Locate(listField_->FieldName(), Variant(text), loCaseInsensitive | loPartialKey)) {
        SelectKeyValue(CurrentListKey());
        searchText_ = text;
    }
}

// ---- Choosing

void TDBLookupGridEx::SelectSpecRow()
{
    SelectKeyValue(specRow_->Value());
    if (TDataSet* ds = ListDataSet(); ds && ds->Active())
        ds->First();
    specRowSelected_ = true;
    Invalidate();
}

void TDBLookupGridEx::SelectRow(int dataRow)
{
    TGridDataLinkEx& link = DataLink();
    if (!listActive_ || dataRow < 0 || dataRow >= link.RecordCount())
        return;
    link.MoveBy(dataRow - link.ActiveRecord());
    const Variant key = CurrentListKey();
    if (specRowSelected_ || !VarValuesEqual(key, keyValue_))
        SelectKeyValue(key);
}

void TDBLookupGridEx::MoveSelection(int distance)
{
    TDataSet* ds = ListDataSet();
    if (!listActive_ || !ds || ds->IsEmpty() || distance == 0)
        return;
    const bool spec = specRow_->Visible();
    if (spec && specRowSelected_) {
        if (distance < 0)
            return;
        ds->First();
        ds->MoveBy(distance - 1);
        SelectKeyValue(CurrentListKey());
        return;
    }
    const bool onSelected = LocateKey();
    if (!onSelected) {
        // Not among the records: start from the top of the view.
        TGridDataLinkEx& link = DataLink();
        link.MoveBy(-link.ActiveRecord());
        if (distance > 0)
            --distance;
    } else if (spec && distance < 0 && ds->RecNo() == 1) {
        SelectSpecRow();
        return;
    }
    ds->MoveBy(distance);
    SelectKeyValue(CurrentListKey());
}

void TDBLookupGridEx::KeyDown(int& key, TShiftState shift)
{
    if (CanModifyKey() && (shift & (ssCtrl | ssAlt)) == 0) {
        const int page = std::max(1, GetVisibleDataRowCount() - 1);
        TDataSet* ds = ListDataSet();
        int handled = true;
        switch (key) {
        case VK_UP: MoveSelection(-1); break;
        case VK_DOWN: MoveSelection(1); break;
        case VK_LEFT:
        case VK_RIGHT:
            if (!Options().Contains(dgRowSelect)) {
                handled = false;
                break;
            }
            MoveSelection(key == VK_LEFT ? -1 : 1);
            break;
        case VK_PRIOR: MoveSelection(-page); break;
        case VK_NEXT: MoveSelection(page); break;
        case VK_HOME:
            ds->First();
            SelectKeyValue(CurrentListKey());
            break;
        case VK_END:
            ds->Last();
            SelectKeyValue(CurrentListKey());
            break;
        default: handled = false; break;
        }
        if (handled) {
            searchText_.clear();
            key = 0;
            return;
        }
    }
    TCustomDBGridEx::KeyDown(key, shift);
}

void TDBLookupGridEx::KeyPress(QChar& ch)
{
    ProcessSearchKey(ch);
    ch = QChar();
}

int TDBLookupGridEx::RowKindAt(int x, int y) const
{
    const TGridCoord c = MouseCoord(x, y);
    if (c.X < 0 || c.Y < 0)
        return -2;
    const TCellAreaEx a = GetCellType(c.X, c.Y);
    if (a.RowKind == carFilter && specRow_->Visible())
        return -1;
    if (a.RowKind == carData && a.AreaRow < const_cast<TDBLookupGridEx*>(this)->DataLink().RecordCount())
        return a.AreaRow;
    return -2;
}

void TDBLookupGridEx::MouseDown(Qt::MouseButton button, TShiftState shift, int x, int y, bool doubleClick)
{
    if (button == Qt::LeftButton && CanModifyKey()) {
        const int kind = RowKindAt(x, y);
        if (kind == -1 || kind >= 0) {
            searchText_.clear();
            if (kind == -1)
                SelectSpecRow();
            else
                SelectRow(kind);
            mouseSelecting_ = true;
            if (OnMouseDown)
                OnMouseDown(*this, button, shift, x, y);
            (void)doubleClick;
            return;
        }
    }
    TCustomDBGridEx::MouseDown(button, shift, x, y, doubleClick);
}

void TDBLookupGridEx::MouseMove(TShiftState shift, int x, int y)
{
    if (mouseSelecting_ && (shift & ssLeft)) {
        const int top = RowTop(TopDataOffset());
        const int kind = RowKindAt(std::clamp(x, 0, std::max(0, ClientWidth() - 1)), y);
        if (kind == -1)
            SelectSpecRow();
        else if (kind >= 0)
            SelectRow(kind);
        else if (y < top)
            MoveSelection(-1);
        else if (y >= ClientHeight())
            MoveSelection(1);
        return;
    }
    TCustomDBGridEx::MouseMove(shift, x, y);
}

void TDBLookupGridEx::MouseUp(Qt::MouseButton button, TShiftState shift, int x, int y)
{
    mouseSelecting_ = false;
    TCustomDBGridEx::MouseUp(button, shift, x, y);
}

void TDBLookupGridEx::DrawFixedCellFace(TCanvas& canvas, const TRect& rect, int dataCol, TGridDrawState state)
{
    if (!specRow_->Visible()) {
        TCustomDBGridEx::DrawFixedCellFace(canvas, rect, dataCol, state);
        return;
    }
    const TDBLookupGridColumnEx* column =
        dataCol >= 0 && dataCol < Columns().Count() ? LookupColumns().Items(dataCol) : nullptr;
    TFont font;
    font.Assign(column ? column->SpecCell().Font() : specRow_->Font());
    TColor bg = column ? column->SpecCell().Color() : specRow_->Color();
    if (specRowSelected_) {
        bg = clHighlight;
        font.SetColor(clHighlightText);
    }
    canvas.Brush().SetStyle(bsSolid);
    canvas.Brush().SetColor(bg);
    canvas.FillRect(rect);
    canvas.SetFont(font);
    canvas.Brush().SetStyle(bsClear);
    canvas.TextRect(rect, rect.Left + 2, rect.Top + 1, SpecCellText(dataCol));
}

QString TDBLookupGridEx::SpecCellText(int dataCol) const
{
    if (dataCol >= 0 && dataCol < Columns().Count())
        return static_cast<const TDBLookupGridColumnsEx&>(Columns()).Items(dataCol)->SpecCell().Text();
    return specRow_->CellText(dataCol);
}

namespace {

// A special-row text as one part of CellsText.
QString CellsTextPart(const QString& text)
{
    const bool quote = std::any_of(text.begin(), text.end(), [](QChar c) {
        return c == QLatin1Char(';') || c == QLatin1Char('"') || c.unicode() < 32;
    });
    return quote ? QuotedStr(text, QLatin1Char('"')) : text;
}

template <class T>
void MoveItem(T& list, int from, int to)
{
    auto item = std::move(list[std::size_t(from)]);
    list.erase(list.begin() + from);
    list.insert(list.begin() + to, std::move(item));
}

} // namespace

void TDBLookupGridEx::ListColumnMoved(int from, int to, QStringList cellTexts)
{
    const int count = Columns().Count();
    if (from < 0 || to < 0 || from >= count || to >= count)
        return;
    // The special row's texts travel with their columns.
    const bool hadTexts = !specRow_->CellsText().isEmpty();
    while (cellTexts.size() < count)
        cellTexts << QString();
    cellTexts.move(from, to);
    while (!cellTexts.isEmpty() && cellTexts.last().isEmpty())
        cellTexts.removeLast();
    QStringList parts;
    for (const QString& t : cellTexts)
        parts << CellsTextPart(t);

    // The list fields follow the columns, and the index stays on the same field, so that a later
    // relink builds the columns in the order the user gave them.
    if (int(listFields_.size()) == count) {
        MoveItem(listFields_, from, to);
        listFieldNames_ = JoinNames(listFields_);
        const auto it = std::find(listFields_.begin(), listFields_.end(), listField_);
        if (it != listFields_.end())
            listFieldIndex_ = int(it - listFields_.begin());
    }
    if (hadTexts)
        specRow_->SetCellsText(parts.join(QLatin1Char(';')));
    else
        KeyValueChanged();
}

// ---- Size

int TDBLookupGridEx::GetBorderHeight() const
{
    int h = 2 * frameWidth();
    if (horizontalScrollBar() && horizontalScrollBar()->isVisible())
        h += horizontalScrollBar()->height();
    return h;
}

int TDBLookupGridEx::GetDataRowHeight() const
{
    return DefaultDataRowHeight() + (Options().Contains(dgRowLines) ? GridLineWidth() : 0);
}

int TDBLookupGridEx::GetSpecRowHeight() const
{
    if (!specRow_->Visible())
        return 0;
    const int row = Options().Contains(dgTitles) ? 1 : 0;
    return (row < TCustomGrid::RowCount() ? RowHeights(row) : DefaultDataRowHeight()) + GridLineWidth();
}

void TDBLookupGridEx::SetRowCount(int rows)
{
    rowCount_ = std::clamp(rows, 1, 100);
    FitHeight();
}

void TDBLookupGridEx::FitHeight()
{
    int h = GetBorderHeight() + rowCount_ * GetDataRowHeight() + GetSpecRowHeight();
    if (Options().Contains(dgTitles) && TCustomGrid::RowCount() > 0)
        h += RowHeights(0) + GridLineWidth();
    if (h != height()) {
        fitting_ = true;
        resize(width(), h);
        fitting_ = false;
    }
}

void TDBLookupGridEx::Resized()
{
    TCustomDBGridEx::Resized();
    if (fitting_)
        return;
    int fixed = GetSpecRowHeight();
    if (Options().Contains(dgTitles) && TCustomGrid::RowCount() > 0)
        fixed += RowHeights(0) + GridLineWidth();
    const int client = height() - GetBorderHeight() - fixed;
    rowCount_ = std::clamp(client / std::max(1, GetDataRowHeight()), 1, 100);
}

void TDBLookupGridEx::LinkActive(bool value)
{
    TCustomDBGridEx::LinkActive(value);
    if (!inRelink_) {
        inRelink_ = true;
        try {
            UpdateListFields();
        } catch (...) {
            inRelink_ = false;
            throw;
        }
        inRelink_ = false;
    }
}

// ---- TPopupDataGridEx -------------------------------------------------------------------------

TPopupDataGridEx::TPopupDataGridEx(QWidget* parent) : TDBLookupGridEx(parent)
{
    setWindowFlags(Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
    setAttribute(Qt::WA_ShowWithoutActivating, true);
    setFocusPolicy(Qt::NoFocus);
    sizeGrip_ = new TSizeGripEx(this);
    sizeGrip_->SetTriangular(true);
    sizeGrip_->OnParentResized = [this] { userResized_ = true; };
}

TPopupDataGridEx::~TPopupDataGridEx() = default;

void TPopupDataGridEx::KeyValueChanged()
{
    TDBLookupGridEx::KeyValueChanged();
    if (DroppedDown() && OnChange)
        OnChange(*this);
}

void TPopupDataGridEx::HandleKey(int key, TShiftState shift)
{
    int k = key;
    KeyDown(k, shift);
}

void TPopupDataGridEx::MouseUp(Qt::MouseButton button, TShiftState shift, int x, int y)
{
    TDBLookupGridEx::MouseUp(button, shift, x, y);
    if (button != Qt::LeftButton || !host_)
        return;
    const QPoint global = viewport()->mapToGlobal(QPoint(x, y));
    if (!frameGeometry().contains(global)) {
        host_->CloseUp(false);
        return;
    }
    if (RowKindAt(x, y) != -2)
        host_->CloseUp(true);
}

void TPopupDataGridEx::Resized()
{
    TDBLookupGridEx::Resized();
    if (sizeGrip_)
        sizeGrip_->UpdatePosition();
}
