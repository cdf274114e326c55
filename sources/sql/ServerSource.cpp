#include "sources/sql/ServerSource.h"

#include <QSqlDriver>
#include <QSqlError>
#include <QSqlField>
#include <QSqlQuery>
#include <QSqlRecord>

#include "engine/AsciiCase.h"
#include "engine/Data.h"
#include "engine/PrintableText.h"
#include "sources/access/DaoException.h"
#include "sources/sql/SqlConnection.h"
#include "sources/sql/SqlTableCursor.h"

namespace {

ServerPasswordSource &PasswordSource()
{
    static ServerPasswordSource s_source;
    return s_source;
}

std::function<void(const SServerAddress &)> &PasswordRefused()
{
    static std::function<void(const SServerAddress &)> s_refused;
    return s_refused;
}

// Whether the driver's words hold one of the parts, given in upper case; letter case aside.
bool Says(std::string strDriverText, std::initializer_list<const char *> parts)
{
    UpperCaseAscii(strDriverText);
    for (const char *pPart : parts) {
        if (strDriverText.find(pPart) != std::string::npos)
            return true;
    }
    return false;
}

bool IsRefusedLogin(const std::string &strDriverText)
{
    return Says(strDriverText,
        {"PASSWORD AUTHENTICATION FAILED", "ACCESS DENIED", "NO PASSWORD SUPPLIED",
            "AUTHENTICATION FAILED"});
}

QString Q(const std::string &strText)
{
    return QString::fromStdString(strText);
}

// An identifier as the SQL standard quotes it (MySQL with backquotes), so that any name, quotes
// included, is taken as a name.
QString Quoted(const std::string &strName, QChar quote)
{
    QString strQuoted = Q(strName);
    strQuoted.replace(quote, QString(2, quote));
    return quote + strQuoted + quote;
}

// A server's column type as a field type: exact decimals (numeric, decimal) keep their digits as
// the server gives them, as Access's Decimal fields do; the rest as SQLite's declared types.
short ServerFieldType(const std::string &strType)
{
    if (EqualsIgnoringAsciiCase(strType, "numeric") || EqualsIgnoringAsciiCase(strType, "decimal"))
        return dbDecimal;
    return FieldTypeOfDeclared(strType);
}

// The field type of a column as an ODBC driver reports it, by the kind of value Qt reads.
short OdbcFieldType(const QMetaType &type)
{
    switch (type.id()) {
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
        return dbLong;
    case QMetaType::Float:
    case QMetaType::Double:
        return dbDouble;
    case QMetaType::QDate:
    case QMetaType::QDateTime:
        return dbDate;
    case QMetaType::Bool:
        return dbBoolean;
    default:
        return dbText;
    }
}

// The message for a connection that failed, with what the user can do about it.
std::string OpenFailure(const SServerAddress &address, const std::string &strShown,
    const std::string &strDriverText, bool bHadPassword)
{
    const std::string strServer
        = std::string("The ") + ServerKindName(address.eKind) + " " + strShown;
    if (IsRefusedLogin(strDriverText))
        return strServer + " refused the login of user \"" + PrintableText(address.strUser) + "\""
            + (bHadPassword ? "" : " without a password")
            + ". Check the user name and the password; Mergix tried once only, so that the "
              "account is not locked. ("
            + PrintableText(strDriverText) + ")";
    if (Says(strDriverText,
            {"TIMEOUT", "TIMED OUT", "COULD NOT CONNECT", "CONNECTION REFUSED", "CAN'T CONNECT",
                "COULD NOT TRANSLATE HOST NAME", "UNKNOWN MYSQL SERVER HOST"}))
        return strServer
            + " could not be reached. Check the host name and port, and that the "
              "server is running and lets this computer connect. ("
            + PrintableText(strDriverText) + ")";
    return strServer + " cannot be opened: " + PrintableText(strDriverText);
}

// The address a server list is named by; throws CDaoException when it cannot be used.
SServerAddress ParsedAddress(const std::string &strAddress)
{
    std::string strError;
    std::optional<SServerAddress> address = ParseServerAddress(strAddress, strError);
    if (!address)
        throw CDaoException(CDaoException::EKind::CannotRead, strError);
    return *address;
}

} // namespace

