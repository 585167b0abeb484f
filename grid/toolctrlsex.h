// Editor buttons and their faces, check boxes, the drop-down windows that editors open (month
// calendar, recently-used list, pick lists) and a few routines the grid library shares.
#pragma once

#include "platform/bitmap.h"
#include "platform/graphics.h"
#include "platform/keys.h"
#include "platform/stringlist.h"
#include "platform/types.h"
#include "platform/variant.h"

#include <QCalendarWidget>
#include <QListWidget>
#include <QMenu>
#include <QPointer>
#include <QWidget>
#include <functional>
#include <memory>
#include <vector>


class QScrollBar;
class QTimer;
class TCanvas;
class TDataSet;
class TField;
class TImageList;

// ---- Edit button descriptions ---------------------------------------------------------------

enum TEditButtonStyleEx { ebsDropDownEx, ebsEllipsisEx, ebsGlyphEx, ebsUpDownEx, ebsPlusEx, ebsMinusEx };

class TEditButtonEx;
class TEditButtonsEx;
class TEditButtonControlEx;

// Told when a button description changes, so that it lays its buttons out again.
class IEditButtonsOwnerEx {
public:
    virtual ~IEditButtonsOwnerEx() = default;
    virtual void EditButtonsChanged() = 0;
};

using TButtonClickEventEx = std::function<void(TEditButtonEx& sender, bool& handled)>;
using TButtonDownEventEx = std::function<void(QObject* sender, bool topButton, bool& autoRepeat, bool& handled)>;

// Alt+Down, the shortcut that drops a visible button down.
constexpr TShortCut kDropDownShortCut = scAlt + VK_DOWN;

class TEditButtonEx {
public:
    // An item of a collection (which keeps it) or, with none, a stand-alone button.
    explicit TEditButtonEx(TEditButtonsEx* collection = nullptr);
    virtual ~TEditButtonEx();
    TEditButtonEx(const TEditButtonEx&) = delete;
    TEditButtonEx& operator=(const TEditButtonEx&) = delete;

    // An editor's main button: stand-alone, reporting its changes to the editor.
    static std::unique_ptr<TEditButtonEx> CreateEditButton(IEditButtonsOwnerEx* editor);

    QMenu* DropdownMenu() const { return dropdownMenu_; }
    void SetDropdownMenu(QMenu* menu);
    const TBitmap& Glyph() const { return glyph_; }
    void SetGlyph(const TBitmap& glyph);
    const QString& Hint() const { return hint_; }
    void SetHint(const QString& hint);
    int NumGlyphs() const { return numGlyphs_; }
    // Kept between 1 and 4.
    void SetNumGlyphs(int n);
    TShortCut ShortCut() const { return shortCut_; }
    void SetShortCut(TShortCut s);
    TEditButtonStyleEx Style() const { return style_; }
    void SetStyle(TEditButtonStyleEx s);
    bool Visible() const { return visible_; }
    void SetVisible(bool v);
    // 0: the editor's default width.
    int Width() const { return width_; }
    void SetWidth(int w);

    TButtonClickEventEx OnClick;
    TButtonDownEventEx OnDown;

    void Assign(const TEditButtonEx& source);
    TEditButtonsEx* Collection() const { return collection_; }
    int Index() const;
    IEditButtonsOwnerEx* Editor() const;

    // The button control an editor shows for this description.
    virtual TEditButtonControlEx* CreateEditButtonControl(QWidget* parent) const;

protected:
    void Changed();

    TEditButtonsEx* collection_ = nullptr;
    IEditButtonsOwnerEx* editor_ = nullptr;
    QPointer<QMenu> dropdownMenu_;
    TBitmap glyph_;
    QString hint_;
    int numGlyphs_ = 1;
    TShortCut shortCut_ = 0;
    TEditButtonStyleEx style_ = ebsDropDownEx;
    bool visible_ = false;
    int width_ = 0;
};

// The item kind of editors' EditButtons: visible, dropped down with Alt+Down.
class TVisibleEditButtonEx : public TEditButtonEx {
public:
    explicit TVisibleEditButtonEx(TEditButtonsEx* collection = nullptr);
};

class TEditButtonsEx {
public:
    explicit TEditButtonsEx(IEditButtonsOwnerEx* editor) : editor_(editor) {}
    TEditButtonsEx(const TEditButtonsEx&) = delete;
    TEditButtonsEx& operator=(const TEditButtonsEx&) = delete;

    IEditButtonsOwnerEx* Editor() const { return editor_; }
    int Count() const { return int(items_.size()); }
    TEditButtonEx* GetItem(int index) const { return items_.at(std::size_t(index)).get(); }
    TEditButtonEx* operator[](int index) const { return GetItem(index); }
    TEditButtonEx* Add();
    void Delete(int index);
    void Clear();
    void Assign(const TEditButtonsEx& source);
    int IndexOf(const TEditButtonEx* item) const;

