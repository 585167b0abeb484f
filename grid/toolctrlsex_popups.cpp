// The drop-down windows of editors: recently-used list, pick lists, size grip, month calendar.
#include "grid/toolctrlsex.h"

#include "platform/application.h"
#include "platform/canvas.h"
#include "platform/datetime.h"
#include "platform/frames.h"
#include "platform/imagelist.h"
#include "platform/text.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QToolButton>
#include <QWheelEvent>
#include <algorithm>

// ---- TMRUListEx -----------------------------------------------------------------------------

TMRUListEx::TMRUListEx() = default;
TMRUListEx::~TMRUListEx() = default;

void TMRUListEx::SetActive(bool a)
{
    if (active_ == a)
        return;
    active_ = a;
    if (OnActiveChange)
        OnActiveChange(*this);
}

void TMRUListEx::SetLimit(int limit)
{
    limit_ = std::max(0, limit);
    TrimToLimit();
}

void TMRUListEx::TrimToLimit()
{
    while (items_.Count() > limit_)
        items_.Delete(0);
}

void TMRUListEx::Add(const QString& text)
{
    const QString t = text.trimmed();
    if (t.isEmpty())
        return;
    int found = -1;
    for (int i = 0; i < items_.Count(); ++i) {
        const QString& s = items_.Strings(i);
        if (caseSensitive_ ? s == t : SameText(s, t)) {
            found = i;
            break;
        }
    }
    if (found >= 0) {
        const QString kept = items_.Strings(found);
        items_.Delete(found);
        items_.Add(kept);
    } else {
        items_.Add(t);
        TrimToLimit();
    }
}

void TMRUListEx::Assign(const TMRUListEx& source)
{
    if (&source == this)
        return;
    SetActive(source.active_);
    items_.Assign(source.items_);
    limit_ = source.limit_;
    rows_ = source.rows_;
    caseSensitive_ = source.caseSensitive_;
}

void TMRUListEx::CloseUp(bool accept)
{
    if (OnSetCloseUp)
        OnSetCloseUp(*this, accept);
}

void TMRUListEx::DropDown()
{
    if (OnSetDropDown)
        OnSetDropDown(*this);
}

// ---- TSizeGripEx ----------------------------------------------------------------------------

TSizeGripEx::TSizeGripEx(QWidget* parent) : QWidget(parent)
{
    const int s = GetSystemMetrics(SM_CXVSCROLL);
    resize(s, s);
    setFocusPolicy(Qt::NoFocus);
    UpdateShape();
}

void TSizeGripEx::SetPosition(TSizeGripPosition p)
{
    if (position_ == p)
        return;
    position_ = p;
    UpdateShape();
    UpdatePosition();
}

void TSizeGripEx::SetTriangular(bool t)
{
    if (triangular_ == t)
        return;
    triangular_ = t;
    UpdateShape();
}

void TSizeGripEx::ChangePosition(bool vertical, bool horizontal)
{
    int p = position_;
    static const int kFlipV[4] = {sgpBottomLeft, sgpBottomRight, sgpTopRight, sgpTopLeft};
    static const int kFlipH[4] = {sgpTopRight, sgpTopLeft, sgpBottomLeft, sgpBottomRight};
    if (vertical)
        p = kFlipV[p];
    if (horizontal)
        p = kFlipH[p];
    SetPosition(TSizeGripPosition(p));
}

void TSizeGripEx::UpdatePosition()
{
    QWidget* p = parentWidget();
    if (!p)
        return;
    const QRect area = p->contentsRect();
    const int s = width();
    const int x = (position_ == sgpTopLeft || position_ == sgpBottomLeft) ? area.left() : area.right() + 1 - s;
    const int y = (position_ == sgpTopLeft || position_ == sgpTopRight) ? area.top() : area.bottom() + 1 - s;
    move(x, y);
    raise();
}

