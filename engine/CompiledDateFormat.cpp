#include "engine/CompiledDateFormat.h"

#include <QTime>

namespace {

// The text of a quoted literal starting at i (on the quote); moves i past it. A doubled quote
// stands for one quote, inside a literal or outside.
QString ReadQuoted(const QString &strFormat, qsizetype &i)
{
    ++i;
    if (i < strFormat.size() && strFormat[i] == u'\'') {
        ++i;
        return QStringLiteral("'");
    }
    QString strText;
    while (i < strFormat.size()) {
        if (strFormat[i] == u'\'') {
            if (i + 1 < strFormat.size() && strFormat[i + 1] == u'\'') {
                strText += u'\'';
                i += 2;
                continue;
            }
            ++i;
            break;
        }
        strText += strFormat[i++];
    }
    return strText;
}

bool HasAmPm(const QString &strFormat)
{
    for (qsizetype i = 0; i < strFormat.size();) {
        if (strFormat[i] == u'\'') {
            ReadQuoted(strFormat, i);
            continue;
        }
        if (strFormat[i] == u'a' || strFormat[i] == u'A')
            return true;
        ++i;
    }
    return false;
}

void AppendNumber(std::string &strOut, int nValue, int nWidth)
{
    char digits[8];
    int n = 0;
    do {
        digits[n++] = static_cast<char>('0' + nValue % 10);
        nValue /= 10;
    } while (nValue > 0 && n < 8);
    for (int nPad = n; nPad < nWidth; ++nPad)
        strOut += '0';
    while (n > 0)
        strOut += digits[--n];
}

} // namespace

std::optional<CCompiledDateFormat> CCompiledDateFormat::Compile(
    const QString &strFormat, EPart part, const QLocale &locale)
{
    if (locale.zeroDigit() != QStringLiteral("0"))
        return std::nullopt;
    CCompiledDateFormat format;
    const bool bTwelveHours = part == EPart::Time && HasAmPm(strFormat);
    auto addLiteral = [&](const QString &strText) {
        if (format.m_pieces.empty() || format.m_pieces.back().kind != EPiece::Literal)
            format.m_pieces.push_back({EPiece::Literal, 0, {}, {}});
        format.m_pieces.back().strText += strText.toStdString();
    };
    for (qsizetype i = 0; i < strFormat.size();) {
        const QChar c = strFormat[i];
        if (c == u'\'') {
            addLiteral(ReadQuoted(strFormat, i));
            continue;
        }
        qsizetype nRepeat = 1;
        while (i + nRepeat < strFormat.size() && strFormat[i + nRepeat] == c)
            ++nRepeat;
        std::optional<SPiece> piece;
        if (part == EPart::Date) {
            if (c == u'y' && nRepeat >= 2) {
                nRepeat = nRepeat >= 4 ? 4 : 2;
                piece = SPiece {nRepeat == 4 ? EPiece::Year4 : EPiece::Year2, int(nRepeat), {}, {}};
            } else if (c == u'M' || c == u'd') {
                nRepeat = std::min<qsizetype>(nRepeat, 4);
                if (nRepeat <= 2) {
                    piece = SPiece {c == u'M' ? EPiece::Month : EPiece::Day, int(nRepeat), {}, {}};
                } else {
                    // Names as QLocale writes them for this very token. 1 January 2001 was a
                    // Monday, so the first seven days of 2001 give the days in Qt's order.
                    const QString strToken(nRepeat, c);
                    piece = SPiece {c == u'M' ? EPiece::MonthName : EPiece::DayName, 0, {}, {}};
                    piece->names.push_back({});
                    for (int n = 1; n <= (c == u'M' ? 12 : 7); ++n) {
                        const QDate date = c == u'M' ? QDate(2001, n, 1) : QDate(2001, 1, n);
                        piece->names.push_back(locale.toString(date, strToken).toStdString());
                    }
                }
            }
        } else if (c == u'h' || c == u'H' || c == u'm' || c == u's') {
            nRepeat = std::min<qsizetype>(nRepeat, 2);
            const EPiece kind = c == u'm'   ? EPiece::Minute
                : c == u's'                 ? EPiece::Second
                : c == u'h' && bTwelveHours ? EPiece::Hour12
                                            : EPiece::Hour24;
            piece = SPiece {kind, int(nRepeat), {}, {}};
        } else if (c == u'a' || c == u'A') {
            nRepeat = i + 1 < strFormat.size() && strFormat[i + 1].toLower() == u'p' ? 2 : 1;
            // The marks as QLocale writes them for this very token, with its letter case.
            const QString strToken = strFormat.mid(i, nRepeat);
            format.m_strAm = locale.toString(QTime(1, 0), strToken).toStdString();
            format.m_strPm = locale.toString(QTime(13, 0), strToken).toStdString();
            piece = SPiece {EPiece::AmPm, 0, {}, {}};
        } else if (c == u'z' || c == u't') {
            return std::nullopt;
        }
        if (piece)
            format.m_pieces.push_back(std::move(*piece));
        else
            addLiteral(QString(nRepeat, c));
        i += nRepeat;
    }
    return format;
}

void CCompiledDateFormat::AppendDate(std::string &strOut, QDate date) const
{
    int nYear = 0, nMonth = 0, nDay = 0;
    date.getDate(&nYear, &nMonth, &nDay);
    for (const SPiece &piece : m_pieces) {
        switch (piece.kind) {
        case EPiece::Literal:
            strOut += piece.strText;
            break;
        case EPiece::Year2:
            AppendNumber(strOut, nYear % 100, 2);
            break;
        case EPiece::Year4:
            AppendNumber(strOut, nYear, 4);
            break;
        case EPiece::Month:
            AppendNumber(strOut, nMonth, piece.nWidth);
            break;
        case EPiece::Day:
            AppendNumber(strOut, nDay, piece.nWidth);
            break;
        case EPiece::MonthName:
            strOut += piece.names[static_cast<size_t>(nMonth)];
            break;
        case EPiece::DayName:
            strOut += piece.names[static_cast<size_t>(date.dayOfWeek())];
            break;
        default:
            break;
        }
    }
}

void CCompiledDateFormat::AppendTime(std::string &strOut, int nHour, int nMinute, int nSecond) const
{
    for (const SPiece &piece : m_pieces) {
        switch (piece.kind) {
        case EPiece::Literal:
            strOut += piece.strText;
            break;
        case EPiece::Hour12:
            AppendNumber(strOut, nHour % 12 == 0 ? 12 : nHour % 12, piece.nWidth);
            break;
        case EPiece::Hour24:
            AppendNumber(strOut, nHour, piece.nWidth);
            break;
        case EPiece::Minute:
            AppendNumber(strOut, nMinute, piece.nWidth);
            break;
        case EPiece::Second:
            AppendNumber(strOut, nSecond, piece.nWidth);
            break;
        case EPiece::AmPm:
            strOut += nHour < 12 ? m_strAm : m_strPm;
            break;
        default:
            break;
        }
    }
}
