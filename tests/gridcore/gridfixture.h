// A grid over a small in-memory dataset, shown offscreen at a fixed size.
#pragma once

#include "grid/dbgridex.h"

#include "platform/datasource.h"
#include "platform/memdataset.h"

#include <QApplication>
#include <QImage>
#include <QMouseEvent>
#include <QString>
#include <memory>

// Records: ID 1..n, Name "Name<i>", Amount i * 1.5, Flag (odd ids), Qty i.
inline std::unique_ptr<TMemDataSet> MakeDataSet(int records)
{
    auto ds = std::make_unique<TMemDataSet>();
    ds->AddField(ftInteger, "ID");
    ds->AddField(ftString, "Name", 20);
    ds->AddField(ftFloat, "Amount");
    ds->AddField(ftBoolean, "Flag");
    ds->AddField(ftSmallint, "Qty");
    ds->Open();
    for (int i = 1; i <= records; ++i)
        ds->AppendRecord({Variant(i), Variant(QString("Name%1").arg(i)), Variant(i * 1.5), Variant(i % 2 == 1),
                          Variant(i)});
    ds->First();
    return ds;
}

struct GridFixture {
    std::unique_ptr<TMemDataSet> ds;
    TDataSource source;
    std::unique_ptr<TDBGridEx> grid;

    explicit GridFixture(int records = 5, int width = 400, int height = 200)
        : ds(MakeDataSet(records))
    {
        source.SetDataSet(ds.get());
        grid = std::make_unique<TDBGridEx>();
        grid->resize(width, height);
        grid->SetDataSource(&source);
        grid->show();
    }
    ~GridFixture()
    {
        grid.reset();
    }

    QImage Grab() { return grid->viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32); }
};

inline TColor PixelAt(const QImage& img, int x, int y)
{
    const QRgb v = img.pixel(x, y);
    return RGB(qRed(v), qGreen(v), qBlue(v));
}

inline int CountColor(const QImage& img, TColor c, const TRect& r)
{
    int n = 0;
    for (int y = std::max(0, r.Top); y < std::min(img.height(), r.Bottom); ++y)
        for (int x = std::max(0, r.Left); x < std::min(img.width(), r.Right); ++x)
            if (PixelAt(img, x, y) == ColorToRGB(c))
                ++n;
    return n;
}

inline QPoint CenterOf(const TRect& r) { return QPoint((r.Left + r.Right) / 2, (r.Top + r.Bottom) / 2); }

// A mouse move with buttons held, as during a drag (QTest's move carries no buttons).
inline void DragMove(QWidget* w, QPoint p, Qt::MouseButtons buttons = Qt::LeftButton)
{
    QMouseEvent move(QEvent::MouseMove, QPointF(p), w->mapToGlobal(QPointF(p)), Qt::NoButton, buttons, Qt::NoModifier);
    QApplication::sendEvent(w, &move);
}
