#pragma once

#include <optional>
#include <string>
#include <vector>

#include <QDate>
#include <QLocale>
#include <QString>

// A QLocale date or time format turned once into pieces (numbers, names, AM/PM marks, literal
// text) that are then filled in without going through QLocale for every value: loading a large
// list formats one date per record, and QLocale::toString looks the locale up on each call.
// Names and marks are taken from QLocale itself when the format is compiled. Formats in
// another zero digit, or with milliseconds or a time zone, are refused (Compile gives nothing)
// and stay with QLocale.
class CCompiledDateFormat
{
public:
    enum class EPart { Date, Time };

    static std::optional<CCompiledDateFormat> Compile(
        const QString &strFormat, EPart part, const QLocale &locale);

    // Appends the date (year 100 to 9999) or the time of day, exactly as QLocale::toString
    // would write it with the same format.
    void AppendDate(std::string &strOut, QDate date) const;
    void AppendTime(std::string &strOut, int nHour, int nMinute, int nSecond) const;

private:
    enum class EPiece {
        Literal,
        Year2,
        Year4,
        Month,
        MonthName,
        Day,
        DayName,
        Hour12,
        Hour24,
        Minute,
        Second,
        AmPm
    };
    struct SPiece
    {
        EPiece kind;
        int nWidth = 1; // digits at least, for numbers
        std::string strText; // for literals
        std::vector<std::string> names; // for month (1 to 12) and day names (Monday 1 to 7)
    };

    std::vector<SPiece> m_pieces;
    std::string m_strAm;
    std::string m_strPm;
};
