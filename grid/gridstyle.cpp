#include "grid/gridstyle.h"

#include "grid/dbgridexdataservice.h"
#include "grid/dbgridexselection.h"
#include "grid/gridlink.h"
#include "grid/propstorage.h"

#include <QAbstractSlider>
#include <QApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <QVariant>

#include <algorithm>
#include <cmath>

// The pictures are compiled into this library; a static library has to ask for them.
static void LoadGridStyleResources()
{
    Q_INIT_RESOURCE(gridstyle);
}

// ---- Colours ------------------------------------------------------------------------------------

TColor BlendColor(TColor base, TColor tint, bool darker)
{
    const TColor b = ColorToRGB(base);
    const TColor t = ColorToRGB(tint);
    const auto channel = [darker](int bc, int tc) {
        double m = bc + (tc - bc) * 0.5;
        m = m + (225 - m) * 0.6;
        if (darker)
            m = m - (122 - m) * 0.25;
        return std::clamp(int(std::lround(m)), 0, 255);
    };
    return RGB(channel(GetRValue(b), GetRValue(t)), channel(GetGValue(b), GetGValue(t)),
               channel(GetBValue(b), GetBValue(t)));
}

// ---- TDBGridExStyle -----------------------------------------------------------------------------

namespace {

TDBGridExStyle* defaultStyle = nullptr;

// Stands for the style's hidden window: re-reads the screen colours when the palette changes.
class StyleWatcher : public QObject {
public:
    explicit StyleWatcher(TDBGridExStyle* style) : style_(style)
    {
        if (QCoreApplication* app = QCoreApplication::instance())
            app->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::ApplicationPaletteChange && watched == QCoreApplication::instance())
            style_->ReadScreenColors();
        return false;
    }

private:
    TDBGridExStyle* style_;
};

} // namespace

TDBGridExStyle::TDBGridExStyle() : watcher_(std::make_unique<StyleWatcher>(this))
{
    ReadScreenColors();
}

TDBGridExStyle::~TDBGridExStyle()
{
    const std::vector<IDBGridExStyleClient*> grids = grids_;
    grids_.clear();
    for (IDBGridExStyleClient* grid : grids)
        grid->StyleDestroyed(this);
    if (defaultStyle == this)
        defaultStyle = nullptr;
}

void TDBGridExStyle::ReadScreenColors()
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    const int depth = screen ? screen->depth() : 32;
    colorCount_ = depth > 8 ? -1 : (1 << depth);
}

void TDBGridExStyle::RegisterGrid(IDBGridExStyleClient* grid)
{
    if (grid && std::find(grids_.begin(), grids_.end(), grid) == grids_.end())
        grids_.push_back(grid);
}

void TDBGridExStyle::UnregisterGrid(IDBGridExStyleClient* grid)
{
    std::erase(grids_, grid);
}

bool TDBGridExStyle::HighlightDataCell(IDBGridEx& grid, const TDataCellHighlightArgs& cell, TColor& background,
                                       TFont& font)
{
    const TDBGridOptions options = grid.Options();
    const TDBGridExOptions optionsEx = grid.OptionsEx();
    bool selected = cell.Selected;
    if (options.Contains(dgMultiSelect) && grid.DataLink().Active())
        selected = selected || grid.Selection().DataCellSelected(cell.DataCol, cell.Bookmark);
    const bool focused = grid.Focused();
    bool focusHighlight = focused && optionsEx.Contains(dghHighlightFocus);
    if (optionsEx.Contains(dghRowHighlight) && cell.CurrentRow && grid.Selection().SelectionType() == gstNon &&
        !cell.CurrentCol) {
        focusHighlight = true;
        selected = true;
    }
    const bool rowSelect = options.Contains(dgRowSelect);
    const bool highlighted = (selected || (cell.CurrentRow && rowSelect)) &&
                             (options.Contains(dgAlwaysShowSelection) || focusHighlight) &&
                             (!grid.EditorVisible() || rowSelect);
    if (!highlighted)
        return false;
    const bool currentCell = cell.CurrentRow && (cell.CurrentCol || rowSelect);
    const bool blend = blendColors_ && TrueColorDisplay();
    if (focused) {
        if (blend && !currentCell) {
            background = BlendColor(background, clHighlight, true);
        } else {
            background = clHighlight;
            font.SetColor(clHighlightText);
        }
    } else if (currentCell && (options.Contains(dgAlwaysShowSelection) || focusHighlight)) {
        background = clBtnShadow;
        font.SetColor(clHighlightText);
    } else {
        background = blend ? BlendColor(background, clBtnShadow, false) : clBtnFace;
    }
    return true;
}

