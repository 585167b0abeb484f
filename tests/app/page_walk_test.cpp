// A walk through every page of the main window as the operator sees it, over the simulated bus.
// Each step grabs the window into its scratch folder (vemor_walk_*.png) for a look, and checks what the picture
// must show: texts not clipped, fonts and colours of the titles, the grids' titles and footers.
#include "app/fmain.h"
#include "app/fselect.h"
#include "app/fspalsh.h"
#include "app/tables.h"
#include "grid/dbgridex.h"
#include "platform/datetime.h"
#include "platform/query.h"
#include "tests/app/app_fixture.h"
#include "tests/support/e2e_fixture.h"
#include "app/fmain_ui.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QFontMetrics>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QStyle>

#include <cstdlib>
#include <functional>

using namespace std::chrono_literals;

namespace {

const QString kParamsDone = QStringLiteral("Параметры считаны (записаны) !");

class PageWalkTest : public e2e::AppTest {
protected:
    QImage Shot(const QString& name)
    {
        // Layout changes (scroll bars shown or hidden) settle before the picture is taken.
        QCoreApplication::sendPostedEvents();
        QImage img = Window().grab().toImage();
        img.save(harness().Folder() + QStringLiteral("vemor_walk_%1.png").arg(name));
        return img;
    }

    bool HasBox(const QString& prefix)
    {
        for (const auto& b : boxes.Boxes())
            if (b.text.startsWith(prefix))
                return true;
        return false;
    }

    void Select(int number)
    {
        Window().Form().edtNum->setText(QString::number(number));
        Window().Button1Click();
        ASSERT_EQ(SelectedNumber, number);
    }

    // The second device kind, as the code keeps it selectable for the day it is offered.
    void SwitchToSecondKind()
    {
        auto& f = Window().Form();
        f.cmbDevice->addItem(QStringLiteral("СУЛМ"));
        f.cmbDevice->setCurrentIndex(1);
        Window().cmbDeviceChange();
    }

};

// Every visible label, check box, radio and push button of a page shows its whole text.
std::string ClippedTexts(QWidget* page)
{
    QStringList clipped;
    for (QLabel* l : page->findChildren<QLabel*>()) {
        if (!l->isVisibleTo(page) || l->text().isEmpty() || l->pixmap().isNull() == false)
            continue;
        const QFontMetrics fm(l->font());
        const QRect need = fm.boundingRect(QRect(0, 0, 10000, 10000), int(l->alignment()), l->text());
        const QRect have = l->contentsRect();
        if (need.width() > have.width() || need.height() > have.height())
            clipped.push_back(l->objectName() + QStringLiteral(": ") + l->text());
    }
    for (QAbstractButton* b : page->findChildren<QAbstractButton*>()) {
        if (!b->isVisibleTo(page) || b->text().isEmpty() || !b->sizeHint().isValid())
            continue;
        // Check boxes and radios need their indicator and text; push buttons their text and margins.
        const int text = QFontMetrics(b->font()).horizontalAdvance(b->text());
        const QStyle* st = b->style();
        int need = b->sizeHint().width();
        if (qobject_cast<QPushButton*>(b))
            need = text + 8;
        else if (qobject_cast<QCheckBox*>(b))
            need = st->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, b) +
                   st->pixelMetric(QStyle::PM_CheckBoxLabelSpacing, nullptr, b) + text;
        else if (qobject_cast<QRadioButton*>(b))
            need = st->pixelMetric(QStyle::PM_ExclusiveIndicatorWidth, nullptr, b) +
                   st->pixelMetric(QStyle::PM_RadioButtonLabelSpacing, nullptr, b) + text;
        if (need > b->width())
            clipped.push_back(b->objectName() + QStringLiteral(": ") + b->text());
    }
    for (QGroupBox* g : page->findChildren<QGroupBox*>()) {
        if (!g->isVisibleTo(page))
            continue;
        if (QFontMetrics(g->font()).horizontalAdvance(g->title()) + 12 > g->width())
            clipped.push_back(g->objectName() + QStringLiteral(": ") + g->title());
    }
    return clipped.join(QStringLiteral("; ")).toStdString();
}

