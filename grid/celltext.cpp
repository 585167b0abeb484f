#include "grid/celltext.h"

#include "platform/bitmap.h"
#include "platform/canvas.h"
#include "platform/imagelist.h"

#include <QCoreApplication>
#include <QRawFont>
#include <QtEndian>
#include <memory>

// ---- Shared bitmap ---------------------------------------------------------------------------

namespace {

struct SharedBitmap {
    int users = 0;
    std::unique_ptr<TBitmap> bitmap;
};

SharedBitmap& Shared()
{
    static SharedBitmap s;
    return s;
}

// A bitmap at least w x h: the shared one when held, else a scratch one for this call.
TBitmap& BitmapFor(int w, int h, std::unique_ptr<TBitmap>& scratch)
{
    TBitmap* b = SharedCellBitmap();
    if (!b) {
        scratch = std::make_unique<TBitmap>(std::max(1, w), std::max(1, h));
        return *scratch;
    }
    if (b->Width() < w || b->Height() < h)
        b->SetSize(std::max(b->Width(), w), std::max(b->Height(), h));
    return *b;
}

}  // namespace

void AcquireCellBitmap()
{
    SharedBitmap& s = Shared();
    if (s.users++ == 0)
        s.bitmap = std::make_unique<TBitmap>(1, 1);
}

void ReleaseCellBitmap()
{
    SharedBitmap& s = Shared();
    if (s.users == 0)
        return;
    if (--s.users == 0)
        s.bitmap.reset();
}

TBitmap* SharedCellBitmap() { return Shared().bitmap.get(); }

unsigned AlignmentFlags(TAlignment alignment)
{
    switch (alignment) {
    case taRightJustify: return DT_NOPREFIX | DT_EXPANDTABS | DT_RIGHT;
    case taCenter: return DT_NOPREFIX | DT_EXPANDTABS | DT_CENTER;
    default: return DT_NOPREFIX | DT_EXPANDTABS | DT_LEFT;
    }
}

unsigned VerticalTextAlignmentFlags(TAlignment alignment) { return AlignmentFlags(alignment) | DT_WORDBREAK; }

// ---- Measuring -------------------------------------------------------------------------------

QString EllipsisText(const QString& text, const TCanvas& canvas, int width)
{
    QString result = text;
    const int len = int(text.size());
    int i = 1;
    while (canvas.TextWidth(result) > width && i <= len) {
        ++i;
        result = text.left(std::max(0, len - i)) + QStringLiteral("...");
    }
    return result;
}

int CalcTextWidth(TCanvas& canvas, const QString& text)
{
    TRect r(0, 0, 1, 0);
    canvas.DrawText(text, r, DT_CALCRECT | DT_NOPREFIX);
    return r.Width();
}

bool CellTextOverflows(TCanvas& canvas, int leftMargin, int topMargin, int& height, int& width, bool wordWrap,
                       const TRect& rect, const QString& text)
{
    const int available = rect.Width() - 2 - leftMargin;
    TRect r(0, 0, std::max(0, available), 0);
    unsigned flags = DT_CALCRECT | DT_NOPREFIX;
    if (wordWrap)
        flags |= DT_WORDBREAK;
    canvas.DrawText(text, r, flags);
    width = r.Width();
    height = r.Height();
    return width > available || height > rect.Height() - topMargin + 1;
}

// ---- Horizontal text -------------------------------------------------------------------------

void WriteTextEx(TCanvas& canvas, const TRect& rect, bool rightToLeft, int rightMargin, int leftMargin,
                 bool endEllipsis, bool wordWrap, TTextLayout layout, TAlignment alignment, const QString& text,
                 int dy, int dx)
{
    // True-colour displays show every brush colour undithered, so only wrapping needs the bitmap.
    if (!wordWrap) {
        QString s = text;
        if (endEllipsis)
            s = EllipsisText(s, canvas, rect.Width() - dx);
        const bool measured = alignment == taCenter &&
                              (canvas.Font().Style().Contains(fsBold) || canvas.Font().Style().Contains(fsItalic));
        const int width = measured ? CalcTextWidth(canvas, s) : canvas.TextWidth(s);
        int x;
        switch (alignment) {
        case taRightJustify: x = rect.Right - width - 3; break;
        case taCenter: x = rect.IsEmpty() ? 0 : rect.Left + (rect.Right - rect.Left) / 2 - width / 2; break;
        default: x = rect.Left + dx; break;
        }
        canvas.TextRect(rect, x, rect.Top + dy, s);
        return;
    }

    const int w = rect.Width();
    const int h = rect.Height();
    if (w <= 0 || h <= 0)
        return;
    std::unique_ptr<TBitmap> scratch;
    TBitmap& bmp = BitmapFor(w, h, scratch);
    TCanvas& bc = bmp.Canvas();
    bc.SelectClipRgn(std::nullopt);
    bc.SetFont(canvas.Font());
    bc.SetBrush(canvas.Brush());
    const TRect local(0, 0, w, h);
    bc.FillRect(local);
    bc.Brush().SetStyle(bsClear);

    unsigned flags = 0;
    if (endEllipsis && wordWrap)
        flags = DT_WORDBREAK | DT_END_ELLIPSIS;
    else if (endEllipsis)
        flags = DT_END_ELLIPSIS;
    else if (wordWrap)
        flags = DT_WORDBREAK;
    flags |= AlignmentFlags(alignment);
    if (rightToLeft)
        flags |= DT_RTLREADING;

    TRect dr(dx, dy, w - dx, h - dy);
    dr.Left += leftMargin;
    dr.Right -= rightMargin;
    if (layout != tlTop) {
        TRect calc = dr;
        const int textHeight = bc.DrawText(text, calc, flags | DT_CALCRECT);
        if (layout == tlCenter)
            dr.Top = (dr.Top + dr.Bottom) / 2 - textHeight / 2;
        else
            dr.Top = dr.Bottom - textHeight;
    }
    if (dx > 0)
        dr.Right += 1;
    bc.DrawText(text, dr, flags);
    bc.Release();
    canvas.DrawImage(rect, bmp.Image(), local);
}

