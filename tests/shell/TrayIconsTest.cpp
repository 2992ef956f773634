#include "shell/TrayIcons.h"

#include <QColor>
#include <QIcon>
#include <QImage>
#include <algorithm>
#include <gtest/gtest.h>

TEST(TrayIconsTest, FilledAndOutlinedDifferInTheMiddleAtEverySize)
{
    const QColor ink(Qt::black);
    const QColor halo(255, 255, 255, 150);
    const QIcon on = TrayIcons::circle(true, ink, halo);
    const QIcon off = TrayIcons::circle(false, ink, halo);
    for (const int size : {16, 22, 24, 32, 48, 64, 128}) {
        const QImage filled = on.pixmap(size).toImage();
        const QImage outlined = off.pixmap(size).toImage();
        ASSERT_EQ(filled.size(), QSize(size, size)) << size;
        const QPoint centre(size / 2, size / 2);
        EXPECT_EQ(filled.pixelColor(centre), ink) << size;
        EXPECT_EQ(outlined.pixelColor(centre).alpha(), 0) << size;
        // Both have the ring of ink, and the corners stay clear.
        const double halo = std::max(1.0, size / 16.0), ring = std::max(2.0, size / 8.0);
        const QPoint onRing(size / 2, int(halo + 0.5 + ring / 2));
        EXPECT_EQ(filled.pixelColor(onRing), ink) << size;
        EXPECT_EQ(outlined.pixelColor(onRing), ink) << size;
        EXPECT_EQ(filled.pixelColor(0, 0).alpha(), 0) << size;
        // The halo rims the glyph: at its very edge there is light, not ink and not nothing.
        const QColor rim = filled.pixelColor(size / 2, 0);
        EXPECT_GT(rim.alpha(), 0) << size;
        EXPECT_GT(rim.lightness(), 128) << size;
    }
}
