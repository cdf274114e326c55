#include "sources/sql/SqlConnection.h"

#include <QSqlError>
#include <atomic>

#include "engine/PrintableText.h"
#include "sources/access/DaoException.h"

CSqlConnection::CSqlConnection(const QString &strDriver, const std::string &strShownName,
    const std::function<void(QSqlDatabase &)> &configure,
    const std::function<std::string(const std::string &strDriverText)> &describe)
    : m_strShownName(strShownName)
{
    static std::atomic<int> s_nConnections {0};
    m_strName = QStringLiteral("mergix-list-%1").arg(++s_nConnections);
    if (!QSqlDatabase::isDriverAvailable(strDriver))
        throw CDaoException(CDaoException::EKind::CannotRead,
            "\"" + PrintableText(strShownName) + "\" cannot be read: Qt's "
                + strDriver.toStdString() + " database driver is not installed.");
    QSqlDatabase database = QSqlDatabase::addDatabase(strDriver, m_strName);
    configure(database);
    if (!database.open()) {
        const QString strError = database.lastError().text();
        database = QSqlDatabase();
        QSqlDatabase::removeDatabase(m_strName);
        throw CDaoException(CDaoException::EKind::CannotRead,
            describe ? describe(strError.toStdString())
                     : "\"" + PrintableText(strShownName)
                    + "\" cannot be opened: " + PrintableText(strError.toStdString()));
    }
}

CSqlConnection::~CSqlConnection()
{
    {
        QSqlDatabase database = QSqlDatabase::database(m_strName, false);
        database.close();
    }
    QSqlDatabase::removeDatabase(m_strName);
}

QSqlDatabase CSqlConnection::Database() const
{
    return QSqlDatabase::database(m_strName, false);
}

void CSqlConnection::Fail(const std::string &strDoing, const QString &strDriverText) const
{
    throw CDaoException(CDaoException::EKind::Damaged,
        "\"" + PrintableText(m_strShownName) + "\": " + strDoing
            + " failed: " + PrintableText(strDriverText.toStdString()));
}