void TSizeGripEx::UpdateShape()
{
    const int s = width();
    if (triangular_) {
        QPolygon tri;
        switch (position_) {
        case sgpTopLeft: tri << QPoint(0, 0) << QPoint(s, 0) << QPoint(0, s); break;
        case sgpTopRight: tri << QPoint(0, 0) << QPoint(s, 0) << QPoint(s, s); break;
        case sgpBottomLeft: tri << QPoint(0, 0) << QPoint(s, s) << QPoint(0, s); break;
        default: tri << QPoint(s, 0) << QPoint(s, s) << QPoint(0, s); break;
        }
        setMask(QRegion(tri));
    } else {
        clearMask();
    }
    const bool main = position_ == sgpTopLeft || position_ == sgpBottomRight;
    setCursor(main ? Qt::SizeFDiagCursor : Qt::SizeBDiagCursor);
    update();
}

void TSizeGripEx::paintEvent(QPaintEvent*)
{
    Guarded([&] {
        TCanvas c(static_cast<QPaintDevice*>(this));
        const int s = width();
        c.Brush().SetColor(clBtnFace);
        c.FillRect(TRect(0, 0, s, s));
        // Diagonal strokes towards the corner: highlight, shadow, shadow, face, repeated.
        const TColor colors[4] = {clBtnHighlight, clBtnShadow, clBtnShadow, clBtnFace};
        const bool right = position_ == sgpTopRight || position_ == sgpBottomRight;
        const bool bottom = position_ == sgpBottomLeft || position_ == sgpBottomRight;
        for (int i = 0; i < s; ++i) {
            c.Pen().SetColor(colors[i % 4]);
            // Line i cuts the corner at distance s - i from it.
            const int d = s - 1 - i;
            if (d < 2)
                break;
            const int cx = right ? s - 1 : 0;
            const int cy = bottom ? s - 1 : 0;
            const int sx = right ? -1 : 1;
            const int sy = bottom ? -1 : 1;
            c.MoveTo(cx + sx * d, cy);
            c.LineTo(cx, cy + sy * d);
        }
    });
}

void TSizeGripEx::mousePressEvent(QMouseEvent* e)
{
    if (e->button() != Qt::LeftButton || !parentWidget())
        return;
    dragging_ = true;
    startGlobal_ = e->globalPosition().toPoint();
    startGeometry_ = parentWidget()->geometry();
}

void TSizeGripEx::mouseMoveEvent(QMouseEvent* e)
{
    if (!dragging_ || !parentWidget())
        return;
    const QPoint d = e->globalPosition().toPoint() - startGlobal_;
    QRect g = startGeometry_;
    const int minSide = 2 * width();
    if (position_ == sgpTopLeft || position_ == sgpBottomLeft)
        g.setLeft(std::min(g.left() + d.x(), g.right() - minSide));
    else
        g.setRight(std::max(g.right() + d.x(), g.left() + minSide));
    if (position_ == sgpTopLeft || position_ == sgpTopRight)
        g.setTop(std::min(g.top() + d.y(), g.bottom() - minSide));
    else
        g.setBottom(std::max(g.bottom() + d.y(), g.top() + minSide));
    parentWidget()->setGeometry(g);
    UpdatePosition();
    if (OnParentResized)
        Guarded([&] { OnParentResized(); });
}

void TSizeGripEx::mouseReleaseEvent(QMouseEvent*) { dragging_ = false; }

// ---- TPopupListboxEx ------------------------------------------------------------------------

