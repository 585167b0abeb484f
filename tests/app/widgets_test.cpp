#include "app/widgets.h"

#include <QImage>
#include <QPainter>
#include <gtest/gtest.h>

TEST(RadioGroup, ItemIndexFollowsTheCheckedButton)
{
    TRadioGroup g;
    g.resize(372, 80);
    g.SetItems({"a", "b", "c"}, 2);
    EXPECT_EQ(g.ItemIndex(), -1);
    g.SetItemIndex(2);
    EXPECT_EQ(g.ItemIndex(), 2);
    g.SetItemIndex(9);
    EXPECT_EQ(g.ItemIndex(), 2);
    g.SetItemIndex(-1);
    EXPECT_EQ(g.ItemIndex(), -1);
}

TEST(StatusBar, LastPanelReachesTheRightEdgeAndOwnerDrawIsCalled)
{
    TStatusBar bar;
    bar.resize(547, 19);
    bar.SetPanels({{" A", 50, false}, {"", 100, true}, {"", 250, false}, {"x", 50, false}});
    EXPECT_EQ(bar.PanelRect(1), QRect(50, 0, 100, 19));
    EXPECT_EQ(bar.PanelRect(3), QRect(400, 0, 147, 19));
    int calls = 0;
    QRect seen;
    bar.OnDrawPanel = [&](QPainter&, int index, const QRect& r) {
        ++calls;
        EXPECT_EQ(index, 1);
        seen = r;
    };
    QImage img(bar.size(), QImage::Format_RGB32);
    bar.render(&img);
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(seen, QRect(50, 0, 100, 19));
    bar.SetPanelText(2, "busy");
    EXPECT_EQ(bar.PanelText(2), "busy");
    EXPECT_EQ(bar.PanelText(7), QString());
}