const QColor kFace(192, 192, 192);     // the classic button face
const QColor kShadow(128, 128, 128);   // the classic button shadow

// Pixels of a rectangle of the picture that satisfy a test.
int CountPixels(const QImage& img, const QRect& r, const std::function<bool(QColor)>& test)
{
    int n = 0;
    const QRect in = r.intersected(img.rect());
    for (int y = in.top(); y <= in.bottom(); ++y)
        for (int x = in.left(); x <= in.right(); ++x)
            n += test(img.pixelColor(x, y));
    return n;
}

// A widget's rectangle in the main window's picture.
QRect InWindow(const QWidget* w)
{
    return QRect(w->mapTo(w->window(), QPoint(0, 0)), w->size());
}

// Named widgets of the layout that overlap a visible sibling.
std::string Overlaps(QWidget* page)
{
    QStringList found;
    std::function<void(QWidget*)> walk = [&](QWidget* parent) {
        QList<QWidget*> kids;
        for (QObject* o : parent->children()) {
            auto* w = qobject_cast<QWidget*>(o);
            if (!w || !w->isVisibleTo(page) || w->objectName().isEmpty())
                continue;
            // Qt's own parts (a tab widget's stack, a scroll area's viewport) only hold ours.
            if (w->objectName().startsWith(QStringLiteral("qt_")))
                walk(w);
            else
                kids.push_back(w);
        }
        for (int i = 0; i < kids.size(); ++i) {
            for (int j = i + 1; j < kids.size(); ++j)
                if (kids[i]->geometry().intersects(kids[j]->geometry()))
                    found << kids[i]->objectName() + QLatin1Char('/') + kids[j]->objectName();
            walk(kids[i]);
        }
    };
    walk(page);
    return found.join(QStringLiteral("; ")).toStdString();
}

}  // namespace

TEST_F(PageWalkTest, StartUpShowsTheScanPageWithTheDeviceButtonsOff)
{
    frmSplash = new TfrmSplash;
    frmSplash->show();
    QCoreApplication::sendPostedEvents();
    frmSplash->grab().save(harness().Folder() + QStringLiteral("vemor_walk_0_splash.png"));
    EXPECT_EQ(ClippedTexts(frmSplash), "");
    TfrmMain& w = Window();
    w.Timer1Timer();
    ASSERT_EQ(frmSplash, nullptr);
    w.GlobalTimerTimer();
    const QImage shot = Shot(QStringLiteral("0_start"));
    auto& f = w.Form();
    // The window's face is the button face the grids and the scheme paint with.
    EXPECT_EQ(shot.pixelColor(450, 280), kFace);
    EXPECT_EQ(shot.pixelColor(InWindow(f.Panel1).center().x(), 2), kFace);
    // The scan button's text is navy.
    EXPECT_GT(CountPixels(shot, InWindow(f.btnStartScan),
                          [](QColor c) { return c.blue() > 100 && c.red() < 60 && c.green() < 60; }),
              10);
    EXPECT_EQ(w.FrontPage(), f.pnlScan);
    EXPECT_FALSE(f.btnParams->isEnabled());
    EXPECT_FALSE(f.btnView->isEnabled());
    EXPECT_FALSE(f.btnProtokol->isEnabled());
    EXPECT_TRUE(f.btnScan->isEnabled());
    EXPECT_FALSE(f.cmbDevice->isEnabled());
    EXPECT_FALSE(f.lblNum->isVisible());
}

