// Painting of the data-aware grid: lines, the cells of every area, highlight colours, 3D frames.
#include "grid/celltext.h"
#include "grid/dbgridex.h"
#include "grid/dbgridexfilterrow.h"

#include "platform/application.h"
#include "platform/text.h"

#include <algorithm>

namespace {

TColor DataLineColor(TColor gridColor)
{
    return ColorToRGB(gridColor) == clSilver ? clGray : clSilver;
}

void FillCell(TCanvas& canvas, const TRect& r, TColor color)
{
    canvas.Brush().SetStyle(bsSolid);
    canvas.Brush().SetColor(color);
    canvas.FillRect(r);
}

} // namespace

bool TCustomDBGridEx::IsFocusedRowSelect() const
{
    return options_.Contains(dgRowSelect) && defaultDrawing_ && IsFocusWithin();
}

void TCustomDBGridEx::Paint(TCanvas& canvas)
{
    if (inLayout_)
        return;
    FillCell(canvas, TRect(0, 0, ClientWidth(), ClientHeight()), color_);

    const TColor fixedLine = flat_ ? clGray : clBlack;
    const TColor dataLine = DataLineColor(color_);
    const bool footerFixedLines = optionsEx_.Contains(dghFooter3D) || footerColor_ == clBtnFace;
    const int rows = RowCount();
    const int cols = ColCount();
    // Lines first, then the cells (clipped to themselves); the bands of multi-level titles may
    // paint over the lines between the columns they span.
    for (int pass = 0; pass < 2; ++pass)
        for (int r = 0; r < rows; ++r) {
            if (r >= FixedRows() && r < TopRow())
                continue;
            const int y = RowTop(r);
            if (y < 0 || y >= ClientHeight())
                continue;
            for (int c = 0; c < cols; ++c) {
                if (c >= FixedCols() && c < LeftCol())
                    continue;
                const int x = ColLeft(c);
                if (x < 0 || x >= ClientWidth())
                    continue;
                if (pass == 1) {
                    const TRect rect = TCustomGrid::CellRect(c, r);
                    TGridDrawState state = 0;
                    const bool fixed = c < FixedCols() || r < FixedRows();
                    if (fixed)
                        state |= gdFixed;
                    else if (r == Row() && (c == Col() || options_.Contains(dgRowSelect)))
                        state |= gdSelected | (c == Col() ? gdFocused : 0u);
                    if (!IsRectEmpty(rect)) {
                        canvas.SaveDC();
                        canvas.IntersectClipRect(rect);
                        DrawCell(canvas, c, r, rect, state);
                        canvas.RestoreDC();
                    }
                    continue;
                }
                // Lines right of and below the cell, in the colour of its area.
                const TCellAreaEx area = GetCellType(c, r);
                TColor lineColor;
                if (area.RowKind == carData && area.ColKind == cacData)
                    lineColor = (c < FixedCols() && optionsEx_.Contains(dghFrozen3D)) ? fixedLine : dataLine;
                else if (area.RowKind >= carAfterData)
                    lineColor = footerFixedLines ? fixedLine : dataLine;
                else
                    lineColor = fixedLine;
                canvas.Brush().SetColor(lineColor);
                const int w = ColWidths(c);
                const int h = RowHeights(r);
                const int vl = VertLineWidth(c);
                const int hl = HorzLineWidth(r);
                if (vl > 0 && w >= 0)
                    canvas.FillRect(TRect(x + w, y, x + w + vl, y + std::max(0, h) + hl));
                if (hl > 0 && h >= 0)
                    canvas.FillRect(TRect(x, y + h, x + std::max(0, w) + vl, y + h + hl));
            }
        }

    // The focused row of a row-select grid gets one focus rectangle over its data cells.
    if (IsFocusedRowSelect() && link_->Active() && Row() >= topDataOffset_) {
        TRect fr;
        bool any = false;
        for (int c = indicatorOffset_; c < cols; ++c) {
            const TRect rc = TCustomGrid::CellRect(c, Row());
            if (IsRectEmpty(rc))
                continue;
            if (any)
                UnionRect(fr, fr, rc);
            else
                fr = rc;
            any = true;
        }
        if (any)
            canvas.DrawFocusRect(fr);
    }

    if (ownSizingLine_ >= 0)
        canvas.InvertRect(TRect(ownSizingLine_, 0, ownSizingLine_ + 1, ClientHeight()));
}

