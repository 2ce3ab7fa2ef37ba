#include "PlistValue.h"

#include <gtest/gtest.h>
#include <cmath>
#include <limits>

TEST(PlistValue, TextReadAsANumber)
{
    // A dangling exponent is not part of the number; what overflows a double is infinite.
    const std::pair<const char *, double> leading[] = {{"12.68", 12.68}, {"  \t-3.5e2px", -350.0}, {"+.5", 0.5}, {"7e", 7.0},
                                                       {"abc", 0.0},     {"inf", 0.0},              {"1e-400", 0.0}, {"1e400", HUGE_VAL}};
    for (const auto &[text, value] : leading)
        EXPECT_DOUBLE_EQ(plistDouble(QString::fromLatin1(text)), value) << text;
    // A whole number is the text read as one number, or nothing.
    const std::pair<const char *, double> whole[] = {{"640", 640.0}, {" 0.5\t", 0.5}, {"-3", -3.0}, {"4.8e2", 480.0}, {"5.", 5.0}};
    for (const auto &[text, value] : whole)
        EXPECT_EQ(plistWholeNumber(QString::fromLatin1(text)), value) << text;
    for (const char *text : {"", "  ", "abc", "50%", "1,5", "640px", "7e", "1e+", ".", "-", "inf", "1 2"})
        EXPECT_EQ(plistWholeNumber(QString::fromLatin1(text)), std::nullopt) << text;
}

TEST(PlistValue, IntegersStopAtTheDecimalPointAndHoldAtTheirLimits)
{
    constexpr qint64 most = std::numeric_limits<qint64>::max(), least = std::numeric_limits<qint64>::min();
    const std::pair<QVariant, qint64> cases[] = {
        {QStringLiteral(" -0.9"), 0}, {QStringLiteral("42abc"), 42}, {QStringLiteral("99999999999999999999999"), most},
        {QStringLiteral("-99999999999999999999999"), least}, {-2.7f, -2}, {std::numeric_limits<double>::quiet_NaN(), 0},
        {1e300, most}, {true, 1}, {QVariantList{1, 2}, 0}};
    for (const auto &[value, integer] : cases)
        EXPECT_EQ(plistInteger(value), integer) << value.toString().toStdString();
    EXPECT_EQ(plistInt(QStringLiteral("99999999999")), std::numeric_limits<int>::max());
}

TEST(PlistValue, FloatsBooleansAndStrings)
{
    EXPECT_EQ(plistFloat(QVariantMap{{QStringLiteral("a"), 1}}), 0.0f);
    for (const auto &[text, yes] : {std::pair{"  y", true}, {"T", true}, {"+007", true}, {"9 lives", true}, {"NO", false},
                                    {"", false}, {"000", false}, {"x1", false}})
        EXPECT_EQ(plistBool(QString::fromLatin1(text)), yes) << text;
    EXPECT_TRUE(plistBool(0.5));
    EXPECT_FALSE(plistBool(QVariant()));
    EXPECT_EQ(plistString(98.3736f), QStringLiteral("98.3736")); // the shortest text that reads back
    EXPECT_EQ(plistString(QVariantList{}), QString());
}