TEST_F(PageWalkTest, VemorPagesOverTheBus)
{
    sim::DeviceState dev = sim::DeviceState::Factory(3, 2);
    dev.info = sim::InfoBytes(QStringLiteral("Насосная 1"));
    dev.version = sim::VersionBytes(QStringLiteral("v2.14"));
    dev.live = sim::LiveValues{.state = 0x51, .voltage = 380, .time = 12};
    dev.log = sim::GenerateLog(30, sim::Naive(2011, 7, 8, 12));
    dev.accountBegin = sim::Naive(2011, 1, 1);
    bus().AddDevice(dev);
    bus().AddDevice(sim::DeviceState::Factory(7, 2));
    TfrmMain& w = Window();
    auto& f = w.Form();

    // Scan page with two found devices, the first chosen.
    f.edtScanStartNum->setValue(1);
    f.edtScanEndNum->setValue(8);
    f.grpSpeed->SetItemIndex(2);
    f.chkAutoSpeed->setChecked(false);
    w.btnStartScanClick();
    ASSERT_TRUE(WaitFor([&] { return w.State() == stIdle && w.FoundCount() == 2; }, 30s));
    f.lstScanVemor->setCurrentItem(f.lstScanVemor->topLevelItem(0));
    ASSERT_EQ(SelectedNumber, 3);
    w.GlobalTimerTimer();
    Shot(QStringLiteral("1_scan"));
    EXPECT_TRUE(f.lblNum->isVisible());
    EXPECT_TRUE(f.btnParams->isEnabled());
    EXPECT_EQ(ClippedTexts(f.pnlScan), "");
    EXPECT_EQ(Overlaps(f.pnlScan), "");

    // Parameters page after a read, with the information text and version.
    w.btnParamsClick();
    f.btnReadParams->click();
    ASSERT_TRUE(WaitFor([&] { return HasBox(kParamsDone); }, 20s));
    Shot(QStringLiteral("2_params"));
    EXPECT_EQ(f.edtInformation->text().trimmed(), QStringLiteral("Насосная 1"));
    EXPECT_EQ(ClippedTexts(f.pnlParams), "");
    EXPECT_EQ(Overlaps(f.pnlParams), "");
    for (int i = 0; i < f.pgcVemor->count(); ++i) {
        f.pgcVemor->setCurrentIndex(i);
        Shot(QStringLiteral("2_params_tab%1").arg(i));
        EXPECT_EQ(Overlaps(f.pgcVemor), "") << "tab " << i;
        EXPECT_EQ(ClippedTexts(f.pgcVemor), "") << "tab " << i;
    }

    // Live view running.
    w.btnViewClick();
    f.btnStartView->click();
    ASSERT_TRUE(WaitFor([&] { return f.txtU->text() == QStringLiteral("U : 380 В"); }, 20s));
    const QImage live = Shot(QStringLiteral("3_live"));
    // The fitted scheme blends into the page: no margin of another colour around it.
    const QRect scheme = InWindow(f.SchemePanel);
    EXPECT_EQ(live.pixelColor(scheme.topLeft() + QPoint(1, 1)), kFace);
    EXPECT_EQ(live.pixelColor(scheme.bottomRight() - QPoint(1, 1)), kFace);
    // "Норма" in green.
    EXPECT_GT(CountPixels(live, InWindow(f.txtN), [](QColor c) { return c == QColor(0, 128, 0); }), 10);
    EXPECT_EQ(ClippedTexts(f.pnlVemorView), "");
    EXPECT_EQ(Overlaps(f.pnlVemorView), "");
    f.btnStartView->click();
    ASSERT_TRUE(WaitFor([&] { return w.State() == stIdle; }));
    Shot(QStringLiteral("3_live_stopped"));

    // Log page with the downloaded records.
    w.btnProtokolClick();
    f.chkReadAllRecordsVemorProtokol->setChecked(true);
    f.btnReadProtokol->click();
    ASSERT_TRUE(WaitFor([&] { return HasBox(QStringLiteral("Протокол считан")); }, 30s));
    ASSERT_TRUE(WaitFor([&] { return w.QryProtokol().RecordCount() == 30; }));
    const QImage log = Shot(QStringLiteral("4_log"));
    {
        // White titles and footers on the button shadow, cells on the face.
        TDBGridEx& g = w.GrdProtokol();
        const QRect grid = InWindow(&g);
        const int titleBottom = grid.top() + g.RowHeights(0);
        const QRect title(grid.left(), grid.top(), grid.width() - 20, g.RowHeights(0));
        EXPECT_EQ(log.pixelColor(grid.left() + 2, grid.top() + 2), kShadow);
        const auto white = [](QColor c) { return c == QColor(255, 255, 255); };
        // The vertical titles reach well up the title row.
        const QRect upper(grid.left() + 140, grid.top() + 2, 200, g.RowHeights(0) / 3);
        EXPECT_GT(CountPixels(log, upper, white), 20);
        EXPECT_GT(CountPixels(log, title, white), 200);
        const QRect footer(grid.left(), grid.bottom() - 14, grid.width() - 20, 12);
        EXPECT_GT(CountPixels(log, footer, white), 20);
        EXPECT_EQ(log.pixelColor(grid.left() + 2, titleBottom + 6), kFace);
    }
    EXPECT_EQ(ClippedTexts(f.pnlProtokol), "");
    EXPECT_EQ(Overlaps(f.pnlProtokol), "");

    // The date-range dialog.
    TfrmSelect* dlg = w.SelectDialog();
    dlg->show();
    const QImage select = dlg->grab().toImage();
    select.save(harness().Folder() + QStringLiteral("vemor_walk_5_select.png"));
    // The dialog wears its owner's face.
    EXPECT_EQ(select.pixelColor(4, 4), kFace);
    EXPECT_EQ(ClippedTexts(dlg), "");
    EXPECT_EQ(Overlaps(dlg), "");
    dlg->hide();
}