bool TCustomDBGridEx::IsCellDrawn3D(int col, int row, TGridDrawState state) const
{
    const TCellAreaEx a = GetCellType(col, row);
    if (a.RowKind == carFilter && a.ColKind == cacData) {
        // A column with its own filter editor is drawn flat.
        if (a.AreaCol < columns_->Count() && columns_->Items(a.AreaCol)->STFilter().Visible() && stFilter_->Visible())
            return false;
    }
    const bool fixed3D = optionsEx_.Contains(dghFixed3D);
    if ((state & gdFixed) && fixed3D) {
        if (a.ColKind == cacIndicator || a.RowKind == carTitle || a.RowKind == carFilter) {
            if (!(a.ColKind == cacIndicator && a.RowKind == carAfterData && footerRowCount_ > 0))
                return true;
        }
    }
    if (a.RowKind == carFooter && optionsEx_.Contains(dghFooter3D))
        return true;
    if (!(state & gdFixed) && (a.RowKind == carData || a.RowKind == carAfterData) && optionsEx_.Contains(dghData3D))
        return true;
    if (a.ColKind == cacIndicator && a.RowKind == carAfterData && fixed3D &&
        (optionsEx_.Contains(dghData3D) || optionsEx_.Contains(dghFrozen3D)))
        return true;
    if ((state & gdFixed) && a.ColKind == cacData && a.RowKind == carData && optionsEx_.Contains(dghFrozen3D))
        return true;
    return false;
}

bool TCustomDBGridEx::IsCellSelected(int col, int row)
{
    const TCellAreaEx a = GetCellType(col, row);
    const TDBGridExSelectionType t = selection_->SelectionType();
    if (t == gstNon)
        return false;
    if (t == gstAll)
        return true;
    if (a.ColKind == cacData && a.AreaCol < columns_->Count() && t == gstColumns)
        return selection_->Columns().IndexOf(columns_->Items(a.AreaCol)) >= 0;
    if (a.RowKind == carData && link_->Active() && a.AreaRow < link_->RecordCount()) {
        TLinkActiveRecordScope scope(*link_, a.AreaRow);
        return selection_->DataCellSelected(a.ColKind == cacData ? a.AreaCol : -1, DataSet()->ActiveBookmark());
    }
    return false;
}

void TCustomDBGridEx::GetHighlightColors(const TCellAreaEx& area, TColor& background, TFont& font)
{
    if (style_) {
        style_->GetHighlightColors(*this, true, area.ColKind, area.RowKind, background, font);
        return;
    }
    const bool dataLike = (area.ColKind == cacData && area.RowKind >= carData) ||
                          (area.ColKind == cacIndicator && area.RowKind == carAfterData);
    if (dataLike) {
        if (IsFocusWithin()) {
            background = clHighlight;
            font.SetColor(clHighlightText);
        } else
            background = clBtnFace;
    } else {
        background = RGB(64, 64, 64);
        font.SetColor(clWhite);
    }
}

void TCustomDBGridEx::DrawFixedCellFace(TCanvas& canvas, const TRect& rect, int dataCol, TGridDrawState state)
{
    TColor bg = fixedColor_;
    if (dataCol >= 0 && dataCol < columns_->Count()) {
        TColumnEx* c = columns_->Items(dataCol);
        if (!c->Visible() || !c->STFilter().Visible()) {
            FillCell(canvas, rect, c->Title().Color());
            return;
        }
        // A filter cell: the grid's font in the filter-row colours (highlighted when selected).
        TFont font;
        font.Assign(font_);
        font.SetColor(kFilterRowFontColor);
        bg = FilterRowBackground(fixedColor_);
        if (state & gdSelected)
            GetHighlightColors(GetCellType(DataColToGridCol(dataCol), GetTitleRowCount()), bg, font);
        canvas.SetFont(font);
        FillCell(canvas, rect, bg);
        const QString text = c->STFilter().FilterText().isEmpty() ? c->STFilter().GetExpressionAsString()
                                                                  : c->STFilter().FilterText();
        if (!text.isEmpty())
            WriteTextEx(canvas, rect, false, 0, 0, true, false, tlTop, taLeftJustify, text, 2, 2);
        return;
    }
    FillCell(canvas, rect, bg);
}

