#pragma once

#include <ostream>

#include <QString>
#include <QStringList>

// Readable failure messages for Qt strings in GoogleTest assertions.
inline void PrintTo(const QString &strText, std::ostream *pStream)
{
    *pStream << '"' << strText.toStdString() << '"';
}

inline void PrintTo(const QStringList &list, std::ostream *pStream)
{
    *pStream << '[';
    for (qsizetype i = 0; i < list.size(); ++i) {
        *pStream << (i ? ", " : "");
        PrintTo(list[i], pStream);
    }
    *pStream << ']';
}