TEST_F(PageWalkTest, SecondKindPages)
{
    TfrmMain& w = Window();
    auto& f = w.Form();
    SwitchToSecondKind();
    const int n = 12;
    SelectedNumber = n;
    TQuery& q = w.QryEdit();
    StoreSulmParameters(q, n, 100, QStringLiteral("05.03.2007  8:04:09"), QStringLiteral("1010000000000001"));
    StoreSulmAccount(q, n, QStringLiteral("01.01.2011  0:00:00"));
    for (int i = 0; i < 12; ++i)
        AddSulmLogRecord(q, n, EncodeDate(2011, 7, 8), EncodeTime(10, i, 0, 0), i + 1,
                         std::uint16_t((1u << (i % 16)) | 0x0001));

    for (int pin = 1; pin <= 16; ++pin) {
        q.Close();
        q.SetSQL(QStringLiteral("insert into sulm_n (fid, fpin, fname) values (%1, %2, 'Насос %2')").arg(n).arg(pin));
        q.ExecSQL();
    }

    w.btnParamsClick();
    Shot(QStringLiteral("6_sulm_params"));
    EXPECT_EQ(f.edtSulmCannel16Name->text(), QStringLiteral("Насос 16"));
    // The names scroll up and down only, their edits whole beside the bar.
    EXPECT_FALSE(f.boxSulmNames->horizontalScrollBar()->isVisible());
    EXPECT_EQ(ClippedTexts(f.pnlSulmParams), "");
    EXPECT_EQ(Overlaps(f.pnlSulmParams), "");
    w.btnViewClick();
    Shot(QStringLiteral("7_sulm_view"));
    // The row of indicators is centred on the page.
    EXPECT_LE(std::abs(f.ledSulmView1->x() - (f.pnlSulmView->width() - f.ledSulmView16->geometry().right() - 1)), 1);
    EXPECT_EQ(ClippedTexts(f.pnlSulmView), "");
    EXPECT_EQ(Overlaps(f.pnlSulmView), "");
    w.btnProtokolClick();
    const QImage log = Shot(QStringLiteral("8_sulm_log"));
    // All columns fit: no horizontal bar over the footer, even though the grid was filled
    // while its page was hidden.
    EXPECT_FALSE(w.GrdCProtokol().horizontalScrollBar()->isVisible());
    // Channel cells show their pictures: a red box for every channel that was on.
    EXPECT_GE(CountPixels(log, InWindow(&w.GrdCProtokol()), [](QColor c) { return c == QColor(255, 0, 0); }),
              23 * 12);
    EXPECT_EQ(ClippedTexts(f.pnlCProtokol), "");
    EXPECT_EQ(Overlaps(f.pnlCProtokol), "");
}
