#include "FloatEquality.h"
#include "PlistValue.h"

#include <gtest/gtest.h>
#include <limits>

TEST(PlistValue, TextGivesTheNumberWrittenAtItsStart)
{
    EXPECT_DOUBLE_EQ(plistDouble(QStringLiteral("12.68")), 12.68);
    EXPECT_DOUBLE_EQ(plistDouble(QStringLiteral("  \t-3.5e2px")), -350.0);
    EXPECT_DOUBLE_EQ(plistDouble(QStringLiteral("+.5")), 0.5);
    EXPECT_DOUBLE_EQ(plistDouble(QStringLiteral("7e")), 7.0); // a dangling exponent is not part of the number
    EXPECT_DOUBLE_EQ(plistDouble(QStringLiteral("1,000")), 1.0);
    EXPECT_EQ(plistDouble(QStringLiteral("")), 0.0);
    EXPECT_EQ(plistDouble(QStringLiteral("abc")), 0.0);
    EXPECT_EQ(plistDouble(QStringLiteral("-")), 0.0);
    EXPECT_EQ(plistDouble(QStringLiteral("inf")), 0.0);
    EXPECT_EQ(plistDouble(QStringLiteral("nan")), 0.0);
    EXPECT_EQ(plistDouble(QStringLiteral("1e-400")), 0.0);
    EXPECT_TRUE(std::isinf(plistDouble(QStringLiteral("1e400"))));
}

TEST(PlistValue, WholeNumberIsTheTextReadAsOneNumberOrNothing)
{
    const std::pair<const char *, double> numbers[] = {{"640", 640.0}, {" 0.5\t", 0.5}, {"+.5", 0.5}, {"-3", -3.0}, {"4.8e2", 480.0}, {"5.", 5.0}};
    for (const auto &[text, value] : numbers)
        EXPECT_EQ(plistWholeNumber(QString::fromLatin1(text)), value) << text;
    for (const char *text : {"", "  ", "abc", "50%", "1,5", "640px", "7e", "1e+", ".", "-", "inf", "1 2"})
        EXPECT_EQ(plistWholeNumber(QString::fromLatin1(text)), std::nullopt) << text;
}

TEST(PlistValue, IntegerReadingStopsAtTheDecimalPoint)
{
    EXPECT_EQ(plistInteger(QStringLiteral("2.7")), 2);
    EXPECT_EQ(plistInteger(QStringLiteral(" -0.9")), 0);
    EXPECT_EQ(plistInteger(QStringLiteral("42abc")), 42);
    EXPECT_EQ(plistInteger(QStringLiteral("x42")), 0);
    EXPECT_EQ(plistInteger(QStringLiteral("99999999999999999999999")), std::numeric_limits<qint64>::max());
    EXPECT_EQ(plistInteger(QStringLiteral("-99999999999999999999999")), std::numeric_limits<qint64>::min());
    EXPECT_EQ(plistInt(QStringLiteral("99999999999")), std::numeric_limits<int>::max());
}

TEST(PlistValue, NumbersConvertLikeNumberObjects)
{
    EXPECT_EQ(plistInteger(2.7), 2);
    EXPECT_EQ(plistInteger(-2.7f), -2);
    EXPECT_EQ(plistInteger(std::numeric_limits<double>::quiet_NaN()), 0);
    EXPECT_EQ(plistInteger(1e300), std::numeric_limits<qint64>::max());
    EXPECT_EQ(plistInteger(true), 1);
    EXPECT_FLOAT_EQ(plistFloat(qint64(3)), 3.0f);
    EXPECT_FLOAT_EQ(plistFloat(0.9), 0.9f);
}

TEST(PlistValue, MissingAndNonNumericValuesReadAsZero)
{
    EXPECT_EQ(plistDouble(QVariant()), 0.0);
    EXPECT_EQ(plistInteger(QVariantList{1, 2}), 0);
    EXPECT_EQ(plistFloat(QVariantMap{{QStringLiteral("a"), 1}}), 0.0f);
    EXPECT_FALSE(plistBool(QVariant()));
    QVariantMap record{{QStringLiteral("xabs"), QStringLiteral("")}};
    EXPECT_EQ(recordFloat(record, QStringLiteral("xabs")), 0.0f);
    EXPECT_EQ(recordFloat(record, QStringLiteral("yabs")), 0.0f);
}

TEST(PlistValue, BooleansFromText)
{
    for (const char *yes : {"YES", "true", "  y", "T", "1", "+007", "9 lives"})
        EXPECT_TRUE(plistBool(QString::fromLatin1(yes))) << yes;
    for (const char *no : {"NO", "false", "", "0", "000", "n", "x1"})
        EXPECT_FALSE(plistBool(QString::fromLatin1(no))) << no;
    EXPECT_TRUE(plistBool(0.5));
    EXPECT_FALSE(plistBool(0.0));
}

TEST(PlistValue, StringsOfNumbersArePrintedShortest)
{
    EXPECT_EQ(plistString(98.3736f), QStringLiteral("98.3736"));
    EXPECT_EQ(plistString(0.1), QStringLiteral("0.1"));
    EXPECT_EQ(plistString(qint64(125)), QStringLiteral("125"));
    EXPECT_EQ(plistString(QVariantList{}), QString());
}

TEST(NearEquality, BoundsAreStrictAndInDoublePrecision)
{
    EXPECT_TRUE(thisFloatIsEqualToFloat(1.000009f, 1.0f));
    EXPECT_FALSE(thisFloatIsEqualToFloat(1.00002f, 1.0f));
    EXPECT_FALSE(thisFloatIsEqualToFloat(0.99999f, 1.0f)); // 0.99998998... as a float
    EXPECT_FALSE(thisFloatIsEqualToFloat(2.0f, 1.0f));
    EXPECT_TRUE(thisFloatIsEqualToFloat(256.0f, 256.0f));
    EXPECT_TRUE(thisFloatIsEqualToFloat(6562.5f, 6562.5f));
    EXPECT_FALSE(thisFloatIsEqualToFloat(6500.001f, 6500.0f)); // one float step at 6500 is 0.00049
}
