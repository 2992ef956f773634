#include "panel/PanelText.h"

#include <QLocale>
#include <clocale>
#include <gtest/gtest.h>
#include <limits>

TEST(PanelTextTest, BrightnessTruncatesRatherThanRounds)
{
    EXPECT_EQ(PanelText::brightness(1.0), QStringLiteral("100%"));
    EXPECT_EQ(PanelText::brightness(0.05), QStringLiteral("5%"));
    EXPECT_EQ(PanelText::brightness(8.0), QStringLiteral("800%"));
    EXPECT_EQ(PanelText::brightness(0.29), QStringLiteral("28%"));
    EXPECT_EQ(PanelText::brightness(0.999), QStringLiteral("99%"));
    EXPECT_EQ(PanelText::brightness(-0.001), QStringLiteral("0%"));
}

TEST(PanelTextTest, ValuesNoSliderProducesStillGiveAText)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    EXPECT_EQ(PanelText::brightness(nan), QStringLiteral("—%"));
    EXPECT_EQ(PanelText::brightness(inf), QStringLiteral("—%"));
    EXPECT_EQ(PanelText::brightness(1e300), QStringLiteral("—%"));
    EXPECT_EQ(PanelText::brightness(1e12), QStringLiteral("100000000000000%"));
    EXPECT_EQ(PanelText::speed(nan), QStringLiteral("—s per breath"));
    EXPECT_EQ(PanelText::sensitivity(-inf), QStringLiteral("—×"));
}

TEST(PanelTextTest, OneDecimalWithAPointInEveryLocale)
{
    const QLocale previous;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    std::setlocale(LC_ALL, "de_DE.UTF-8");
    EXPECT_EQ(PanelText::speed(4.0), QStringLiteral("4.0s per breath"));
    EXPECT_EQ(PanelText::speed(12.0), QStringLiteral("12.0s per breath"));
    EXPECT_EQ(PanelText::speed(2.26), QStringLiteral("2.3s per breath"));
    EXPECT_EQ(PanelText::sensitivity(1.0), QStringLiteral("1.0×"));
    EXPECT_EQ(PanelText::sensitivity(2.96), QStringLiteral("3.0×"));
    EXPECT_EQ(PanelText::brightness(1234.5678), QStringLiteral("123456%"));
    std::setlocale(LC_ALL, "C");
    QLocale::setDefault(previous);
}