void TCustomDBGridEx::Draw3DFrame(TCanvas& canvas, const TRect& r, bool sunken, bool leftEdge, bool rightEdge)
{
    const TColor light = sunken ? clBtnShadow : clBtnHighlight;
    const TColor dark = sunken ? clBtnHighlight : (flat_ ? clGray : clBtnShadow);
    canvas.Brush().SetStyle(bsSolid);
    canvas.Brush().SetColor(light);
    canvas.FillRect(TRect(r.Left, r.Top, r.Right, r.Top + 1));
    if (leftEdge)
        canvas.FillRect(TRect(r.Left, r.Top, r.Left + 1, r.Bottom));
    canvas.Brush().SetColor(dark);
    canvas.FillRect(TRect(r.Left, r.Bottom - 1, r.Right, r.Bottom));
    if (rightEdge)
        canvas.FillRect(TRect(r.Right - 1, r.Top, r.Right, r.Bottom));
}

void TCustomDBGridEx::DrawCell(TCanvas& canvas, int col, int row, const TRect& rect, TGridDrawState state)
{
    if (IsRectEmpty(rect))
        return;
    if (loading_) {
        canvas.FillRect(rect);
        return;
    }
    const bool is3D = IsCellDrawn3D(col, row, state);
    const TCellAreaEx area = GetCellType(col, row);
    TRect r = rect;
    int margin = is3D ? 1 : 2;
    if (flat_)
        margin = std::max(0, margin - 1);
    if (is3D)
        InflateRect(r, -1, -1);

    bool pressed = false;
    THeadTreeNode* leaf = nullptr;
    TRect frameRect = rect;
    if (area.ColKind == cacIndicator) {
        DrawIndicatorCell(canvas, col, row, r, area);
    } else if (area.AreaCol >= columns_->Count()) {
        FillCell(canvas, r, (state & gdFixed) ? fixedColor_ : color_);
    } else {
        switch (area.RowKind) {
        case carTitle:
            leaf = LeafOf(area.AreaCol);
            if (leaf) {
                frameRect.Top = std::max(rect.Top, rect.Bottom - leaf->Height + (optionsEx_.Contains(dghFixed3D) ? 1 : 3));
                if (is3D) {
                    r = frameRect;
                    InflateRect(r, -1, -1);
                } else
                    r = frameRect;
                // The bands above the leaf keep the title background until the groups paint.
                FillCell(canvas, TRect(rect.Left, rect.Top, rect.Right, frameRect.Top),
                         columns_->Items(area.AreaCol)->Title().Color());
            }
            pressed = titleButtonDown_ && pressedTitleCol_ == col;
            DrawTitleCell(canvas, col, row, r, state, area.AreaCol, is3D, margin);
            break;
        case carFilter: DrawFixedCellFace(canvas, r, area.AreaCol, state); break;
        case carData: DrawDataCell(canvas, col, row, r, state, area.AreaCol, area.AreaRow, margin); break;
        case carAfterData: {
            TColor bg = color_;
            TFont f;
            if (IsCellSelected(col, row))
                GetHighlightColors(area, bg, f);
            FillCell(canvas, r, bg);
            break;
        }
        case carFooter: DrawFooterCell(canvas, col, row, r, state, area.AreaCol, area.AreaRow - 1, margin); break;
        default: break;
        }
    }

    if (defaultDrawing_ && (state & gdFocused) && IsFocusWithin() && !options_.Contains(dgRowSelect) &&
        area.RowKind == carData && area.ColKind == cacData && link_->Active())
        canvas.DrawFocusRect(rect);

    if (is3D)
        Draw3DFrame(canvas, frameRect, pressed, true, true);
    if (leaf && leaf->Host && leaf->Host != headRoot_.get())
        DrawTitleGroups(canvas, col, rect, leaf);
}