    void Changed();

private:
    IEditButtonsOwnerEx* editor_;
    std::vector<std::unique_ptr<TEditButtonEx>> items_;
};

// ---- Speed buttons --------------------------------------------------------------------------

// A button that never takes the focus: flat or raised, with a caption and/or a glyph, optionally
// staying down (GroupIndex > 0).
class TSpeedButtonEx : public QWidget {
public:
    explicit TSpeedButtonEx(QWidget* parent = nullptr);
    ~TSpeedButtonEx() override;

    QString Caption() const { return caption_; }
    void SetCaption(const QString& c);
    TFont& Font() { return font_; }
    const TFont& Font() const { return font_; }
    void SetFontColor(TColor c);
    const TBitmap& Glyph() const { return glyph_; }
    void SetGlyph(const TBitmap& glyph);
    int NumGlyphs() const { return numGlyphs_; }
    void SetNumGlyphs(int n);
    bool Flat() const { return flat_; }
    void SetFlat(bool f);
    // Flat buttons show their edge while active (the mouse is over their editor).
    bool Active() const { return active_; }
    void SetActive(bool a);
    bool Down() const { return down_; }
    void SetDown(bool d);
    int GroupIndex() const { return groupIndex_; }
    void SetGroupIndex(int g) { groupIndex_ = g; }
    bool AllowAllUp() const { return allowAllUp_; }
    void SetAllowAllUp(bool a) { allowAllUp_ = a; }
    int Tag() const { return tag_; }
    void SetTag(int t) { tag_ = t; }
    // Pressed by the mouse right now (drawn down).
    bool Pressed() const { return pressed_; }

    // Acts as if clicked.
    virtual void Click();
    std::function<void(TSpeedButtonEx&)> OnClick;

    TRect ClientRect() const { return TRect(0, 0, width(), height()); }

protected:
    void paintEvent(QPaintEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void enterEvent(QEnterEvent* e) override;
    void leaveEvent(QEvent* e) override;

    // Draws the face; the default draws the raised (or flat) button with its glyph and caption.
    virtual void Paint(TCanvas& canvas);
    void PaintGlyphAndCaption(TCanvas& canvas, const TRect& r, bool shifted);
    bool DrawnDown() const { return pressed_ || down_; }
    void SetPressed(bool p);
    TColor ParentColor() const;

    bool mouseInside_ = false;

private:
    QString caption_;
    TFont font_;
    TBitmap glyph_;
    int numGlyphs_ = 1;
    bool flat_ = false;
    bool active_ = false;
    bool down_ = false;
    int groupIndex_ = 0;
    bool allowAllUp_ = false;
    int tag_ = 0;
    bool pressed_ = false;
};

// The button an editor makes from a TEditButtonEx.
class TEditButtonControlEx : public TSpeedButtonEx {
public:
    explicit TEditButtonControlEx(QWidget* parent = nullptr);
    ~TEditButtonControlEx() override;

    TEditButtonStyleEx Style() const { return style_; }
    void SetStyle(TEditButtonStyleEx s);
    // 0 none, 1 the upper half (or the whole button), 2 the lower half.
    int PressedPart() const { return pressedPart_; }
    // Holds the button down while the editor's drop-down is open, until released.
    void SetKeepDown(bool keep);
    bool KeepDown() const { return keepDown_; }
    // The repeat timer, or null before the first auto-repeating press.
    QTimer* RepeatTimer() const { return timer_; }

    TButtonDownEventEx OnDown;
    // Mouse move and release while pressed (the editor hands drags over to its list).
    std::function<void(TEditButtonControlEx&, QMouseEvent*)> OnMouseMove;
    std::function<void(TEditButtonControlEx&, QMouseEvent*)> OnMouseUp;

protected:
    void Paint(TCanvas& canvas) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;

private:
    int PartAt(int y) const;
    void FireDown(bool& autoRepeat);
    void TimerTick();
    void StopTimer();

