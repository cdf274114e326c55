#include "engine/LocaleText.h"

#include <optional>

#include <QDate>
#include <QLocale>
#include <QString>
#include <QTime>

#include "engine/CompiledDateFormat.h"
#include "engine/Currency.h"

namespace {

// Julian day number of 30 December 1899, day 0 of the OLE count.
constexpr qint64 kOleEpochJulianDay = 2415019;

struct SFormats
{
    QLocale locale;
    QString strDate; // short date, four-digit year
    QString strTime; // time of day with seconds
    QString strShortTime; // without seconds, accepted when parsing
    std::string strDecimalMark;
    std::optional<CCompiledDateFormat> compiledDate; // the same formats, when they allow it
    std::optional<CCompiledDateFormat> compiledTime;
};

// Calls fn(start, length) for each run of format letters outside quoted literals.
template<typename Fn> void ForEachFormatRun(const QString &strFormat, QChar letter, Fn fn)
{
    bool bQuoted = false;
    for (qsizetype i = 0; i < strFormat.size();) {
        if (strFormat[i] == u'\'') {
            bQuoted = !bQuoted;
            ++i;
            continue;
        }
        if (!bQuoted && strFormat[i] == letter) {
            qsizetype j = i;
            while (j < strFormat.size() && strFormat[j] == letter)
                ++j;
            fn(i, j - i);
            i = j;
            continue;
        }
        ++i;
    }
}

QString WithFourDigitYear(const QString &strFormat)
{
    QString strResult = strFormat;
    qsizetype nShift = 0;
    ForEachFormatRun(strFormat, u'y', [&](qsizetype nStart, qsizetype nLength) {
        strResult.replace(nStart + nShift, nLength, QStringLiteral("yyyy"));
        nShift += 4 - nLength;
    });
    return strResult;
}

// The long time format without its time-zone name, which a time of day does not have.
QString WithoutTimeZone(const QString &strFormat)
{
    QString strResult = strFormat;
    qsizetype nShift = 0;
    ForEachFormatRun(strFormat, u't', [&](qsizetype nStart, qsizetype nLength) {
        strResult.remove(nStart + nShift, nLength);
        nShift -= nLength;
    });
    strResult.replace(QStringLiteral("()"), QString());
    while (!strResult.isEmpty() && (strResult.back().isSpace() || strResult.back() == u','))
        strResult.chop(1);
    while (!strResult.isEmpty() && (strResult.front().isSpace() || strResult.front() == u','))
        strResult.remove(0, 1);
    return strResult;
}

const SFormats &Formats()
{
    thread_local std::optional<SFormats> s_formats;
    const QLocale locale;
    if (!s_formats || s_formats->locale != locale) {
        SFormats formats {locale, WithFourDigitYear(locale.dateFormat(QLocale::ShortFormat)),
            WithoutTimeZone(locale.timeFormat(QLocale::LongFormat)),
            locale.timeFormat(QLocale::ShortFormat), locale.decimalPoint().toStdString(), {}, {}};
        if (!formats.strTime.contains(u's'))
            formats.strTime = QStringLiteral("HH:mm:ss");
        formats.compiledDate = CCompiledDateFormat::Compile(
            formats.strDate, CCompiledDateFormat::EPart::Date, locale);
        formats.compiledTime = CCompiledDateFormat::Compile(
            formats.strTime, CCompiledDateFormat::EPart::Time, locale);
        s_formats = std::move(formats);
    }
    return *s_formats;
}

bool IsYearInRange(const QDate &date)
{
    return date.year() >= 100 && date.year() <= 9999;
}

CDateTime MakeDate(const QDate &date, int nSecondOfDay)
{
    if (!IsYearInRange(date))
        return {-1.0, EValueStatus::Invalid};
    const qint64 nDay = date.toJulianDay() - kOleEpochJulianDay;
    return {CDateTime::FromSeconds(nDay * CDateTime::kSecondsPerDay + nSecondOfDay),
        EValueStatus::Valid};
}

// Reads exactly nDigits ASCII digits at pos; -1 when they are not there.
int ReadDigits(std::string_view text, size_t &pos, size_t nMin, size_t nMax)
{
    size_t n = 0;
    long nValue = 0;
    while (pos + n < text.size() && n < nMax && text[pos + n] >= '0' && text[pos + n] <= '9') {
        nValue = nValue * 10 + (text[pos + n] - '0');
        ++n;
    }
    if (n < nMin)
        return -1;
    pos += n;
    return static_cast<int>(nValue);
}

bool ReadChar(std::string_view text, size_t &pos, char c)
{
    if (pos < text.size() && text[pos] == c) {
        ++pos;
        return true;
    }
    return false;
}

// HH:mm[:ss] from pos to the end of the text; the second of the day, or -1.
int ParseIsoTime(std::string_view text, size_t pos)
{
    const int nHour = ReadDigits(text, pos, 1, 2);
    if (nHour < 0 || !ReadChar(text, pos, ':'))
        return -1;
    const int nMinute = ReadDigits(text, pos, 2, 2);
    int nSecond = 0;
    if (ReadChar(text, pos, ':'))
        nSecond = ReadDigits(text, pos, 2, 2);
    if (nMinute < 0 || nSecond < 0 || pos != text.size()
        || !QTime::isValid(nHour, nMinute, nSecond))
        return -1;
    return nHour * 3600 + nMinute * 60 + nSecond;
}

// yyyy-MM-dd, optionally followed by T or a space and a time. Years of more than four
// digits are read so that they can be refused as out of range rather than as no date.
std::optional<CDateTime> ParseIso(std::string_view text)
{
    size_t pos = 0;
    const int nYear = ReadDigits(text, pos, 4, 6);
    if (nYear < 0 || !ReadChar(text, pos, '-'))
        return std::nullopt;
    const int nMonth = ReadDigits(text, pos, 2, 2);
    if (nMonth < 0 || !ReadChar(text, pos, '-'))
        return std::nullopt;
    const int nDay = ReadDigits(text, pos, 2, 2);
    if (nDay < 0 || !QDate::isValid(nYear, nMonth, nDay))
        return std::nullopt;
    int nSecondOfDay = 0;
    if (pos != text.size()) {
        if (!ReadChar(text, pos, 'T') && !ReadChar(text, pos, ' '))
            return std::nullopt;
        nSecondOfDay = ParseIsoTime(text, pos);
        if (nSecondOfDay < 0)
            return std::nullopt;
    }
    return MakeDate(QDate(nYear, nMonth, nDay), nSecondOfDay);
}

int ParseLocaleTime(const SFormats &formats, const QString &strText)
{
    for (const QString *pFormat : {&formats.strTime, &formats.strShortTime}) {
        const QTime time = formats.locale.toTime(strText, *pFormat);
        if (time.isValid())
            return time.msecsSinceStartOfDay() / 1000;
    }
    const QByteArray utf8 = strText.toUtf8();
    return ParseIsoTime(std::string_view(utf8.constData(), utf8.size()), 0);
}

} // namespace

