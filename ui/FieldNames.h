#pragma once

#include <algorithm>
#include <string>
#include <vector>

#include <QStringList>

// Field names as a sorted list box or combo shows them: ordered without regard to letter case.
inline QStringList SortedFieldNames(const std::vector<std::string> &names)
{
    QStringList sorted;
    for (const std::string &strName : names)
        sorted << QString::fromStdString(strName);
    std::stable_sort(sorted.begin(), sorted.end(),
        [](const QString &a, const QString &b) { return a.compare(b, Qt::CaseInsensitive) < 0; });
    return sorted;
}
