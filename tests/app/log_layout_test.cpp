// The log grids as the window shows them: every column within the grid's visible width and every
// value and the record count shown whole, whatever the count up to ten million records.
#include "app/fmain.h"
#include "app/tables.h"
#include "grid/dbgridex.h"
#include "grid/dbsumlst.h"
#include "platform/datetime.h"
#include "platform/query.h"
#include "tests/app/app_fixture.h"
#include "tests/support/e2e_fixture.h"
#include "tests/support/sim/device_sim.h"
#include "tests/tables/biglog.h"
#include "app/fmain_ui.h"

#include <QFontMetrics>
#include <QImage>
#include <QTest>

namespace {

class LogLayoutTest : public e2e::AppTest {
protected:
    void SetUp() override
    {
        e2e::AppTest::SetUp();
        Window();
        QCoreApplication::sendPostedEvents();
    }

    TfrmMain& w() { return Window(); }

    // Filling the table with millions of rows takes minutes: the grid's count is made to come
    // out as `count` while everything else of the open runs as it does.
    static void CountComesOutAs(TDBGridEx& g, int count)
    {
        g.SumList().SetExternalRecalc(true);
        g.OnSumListRecalcAll = [count](TCustomDBGridEx& grid) {
            TDBSum* sum = grid.SumList().SumCollection().FindSum(goCount, QString());
            ASSERT_NE(sum, nullptr);
            sum->SetSumValue(Currency::FromInt(count));
        };
    }

    // The operator types the number, sets it and opens the log.
    void OpenLogOf(int number)
    {
        auto& f = w().Form();
        f.edtNum->clear();
        QTest::keyClicks(f.edtNum, QString::number(number));
        QTest::mouseClick(f.Button1, Qt::LeftButton);
        ASSERT_TRUE(WaitFor([&] { return f.btnProtokol->isEnabled(); }));
        QTest::mouseClick(f.btnProtokol, Qt::LeftButton);
        QCoreApplication::sendPostedEvents();
    }
};

// What of a grid lies outside its visible width or does not hold its text whole.
std::string Cut(TDBGridEx& g)
{
    QStringList cut;
    const int visible = g.ClientWidth();
    // The rows on screen, their footer and the columns' text.
    for (int col = 0; col < g.ColCount(); ++col) {
        TColumnEx& c = *g.Columns()[col];
        const TRect first = g.CellRect(col, g.TopRow());
        if (first.IsEmpty() || first.Right > visible) {
            cut << QStringLiteral("%1 past the visible width %2 (right edge %3)")
                       .arg(c.FieldName())
                       .arg(visible)
                       .arg(first.Right);
            continue;
        }
        const QString footer = g.GetFooterValueText(0, c);
        const int footerWidth = QFontMetrics(c.Footer().Font().ToQFont()).horizontalAdvance(footer);
        // Text starts two pixels in and ends three pixels before the cell's right edge.
        if (footerWidth + 3 > c.Width())
            cut << QStringLiteral("%1 footer '%2'").arg(c.FieldName(), footer);
        if (c.GetColumnType() != ctCommon)
            continue;
        const QFontMetrics metrics(c.Font().ToQFont());
        TDataSet& ds = *g.DataSource()->DataSet();
        const int at = ds.RecNo();
        for (ds.First(); !ds.Eof(); ds.Next())
            if (metrics.horizontalAdvance(c.Field()->DisplayText()) + 3 > c.Width()) {
                cut << QStringLiteral("%1 value '%2'").arg(c.FieldName(), c.Field()->DisplayText());
                break;
            }
        ds.SetRecNo(at);
    }
    return cut.join(QStringLiteral("; ")).toStdString();
}

// Horizontal extent of the pixels of a colour within a rectangle of a picture (-1, -1: none).
std::pair<int, int> Extent(const QImage& img, const QRect& r, QColor colour)
{
    int left = -1, right = -1;
    const QRect in = r.intersected(img.rect());
    for (int x = in.left(); x <= in.right(); ++x)
        for (int y = in.top(); y <= in.bottom(); ++y)
            if (img.pixelColor(x, y) == colour) {
                if (left < 0)
                    left = x;
                right = x;
                break;
            }
    return {left, right};
}

}  // namespace