class TPopupListboxEx::Delegate : public QStyledItemDelegate {
public:
    explicit Delegate(TPopupListboxEx* owner) : QStyledItemDelegate(owner), owner_(owner) {}

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        Guarded([&] {
            TCanvas c(painter);
            const TRect r(option.rect);
            const bool selected = option.state & QStyle::State_Selected;
            c.Brush().SetColor(selected ? clHighlight : FromQColor(owner_->palette().color(QPalette::Base)));
            c.FillRect(r);
            c.Font().SetName(owner_->font().family());
            c.Font().SetHeight(-std::max(1, owner_->font().pixelSize() > 0 ? owner_->font().pixelSize()
                                                                            : QFontInfo(owner_->font()).pixelSize()));
            c.Font().SetColor(selected ? clHighlightText : clWindowText);
            int textLeft = r.Left + 2;
            const TImageList* images = owner_->Images();
            if (images) {
                const int h = images->Height();
                images->Draw(c, r.Left, r.Top + (r.Height() - h) / 2, owner_->ImageIndexOf(index.row()));
                textLeft = r.Left + images->Width() + 4;
            }
            const QString text = index.data(Qt::DisplayRole).toString();
            c.Brush().SetStyle(bsClear);
            c.TextRect(r, textLeft, r.Top + (r.Height() - c.TextHeight(text)) / 2, text);
            if ((option.state & QStyle::State_HasFocus) && owner_->hasFocus())
                c.DrawFocusRect(r);
        });
    }

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        QSize s = QStyledItemDelegate::sizeHint(option, index);
        s.setHeight(owner_->ItemHeight());
        if (owner_->Images())
            s.setWidth(s.width() + owner_->Images()->Width() + 4);
        return s;
    }

private:
    TPopupListboxEx* owner_;
};

