#include "shell/PopupPlacement.h"

#include <QPoint>
#include <QRect>
#include <QSize>
#include <gtest/gtest.h>

TEST(PopupPlacementTest, OpensUnderATopPanelAndAboveABottomOne)
{
    const QRect screen(0, 0, 1920, 1080);
    const QSize panel(280, 300);
    EXPECT_EQ(PopupPlacement::place(QRect(1000, 0, 24, 24), panel, screen), QPoint(871, 24));
    EXPECT_EQ(PopupPlacement::place(QRect(1000, 1056, 24, 24), panel, screen), QPoint(871, 756));
}

TEST(PopupPlacementTest, StaysWhollyOnTheScreen)
{
    const QSize panel(280, 300);
    // An icon at the right edge: the panel ends at the edge instead of hanging off it.
    EXPECT_EQ(PopupPlacement::place(QRect(1900, 0, 20, 20), panel, QRect(0, 0, 1920, 1080)),
              QPoint(1640, 20));
    EXPECT_EQ(PopupPlacement::place(QRect(0, 0, 20, 20), panel, QRect(0, 0, 1920, 1080)),
              QPoint(0, 20));
    // A second screen to the right, with a panel on its left side.
    EXPECT_EQ(PopupPlacement::place(QRect(1920, 500, 30, 30), panel, QRect(1920, 0, 1280, 1024)),
              QPoint(1920, 530));
    // A screen too short for the panel either way: the top of the panel stays visible.
    EXPECT_EQ(PopupPlacement::place(QRect(100, 100, 20, 20), panel, QRect(0, 0, 800, 200)),
              QPoint(0, 0));
}
