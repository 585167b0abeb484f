#include "platform/graphics.h"

#include <QFontInfo>
#include <gtest/gtest.h>

namespace {

TEST(PenTest, NotifiesOnlyRealChanges)
{
    TPen pen;
    int changes = 0;
    pen.OnChange = [&] { ++changes; };
    pen.SetColor(clBlack);  // the default: no change
    pen.SetWidth(1);
    EXPECT_EQ(changes, 0);
    pen.SetColor(clRed);
    pen.SetStyle(psDash);
    pen.SetMode(pmXor);
    pen.SetWidth(3);
    EXPECT_EQ(changes, 4);

    TPen other;
    other.Assign(pen);
    EXPECT_TRUE(other.SameAs(pen));
    pen.Assign(other);  // same values: silent
    EXPECT_EQ(changes, 4);

    // A copy takes the attributes but not the owner's callback.
    TPen copy(pen);
    EXPECT_FALSE(bool(copy.OnChange));
    EXPECT_EQ(copy.Mode(), pmXor);
}

TEST(FontTest, SizeAndHeightFollowPixelsPerInch)
{
    TFont font;
    EXPECT_EQ(font.Height(), -11);
    EXPECT_EQ(font.Size(), 8);
    font.SetSize(12);
    EXPECT_EQ(font.Height(), -16);
    font.SetPixelsPerInch(120);
    EXPECT_EQ(font.Height(), -16);  // stored as is
    EXPECT_EQ(font.Size(), 10);
    font.SetHeight(20);
    EXPECT_EQ(font.Size(), -12);
}

TEST(FontTest, StylesAndAssign)
{
    TFont a;
    int changes = 0;
    a.OnChange = [&] { ++changes; };
    a.SetStyle({fsBold, fsUnderline});
    EXPECT_TRUE(a.Style().Contains(fsBold));
    EXPECT_FALSE(a.Style().Contains(fsItalic));
    EXPECT_EQ(a.Style().Bits(), 0x05);
    TFont b;
    b.SetName(QStringLiteral("Courier New"));
    b.SetOrientation(900);
    a.Assign(b);
    EXPECT_EQ(changes, 2);
    EXPECT_EQ(a.Name(), QStringLiteral("Courier New"));
    EXPECT_TRUE(a.Style().IsEmpty());
    EXPECT_EQ(a.Orientation(), 900);
}

TEST(FontTest, QtFontIsPixelSizedWithoutAntialiasing)
{
    TFont font;
    font.SetHeight(-18);
    font.SetStyle({fsItalic});
    const QFont q = font.ToQFont();
    EXPECT_EQ(q.pixelSize(), 18);
    EXPECT_TRUE(q.italic());
    EXPECT_TRUE(q.styleStrategy() & QFont::NoAntialias);
    font.SetHeight(0);
    EXPECT_EQ(font.ToQFont().pixelSize(), 11);
    // A cell height gives a smaller em.
    font.SetHeight(18);
    EXPECT_LT(font.ToQFont().pixelSize(), 18);
    EXPECT_GT(font.ToQFont().pixelSize(), 12);
}

}  // namespace