TEST_F(LogLayoutTest, TenMillionRecordsAndTheirValuesAreShownWhole)
{
    // Enough rows for the vertical scroll bar, voltages with three digits.
    Exec(BigLogSql(7, 600));
    TDBGridEx& g = w().GrdProtokol();
    for (int count : {600, 99999, 1000000, 10000000}) {
        SCOPED_TRACE(count);
        CountComesOutAs(g, count);
        OpenLogOf(7);
        ASSERT_EQ(w().FrontPage(), w().Form().pnlProtokol);
        TColumnEx& u = *g.Columns()[12];
        ASSERT_EQ(u.FieldName(), QStringLiteral("FU"));
        ASSERT_EQ(g.GetFooterValueText(0, u), QString::number(count));
        EXPECT_EQ(Cut(g), "");

        // The picture: the count's white digits and the last row's voltage end inside the grid
        // with their whole width.
        const QImage shot = g.viewport()->grab().toImage();
        const int footerRow = g.RowCount() - 1;
        const TRect fr = g.CellRect(12, footerRow);
        const auto [l, r] = Extent(shot, QRect(fr.Left, fr.Top, fr.Width(), fr.Height()), Qt::white);
        const int ink = QFontMetrics(u.Footer().Font().ToQFont()).tightBoundingRect(QString::number(count)).width();
        ASSERT_GE(l, 0);
        EXPECT_GE(r - l + 1, ink - 1);
        EXPECT_LT(r, g.ClientWidth());
    }
}

TEST_F(LogLayoutTest, FewRecordsKeepTheColumnsOwnWidths)
{
    Exec(BigLogSql(7, 600));
    TDBGridEx& g = w().GrdProtokol();
    CountComesOutAs(g, 10000000);
    OpenLogOf(7);
    ASSERT_GT(g.Columns()[12]->Width(), 34);
    // Back to a real count: every column has its own width again.
    g.SumList().SetExternalRecalc(false);
    g.OnSumListRecalcAll = nullptr;
    OpenLogOf(7);
    EXPECT_EQ(g.GetFooterValueText(0, *g.Columns()[12]), QStringLiteral("600"));
    EXPECT_EQ(g.Columns()[0]->Width(), 62);
    EXPECT_EQ(g.Columns()[1]->Width(), 78);
    EXPECT_EQ(g.Columns()[12]->Width(), 34);
    EXPECT_EQ(Cut(g), "");
}

TEST_F(LogLayoutTest, SecondKindLogShowsTenMillionRecordsWhole)
{
    auto& f = w().Form();
    f.cmbDevice->addItem(QStringLiteral("СУЛМ"));
    f.cmbDevice->setCurrentIndex(1);
    w().cmbDeviceChange();
    for (int i = 0; i < 40; ++i)
        ASSERT_TRUE(AddSulmLogRecord(w().QryEdit(), 7, EncodeDate(2007, 5, 10 + i % 20), EncodeTime(23, 59, 10 + i, 0), i,
                                     0x8001));
    TDBGridEx& g = w().GrdCProtokol();
    CountComesOutAs(g, 10000000);
    OpenLogOf(7);
    ASSERT_EQ(g.GetFooterValueText(0, *g.Columns()[1]), QStringLiteral("10000000"));
    EXPECT_EQ(Cut(g), "");
}

TEST_F(LogLayoutTest, TheAccountShowsTheLargestCountersWhole)
{
    sim::DeviceState dev = sim::DeviceState::Factory(7, 2);
    dev.externalStarts = 65535;
    dev.selfStarts = 65535;
    dev.accountBegin = sim::Naive(2028, 8, 28, 20, 28, 28);
    bus().AddDevice(dev);
    OpenLogOf(7);
    auto& f = w().Form();
    f.btnReadProtokol->click();
    ASSERT_TRUE(WaitFor([&] { return f.lblAccount->text().count(QStringLiteral("65535")) == 2; }));
    const QFontMetrics metrics(f.lblAccount->font());
    for (const QString& line : f.lblAccount->text().split(QLatin1Char('\n')))
        EXPECT_LE(metrics.horizontalAdvance(line), f.lblAccount->contentsRect().width()) << line.toStdString();
    EXPECT_LT(f.lblAccount->geometry().right(), f.grdProtokol->geometry().left()) << "beside the grid, not under it";
}