TPopupListboxEx::TPopupListboxEx(QWidget* parent) : QListWidget(parent)
{
    setWindowFlags(Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
    setAttribute(Qt::WA_ShowWithoutActivating, true);
    setFocusPolicy(Qt::NoFocus);
    setFrameShape(QFrame::NoFrame);
    setMouseTracking(true);
    setUniformItemSizes(true);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setItemDelegate(new Delegate(this));
    sizeGrip_ = new TSizeGripEx(this);
    sizeGrip_->OnParentResized = [this] { SnapHeight(); };
    Clock = [] {
        static QElapsedTimer timer;
        if (!timer.isValid())
            timer.start();
        return timer.elapsed();
    };
    SetCtl3D(true);
}

TPopupListboxEx::~TPopupListboxEx() = default;

void TPopupListboxEx::SetCtl3D(bool c)
{
    ctl3D_ = c;
    LayoutChildren();
    update();
}

int TPopupListboxEx::ItemHeight() const
{
    if (itemHeight_ > 0)
        return itemHeight_;
    return std::max(1, fontMetrics().height());
}

void TPopupListboxEx::SetImages(const TImageList* images, std::function<int(int)> imageIndexOf)
{
    images_ = images;
    imageIndexOf_ = std::move(imageIndexOf);
    viewport()->update();
}

void TPopupListboxEx::SetRowCount(int rows)
{
    rowCount_ = std::max(1, rows);
    snapping_ = true;
    resize(width(), ItemHeight() * rowCount_ + 2 * BorderWidth());
    snapping_ = false;
    LayoutChildren();
}

void TPopupListboxEx::SnapHeight()
{
    if (snapping_)
        return;
    const int border = 2 * BorderWidth();
    const int rows = std::max(1, (height() - border) / ItemHeight());
    const int h = rows * ItemHeight() + border;
    rowCount_ = rows;
    if (h != height()) {
        snapping_ = true;
        resize(width(), h);
        snapping_ = false;
    }
}

void TPopupListboxEx::SetScrollBarAreaWidth(int w)
{
    scrollBarArea_ = w;
    const int b = BorderWidth();
    setViewportMargins(b, b, b + scrollBarArea_, b);
}

void TPopupListboxEx::LayoutChildren()
{
    const int b = BorderWidth();
    setViewportMargins(b, b, b + scrollBarArea_, b);
    if (sizeGrip_)
        sizeGrip_->UpdatePosition();
}

void TPopupListboxEx::resizeEvent(QResizeEvent* e)
{
    QListWidget::resizeEvent(e);
    SnapHeight();
    LayoutChildren();
}

bool TPopupListboxEx::event(QEvent* e)
{
    const bool r = QListWidget::event(e);
    if (e->type() == QEvent::Paint) {
        Guarded([&] {
            TCanvas c(static_cast<QPaintDevice*>(this));
            TRect box(0, 0, width(), height());
            if (ctl3D_) {
                DrawEdge(c, box, BDR_RAISEDOUTER, BF_RECT | BF_ADJUST);
                DrawEdge(c, box, BDR_RAISEDINNER, BF_RECT);
            } else {
                c.Brush().SetColor(clWindowFrame);
                c.FrameRect(box);
            }
        });
    }
    return r;
}

void TPopupListboxEx::keyPressEvent(QKeyEvent* e)
{
    if (e->key() == Qt::Key_Backspace || e->key() == Qt::Key_Escape) {
        searchText_.clear();
        QListWidget::keyPressEvent(e);
        return;
    }
    const QString t = e->text();
    if (t.size() == 1 && !(e->modifiers() & (Qt::ControlModifier | Qt::AltModifier))) {
        const char16_t ch = t.at(0).unicode();
        if (ch >= 32 && ch != 127) {
            const qint64 now = Clock ? Clock() : 0;
            if (!hasLastKey_ || now - lastKeyTime_ > kSearchTimeout)
                searchText_.clear();
            hasLastKey_ = true;
            lastKeyTime_ = now;
            if (searchText_.size() < 32)
                searchText_ += t;
            for (int i = 0; i < count(); ++i) {
                const QString s = item(i)->text();
                if (SameText(s.left(searchText_.size()), searchText_)) {
                    setCurrentRow(i);
                    break;
                }
            }
            e->accept();
            return;
        }
    }
    QListWidget::keyPressEvent(e);
}

void TPopupListboxEx::mouseMoveEvent(QMouseEvent* e)
{
    const QPoint p = e->position().toPoint();
    if (p != lastMousePos_ && e->buttons() == Qt::NoButton) {
        lastMousePos_ = p;
        const QPoint vp = viewport()->mapFrom(this, p);
        const QModelIndex idx = indexAt(vp);
        if (idx.isValid() && idx.row() != currentRow())
            setCurrentRow(idx.row());
    }
    QListWidget::mouseMoveEvent(e);
}

void TPopupListboxEx::mouseReleaseEvent(QMouseEvent* e)
{
    QListWidget::mouseReleaseEvent(e);
    if (e->button() == Qt::LeftButton && host_) {
        const bool inside = viewport()->rect().contains(viewport()->mapFrom(this, e->position().toPoint()));
        Guarded([&] { host_->CloseUp(inside); });
    }
}

void TPopupListboxEx::wheelEvent(QWheelEvent* e)
{
    const int dy = e->angleDelta().y();
    if (dy == 0 || count() == 0)
        return;
    const int row = std::clamp(currentRow() + (dy > 0 ? -1 : 1), 0, count() - 1);
    setCurrentRow(row);
    e->accept();
}

// ---- TMRUListboxEx --------------------------------------------------------------------------

TMRUListboxEx::TMRUListboxEx(QWidget* parent) : TPopupListboxEx(parent)
{
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scrollBar_ = new QScrollBar(Qt::Vertical, this);
    scrollBar_->hide();
    connect(scrollBar_, &QScrollBar::valueChanged, this,
            [this](int v) { verticalScrollBar()->setValue(v); });
    connect(verticalScrollBar(), &QScrollBar::valueChanged, this, [this](int v) {
        if (scrollBar_->value() != v)
            scrollBar_->setValue(v);
    });
}

void TMRUListboxEx::UpdateScrollBar()
{
    if (!scrollBar_)
        return;
    const bool need = count() > RowCount();
    if (need) {
        scrollBar_->setRange(0, count() - RowCount());
        scrollBar_->setPageStep(RowCount());
        scrollBar_->show();
    } else {
        scrollBar_->hide();
    }
    LayoutChildren();
}

void TMRUListboxEx::LayoutChildren()
{
    if (!scrollBar_) {
        TPopupListboxEx::LayoutChildren();
        return;
    }
    const bool shown = !scrollBar_->isHidden();
    const int sw = GetSystemMetrics(SM_CXVSCROLL);
    SetScrollBarAreaWidth(shown ? sw : 0);
    TPopupListboxEx::LayoutChildren();
    const int b = BorderWidth();
    int top = b;
    int bottom = height() - b;
    TSizeGripEx* grip = SizeGrip();
    const TSizeGripPosition pos = grip->Position();
    if (pos == sgpTopRight)
        top += grip->height();
    else if (pos == sgpBottomRight)
        bottom -= grip->height();
    if (shown)
        scrollBar_->setGeometry(width() - b - sw, top, sw, std::max(0, bottom - top));
    // The grip keeps its triangle unless it fills the corner beside the bar.
    const bool inBarCorner = shown && (pos == sgpTopRight || pos == sgpBottomRight);
    grip->SetTriangular(!inBarCorner);
}

// ---- TPopupMonthCalendarEx ------------------------------------------------------------------

TPopupMonthCalendarEx::TPopupMonthCalendarEx(QWidget* parent) : QCalendarWidget(parent)
{
    setWindowFlags(Qt::Tool | Qt::FramelessWindowHint);
    setFocusPolicy(Qt::StrongFocus);
    setVerticalHeaderFormat(QCalendarWidget::NoVerticalHeader);
    setContentsMargins(BorderWidth(), BorderWidth(), BorderWidth(), BorderWidth());
    if (auto* view = findChild<QTableView*>()) {
        view->viewport()->installEventFilter(this);
        view->installEventFilter(this);
    }
    // The month name takes the date rather than opening its menu of months.
    if (auto* month = findChild<QToolButton*>(QStringLiteral("qt_calendar_monthbutton")))
        month->installEventFilter(this);
    connect(this, &QCalendarWidget::clicked, this, MakeGuarded([this] { Close(true); }));
}

TPopupMonthCalendarEx::TCalendarHit TPopupMonthCalendarEx::HitTest(const QPoint& viewportPos) const
{
    const auto* view = findChild<QTableView*>();
    if (!view)
        return chNowhere;
    const QModelIndex index = view->indexAt(viewportPos);
    if (!index.isValid())
        return chBackground;
    const bool dayNames = horizontalHeaderFormat() != QCalendarWidget::NoHorizontalHeader;
    const bool weekNumbers = verticalHeaderFormat() != QCalendarWidget::NoVerticalHeader;
    if (dayNames && index.row() == 0)
        return chDayNames;
    if (weekNumbers && index.column() == 0)
        return chWeekNumber;
    return chDate;
}

double TPopupMonthCalendarEx::Date() const { return QDateToDateTime(selectedDate()); }

void TPopupMonthCalendarEx::SetDate(double date) { setSelectedDate(DateTimeToQDate(date)); }

QSize TPopupMonthCalendarEx::PreferredSize() const
{
    const QSize s = minimumSizeHint();
    return QSize(s.width() + 2 * BorderWidth(), s.height() + 2 * BorderWidth());
}

void TPopupMonthCalendarEx::Close(bool accept)
{
    closePosted_ = false;
    if (host_)
        host_->CloseUp(accept);
}

void TPopupMonthCalendarEx::PostCloseUp()
{
    if (closePosted_)
        return;
    closePosted_ = true;
    QMetaObject::invokeMethod(
        this, [this] { Guarded([&] { if (closePosted_) Close(false); }); }, Qt::QueuedConnection);
}

bool TPopupMonthCalendarEx::event(QEvent* e)
{
    if (e->type() == QEvent::ShortcutOverride) {
        auto* k = static_cast<QKeyEvent*>(e);
        if (k->key() == Qt::Key_Return || k->key() == Qt::Key_Enter || k->key() == Qt::Key_Escape) {
            e->accept();
            return true;
        }
    }
    if (e->type() == QEvent::WindowDeactivate && isVisible()) {
        QWidget* active = QApplication::activeWindow();
        if (!active || (active != this && !isAncestorOf(active)))
            PostCloseUp();
    }
    const bool r = QCalendarWidget::event(e);
    if (e->type() == QEvent::Paint && ctl3D_) {
        Guarded([&] {
            TCanvas c(static_cast<QPaintDevice*>(this));
            TRect box(0, 0, width(), height());
            DrawEdge(c, box, BDR_RAISEDOUTER, BF_RECT | BF_ADJUST);
            DrawEdge(c, box, BDR_RAISEDINNER, BF_RECT);
        });
    }
    return r;
}

bool TPopupMonthCalendarEx::eventFilter(QObject* watched, QEvent* e)
{
    auto* widget = qobject_cast<QWidget*>(watched);
    const bool monthName = widget && widget->objectName() == QLatin1String("qt_calendar_monthbutton");
    if (monthName && (e->type() == QEvent::MouseButtonPress || e->type() == QEvent::MouseButtonDblClick))
        return true;
    if (monthName && e->type() == QEvent::MouseButtonRelease) {
        if (widget->rect().contains(static_cast<QMouseEvent*>(e)->position().toPoint()))
            Guarded([&] { Close(true); });
        return true;
    }
    // Dates close through the clicked signal; the week numbers and the space around the days
    // take the shown date too. The day names do nothing.
    if (e->type() == QEvent::MouseButtonRelease && widget && widget->parentWidget() &&
        qobject_cast<QTableView*>(widget->parentWidget()) &&
        static_cast<QMouseEvent*>(e)->button() == Qt::LeftButton) {
        const TCalendarHit hit = HitTest(static_cast<QMouseEvent*>(e)->position().toPoint());
        if (hit == chWeekNumber || hit == chBackground) {
            Guarded([&] { Close(true); });
            return true;
        }
    }
    switch (e->type()) {
    case QEvent::KeyPress: {
        auto* k = static_cast<QKeyEvent*>(e);
        if (k->key() == Qt::Key_Return || k->key() == Qt::Key_Enter || k->key() == Qt::Key_Escape) {
            keyPressEvent(k);
            return true;
        }
        break;
    }
    case QEvent::Wheel:
        wheelEvent(static_cast<QWheelEvent*>(e));
        return true;
    case QEvent::FocusOut: {
        QWidget* next = QApplication::focusWidget();
        if (next && next != this && !isAncestorOf(next))
            PostCloseUp();
        break;
    }
    default:
        break;
    }
    return QCalendarWidget::eventFilter(watched, e);
}

void TPopupMonthCalendarEx::keyPressEvent(QKeyEvent* e)
{
    if (e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter) {
        e->accept();
        Guarded([&] { Close(true); });
        return;
    }
    if (e->key() == Qt::Key_Escape) {
        e->accept();
        Guarded([&] { Close(false); });
        return;
    }
    QCalendarWidget::keyPressEvent(e);
}

void TPopupMonthCalendarEx::wheelEvent(QWheelEvent* e)
{
    const int dy = e->angleDelta().y();
    if (dy != 0)
        setSelectedDate(selectedDate().addDays(dy < 0 ? 1 : -1));
    e->accept();
}

void TPopupMonthCalendarEx::mousePressEvent(QMouseEvent* e)
{
    if (!rect().contains(e->position().toPoint())) {
        e->accept();
        Guarded([&] { Close(false); });
        return;
    }
    QCalendarWidget::mousePressEvent(e);
}
