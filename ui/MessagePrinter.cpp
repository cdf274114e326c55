#include "ui/MessagePrinter.h"

#include <cstdio>

#include <QFont>
#include <QPrinter>
#include <QPrinterInfo>
#include <QTextDocument>

#include "app/CommandDispatcher.h"
#include "document/MergixDoc.h"
#include "engine/Prompter.h"

void PrintMessage(const QTextDocument *pDocument, QPrinter &printer)
{
    pDocument->print(&printer);
}

void PrintMessage(const std::string &strBody, QPrinter &printer)
{
    QTextDocument document;
    QFont font(QStringLiteral("Times New Roman"));
    font.setBold(false);
    document.setDefaultFont(font);
    QString text = QString::fromStdString(strBody);
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    document.setPlainText(text);
    document.print(&printer);
}

int PrintMergeFile(const std::string &strPath, QPrinter *pPrinter)
{
    CMergixDoc doc;
    bool bRead = false;
    // The message alone is printed: the database is not needed for it.
    if (!RunCommand([&] { bRead = doc.ReadMergeFile(strPath); }) || !bRead)
        return 2;
    QPrinter defaultPrinter;
    QPrinter &printer = pPrinter ? *pPrinter : defaultPrinter;
    if (!printer.isValid() || (!pPrinter && QPrinterInfo::defaultPrinter().isNull())) {
        ShowMessage("No printer is set up to print " + strPath + ".");
        return 2;
    }
    PrintMessage(doc.m_strBody, printer);
    return 0;
}
