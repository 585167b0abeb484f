// The filter row's editor: a data-aware edit used in place, which the grid moves from filter cell
// to filter cell. Its keys move between the columns that allow filtering, Enter applies the
// filters and Down returns to the data.
#pragma once

#include "grid/dbctrlsex.h"

class TCustomDBGridEx;

class TInplaceFilterEditEx : public TCustomDBEditEx {
public:
    explicit TInplaceFilterEditEx(TCustomDBGridEx* grid);
    ~TInplaceFilterEditEx() override;

    TCustomDBGridEx* Grid() const { return grid_; }
    // The grid took the focus but the filter refused the text: the grid's press is not to act.
    bool RefusedLeave() const { return refusedLeave_; }

protected:
    bool eventFilter(QObject* watched, QEvent* e) override;
    void focusOutEvent(QFocusEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;

private:
    class Holder;
    TCustomDBGridEx* grid_;
    Holder* holder_;
    bool refusedLeave_ = false;
};

// The filter row's colours: the grid's font in blue on FixedColor lightened (each component c
// becoming min(255, c + round(c / 8))).
TColor FilterRowBackground(TColor fixedColor);
constexpr TColor kFilterRowFontColor = 0xFF0000;
