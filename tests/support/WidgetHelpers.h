#pragma once

#include <cstdio>
#include <string>

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QListWidget>
#include <QStringList>
#include <QWidget>

// A named child of a dialog or window, as the tests find every control.
template<typename T> T *Child(QWidget &parent, const char *pName)
{
    return parent.findChild<T *>(QString::fromLatin1(pName));
}

// The object names of the combo boxes in a window that a screen reader would announce by their
// current text alone, for want of a name of their own.
inline QStringList UnnamedCombos(const QWidget &window)
{
    QStringList names;
    for (const QComboBox *pCombo : window.findChildren<QComboBox *>()) {
        if (pCombo->accessibleName().isEmpty())
            names << pCombo->objectName();
    }
    return names;
}

// The texts of a window's shown labels that do not fit at the smallest size the window may be
// made: a wrapped one lower than its text needs, another narrower.
inline std::string LabelsCutAtTheSmallestSize(QWidget &window)
{
    window.resize(1, 1); // as small as the window lets itself be made

    for (int i = 0; i < 10; ++i)
        QApplication::processEvents();
    QStringList cut;
    for (const QLabel *pLabel : window.findChildren<QLabel *>()) {
        if (!pLabel->isVisible() || pLabel->text().isEmpty())
            continue;
        const bool bFits = pLabel->wordWrap()
            ? pLabel->height() >= pLabel->heightForWidth(pLabel->width())
            : pLabel->width() >= pLabel->sizeHint().width();
        if (!bFits)
            cut << pLabel->text();
    }
    return cut.join(QStringLiteral("; ")).toStdString();
}

inline QStringList Items(const QComboBox *pCombo)
{
    QStringList items;
    for (int i = 0; i < pCombo->count(); ++i)
        items << pCombo->itemText(i);
    return items;
}

inline QStringList Items(const QListWidget *pList)
{
    QStringList items;
    for (int i = 0; i < pList->count(); ++i)
        items << pList->item(i)->text();
    return items;
}

#ifdef MERGIX_EXE
// What `mergix --test-merge FILE SELECTION` prints, in the locale the tests pin.
inline std::string CommandLineTestMerge(const std::string &strFile, const std::string &strSelection)
{
    std::string strOut;
    const std::string strCommand = std::string("LANG=en_US.UTF-8 LC_ALL=en_US.UTF-8 '") + MERGIX_EXE
        + "' --test-merge '" + strFile + "' " + strSelection + " 2>/dev/null";
    if (std::FILE *pPipe = ::popen(strCommand.c_str(), "r")) {
        char buffer[4096];
        for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pPipe)) > 0;)
            strOut.append(buffer, n);
        ::pclose(pPipe);
    }
    return strOut;
}
#endif
