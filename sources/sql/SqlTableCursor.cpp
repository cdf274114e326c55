#include "sources/sql/SqlTableCursor.h"

#include <QDateTime>
#include <QSqlError>
#include <QSqlRecord>
#include <cmath>
#include <limits>
#include <optional>

#include "engine/AsciiCase.h"
#include "engine/Data.h"
#include "sources/access/DaoException.h"
#include "sources/sql/SqlConnection.h"

namespace {

const QDate kDayZero(1899, 12, 30);

CVariant DateValue(const QDateTime &when)
{
    const QTime time = when.time();
    return CVariant::Date(static_cast<double>(kDayZero.daysTo(when.date()))
        + time.msecsSinceStartOfDay() / 86400000.0);
}

// "2024-05-31", "2024-05-31 14:30" or "2024-05-31T14:30:05" as a date; anything else is none.
std::optional<CVariant> IsoDateValue(const QString &strText)
{
    const QDate date = QDate::fromString(strText.left(10), Qt::ISODate);
    if (!date.isValid())
        return std::nullopt;
    if (strText.size() == 10)
        return DateValue(QDateTime(date, QTime(0, 0)));
    if (strText.size() < 16 || (strText[10] != u' ' && strText[10] != u'T'))
        return std::nullopt;
    QTime time = QTime::fromString(strText.mid(11, 8), Qt::ISODate);
    if (!time.isValid())
        time = QTime::fromString(strText.mid(11, 5), QStringLiteral("HH:mm"));
    if (!time.isValid())
        return std::nullopt;
    return DateValue(QDateTime(date, time));
}

CVariant NumberValue(double d, short nType)
{
    if (nType == dbBoolean)
        return CVariant::Bool(d != 0);
    if (d == std::floor(d) && d >= std::numeric_limits<int32_t>::min()
        && d <= std::numeric_limits<int32_t>::max() && nType != dbDouble)
        return CVariant::Long(static_cast<int32_t>(d));
    return CVariant::Double(d);
}

} // namespace

short FieldTypeOfDeclared(const std::string &strDeclared)
{
    std::string strType = strDeclared;
    UpperCaseAscii(strType);
    const auto has = [&](const char *pPart) {
        return strType.find(pPart) != std::string::npos;
    };
    if (has("BOOL"))
        return dbBoolean;
    if (has("DATE") || has("TIME"))
        return dbDate;
    if (has("INT"))
        return dbLong;
    if (has("CHAR") || has("CLOB") || has("TEXT"))
        return dbText;
    if (has("REAL") || has("FLOA") || has("DOUB") || has("NUM") || has("DEC"))
        return dbDouble;
    return dbText; // no declared type (an expression in a view) or a blob
}

CVariant SqlFieldValue(const QVariant &value, short nType)
{
    if (value.isNull())
        return CVariant::Null();
    switch (value.metaType().id()) {
    case QMetaType::Bool:
        return CVariant::Bool(value.toBool());
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Double:
    case QMetaType::Float:
        return NumberValue(value.toDouble(), nType);
    case QMetaType::QDate:
        return DateValue(QDateTime(value.toDate(), QTime(0, 0)));
    case QMetaType::QDateTime:
        return DateValue(value.toDateTime());
    case QMetaType::QByteArray:
        return CVariant::Null(); // a blob has no text to merge
    default:
        break;
    }
    const QString strText = value.toString();
    if (nType == dbDate) {
        if (std::optional<CVariant> date = IsoDateValue(strText))
            return *date;
    }
    return CVariant::String(strText.toStdString());
}

CSqlTableCursor::CSqlTableCursor(
    std::shared_ptr<CSqlConnection> pConnection, QString strFrom, std::vector<CDaoFieldInfo> fields)
    : m_pConnection(std::move(pConnection))
    , m_strFrom(std::move(strFrom))
    , m_fields(std::move(fields))
{
    m_values.resize(m_fields.size());
    QSqlQuery count(m_pConnection->Database());
    if (!count.exec(QStringLiteral("SELECT COUNT(*) FROM ") + m_strFrom) || !count.next())
        m_pConnection->Fail("counting the rows", count.lastError().text());
    m_nRecordCount = static_cast<long>(count.value(0).toLongLong());
    MoveFirst();
}

const CDaoFieldInfo &CSqlTableCursor::GetFieldInfo(int nIndex) const
{
    return m_fields.at(static_cast<size_t>(nIndex));
}

void CSqlTableCursor::MoveFirst()
{
    m_pQuery = std::make_unique<QSqlQuery>(m_pConnection->Database());
    m_pQuery->setForwardOnly(true);
    if (!m_pQuery->exec(QStringLiteral("SELECT * FROM ") + m_strFrom))
        m_pConnection->Fail("reading the rows", m_pQuery->lastError().text());
    ReadRow();
}

void CSqlTableCursor::MoveNext()
{
    if (m_bEOF)
        throw CDaoException(CDaoException::EKind::NoRecord, "No current record.");
    ReadRow();
}

void CSqlTableCursor::ReadRow()
{
    m_bEOF = !m_pQuery->next();
    if (m_bEOF) {
        if (m_pQuery->lastError().isValid())
            m_pConnection->Fail("reading the rows", m_pQuery->lastError().text());
        m_pQuery.reset(); // lets the database go between passes
        return;
    }
    for (size_t i = 0; i < m_fields.size(); ++i)
        m_values[i] = SqlFieldValue(m_pQuery->value(static_cast<int>(i)), m_fields[i].m_nType);
}

const CVariant &CSqlTableCursor::GetFieldValue(int nIndex) const
{
    if (m_bEOF)
        throw CDaoException(CDaoException::EKind::NoRecord, "No current record.");
    return m_values.at(static_cast<size_t>(nIndex));
}