void TCustomDBGridEx::DrawTitleCell(TCanvas& canvas, int col, int, TRect rect, TGridDrawState, int dataCol,
                                    bool, int margin)
{
    TColumnEx& column = *columns_->Items(dataCol);
    TColumnTitleEx& title = column.Title();
    TFont font;
    font.Assign(title.Font());
    TColor bg = title.Color();
    bool pressed = titleButtonDown_ && pressedTitleCol_ == col;

    QString caption = title.Caption();
    if (THeadTreeNode* leaf = LeafOf(dataCol))
        caption = leaf->Text;

    TRect textRect = rect;
    int imageWidth = 0;
    if (titleImages_ && title.ImageIndex() != -1)
        imageWidth = titleImages_->Width();

    // Sort marker and its number.
    const TSortMarkerEx marker = title.SortMarker();
    bool drawGlyph = false;
    bool drawNumber = false;
    int numberWidth = 0;
    QString number;
    if (marker != smNoneEx) {
        drawGlyph = true;
        textRect.Right -= 16;
        if (sortMarked_.Count() >= 2 && title.SortIndex() > 0) {
            number = IntToStr(title.SortIndex());
            TCanvas m;
            m.SetFont(SortMarkerFont());
            numberWidth = m.TextWidth(number);
            drawNumber = true;
            textRect.Right -= numberWidth;
        }
        if (textRect.Width() < imageWidth || textRect.Width() < 0) {
            textRect.Right += 14 - numberWidth;
            drawGlyph = false;
            if (textRect.Width() < imageWidth || textRect.Width() < 0) {
                textRect.Right += numberWidth + 2;
                drawNumber = false;
            }
        }
    }

    TSortMarkerEx shownMarker = marker;
    if (OnGetBtnParams && column.Field())
        OnGetBtnParams(*this, column, font, bg, shownMarker, pressed);

    const bool singleLine = !useMultiTitle_ && titleHeight_ == 0 && titleLines_ == 0;
    const int shift = pressed ? (singleLine ? 1 : 2) : 0;

    if (IsCellSelected(col, 0))
        GetHighlightColors(TCellAreaEx{.ColKind = cacData, .RowKind = carTitle, .AreaCol = dataCol}, bg, font);

    canvas.SetFont(font);
    canvas.Brush().SetStyle(bsSolid);
    canvas.Brush().SetColor(bg);
    canvas.FillRect(rect);
    TRect tr = textRect;
    tr.Left += imageWidth;
    OffsetRect(tr, shift, shift);
    if (title.Orientation() == tohVertical) {
        WriteTextVerticalEx(canvas, tr, false, false, true, tlBottom, title.Alignment(), caption, 3, margin);
    } else {
        const bool wrap = !singleLine;
        WriteTextEx(canvas, tr, false, 0, 0, title.EndEllipsis(), wrap, useMultiTitle_ ? tlCenter : tlTop,
                    title.Alignment(), caption, margin, margin);
    }
    if (imageWidth > 0)
        DrawCellImage(*titleImages_, title.ImageIndex(), canvas, taLeftJustify, shift + margin, rect);
    if (drawGlyph && shownMarker != smNoneEx) {
        const TImageList& glyphs = DBGridExSortMarkers();
        const int gi = shownMarker == smDownEx ? kSortMarkerDown : kSortMarkerUp;
        const int gx = textRect.Right + shift + (drawNumber ? numberWidth : 0);
        const int gy = (rect.Top + rect.Bottom - glyphs.Height()) / 2 + shift;
        glyphs.Draw(canvas, gx, gy, gi);
    }
    if (drawNumber && !number.isEmpty()) {
        canvas.SetFont(SortMarkerFont());
        canvas.Brush().SetStyle(bsClear);
        canvas.TextOut(textRect.Right + shift, (rect.Top + rect.Bottom - canvas.TextHeight(number)) / 2 + shift, number);
        canvas.Brush().SetStyle(bsSolid);
    }
}

