// The live-view page of the main window over the simulated bus.
#include "app/enginecontrol.h"
#include "app/fmain.h"
#include "app/liveview.h"
#include "app/tables.h"
#include "scheme/drawpanel.h"
#include "scheme/drawprops2.h"
#include "scheme/drawtext.h"
#include "tests/support/e2e_fixture.h"
#include "app/fmain_ui.h"

#include <QFile>
#include <QImage>

using namespace std::chrono_literals;

namespace {

class LiveViewPageTest : public e2e::EndToEndTest {
protected:
    void SetUp() override
    {
        e2e::EndToEndTest::SetUp();
        sim::DeviceState dev = sim::DeviceState::Factory(300, 2);
        dev.live = sim::LiveValues{.state = 0x50, .voltage = 220, .time = 5};
        bus().AddDevice(dev);
        window = std::make_unique<TfrmMain>();
    }
    void TearDown() override
    {
        window.reset();
        e2e::EndToEndTest::TearDown();
    }

    TDrawPanel& Panel() { return *window->Form().SchemePanel; }
    TDrawControl* Obj(const QString& name) { return Panel().FindControl(name); }
    TColor Colour(const QString& name)
    {
        return dynamic_cast<TBrushProp*>(Obj(name)->Prop(QStringLiteral("Brush")))->GradBeginColor();
    }
    TEngineControl* Engine() { return dynamic_cast<TEngineControl*>(Obj(QStringLiteral("engEngine"))); }

    void SelectDevice(int number)
    {
        window->Form().edtNum->setText(QString::number(number));
        window->Button1Click();
        ASSERT_EQ(SelectedNumber, number);
    }

    std::unique_ptr<TfrmMain> window;
};

}  // namespace

TEST_F(LiveViewPageTest, StartUpLoadsTheSchemeIntoThePanel)
{
    EXPECT_EQ(boxes.Count(), 0u);
    EXPECT_EQ(Panel().width(), 344);
    EXPECT_EQ(Panel().height(), 244);
    EXPECT_EQ(Panel().Scale(), 100);
    EXPECT_FALSE(Panel().ShowDocFrame());
    ASSERT_NE(Engine(), nullptr);
    EXPECT_FALSE(Engine()->GetActive());
    EXPECT_EQ(&window->LiveView().Panel(), &Panel());
}