    TEditButtonStyleEx style_ = ebsDropDownEx;
    bool keepDown_ = false;
    int pressedPart_ = 0;
    QTimer* timer_ = nullptr;
};

// ---- Drawing --------------------------------------------------------------------------------

enum TCheckBoxState { cbUnchecked, cbChecked, cbGrayed };

// Face kinds of DrawEditButtonFace.
enum : int { kEditButtonDropDown = 0, kEditButtonEllipsis = 1, kEditButtonUpDown = 2,
             kEditButtonPlus = 4, kEditButtonMinus = 5 };
int EditButtonKindOf(TEditButtonStyleEx style);

// Draws a button face into r from the cache of drawn faces. pressedPart: 0 none, 1 upper (or
// all), 2 lower half of an up-down face.
void DrawEditButtonFace(TCanvas& canvas, const TRect& r, int kind, TColor parentColor, bool enabled,
                        bool active, bool flat, int pressedPart);
// Draws a check box centred in r as a square.
void DrawCheck(TCanvas& canvas, const TRect& r, TCheckBoxState state, bool enabled, bool flat,
               bool pressed = false);

// Drawn button faces, shared by the whole program.
class TButtonsBitmapCache {
public:
    struct Key {
        int width = 0;
        int height = 0;
        int kind = 0;
        TColor parentColor = 0;
        bool enabled = true;
        bool active = false;
        bool flat = false;
        int pressedPart = 0;
        friend bool operator==(const Key&, const Key&) = default;
    };
    // The cached face for key, or a new blank bitmap of its size, made by draw when missing.
    const TBitmap& Get(Key key, const std::function<void(TBitmap&)>& draw);
    int Count() const { return int(items_.size()); }
    void Clear() { items_.clear(); }

private:
    struct Item {
        Key key;
        std::unique_ptr<TBitmap> bitmap;
    };
    std::vector<Item> items_;
};

TButtonsBitmapCache& ButtonsBitmapCache();
// Called when the system colours change.
void ClearButtonsBitmapCache();

// ---- Shared values and routines -------------------------------------------------------------

// Two thirds of the system font's text height, odd, at most the scroll-arrow width.
int CalcDefaultEditButtonWidth();
// The default flat button width, computed once.
int DefaultFlatEditButtonWidth();
// Size of one cell of the system check-box picture.
int DefaultCheckBoxWidth();
int DefaultCheckBoxHeight();

bool WithinDoubleClickLimits(qint64 elapsedMs, const TPoint& a, const TPoint& b);
// Draws image index of the list centred in r, clipped to r when larger; the clip is restored.
void DrawClippedImage(TCanvas& canvas, const TRect& r, const TImageList& images, int index);
// Moves and sizes a drop-down (global coordinates) under the editor's rectangle, or above it when
// there is no room below, inside the work area of the editor's screen (or the one given).
// Returns true when it ended above.
bool PlaceDropDownWindow(const QRect& editorRect, QWidget* dropDown, const QRect& workArea = QRect());
bool VarValuesEqual(const Variant& a, const Variant& b);
// Fields named in a ';'-separated list; a missing name raises the dataset's field-not-found error.
void GetFieldsByNames(const TDataSet& dataSet, const QString& names, std::vector<TField*>& list);
std::vector<TField*> GetFieldArrayByNames(const TDataSet& dataSet, const QString& names);
// Sets the named fields (several from an array), or clears them all for a Null value.
void AssignFieldValues(TDataSet& dataSet, const QString& names, const Variant& value);

// ---- Drop-downs -----------------------------------------------------------------------------

// What a drop-down window asks its editor when it ends.
class IDropDownHostEx {
public:
    virtual ~IDropDownHostEx() = default;
    virtual void CloseUp(bool accept) = 0;
};

// Recently used texts of an editor.
class TMRUListEx {
public:
    TMRUListEx();
    virtual ~TMRUListEx();
    TMRUListEx(const TMRUListEx&) = delete;
    TMRUListEx& operator=(const TMRUListEx&) = delete;

    bool Active() const { return active_; }
    void SetActive(bool a);
    bool CaseSensitive() const { return caseSensitive_; }
    void SetCaseSensitive(bool c) { caseSensitive_ = c; }
    TStringList& Items() { return items_; }
    const TStringList& Items() const { return items_; }
    int Limit() const { return limit_; }
    void SetLimit(int limit);
    int Rows() const { return rows_; }
    void SetRows(int rows) { rows_ = rows; }

    // Records a committed text: trimmed, moved to (or appended at) the end, the oldest dropped
    // beyond Limit. Empty texts are ignored.
    void Add(const QString& text);
    void Assign(const TMRUListEx& source);

    virtual void CloseUp(bool accept);
    virtual void DropDown();

    std::function<void(TMRUListEx&)> OnActiveChange;
    std::function<void(TMRUListEx&)> OnSetDropDown;
    std::function<void(TMRUListEx&, bool accept)> OnSetCloseUp;
    // May overrule whether a recent text is offered for the editor's text.
    std::function<void(TMRUListEx&, const QString& item, bool& accept)> OnFilterItem;

private:
    void TrimToLimit();