void TCustomDBGridEx::DrawDataCell(TCanvas& canvas, int col, int row, const TRect& rect, TGridDrawState state,
                                   int dataCol, int dataRow, int margin)
{
    TColumnEx& column = *columns_->Items(dataCol);
    if (!link_->Active() || dataRow >= link_->RecordCount()) {
        FillCell(canvas, rect, column.Color());
        return;
    }
    TLinkActiveRecordScope scope(*link_, dataRow);
    TDataSet* ds = DataSet();

    TRect textRect = rect;
    int buttonsWidth = 0;
    if (column.AlwaysShowEditButton() && !column.ReadOnly()) {
        buttonsWidth = editButtonWidth_;
        for (int i = 0; i < column.EditButtons().Count(); ++i)
            if (column.EditButtons()[i]->Visible())
                buttonsWidth += column.EditButtons()[i]->Width() > 0 ? column.EditButtons()[i]->Width()
                                                                       : editButtonWidth_;
        textRect.Right -= buttonsWidth;
    }

    cellParams_.Col = col;
    cellParams_.Row = row;
    column.FillCellParams(cellParams_);
    TColor bg = cellParams_.Background;
    TFont& font = cellParams_.Font;
    if (OnGetCellParams)
        OnGetCellParams(*this, column, font, bg, state);

    // Highlight.
    const bool currentRow = row == Row();
    TDataCellHighlightArgs args;
    args.DataCol = dataCol;
    args.Bookmark = ds->ActiveBookmark();
    args.CurrentRow = currentRow;
    args.CurrentCol = col == Col();
    args.Selected = (state & gdSelected) != 0;
    if (style_) {
        style_->HighlightDataCell(*this, args, bg, font);
    } else {
        bool selected = options_.Contains(dgMultiSelect) && selection_->DataCellSelected(dataCol, args.Bookmark);
        const bool focusHighlight = IsFocusWithin() && optionsEx_.Contains(dghHighlightFocus);
        const bool isSelected = selected || (currentRow && args.CurrentCol);
        const bool highlighted = (isSelected || (currentRow && options_.Contains(dgRowSelect))) &&
                                 (options_.Contains(dgAlwaysShowSelection) || focusHighlight) &&
                                 (!EditorVisible() || options_.Contains(dgRowSelect));
        if (highlighted) {
            if (IsFocusWithin()) {
                bg = clHighlight;
                font.SetColor(clHighlightText);
            } else if (currentRow && (args.CurrentCol || options_.Contains(dgRowSelect))) {
                bg = clBtnShadow;
                font.SetColor(clHighlightText);
            } else
                bg = clBtnFace;
        }
    }

    canvas.SetFont(font);
    FillCell(canvas, rect, bg);
    if (defaultDrawing_) {
        switch (column.GetColumnType()) {
        case ctKeyImageList:
            if (column.ImageList()) {
                const int index = column.GetImageIndex();
                if (index >= 0)
                    DrawCellImage(*column.ImageList(), index, canvas, taCenter, 0, textRect);
            }
            break;
        case ctCheckboxes:
            DrawCheck(canvas, textRect, cellParams_.CheckboxState, true, flat_);
            break;
        default:
            WriteTextEx(canvas, textRect, false, 0, 0, column.EndEllipsis(), column.WordWrap() && multiLineRows_,
                        tlTop, cellParams_.Alignment, cellParams_.Text, margin, margin);
            break;
        }
    }
    if (buttonsWidth > 0) {
        const TRect br(textRect.Right, rect.Top, rect.Right, std::min(rect.Bottom, rect.Top + editButtonHeight_));
        int kind = kEditButtonDropDown;
        if (column.ButtonStyle() == cbsEllipsis)
            kind = kEditButtonEllipsis;
        else if (column.ButtonStyle() == cbsUpDown)
            kind = kEditButtonUpDown;
        DrawEditButtonFace(canvas, br, kind, bg, true, false, flat_, 0);
    }
    if (column.UserDefined() && OnDrawDataCell)
        OnDrawDataCell(*this, rect, column.Field(), state);
    if (OnDrawColumnCell)
        OnDrawColumnCell(*this, rect, dataCol, column, state);

    // The prefix an incremental search has matched.
    if (incSearching_ && currentRow && col == Col() && (options_.Contains(dgAlwaysShowSelection) || IsFocusWithin()) &&
        !incSearchText_.isEmpty()) {
        const QString shown = cellParams_.Text.left(incSearchText_.size());
        TCanvas& c = canvas;
        c.Font().SetColor(DBGridExIncSearchFontColor);
        c.Brush().SetColor(DBGridExIncSearchColor);
        const int w = c.TextWidth(shown);
        TRect sr(textRect.Left + margin, textRect.Top + margin, std::min(textRect.Right, textRect.Left + margin + w),
                 std::min(textRect.Bottom, textRect.Top + margin + c.TextHeight(shown)));
        c.TextRect(sr, sr.Left, sr.Top, shown);
    }
}

