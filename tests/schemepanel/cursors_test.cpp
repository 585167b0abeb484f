// The editor's own cursors: unloaded they are the arrow, loaded they are our drawings.
#include "scheme/drawcontrols.h"
#include "scheme/drawcursors.h"

#include <QBitmap>
#include <QImage>
#include <QPainter>
#include <gtest/gtest.h>

TEST(SchemeCursors, ArrowUntilLoadedThenOwnDrawings)
{
    ResetSchemeCursors();
    EXPECT_FALSE(SchemeCursorLoaded(crDrawBox));
    EXPECT_EQ(SchemeCursor(crDrawBox).shape(), Qt::ArrowCursor);
    EXPECT_EQ(SchemeCursor(crEditHandPoint).shape(), Qt::PointingHandCursor);
    EXPECT_EQ(SchemeCursor(crEditSizeAll).shape(), Qt::SizeAllCursor);

    LoadSchemeEditorCursors();
    QImage sheet(16 * 34, 34, QImage::Format_RGB32);
    sheet.fill(Qt::lightGray);
    QPainter p(&sheet);
    for (int id = 1; id <= 16; ++id) {
        ASSERT_TRUE(SchemeCursorLoaded(id)) << id;
        const QCursor c = SchemeCursor(id);
        EXPECT_EQ(c.shape(), Qt::BitmapCursor) << id;
        const QPixmap pm = c.pixmap();
        ASSERT_EQ(pm.size(), QSize(32, 32)) << id;
        p.drawPixmap((id - 1) * 34 + 1, 1, pm);
    }
    p.end();
    EXPECT_EQ(SchemeCursor(117).shape(), Qt::ArrowCursor);
    ResetSchemeCursors();
    EXPECT_FALSE(SchemeCursorLoaded(crEditZoomIn));
}