void SetServerPasswordSource(
    ServerPasswordSource source, std::function<void(const SServerAddress &)> refused)
{
    PasswordSource() = std::move(source);
    PasswordRefused() = std::move(refused);
}

CServerSource::CServerSource(const std::string &strAddress)
    : CDataSource(strAddress), m_address(ParsedAddress(strAddress))
{
    Connect(PasswordSource() ? PasswordSource()(m_address) : std::nullopt, true);
}

CServerSource::CServerSource(
    const std::string &strAddress, const std::optional<std::string> &password)
    : CDataSource(strAddress), m_address(ParsedAddress(strAddress))
{
    Connect(password, false);
}

void CServerSource::Connect(const std::optional<std::string> &password, bool bTellRefusal)
{
    const std::string &strAddress = Path();
    const std::string strShown = "\"" + PrintableText(strAddress) + "\"";
    const QString strDriver
        = QString::fromLatin1(m_address.eKind == SServerAddress::EKind::PostgreSql ? "QPSQL"
                : m_address.eKind == SServerAddress::EKind::MySql                  ? "QMYSQL"
                                                                                   : "QODBC");
    m_pConnection = std::make_shared<CSqlConnection>(
        strDriver, strAddress,
        [&](QSqlDatabase &database) {
            if (m_address.eKind == SServerAddress::EKind::Odbc) {
                database.setDatabaseName(Q(m_address.strOdbc));
                database.setConnectOptions(QStringLiteral(
                    "SQL_ATTR_LOGIN_TIMEOUT=10;SQL_ATTR_ACCESS_MODE=SQL_MODE_READ_ONLY"));
            } else {
                database.setHostName(Q(m_address.strHost));
                if (m_address.nPort > 0)
                    database.setPort(m_address.nPort);
                database.setDatabaseName(Q(m_address.strDatabase));
                database.setUserName(Q(m_address.strUser));
                QString strOptions = m_address.eKind == SServerAddress::EKind::PostgreSql
                    ? QStringLiteral("connect_timeout=10")
                    : QStringLiteral("MYSQL_OPT_CONNECT_TIMEOUT=10");
                if (!m_address.strSslMode.empty())
                    strOptions += QStringLiteral(";sslmode=") + Q(m_address.strSslMode);
                database.setConnectOptions(strOptions);
            }
            if (password)
                database.setPassword(Q(*password));
            // Exact decimals come as their digits, not as doubles.
            database.setNumericalPrecisionPolicy(QSql::HighPrecision);
        },
        [&](const std::string &strDriverText) {
            if (bTellRefusal && password && IsRefusedLogin(strDriverText) && PasswordRefused())
                PasswordRefused()(m_address);
            return OpenFailure(m_address, strShown, strDriverText, password.has_value());
        });
    // Nothing Mergix runs may change the list; the servers that know read-only sessions are
    // told so.
    const QString strReadOnly = m_address.eKind == SServerAddress::EKind::PostgreSql
        ? QStringLiteral("SET SESSION CHARACTERISTICS AS TRANSACTION READ ONLY")
        : m_address.eKind == SServerAddress::EKind::MySql
        ? QStringLiteral("SET SESSION TRANSACTION READ ONLY")
        : QString();
    if (!strReadOnly.isEmpty()) {
        QSqlQuery query(m_pConnection->Database());
        if (!query.exec(strReadOnly))
            m_pConnection->Fail("making the session read-only", query.lastError().text());
    }
    Reload();
}

CServerSource::~CServerSource() = default;

std::vector<SSourceTable> CServerSource::Tables() const
{
    std::vector<SSourceTable> tables;
    tables.reserve(m_tables.size());
    for (const STable &table : m_tables)
        tables.push_back({table.strShown, false});
    return tables;
}