// ---- Vertical text ---------------------------------------------------------------------------

TFont CreateVerticalFont(const TFont& font)
{
    TFont v(font);
    v.SetOrientation(900);
    return v;
}

int ItalicOverhang(const TCanvas& canvas)
{
    const TFont& f = canvas.Font();
    const TTextMetric tm = canvas.TextMetrics();
    if (!f.Style().Contains(fsItalic))
        return tm.Overhang;
    const QRawFont raw = QRawFont::fromFont(f.ToQFont());
    const QByteArray hhea = raw.isValid() ? raw.fontTable("hhea") : QByteArray();
    if (hhea.size() < 22)
        return tm.Overhang;
    // The caret slope of the outline: rise at offset 18, run at offset 20 (big-endian).
    const auto* d = reinterpret_cast<const uchar*>(hhea.constData());
    const int rise = qFromBigEndian<qint16>(d + 18);
    const int run = qFromBigEndian<qint16>(d + 20);
    if (rise == 0)
        return tm.Overhang;
    return (tm.Height - tm.InternalLeading) * run / rise;
}

int WriteTextVerticalEx(TCanvas& canvas, const TRect& rect, bool fill, bool calcOnly, bool endEllipsis,
                        TTextLayout layout, TAlignment alignment, const QString& text, int dy, int dx)
{
    const TFont normal(canvas.Font());
    canvas.SetFont(CreateVerticalFont(normal));
    const int extra = ItalicOverhang(canvas);
    QString s = text;
    if (endEllipsis && !calcOnly)
        s = EllipsisText(s, canvas, rect.Height() - dy - extra);
    const int needed = canvas.TextWidth(s) + extra;
    if (!calcOnly) {
        const int textHeight = canvas.TextHeight(s);
        const int overhang = canvas.TextMetrics().Overhang;
        int x;
        switch (alignment) {
        case taRightJustify: x = rect.Right - textHeight; break;
        case taCenter: x = (rect.Left + rect.Right) / 2 - (textHeight + overhang) / 2; break;
        default: x = rect.Left + dx; break;
        }
        int y;
        switch (layout) {
        case tlTop: y = rect.Top + needed; break;
        case tlBottom: y = rect.Bottom - dy; break;
        default: y = (rect.Top + rect.Bottom) / 2 + needed / 2; break;
        }
        const TBrushStyle savedStyle = canvas.Brush().Style();
        if (!fill)
            canvas.Brush().SetStyle(bsClear);
        canvas.TextRect(rect, x, y, s);
        if (!fill)
            canvas.Brush().SetStyle(savedStyle);
    }
    TFont reset(normal);
    canvas.SetFont(reset);
    canvas.Font().SetHeight(normal.Height());
    return needed;
}

// ---- Images ----------------------------------------------------------------------------------

namespace {

int ImageLeft(TAlignment alignment, int dx, const TRect& rect, int width)
{
    switch (alignment) {
    case taRightJustify: return rect.Right - width;
    case taCenter: return rect.Left + (rect.Width() - width) / 2;
    default: return rect.Left + dx;
    }
}

template <class DrawFn>
void DrawClipped(TCanvas& canvas, const TRect& rect, const TRect& picture, DrawFn draw)
{
    const bool outside = picture.Left < rect.Left || picture.Top < rect.Top || picture.Right > rect.Right ||
                         picture.Bottom > rect.Bottom;
    if (!outside) {
        draw();
        return;
    }
    const std::optional<TRegion> saved = canvas.ClipRegion();
    canvas.IntersectClipRect(rect);
    draw();
    canvas.SelectClipRgn(saved);
}

}  // namespace

void DrawCellImage(const TImageList& images, int index, TCanvas& canvas, TAlignment alignment, int dx,
                   const TRect& rect)
{
    const int w = images.Width();
    const int h = images.Height();
    const int x = ImageLeft(alignment, dx, rect, w);
    const int y = rect.Top + (rect.Height() - h) / 2;
    DrawClipped(canvas, rect, TRect(x, y, x + w, y + h), [&] { images.Draw(canvas, x, y, index); });
}

void DrawCellImage(const TGraphic& graphic, TCanvas& canvas, TAlignment alignment, int dx, const TRect& rect)
{
    const int w = graphic.Width();
    const int h = graphic.Height();
    const int x = ImageLeft(alignment, dx, rect, w);
    const int y = rect.Top + (rect.Height() - h) / 2;
    DrawClipped(canvas, rect, TRect(x, y, x + w, y + h), [&] { canvas.Draw(x, y, graphic); });
}

// ---- Small routines --------------------------------------------------------------------------

bool FieldsCanModify(const std::vector<TField*>& fields)
{
    for (const TField* f : fields)
        if (!f || !f->CanModify())
            return false;
    return true;
}

void RaiseGridOperationError(const QString& text) { throw EInvalidGridOperation(text); }

void DropPendingMessage(QObject* receiver, QEvent::Type type)
{
    if (receiver)
        QCoreApplication::removePostedEvents(receiver, type);
}
