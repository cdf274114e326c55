#include "sources/sql/SqliteSource.h"

#include <QSqlError>
#include <QSqlQuery>

#include "sources/sql/SqlConnection.h"
#include "sources/sql/SqlTableCursor.h"

namespace {

// An identifier quoted for SQLite, so that any table name, quotes included, is taken as a name.
QString QuotedName(const std::string &strName)
{
    QString strQuoted = QString::fromStdString(strName);
    strQuoted.replace(u'"', QStringLiteral("\"\""));
    return u'"' + strQuoted + u'"';
}

} // namespace

CSqliteSource::CSqliteSource(const std::string &strPath) : CDataSource(strPath)
{
    m_pConnection = std::make_shared<CSqlConnection>(
        QStringLiteral("QSQLITE"), strPath, [&](QSqlDatabase &database) {
            database.setDatabaseName(QString::fromStdString(strPath));
            database.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
        });
    Reload();
}

CSqliteSource::~CSqliteSource() = default;

void CSqliteSource::Reload()
{
    QSqlQuery query(m_pConnection->Database());
    query.setForwardOnly(true);
    // The catalog in its own order; SQLite's internal tables are no lists.
    if (!query.exec(QStringLiteral("SELECT name FROM sqlite_master WHERE type IN ('table', "
                                   "'view') AND name NOT LIKE 'sqlite\\_%' ESCAPE '\\'")))
        m_pConnection->Fail("reading the list of tables", query.lastError().text());
    std::vector<SSourceTable> tables;
    while (query.next())
        tables.push_back({query.value(0).toString().toStdString(), false});
    m_tables = std::move(tables);
}

std::unique_ptr<CTableCursor> CSqliteSource::OpenTable(const std::string &strName)
{
    const SSourceTable *pTable = FindSourceTable(m_tables, strName);
    if (!pTable)
        ThrowNoSuchTable(strName, Path());
    const QString strFrom = QuotedName(pTable->strName);
    QSqlQuery query(m_pConnection->Database());
    query.setForwardOnly(true);
    if (!query.exec(QStringLiteral("PRAGMA table_info(") + strFrom + u')'))
        m_pConnection->Fail(
            "reading the fields of \"" + pTable->strName + "\"", query.lastError().text());
    std::vector<CDaoFieldInfo> fields;
    while (query.next()) {
        const std::string strType = query.value(2).toString().toStdString();
        fields.push_back(
            {query.value(1).toString().toStdString(), FieldTypeOfDeclared(strType), 0, 0});
    }
    return std::make_unique<CSqlTableCursor>(m_pConnection, strFrom, std::move(fields));
}