void TDBGridExStyle::GetHighlightColors(IDBGridEx& grid, bool highlight, int colKind, int rowKind,
                                        TColor& background, TFont& font)
{
    if (!highlight)
        return;
    if ((colKind == 0 && rowKind != 3) || (colKind == 1 && rowKind < 2)) {
        background = RGB(64, 64, 64);
        font.SetColor(clWhite);
        return;
    }
    const bool blend = blendColors_ && TrueColorDisplay();
    if (!grid.Focused()) {
        background = blend ? BlendColor(background, clBtnShadow, false) : clBtnFace;
    } else if (blend) {
        background = BlendColor(background, clHighlight, true);
    } else {
        background = clHighlight;
        font.SetColor(clHighlightText);
    }
}

TDBGridExStyle* GetDefaultGridStyle()
{
    InitDBGridExResources();
    return defaultStyle;
}

void SetDefaultGridStyle(TDBGridExStyle* style)
{
    InitDBGridExResources();
    defaultStyle = style;
}

// ---- Scroll bars --------------------------------------------------------------------------------

namespace {
const char* const kOwnerProperty = "dbGridExScrollBarOwner";
} // namespace

TDBGridExScrollBar::TDBGridExScrollBar(IDBGridEx* grid, TScrollBarKind kind) : grid_(grid), kind_(kind) {}

TDBGridExScrollBar::~TDBGridExScrollBar()
{
    Detach();
}

void TDBGridExScrollBar::Assign(const TDBGridExScrollBar& source)
{
    if (&source == this)
        return;
    SetTracking(source.tracking_);
    SetVisibleMode(source.visibleMode_);
}

void TDBGridExScrollBar::Detach()
{
    for (const QMetaObject::Connection& c : connections_)
        QObject::disconnect(c);
    connections_.clear();
    if (extBar_)
        extBar_->setProperty(kOwnerProperty, QVariant());
    extBar_ = nullptr;
}

void TDBGridExScrollBar::SetExtScrollBar(QScrollBar* bar)
{
    if (bar == extBar_)
        return;
    const bool designing = grid_ && grid_->IsDesigning();
    if (bar && !designing) {
        const QVariant owner = bar->property(kOwnerProperty);
        if (owner.isValid() && owner.value<void*>() != static_cast<void*>(this))
            throw Exception("Possible " + bar->objectName() + " already attached to the other control.");
    }
    Detach();
    extBar_ = bar;
    if (bar) {
        if (!designing) {
            bar->setProperty(kOwnerProperty, QVariant::fromValue(static_cast<void*>(this)));
            connections_.push_back(QObject::connect(bar, &QAbstractSlider::actionTriggered, bar, [this](int action) {
                if (OnScroll && extBar_)
                    OnScroll(kind_, action, extBar_->sliderPosition());
            }));
        }
        bar->setVisible(Visible());
    }
    if (grid_ && !grid_->IsDestroying() && grid_->HasWindow()) {
        if (kind_ == sbVertical && OnUpdateScrollBar)
            OnUpdateScrollBar();
        grid_->LayoutChanged();
    }
}

void TDBGridExScrollBar::SetVisible(bool value)
{
    SetVisibleMode(value ? sbAutoShowEx : sbNeverShowEx);
    if (extBar_)
        extBar_->setVisible(value);
}

void TDBGridExScrollBar::SetVisibleMode(TScrollBarVisibleModeEx value)
{
    if (visibleMode_ == value)
        return;
    visibleMode_ = value;
    Changed();
}

void TDBGridExScrollBar::Changed()
{
    if (kind_ == sbVertical && OnUpdateScrollBar)
        OnUpdateScrollBar();
    if (grid_ && !grid_->IsDestroying())
        grid_->LayoutChanged();
}

bool TDBGridExScrollBar::IsScrollBarShowing() const
{
    if (extBar_)
        return !extBar_->isHidden();
    return Visible() && ownBarShown_;
}

void TDBGridExScrollBar::SetExtScrollInfo(int min, int max, int page, int position)
{
    if (!extBar_)
        return;
    // A slider clamps its value to its range, so the range goes in before the position.
    extBar_->setPageStep(0);
    extBar_->setRange(min, max);
    extBar_->setValue(position);
    extBar_->setPageStep(page);
}

// ---- Start-up resources -------------------------------------------------------------------------