void TCustomDBGridEx::DrawFooterCell(TCanvas& canvas, int col, int row, const TRect& rect, TGridDrawState state,
                                     int dataCol, int footerRow, int margin)
{
    TColumnEx& column = *columns_->Items(dataCol);
    TColumnFooterEx& footer = column.GetFooterByIndex(footerRow);
    TFont font;
    font.Assign(footer.Font());
    TColor bg = footer.Color();
    TAlignment alignment = footer.Alignment();
    QString text;
    if (defaultDrawing_)
        text = GetFooterValueText(footerRow, column);
    if (OnGetFooterParams)
        OnGetFooterParams(*this, dataCol, footerRow, column, font, bg, alignment, state, text);
    if (IsCellSelected(col, row))
        GetHighlightColors(TCellAreaEx{.ColKind = cacData, .RowKind = carFooter, .AreaCol = dataCol}, bg, font);
    canvas.SetFont(font);
    FillCell(canvas, rect, bg);
    if (defaultDrawing_)
        WriteTextEx(canvas, rect, false, 0, 0, footer.EndEllipsis(), footer.WordWrap() && multiLineRows_, tlTop,
                    alignment, text, margin, margin);
    if (OnDrawFooterCell)
        OnDrawFooterCell(*this, dataCol, footerRow, column, rect, state);
}

void TCustomDBGridEx::DrawIndicatorCell(TCanvas& canvas, int col, int row, const TRect& rect, const TCellAreaEx& area)
{
    TColor bg = fixedColor_;
    TFont font;
    bool rowSelected = false;
    if (selection_->SelectionType() == gstAll)
        rowSelected = true;
    else if (area.RowKind == carData && selection_->SelectionType() == gstRecordBookmarks && link_->Active() &&
             area.AreaRow < link_->RecordCount()) {
        TLinkActiveRecordScope scope(*link_, area.AreaRow);
        rowSelected = selection_->DataCellSelected(-1, DataSet()->ActiveBookmark());
    }
    if (rowSelected)
        GetHighlightColors(area, bg, font);
    FillCell(canvas, rect, bg);
    if (area.RowKind != carData || !link_->Active() || area.AreaRow >= link_->RecordCount())
        return;
    const bool current = row == Row();
    int glyph = -1;
    const TDataSetState st = DataSet()->State();
    if (current) {
        if (st == dsEdit)
            glyph = kIndicatorEdit;
        else if (st == dsInsert)
            glyph = kIndicatorInsert;
        else if (st == dsBrowse) {
            if (incSearching_)
                glyph = kIndicatorArrowOnSearch;
            else if (rowSelected)
                glyph = kIndicatorArrowOnHighlight;
            else
                glyph = kIndicatorArrow;
        } else
            glyph = kIndicatorArrow;
    }
    (void)col;
    if (glyph < 0)
        return;
    const TImageList& images = DBGridExIndicators();
    const int x = rect.Right - images.Width();
    const int y = (rect.Top + rect.Bottom - images.Height()) / 2;
    images.Draw(canvas, x, y, glyph);
}