void CServerSource::Reload()
{
    std::vector<STable> tables;
    if (m_address.eKind == SServerAddress::EKind::Odbc) {
        for (const QString &strName :
            m_pConnection->Database().tables(QSql::TableType(QSql::Tables | QSql::Views)))
            tables.push_back({strName.toStdString(), {}, strName.toStdString()});
    } else {
        QSqlQuery query(m_pConnection->Database());
        query.setForwardOnly(true);
        const QString strCatalog = m_address.eKind == SServerAddress::EKind::PostgreSql
            ? QStringLiteral("SELECT table_schema, table_name FROM information_schema.tables "
                             "WHERE table_schema NOT IN ('pg_catalog', 'information_schema') "
                             "AND table_schema NOT LIKE 'pg\\_%' "
                             "ORDER BY table_schema <> 'public', table_schema, table_name")
            : QStringLiteral("SELECT table_schema, table_name FROM information_schema.tables "
                             "WHERE table_schema = DATABASE() ORDER BY table_name");
        if (!query.exec(strCatalog))
            m_pConnection->Fail("reading the list of tables", query.lastError().text());
        while (query.next()) {
            const std::string strSchema = query.value(0).toString().toStdString();
            const std::string strName = query.value(1).toString().toStdString();
            const bool bQualified
                = m_address.eKind == SServerAddress::EKind::PostgreSql && strSchema != "public";
            tables.push_back({bQualified ? strSchema + "." + strName : strName,
                m_address.eKind == SServerAddress::EKind::PostgreSql ? strSchema : std::string(),
                strName});
        }
    }
    m_tables = std::move(tables);
}

QString CServerSource::QuotedName(const STable &table) const
{
    const QChar quote = m_address.eKind == SServerAddress::EKind::MySql ? u'`' : u'"';
    if (table.strSchema.empty())
        return Quoted(table.strName, quote);
    return Quoted(table.strSchema, quote) + u'.' + Quoted(table.strName, quote);
}

std::unique_ptr<CTableCursor> CServerSource::OpenTable(const std::string &strName)
{
    const std::vector<SSourceTable> shown = Tables();
    const SSourceTable *pFound = FindSourceTable(shown, strName);
    if (!pFound)
        ThrowNoSuchTable(strName, Path());
    const STable &table = m_tables.at(static_cast<size_t>(pFound - shown.data()));
    std::vector<CDaoFieldInfo> fields;
    if (m_address.eKind == SServerAddress::EKind::Odbc) {
        // Quoted, so that the driver does not change the name's letter case.
        const QSqlDatabase database = m_pConnection->Database();
        const QSqlRecord record = database.record(
            database.driver()->escapeIdentifier(Q(table.strName), QSqlDriver::TableName));
        for (int i = 0; i < record.count(); ++i)
            fields.push_back({record.fieldName(i).toStdString(),
                OdbcFieldType(record.field(i).metaType()), 0, 0});
    } else {
        // The names go in as values, never into the statement's text.
        QSqlQuery query(m_pConnection->Database());
        query.setForwardOnly(true);
        query.prepare(m_address.eKind == SServerAddress::EKind::PostgreSql
                ? QStringLiteral("SELECT column_name, data_type FROM information_schema.columns "
                                 "WHERE table_schema = ? AND table_name = ? "
                                 "ORDER BY ordinal_position")
                : QStringLiteral("SELECT column_name, data_type FROM information_schema.columns "
                                 "WHERE table_schema = DATABASE() AND ? = '' "
                                 "AND table_name = ? ORDER BY ordinal_position"));
        query.addBindValue(Q(table.strSchema));
        query.addBindValue(Q(table.strName));
        if (!query.exec())
            m_pConnection->Fail(
                "reading the fields of \"" + table.strShown + "\"", query.lastError().text());
        while (query.next())
            fields.push_back({query.value(0).toString().toStdString(),
                ServerFieldType(query.value(1).toString().toStdString()), 0, 0});
    }
    if (fields.empty())
        ThrowNoSuchTable(strName, Path());
    return std::make_unique<CSqlTableCursor>(m_pConnection, QuotedName(table), std::move(fields));
}