namespace {

enum class UnitState { NotStarted, Running, Finished };

struct GridResources {
    std::unique_ptr<TDBGridExStyle> style;
    TFont sortMarkerFont;
    QCursor cursors[3];
    TImageList indicators;
    TImageList sortMarkers;
};

UnitState unitState = UnitState::NotStarted;
std::unique_ptr<GridResources> resources;

QCursor LoadCursor(const char* name, int hotX, int hotY)
{
    const QPixmap pixmap(QString(":/grid/") + name);
    if (pixmap.isNull())
        throw EOutOfResources("Cannot load cursor resource");
    return QCursor(pixmap, hotX, hotY);
}

QImage RequireImage(const QString& name)
{
    QImage image = DBGridExResourceImage(name);
    if (image.isNull())
        throw EOutOfResources("Cannot load bitmap resource " + name);
    return image;
}

// The arrow on the incremental-search colour: the picture's teal background is painted over.
QImage ArrowOnSearchColour(const QImage& arrow)
{
    const TColor background = DBGridExIncSearchColor == clTeal ? RGB(0, 127, 127) : DBGridExIncSearchColor;
    const QRgb teal = ToQColor(clTeal).rgb();
    const QRgb fill = ToQColor(background).rgb();
    QImage result = arrow.convertToFormat(QImage::Format_RGB32);
    for (int y = 0; y < result.height(); ++y)
        for (int x = 0; x < result.width(); ++x)
            if ((result.pixel(x, y) & 0xFFFFFF) == (teal & 0xFFFFFF))
                result.setPixel(x, y, fill);
    return result;
}

} // namespace

QImage DBGridExResourceImage(const QString& name)
{
    LoadGridStyleResources();
    return QImage(":/grid/" + name).convertToFormat(QImage::Format_RGB32);
}

void InitDBGridExResources()
{
    if (unitState != UnitState::NotStarted)
        return;
    RegisterDBGridExStorageInterceptors();
    LoadGridStyleResources();
    auto r = std::make_unique<GridResources>();
    r->style = std::make_unique<TDBGridExStyle>();
    DBGridExDefaultService();

    const QImage sortDown = RequireImage("DBSMDOWNEH");
    r->sortMarkerFont.SetName("Arial");
    r->sortMarkerFont.SetHeight(1 - sortDown.height());

    r->cursors[crDownCurEx] = LoadCursor("DOWNCUREH", 7, 15);
    r->cursors[crRightCurEx] = LoadCursor("RIGHTCUREH", 15, 8);
    r->cursors[crLeftCurEx] = LoadCursor("LEFTCUREH", 0, 8);

    const QImage arrow = RequireImage("DBGARROWEH");
    r->indicators.SetSize(arrow.width(), arrow.height());
    r->indicators.Add(arrow, clWhite);
    r->indicators.Add(RequireImage("DBEDITEH"), clWhite);
    r->indicators.Add(RequireImage("DBINSERTEH"), clWhite);
    r->indicators.Add(RequireImage("DBMULTIDOTEH"), clWhite);
    r->indicators.Add(RequireImage("DBMULTIARROWEH"), clWhite);
    const QImage highlightArrow = RequireImage("DBGARROWEHW");
    r->indicators.Add(highlightArrow, clTeal);
    r->indicators.Replace(kIndicatorArrowOnSearch, ArrowOnSearchColour(highlightArrow), clTeal);

    r->sortMarkers.SetSize(sortDown.width(), sortDown.height());
    r->sortMarkers.Add(sortDown, clFuchsia);
    r->sortMarkers.Add(RequireImage("DBSMUPEH"), clFuchsia);

    defaultStyle = r->style.get();
    resources = std::move(r);
    unitState = UnitState::Running;
}

void FinalizeDBGridExResources()
{
    if (unitState != UnitState::Running)
        return;
    resources.reset();
    defaultStyle = nullptr;
    DBGridExDefaultService().OnApplyFilter = nullptr;
    DBGridExDefaultService().OnApplySorting = nullptr;
    UnregisterAllDataSetFeatures();
    unitState = UnitState::Finished;
}

namespace {

GridResources& Resources()
{
    InitDBGridExResources();
    if (!resources)
        throw EInvalidGridOperation("The grid library has been shut down");
    return *resources;
}

} // namespace

const TFont& SortMarkerFont()
{
    return Resources().sortMarkerFont;
}

const QCursor& DBGridExCursor(TDBGridExCursor cursor)
{
    return Resources().cursors[cursor];
}

const TImageList& DBGridExIndicators()
{
    return Resources().indicators;
}

const TImageList& DBGridExSortMarkers()
{
    return Resources().sortMarkers;
}