std::string LocaleDecimalMark()
{
    return Formats().strDecimalMark;
}

std::string CurrencyToText(int64_t nCount)
{
    // Work on the magnitude as unsigned so that the most negative count has one too.
    const bool bNegative = nCount < 0;
    const uint64_t nMagnitude
        = bNegative ? 0 - static_cast<uint64_t>(nCount) : static_cast<uint64_t>(nCount);
    std::string strText = bNegative ? "-" : "";
    strText += std::to_string(nMagnitude / CCurrency::kScale);
    uint64_t nFraction = nMagnitude % CCurrency::kScale;
    if (nFraction != 0) {
        std::string strDigits = std::to_string(nFraction + CCurrency::kScale).substr(1);
        while (strDigits.back() == '0')
            strDigits.pop_back();
        strText += LocaleDecimalMark() + strDigits;
    }
    return strText;
}

std::optional<std::string> DateToText(double dt)
{
    if (!CDateTime::IsInRange(dt))
        return std::nullopt;
    const SFormats &formats = Formats();
    const auto [nDay, nTime] = CDateTime::DayAndTime(CDateTime::ToSeconds(dt));
    const QDate date = QDate::fromJulianDay(kOleEpochJulianDay + nDay);
    if (formats.compiledDate && (nTime == 0 || formats.compiledTime)) {
        std::string strText;
        formats.compiledDate->AppendDate(strText, date);
        if (nTime != 0) {
            strText += ' ';
            const int nSeconds = static_cast<int>(nTime);
            formats.compiledTime->AppendTime(
                strText, nSeconds / 3600, nSeconds / 60 % 60, nSeconds % 60);
        }
        return strText;
    }
    QString strText = formats.locale.toString(date, formats.strDate);
    if (nTime != 0) {
        const QTime time = QTime::fromMSecsSinceStartOfDay(static_cast<int>(nTime) * 1000);
        strText += u' ' + formats.locale.toString(time, formats.strTime);
    }
    return strText.toStdString();
}

CDateTime TextToDate(std::string_view text)
{
    const CDateTime noDate {0.0, EValueStatus::Invalid};
    if (auto iso = ParseIso(text))
        return *iso;

    const SFormats &formats = Formats();
    const QString strText = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    if (strText.trimmed().isEmpty())
        return noDate;

    const QDate date = formats.locale.toDate(strText, formats.strDate);
    if (date.isValid())
        return MakeDate(date, 0);
    const int nTimeAlone = ParseLocaleTime(formats, strText);
    if (nTimeAlone >= 0)
        return {CDateTime::FromSeconds(nTimeAlone), EValueStatus::Valid};

    // A date followed by a time: the locale's date may itself hold spaces, so try each one.
    for (qsizetype nSpace = strText.indexOf(u' '); nSpace > 0;
         nSpace = strText.indexOf(u' ', nSpace + 1)) {
        const QDate datePart = formats.locale.toDate(strText.left(nSpace), formats.strDate);
        if (!datePart.isValid())
            continue;
        const int nTime = ParseLocaleTime(formats, strText.mid(nSpace + 1));
        if (nTime >= 0)
            return MakeDate(datePart, nTime);
    }
    return noDate;
}