    bool active_ = false;
    bool caseSensitive_ = false;
    TStringList items_;
    int limit_ = 100;
    int rows_ = 7;
};

enum TSizeGripPosition { sgpTopLeft = 0, sgpTopRight = 1, sgpBottomRight = 2, sgpBottomLeft = 3 };

// A corner handle that resizes its parent window.
class TSizeGripEx : public QWidget {
public:
    explicit TSizeGripEx(QWidget* parent);

    TSizeGripPosition Position() const { return position_; }
    void SetPosition(TSizeGripPosition p);
    bool Triangular() const { return triangular_; }
    void SetTriangular(bool t);
    // Places the grip in its parent's corner.
    void UpdatePosition();
    // The corner opposite in the given directions (the popup changed side).
    void ChangePosition(bool vertical, bool horizontal);

    std::function<void()> OnParentResized;

protected:
    void paintEvent(QPaintEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;

private:
    void UpdateShape();

    TSizeGripPosition position_ = sgpBottomRight;
    bool triangular_ = true;
    bool dragging_ = false;
    QPoint startGlobal_;
    QRect startGeometry_;
};

// A pick list that drops down under an editor.
class TPopupListboxEx : public QListWidget {
public:
    explicit TPopupListboxEx(QWidget* parent = nullptr);
    ~TPopupListboxEx() override;

    bool Ctl3D() const { return ctl3D_; }
    void SetCtl3D(bool c);
    int BorderWidth() const { return ctl3D_ ? 2 : 1; }
    int ItemHeight() const;
    void SetItemHeight(int h) { itemHeight_ = h; }
    int RowCount() const { return rowCount_; }
    // Height = item height x max(1, rows) + the border.
    void SetRowCount(int rows);
    TSizeGripEx* SizeGrip() const { return sizeGrip_; }
    QString SearchText() const { return searchText_; }

    IDropDownHostEx* Host() const { return host_; }
    void SetHost(IDropDownHostEx* host) { host_ = host; }
    // Pictures drawn before the texts, by item index.
    void SetImages(const TImageList* images, std::function<int(int row)> imageIndexOf);
    const TImageList* Images() const { return images_; }
    int ImageIndexOf(int row) const { return imageIndexOf_ ? imageIndexOf_(row) : row; }

    // Milliseconds of a monotonic clock; tests put a clock of their own here.
    std::function<qint64()> Clock;
    static constexpr qint64 kSearchTimeout = 2000;

protected:
    bool event(QEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void wheelEvent(QWheelEvent* e) override;
    virtual void LayoutChildren();
    int ScrollBarAreaWidth() const { return scrollBarArea_; }
    void SetScrollBarAreaWidth(int w);

private:
    class Delegate;
    void SnapHeight();

    bool ctl3D_ = true;
    int itemHeight_ = 0;
    int rowCount_ = 1;
    int scrollBarArea_ = 0;
    bool snapping_ = false;
    TSizeGripEx* sizeGrip_ = nullptr;
    QString searchText_;
    qint64 lastKeyTime_ = 0;
    bool hasLastKey_ = false;
    QPoint lastMousePos_{-1, -1};
    IDropDownHostEx* host_ = nullptr;
    const TImageList* images_ = nullptr;
    std::function<int(int)> imageIndexOf_;
};

// The recently-used list: a popup list with its own scroll bar beside the size grip.
class TMRUListboxEx : public TPopupListboxEx {
public:
    explicit TMRUListboxEx(QWidget* parent = nullptr);

    QScrollBar* ScrollBar() const { return scrollBar_; }
    // Shows the bar (range and page) when there are more items than rows, else hides it.
    void UpdateScrollBar();

protected:
    void LayoutChildren() override;

private:
    QScrollBar* scrollBar_ = nullptr;
};

// A month calendar that drops down under a date editor.
class TPopupMonthCalendarEx : public QCalendarWidget {
public:
    explicit TPopupMonthCalendarEx(QWidget* parent = nullptr);

    IDropDownHostEx* Host() const { return host_; }
    void SetHost(IDropDownHostEx* host) { host_ = host; }
    bool Ctl3D() const { return ctl3D_; }
    int BorderWidth() const { return ctl3D_ ? 2 : 0; }
    double Date() const;
    void SetDate(double date);
    // Minimal calendar size plus the border on each side.
    QSize PreferredSize() const;

    // What a point of the days' table shows.
    enum TCalendarHit { chNowhere, chDate, chDayNames, chWeekNumber, chBackground };
    TCalendarHit HitTest(const QPoint& viewportPos) const;

protected:
    bool event(QEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void wheelEvent(QWheelEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;

private:
    void Close(bool accept);
    void PostCloseUp();

    IDropDownHostEx* host_ = nullptr;
    bool ctl3D_ = true;
    bool closePosted_ = false;
};