TEST_F(LiveViewPageTest, LiveValuesDriveTheSchemeAndStoppingGreysIt)
{
    SelectDevice(300);
    StoreVemorContactTypes(window->QryEdit(), 300, {1, 2, 0, 4});
    window->btnViewClick();
    EXPECT_EQ(window->FrontPage(), window->Form().pnlVemorView);
    EXPECT_EQ(dynamic_cast<TDrawText*>(Obj(QStringLiteral("btn2txt")))->GetText(), QStringLiteral("СТОП2"));
    EXPECT_TRUE(Obj(QStringLiteral("btn3lin"))->GetVisible());
    EXPECT_FALSE(window->LiveView().ContactInUse(3));

    window->btnStartViewClick();
    EXPECT_EQ(window->State(), stLiveView);
    EXPECT_EQ(window->Form().btnStartView->text(), QStringLiteral("СТОП"));
    ASSERT_TRUE(WaitFor([&] { return window->Form().txtU->text() == QStringLiteral("U : 220 В"); }));
    EXPECT_EQ(window->Form().txtT->text(), QStringLiteral("T = 5 c"));
    EXPECT_EQ(window->Form().txtN->text(), QStringLiteral("Норма"));
    EXPECT_EQ(Colour(QStringLiteral("grpK1")), TLiveView::kRunning);
    EXPECT_EQ(Colour(QStringLiteral("ellEngine")), TLiveView::kRunning);
    EXPECT_TRUE(Obj(QStringLiteral("grpK1on"))->GetVisible());
    EXPECT_FALSE(Obj(QStringLiteral("grpK1off"))->GetVisible());
    EXPECT_TRUE(Obj(QStringLiteral("grpAon"))->GetVisible());
    ASSERT_TRUE(Engine()->GetActive());
    // The engine turns.
    const int frame = Engine()->FrameIndex();
    ASSERT_TRUE(WaitFor([&] { return Engine()->FrameIndex() != frame; }));

    // The coil of K1 (298..318 x 107..123 in the document, at 100 %) begins its gradient in red.
    const QColor coil = Panel().RenderClient().pixelColor(308 - Panel().OriginX(), 109 - Panel().OriginY());
    EXPECT_TRUE(coil.red() > 200 && coil.green() < 80 && coil.blue() < 80) << coil.name().toStdString();
    if (const QByteArray shot = qgetenv("VEMOR_LIVEVIEW_SHOT"); !shot.isEmpty())
        window->Form().pnlVemorView->grab().save(QString::fromLocal8Bit(shot));

    // The device loses its voltage and stops, with contact 1 closed.
    bus().Modify(300, [](sim::DeviceState& d) { d.live = sim::LiveValues{.state = 0x01, .voltage = 0, .time = 0}; });
    ASSERT_TRUE(WaitFor([&] { return Colour(QStringLiteral("grpK1")) == TLiveView::kNoVoltage; }));
    EXPECT_FALSE(Engine()->GetActive());
    EXPECT_TRUE(Obj(QStringLiteral("grpAoff"))->GetVisible());
    EXPECT_TRUE(Obj(QStringLiteral("grpK1off"))->GetVisible());
    EXPECT_TRUE(Obj(QStringLiteral("btn1off"))->GetVisible());
    EXPECT_FALSE(Obj(QStringLiteral("btn1on"))->GetVisible());
    EXPECT_FALSE(Obj(QStringLiteral("btn3off"))->GetVisible());
    EXPECT_EQ(window->Form().txtN->text(), QString());

    // Running again, then another page: the next idle tick stops the view.
    bus().Modify(300, [](sim::DeviceState& d) { d.live = sim::LiveValues{.state = 0x50, .voltage = 230, .time = 9}; });
    ASSERT_TRUE(WaitFor([&] { return Engine()->GetActive(); }));
    window->btnScanClick();
    ASSERT_TRUE(WaitFor([&] { return window->Form().btnStartView->text() == QStringLiteral("СТАРТ"); }));
    EXPECT_EQ(window->Form().btnSulmViewStart->text(), QStringLiteral("СТАРТ"));
    EXPECT_EQ(window->Form().txtU->text(), QStringLiteral("U : 0 В"));
    EXPECT_EQ(window->Form().txtT->text(), QStringLiteral("T = 0 c"));
    EXPECT_FALSE(Engine()->GetActive());
    EXPECT_EQ(Engine()->AnimationTimer(), nullptr);
    EXPECT_EQ(Colour(QStringLiteral("grpK1")), TLiveView::kIdle);
    EXPECT_EQ(Colour(QStringLiteral("ellEngine")), TLiveView::kIdle);
    EXPECT_FALSE(Obj(QStringLiteral("grpK1on"))->GetVisible());
    EXPECT_TRUE(Obj(QStringLiteral("grpK1off"))->GetVisible());
    EXPECT_EQ(boxes.Count(), 0u);
}

TEST_F(LiveViewPageTest, DeviceWithoutARowHasNoContactInUse)
{
    SelectDevice(301);
    window->btnViewClick();
    for (int i = 1; i <= 4; ++i) {
        EXPECT_FALSE(window->LiveView().ContactInUse(i)) << i;
        EXPECT_TRUE(Obj(QStringLiteral("btn%1lin").arg(i))->GetVisible()) << i;
        EXPECT_FALSE(Obj(QStringLiteral("btn%1on").arg(i))->GetVisible()) << i;
        EXPECT_EQ(dynamic_cast<TDrawText*>(Obj(QStringLiteral("btn%1txt").arg(i)))->GetText(), QString()) << i;
    }
}

TEST_F(LiveViewPageTest, MissingSchemeIsReportedAndTheWindowStillComesUp)
{
    window.reset();
    QFile::remove(harness().Folder() + QStringLiteral("schemes/vemor.sch"));
    boxes.Clear();
    window = std::make_unique<TfrmMain>();
    ASSERT_EQ(boxes.Count(), 1u);
    EXPECT_EQ(Panel().FindControl(QStringLiteral("engEngine")), nullptr);
    // The page works without its objects.
    SelectDevice(300);
    window->btnViewClick();
    window->btnStartViewClick();
    ASSERT_TRUE(WaitFor([&] { return window->Form().txtU->text() == QStringLiteral("U : 220 В"); }));
    window->btnStartViewClick();
    EXPECT_EQ(window->Form().txtT->text(), QStringLiteral("T = 0 c"));
    EXPECT_EQ(boxes.Count(), 1u);
}
