#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <string>

#include <QDate>
#include <QLocale>
#include <QTime>

#include "engine/CompiledDateFormat.h"
#include "engine/Conversions.h"
#include "engine/Data.h"
#include "engine/LocaleText.h"
#include "engine/Variant.h"
#include "support/RecordingPrompter.h"
#include "support/ScopedLocale.h"

namespace {

constexpr double kDecember8th2026 = 46364.0;
constexpr double kOneSecond = 1.0 / 86400.0;

CData DateValue(double dt)
{
    CData data;
    data = CVariant::Date(dt);
    return data;
}

double At(double day, int nHour, int nMinute, int nSecond)
{
    return day + (nHour * 3600 + nMinute * 60 + nSecond) * kOneSecond;
}

class DateTest : public testing::Test
{
protected:
    CRecordingPrompter m_prompter;
};

TEST_F(DateTest, TextIsTheShortDateWithFourDigitYearAndTimeWhenNotMidnight)
{
    EXPECT_EQ(DateValue(kDecember8th2026).GetString(), "12/8/2026");
    EXPECT_EQ(DateValue(At(kDecember8th2026, 14, 5, 9)).GetString(), "12/8/2026 2:05:09 PM");
    EXPECT_EQ(DateValue(0.0).GetString(), "12/30/1899");
    EXPECT_EQ(DateValue(-1.25).GetString(), "12/29/1899 6:00:00 AM");
    EXPECT_EQ(DateValue(CDateTime::kFirstDay).GetString(), "1/1/0100");
    // 23:59:59.6 is rounded to the next midnight.
    EXPECT_EQ(DateValue(kDecember8th2026 + 1.0 - 0.4 * kOneSecond).GetString(), "12/9/2026");

    CScopedLocale german("de_DE");
    EXPECT_EQ(DateValue(kDecember8th2026).GetString(), "08.12.2026");
    EXPECT_EQ(DateValue(At(kDecember8th2026, 14, 5, 9)).GetString(), "08.12.2026 14:05:09");
    EXPECT_TRUE(m_prompter.Entries().empty());
}

TEST_F(DateTest, ParsesIsoDatesAndTimesAlone)
{
    const CDateTime date = StringToDate("2026-12-08");
    EXPECT_EQ(date.m_status, EValueStatus::Valid);
    EXPECT_DOUBLE_EQ(date.m_dt, kDecember8th2026);
    EXPECT_DOUBLE_EQ(StringToDate("2026-12-08 14:30").m_dt, At(kDecember8th2026, 14, 30, 0));
    EXPECT_DOUBLE_EQ(StringToDate("2026-12-08T14:30:15").m_dt, At(kDecember8th2026, 14, 30, 15));
    EXPECT_DOUBLE_EQ(StringToDate("1899-12-29 06:00").m_dt, -1.25);
    EXPECT_DOUBLE_EQ(StringToDate("14:30").m_dt, At(0.0, 14, 30, 0));
    EXPECT_DOUBLE_EQ(StringToDate("2:30:00 PM").m_dt, At(0.0, 14, 30, 0));
    EXPECT_DOUBLE_EQ(StringToDate("12/8/2026").m_dt, kDecember8th2026);
    EXPECT_DOUBLE_EQ(StringToDate("12/08/2026 2:05 PM").m_dt, At(kDecember8th2026, 14, 5, 0));
}

TEST_F(DateTest, RefusesTextThatIsNoDateOrOutOfRange)
{
    for (const char *pText : {"", "   ", "hello", "2026-02-30", "2026-12-08 25:00", "12/8",
             "2026-12-08x", "12/8/2026 noon", "24:00"}) {
        const CDateTime date = StringToDate(pText);
        EXPECT_EQ(date.m_status, EValueStatus::Invalid) << pText;
        EXPECT_EQ(date.m_dt, 0.0) << pText;
    }
    for (const char *pText : {"0099-12-31", "10000-01-01", "1/1/0050"}) {
        const CDateTime date = StringToDate(pText);
        EXPECT_EQ(date.m_status, EValueStatus::Invalid) << pText;
        EXPECT_EQ(date.m_dt, -1.0) << pText;
    }
    EXPECT_EQ(StringToDate("0100-01-01").m_status, EValueStatus::Valid);
    EXPECT_EQ(StringToDate("9999-12-31 23:59:59").m_status, EValueStatus::Valid);
}

TEST_F(DateTest, ComparisonsWorkInWholeSecondsAndTimeOrder)
{
    // Floating-point noise in the stored day count does not matter.
    const CData noisy = DateValue(At(kDecember8th2026, 12, 0, 0) + 1e-9);
    EXPECT_TRUE(noisy == "12/8/2026 12:00:00 PM");
    EXPECT_TRUE(noisy == "2026-12-08 12:00");
    EXPECT_FALSE(noisy != "2026-12-08 12:00");
    EXPECT_TRUE(noisy < "2026-12-08 12:00:01");
    EXPECT_TRUE(noisy >= "2026-12-08 12:00:00");

    // Before 1900 the fraction is the time of that day: -1.25 (06:00) comes before
    // -1.75 (18:00) although it is the larger number.
    const CData morning = DateValue(-1.25);
    EXPECT_TRUE(morning < "12/29/1899 6:00:00 PM");
    EXPECT_TRUE(morning > "12/28/1899 11:00:00 PM");
    EXPECT_TRUE(DateValue(-0.25) == "12/30/1899 6:00:00 AM");

    // Text that is no date is 30 December 1899 00:00 with status invalid.
    const CData date = DateValue(kDecember8th2026);
    EXPECT_FALSE(date == "not a date");
    EXPECT_TRUE(date != "not a date");
    EXPECT_TRUE(date > "not a date");
    EXPECT_FALSE(DateValue(-5.0) > "not a date");
    EXPECT_FALSE(date == "");
    EXPECT_TRUE(CData("", dbDate) == "");
    EXPECT_TRUE(m_prompter.Entries().empty());
}

TEST_F(DateTest, ValuesThatCannotBeShownAreReported)
{
    for (double dt : {std::nan(""), std::numeric_limits<double>::infinity(), 1e12, -700000.0}) {
        EXPECT_EQ(DateValue(dt).GetString(), "*ERROR*");
        EXPECT_EQ(m_prompter.TakeTexts(),
            std::vector<std::string> {"Invalid date in CData::GetString()"});
    }
}

// Every valid date must come back from its own text as the same second, in any locale,
// because the merge run rebuilds values from the texts the record list shows.
class DateRoundTripTest : public testing::TestWithParam<const char *>
{ };

TEST_P(DateRoundTripTest, TextReadsBackAsTheSameSecond)
{
    CRecordingPrompter prompter;
    CScopedLocale locale(GetParam());
    std::mt19937_64 random(20261208);
    std::uniform_real_distribution<double> anyDay(CDateTime::kFirstDay, CDateTime::kLastDay + 1.0);
    std::uniform_real_distribution<double> nearEpoch(-800.0, 800.0);
    std::uniform_int_distribution<int> anySecond(0, 86399);

    std::vector<double> values
        = {0.0, -1.25, -0.5, 0.5, CDateTime::kFirstDay, CDateTime::kLastDay + 86399 * kOneSecond};
    for (int i = 0; i < 1500; ++i)
        values.push_back(anyDay(random));
    for (int i = 0; i < 500; ++i)
        values.push_back(nearEpoch(random));
    for (int i = 0; i < 500; ++i) // whole days, then the same days with a whole second
        values.push_back(std::trunc(anyDay(random)));
    for (int i = 0; i < 500; ++i) {
        const double day = std::trunc(anyDay(random));
        const double time = anySecond(random) * kOneSecond;
        values.push_back(day < 0 ? day - time : day + time);
    }

    for (const double dt : values) {
        const CData value = DateValue(dt);
        const std::string text = value.GetString();
        const CDateTime back = StringToDate(text);
        ASSERT_EQ(back.m_status, EValueStatus::Valid) << dt << " shown as " << text;
        ASSERT_EQ(CDateTime::ToSeconds(back.m_dt), CDateTime::ToSeconds(dt))
            << dt << " shown as " << text;
        ASSERT_TRUE(value == text) << dt << " shown as " << text;
    }
    EXPECT_TRUE(prompter.Entries().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Locales, DateRoundTripTest, testing::Values("en_US", "de_DE", "ko_KR", "bg_BG", "ar_EG"));

// The compiled format stands in for QLocale::toString wherever it accepts a format, so it must
// write the very same text: checked in every locale Qt knows, on its own formats and on some
// with the rarer tokens (two-digit years, names, quotes, lower-case marks).
TEST(CompiledDateFormatTest, WritesWhatQLocaleWritesInEveryLocale)
{
    std::mt19937 random(7);
    std::uniform_int_distribution<qint64> anyDay(
        QDate(100, 1, 1).toJulianDay(), QDate(9999, 12, 31).toJulianDay());
    std::uniform_int_distribution<int> anySecond(0, 86399);
    std::vector<QDate> dates = {QDate(100, 1, 1), QDate(2026, 12, 8), QDate(9999, 12, 31)};
    std::vector<QTime> times = {QTime(0, 0), QTime(12, 0), QTime(23, 59, 59), QTime(9, 5, 7)};
    for (int i = 0; i < 30; ++i) {
        dates.push_back(QDate::fromJulianDay(anyDay(random)));
        times.push_back(QTime::fromMSecsSinceStartOfDay(anySecond(random) * 1000));
    }

    using EPart = CCompiledDateFormat::EPart;
    int nCompiled = 0;
    for (const QLocale &locale :
        QLocale::matchingLocales(QLocale::AnyLanguage, QLocale::AnyScript, QLocale::AnyTerritory)) {
        const std::pair<QString, EPart> formats[] = {
            {locale.dateFormat(QLocale::ShortFormat), EPart::Date},
            {locale.dateFormat(QLocale::LongFormat), EPart::Date},
            {QStringLiteral("d.M.yy 'y''s' ''yyyy''"), EPart::Date},
            {QStringLiteral("dddd ddd MMMM MMM dd/MM"), EPart::Date},
            {locale.timeFormat(QLocale::ShortFormat), EPart::Time},
            {QStringLiteral("hh:m:s ap 'at' H"), EPart::Time},
            {QStringLiteral("h 'o''clock' A"), EPart::Time},
        };
        for (const auto &[strFormat, part] : formats) {
            const auto compiled = CCompiledDateFormat::Compile(strFormat, part, locale);
            if (!compiled)
                continue;
            ++nCompiled;
            if (part == EPart::Date) {
                for (const QDate &date : dates) {
                    std::string strText;
                    compiled->AppendDate(strText, date);
                    ASSERT_EQ(strText, locale.toString(date, strFormat).toStdString())
                        << locale.name().toStdString() << " " << strFormat.toStdString();
                }
            } else {
                for (const QTime &time : times) {
                    std::string strText;
                    compiled->AppendTime(strText, time.hour(), time.minute(), time.second());
                    ASSERT_EQ(strText, locale.toString(time, strFormat).toStdString())
                        << locale.name().toStdString() << " " << strFormat.toStdString();
                }
            }
        }
    }
    EXPECT_GT(nCompiled, 1000);
}

} // namespace
