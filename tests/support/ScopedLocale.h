#pragma once

#include <QLocale>
#include <QString>

// Pins the default locale for the lifetime of the object.
class CScopedLocale final
{
public:
    explicit CScopedLocale(const char *pName) : m_previous(QLocale())
    {
        QLocale::setDefault(QLocale(QString::fromLatin1(pName)));
    }
    ~CScopedLocale() { QLocale::setDefault(m_previous); }
    CScopedLocale(const CScopedLocale &) = delete;
    CScopedLocale &operator=(const CScopedLocale &) = delete;

private:
    QLocale m_previous;
};
