#pragma once

#include <QSqlDatabase>
#include <QString>
#include <functional>
#include <string>

// One Qt SQL connection of a list, removed when the last table read through it is let go. Used
// only in the thread that made it.
class CSqlConnection final
{
public:
    // Opens a connection with that driver; throws CDaoException naming strShownName. describe,
    // when given, makes the message of a connection that could not be opened from the driver's
    // own words.
    CSqlConnection(const QString &strDriver, const std::string &strShownName,
        const std::function<void(QSqlDatabase &)> &configure,
        const std::function<std::string(const std::string &strDriverText)> &describe = {});
    ~CSqlConnection();
    CSqlConnection(const CSqlConnection &) = delete;
    CSqlConnection &operator=(const CSqlConnection &) = delete;

    QSqlDatabase Database() const;
    const std::string &ShownName() const { return m_strShownName; }
    // Throws CDaoException for a failed statement: the list's name, what was being done, and
    // the driver's own words.
    [[noreturn]] void Fail(const std::string &strDoing, const QString &strDriverText) const;

private:
    QString m_strName;
    std::string m_strShownName;
};
