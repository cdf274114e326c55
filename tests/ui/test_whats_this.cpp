// Every control of a dialog can be asked what it does: Shift+F1 on the focused control, or
// Shift+F1 and a click.

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAbstractSpinBox>
#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTextEdit>
#include <QWhatsThis>
#include <QWizard>
#include <QXmlStreamReader>

#include "document/MergixDoc.h"
#include "ui/DnsRecordDlg.h"
#include "ui/HelpWindow.h"
#include "ui/NewWizardSheetDlg.h"
#include "ui/ServerConnectDlg.h"

namespace {

bool IsControlClass(QStringView strClass)
{
    static const QStringList kControls = {QStringLiteral("QLineEdit"), QStringLiteral("QComboBox"),
        QStringLiteral("CDropDownCombo"), QStringLiteral("QCheckBox"),
        QStringLiteral("QRadioButton"), QStringLiteral("QSpinBox"), QStringLiteral("QPushButton"),
        QStringLiteral("QToolButton"), QStringLiteral("QListWidget"), QStringLiteral("QTableView"),
        QStringLiteral("CTextLinesView"), QStringLiteral("QPlainTextEdit"),
        QStringLiteral("QTextEdit"), QStringLiteral("QTextBrowser")};
    return kControls.contains(strClass);
}

// A window's own Cancel and Close say what they do.
bool NeedsNoExplaining(QStringView strName)
{
    return strName == u"cancelButton" || strName == u"closeButton";
}

// The controls of a Designer form that have no What's This text, as "form: name".
QStringList UnexplainedInForm(const QString &strPath)
{
    QFile file(strPath);
    if (!file.open(QIODevice::ReadOnly))
        return {strPath + QStringLiteral(": cannot be read")};
    struct SWidget
    {
        QString strName;
        bool bControl = false;
        int nDepth = 0;
        bool bExplained = false;
    };
    QStringList unexplained;
    QList<SWidget> open; // the <widget> elements around the reader, innermost last
    int nDepth = 0;
    QXmlStreamReader xml(&file);
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement()) {
            ++nDepth;
            if (xml.name() == u"widget")
                open.append({xml.attributes().value(QStringLiteral("name")).toString(),
                    IsControlClass(xml.attributes().value(QStringLiteral("class"))), nDepth});
            else if (xml.name() == u"property"
                && xml.attributes().value(QStringLiteral("name")) == u"whatsThis" && !open.isEmpty()
                && nDepth == open.last().nDepth + 1)
                open.last().bExplained = true;
        } else if (xml.isEndElement()) {
            if (xml.name() == u"widget") {
                const SWidget widget = open.takeLast();
                if (widget.bControl && !widget.bExplained && !NeedsNoExplaining(widget.strName))
                    unexplained << QFileInfo(strPath).fileName() + QStringLiteral(": ")
                            + widget.strName;
            }
            --nDepth;
        }
    }
    if (xml.hasError())
        unexplained << strPath + QStringLiteral(": ") + xml.errorString();
    return unexplained;
}

// The controls of a dialog built in code that have no What's This text.
QStringList UnexplainedIn(const QWidget &dialog)
{
    QStringList unexplained;
    for (const QWidget *pWidget : dialog.findChildren<QWidget *>()) {
        const bool bControl = qobject_cast<const QLineEdit *>(pWidget)
            || qobject_cast<const QComboBox *>(pWidget)
            || qobject_cast<const QAbstractButton *>(pWidget)
            || qobject_cast<const QAbstractSpinBox *>(pWidget)
            || qobject_cast<const QAbstractItemView *>(pWidget)
            || qobject_cast<const QTextEdit *>(pWidget);
        if (!bControl || !pWidget->whatsThis().isEmpty())
            continue;
        // Parts of a control (a combo box's edit) and the buttons every dialog or wizard has.
        const QWidget *pParent = pWidget->parentWidget();
        if (qobject_cast<const QComboBox *>(pParent)
            || qobject_cast<const QAbstractSpinBox *>(pParent)
            || qobject_cast<const QDialogButtonBox *>(pParent)
            || (qobject_cast<const QWizard *>(&dialog) && qobject_cast<const QPushButton *>(pWidget)
                && pWidget->objectName().contains(QLatin1String("wizard")))
            || NeedsNoExplaining(pWidget->objectName()))
            continue;
        unexplained << QStringLiteral("%1 (%2)").arg(
            pWidget->objectName(), QLatin1String(pWidget->metaObject()->className()));
    }
    return unexplained;
}

TEST(WhatsThisTest, EveryControlOfEveryDialogExplainsItself)
{
    const QDir forms(QStringLiteral(MERGIX_TESTS_DIR "/../res"));
    const QStringList files = forms.entryList({QStringLiteral("*.ui")}, QDir::Files);
    ASSERT_GE(files.size(), 10);
    QStringList unexplained;
    for (const QString &strFile : files)
        unexplained << UnexplainedInForm(forms.filePath(strFile));
    EXPECT_EQ(unexplained.join(u'\n').toStdString(), "");

    CMergixDoc doc;
    CNewWizardSheetDlg wizard(doc);
    CServerConnectDlg server;
    CDnsRecordDlg record("example.org", "mail._domainkey.example.org. IN TXT \"v=DKIM1\"");
    for (const QWidget *pDialog :
        std::initializer_list<const QWidget *> {&wizard, &server, &record})
        EXPECT_EQ(UnexplainedIn(*pDialog).join(u", ").toStdString(), "")
            << pDialog->metaObject()->className();
}

// The text Qt shows for What's This, once shown.
bool WhatsThisShown()
{
    for (const QWidget *pWindow : QApplication::topLevelWidgets()) {
        if (pWindow->isVisible()
            && QLatin1String(pWindow->metaObject()->className()) == QLatin1String("QWhatsThat"))
            return true;
    }
    return false;
}

TEST(WhatsThisTest, ShiftF1ExplainsTheFocusedControlOrWaitsForAClick)
{
    CDialogHelpKey helpKey;
    qApp->installEventFilter(&helpKey);
    QDialog dialog;
    auto *pExplained = new QLineEdit(&dialog);
    pExplained->setWhatsThis(QStringLiteral("The text to look for."));
    auto *pPlain = new QLineEdit(&dialog);
    pPlain->move(0, 40);
    dialog.show();
    dialog.activateWindow();
    QApplication::processEvents();

    pExplained->setFocus();
    QTest::keyClick(pExplained, Qt::Key_F1, Qt::ShiftModifier);
    EXPECT_TRUE(WhatsThisShown());
    EXPECT_FALSE(QWhatsThis::inWhatsThisMode());
    QWhatsThis::hideText();
    QApplication::processEvents();

    pPlain->setFocus();
    QTest::keyClick(pPlain, Qt::Key_F1, Qt::ShiftModifier);
    EXPECT_FALSE(WhatsThisShown());
    EXPECT_TRUE(QWhatsThis::inWhatsThisMode());
    QWhatsThis::leaveWhatsThisMode();
    qApp->removeEventFilter(&helpKey);
}

} // namespace
