#include "ui/FormatCommands.h"

#include <QActionGroup>
#include <QColorDialog>
#include <QComboBox>
#include <QFileDialog>
#include <QFontComboBox>
#include <QFontDialog>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenuBar>
#include <QStatusBar>
#include <QTextList>
#include <QToolBar>

#include "engine/Prompter.h"
#include "ui/MergixView.h"

CFormatCommands::CFormatCommands(QMainWindow &frame, CMergixView &view)
    : QObject(&frame)
    , m_frame(frame)
    , m_view(view)
    , m_pMenu(new QMenu(QStringLiteral("F&ormat"), &frame))
    , m_pToolBar(new QToolBar(QStringLiteral("Formatting"), &frame))
    , m_pFontBox(new QFontComboBox(m_pToolBar))
    , m_pSizeBox(new QComboBox(m_pToolBar))
    , m_pFormattedMark(new QLabel(QStringLiteral("Formatted")))
{
    m_pMenu->setObjectName(QStringLiteral("formatMenu"));
    m_pToolBar->setObjectName(QStringLiteral("formatToolBar"));
    m_pToolBar->setWhatsThis(QStringLiteral(
        "Formats the message: the first formatting makes it a formatted message, sent as HTML "
        "with a plain-text twin."));

    m_pBold = Add("actionBold", QStringLiteral("&Bold"), QKeySequence(Qt::CTRL | Qt::Key_B),
        QStringLiteral("Make the selection bold\nBold"), "format-text-bold");
    m_pItalic = Add("actionItalic", QStringLiteral("&Italic"),
        QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_I),
        QStringLiteral("Make the selection italic\nItalic"), "format-text-italic");
    m_pUnderline
        = Add("actionUnderline", QStringLiteral("&Underline"), QKeySequence(Qt::CTRL | Qt::Key_U),
            QStringLiteral("Underline the selection\nUnderline"), "format-text-underline");
    for (QAction *pAction : {m_pBold, m_pItalic, m_pUnderline})
        pAction->setCheckable(true);
    connect(m_pBold, &QAction::triggered, &m_view, &CMergixView::SetBold);
    connect(m_pItalic, &QAction::triggered, &m_view, &CMergixView::SetItalic);
    connect(m_pUnderline, &QAction::triggered, &m_view, &CMergixView::SetUnderline);
    QAction *pFont = Add("actionFont", QStringLiteral("&Font..."), {},
        QStringLiteral("Choose the font of the selection\nFont"), nullptr);
    connect(pFont, &QAction::triggered, this, &CFormatCommands::OnFont);
    QAction *pColor = Add("actionTextColor", QStringLiteral("&Colour..."), {},
        QStringLiteral("Choose the colour of the selection\nColour"), "format-text-color");
    connect(pColor, &QAction::triggered, this, &CFormatCommands::OnColor);
    m_pMenu->addSeparator();

    m_pBullets = Add("actionBulletedList", QStringLiteral("Bulleted &List"), {},
        QStringLiteral("Make the paragraphs a bulleted list\nBullets"), "format-list-unordered");
    m_pNumbers = Add("actionNumberedList", QStringLiteral("&Numbered List"), {},
        QStringLiteral("Make the paragraphs a numbered list\nNumbering"), "format-list-ordered");
    for (QAction *pAction : {m_pBullets, m_pNumbers})
        pAction->setCheckable(true);
    connect(m_pBullets, &QAction::triggered, this, [this](bool bOn) {
        m_view.SetList(bOn ? QTextListFormat::ListDisc : QTextListFormat::ListStyleUndefined);
        ShowCursorFormat();
    });
    connect(m_pNumbers, &QAction::triggered, this, [this](bool bOn) {
        m_view.SetList(bOn ? QTextListFormat::ListDecimal : QTextListFormat::ListStyleUndefined);
        ShowCursorFormat();
    });
    m_pLeft = Add("actionAlignLeft", QStringLiteral("Align L&eft"), {},
        QStringLiteral("Align the paragraphs to the left\nLeft"), "format-justify-left");
    m_pCenter = Add("actionAlignCenter", QStringLiteral("Cen&tre"), {},
        QStringLiteral("Centre the paragraphs\nCentre"), "format-justify-center");
    m_pRight = Add("actionAlignRight", QStringLiteral("Align &Right"), {},
        QStringLiteral("Align the paragraphs to the right\nRight"), "format-justify-right");
    auto *pAlignment = new QActionGroup(this);
    for (QAction *pAction : {m_pLeft, m_pCenter, m_pRight}) {
        pAction->setCheckable(true);
        pAlignment->addAction(pAction);
    }
    connect(m_pLeft, &QAction::triggered, this, [this] { m_view.SetAlignment(Qt::AlignLeft); });
    connect(
        m_pCenter, &QAction::triggered, this, [this] { m_view.SetAlignment(Qt::AlignHCenter); });
    connect(m_pRight, &QAction::triggered, this, [this] { m_view.SetAlignment(Qt::AlignRight); });
    m_pMenu->addSeparator();

    QAction *pLink
        = Add("actionLink", QStringLiteral("Lin&k..."), QKeySequence(Qt::CTRL | Qt::Key_K),
            QStringLiteral("Make the selection a link\nLink"), "insert-link");
    connect(pLink, &QAction::triggered, this, &CFormatCommands::OnLink);
    QAction *pPicture = Add("actionPicture", QStringLiteral("&Picture..."), {},
        QStringLiteral("Insert a picture from a file\nPicture"), "insert-image");
    connect(pPicture, &QAction::triggered, this, &CFormatCommands::OnPicture);
    m_pMenu->addSeparator();
    m_pPlain = Add("actionPlainText", QStringLiteral("Plain &Text"), {},
        QStringLiteral("Remove all formatting: the message is sent as plain text\nPlain text"),
        nullptr);
    connect(m_pPlain, &QAction::triggered, this, &CFormatCommands::OnPlainText);

    // The toolbar: font and size first, then the commands with icons.
    m_pFontBox->setObjectName(QStringLiteral("fontBox"));
    m_pFontBox->setAccessibleName(QStringLiteral("Font"));
    m_pFontBox->setToolTip(QStringLiteral("Font"));
    m_pSizeBox->setObjectName(QStringLiteral("fontSizeBox"));
    m_pSizeBox->setAccessibleName(QStringLiteral("Font size"));
    m_pSizeBox->setToolTip(QStringLiteral("Font size"));
    m_pSizeBox->setEditable(true);
    for (const int nSize : {8, 9, 10, 11, 12, 14, 16, 18, 20, 24, 28, 36})
        m_pSizeBox->addItem(QString::number(nSize));
    // Their edits are what a screen reader reaches.
    m_pFontBox->lineEdit()->setAccessibleName(m_pFontBox->accessibleName());
    m_pSizeBox->lineEdit()->setAccessibleName(m_pSizeBox->accessibleName());
    m_pToolBar->addWidget(m_pFontBox);
    m_pToolBar->addWidget(m_pSizeBox);
    connect(m_pFontBox, &QFontComboBox::textActivated, &m_view, &CMergixView::SetFontFamily);
    connect(m_pSizeBox, &QComboBox::textActivated, this,
        [this](const QString &strSize) { m_view.SetFontSize(strSize.toDouble()); });
    for (QAction *pAction : {m_pBold, m_pItalic, m_pUnderline, pColor}) {
        m_pToolBar->addAction(pAction);
    }
    m_pToolBar->addSeparator();
    m_pToolBar->addActions({m_pBullets, m_pNumbers, m_pLeft, m_pCenter, m_pRight});
    m_pToolBar->addSeparator();
    m_pToolBar->addActions({pLink, pPicture});

    m_pFormattedMark->setObjectName(QStringLiteral("formattedMark"));
    m_pFormattedMark->setAccessibleName(QStringLiteral("Formatted message"));
    m_pFormattedMark->setToolTip(
        QStringLiteral("The message is formatted: it is sent as HTML with a plain-text twin"));
    frame.statusBar()->addPermanentWidget(m_pFormattedMark);
    ShowFormatted(m_view.IsFormatted());
    connect(&m_view, &CMergixView::FormattedChanged, this, &CFormatCommands::ShowFormatted);
    connect(&m_view, &QTextEdit::currentCharFormatChanged, this, [this] { ShowCursorFormat(); });
    connect(&m_view, &QTextEdit::cursorPositionChanged, this, [this] { ShowCursorFormat(); });
}

QAction *CFormatCommands::Add(const char *pName, const QString &strText, const QKeySequence &key,
    const QString &strPrompt, const char *pIcon)
{
    auto *pAction = new QAction(strText, &m_frame);
    pAction->setObjectName(QString::fromLatin1(pName));
    if (!key.isEmpty()) {
        pAction->setShortcut(key);
        m_frame.addAction(pAction);
    }
    const qsizetype nBreak = strPrompt.indexOf(u'\n');
    pAction->setStatusTip(strPrompt.left(nBreak));
    pAction->setToolTip(strPrompt.mid(nBreak + 1));
    pAction->setWhatsThis(pAction->statusTip());
    if (pIcon) {
        pAction->setIcon(QIcon::fromTheme(QString::fromLatin1(pIcon)));
        if (pAction->icon().isNull())
            pAction->setIconText(pAction->toolTip());
    }
    m_pMenu->addAction(pAction);
    m_actions.append(pAction);
    return pAction;
}

void CFormatCommands::ShowCursorFormat()
{
    const QTextCharFormat format = m_view.currentCharFormat();
    m_pBold->setChecked(format.fontWeight() >= QFont::Bold);
    m_pItalic->setChecked(format.fontItalic());
    m_pUnderline->setChecked(format.fontUnderline());
    const QTextList *pList = m_view.textCursor().currentList();
    const QTextListFormat::Style style
        = pList ? pList->format().style() : QTextListFormat::ListStyleUndefined;
    m_pBullets->setChecked(pList && style != QTextListFormat::ListDecimal);
    m_pNumbers->setChecked(style == QTextListFormat::ListDecimal);
    const Qt::Alignment alignment = m_view.alignment();
    m_pCenter->setChecked(alignment & Qt::AlignHCenter);
    m_pRight->setChecked(alignment & Qt::AlignRight);
    m_pLeft->setChecked(!(alignment & (Qt::AlignHCenter | Qt::AlignRight)));
    const QFont font = format.font();
    m_pFontBox->setCurrentFont(font);
    m_pSizeBox->setEditText(QString::number(font.pointSizeF() > 0 ? font.pointSizeF() : 12));
}

void CFormatCommands::ShowFormatted(bool bFormatted)
{
    m_pFormattedMark->setVisible(bFormatted);
    m_pPlain->setEnabled(bFormatted);
}

void CFormatCommands::OnLink()
{
    const QString strSelected = m_view.textCursor().selectedText();
    QInputDialog dlg(&m_frame);
    dlg.setObjectName(QStringLiteral("linkDlg")); // names its help topic
    dlg.setWindowTitle(QStringLiteral("Link"));
    dlg.setLabelText(QStringLiteral("&Address of the link (a field tag may stand in it):"));
    dlg.setTextValue(m_view.currentCharFormat().anchorHref());
    if (dlg.exec() != QDialog::Accepted)
        return;
    const QString strUrl = dlg.textValue().trimmed();
    if (strUrl.isEmpty())
        return;
    m_view.InsertLink(strUrl, strSelected);
}

void CFormatCommands::OnPicture()
{
    QFileDialog dlg(&m_frame, QStringLiteral("Insert Picture"), QString(),
        QStringLiteral("Pictures (*.png *.jpg *.jpeg *.gif);;All files (*)"));
    dlg.setObjectName(QStringLiteral("pictureDlg"));
    dlg.setFileMode(QFileDialog::ExistingFile);
    if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty())
        return;
    const QString strPath = dlg.selectedFiles().constFirst();
    if (!m_view.InsertPicture(strPath))
        ShowMessage("The file " + strPath.toStdString() + " is not a picture Mergix can show.",
            CPrompter::EIcon::Exclamation);
}

void CFormatCommands::OnFont()
{
    QFontDialog dlg(m_view.currentCharFormat().font(), &m_frame);
    dlg.setObjectName(QStringLiteral("fontDlg"));
    dlg.setWindowTitle(QStringLiteral("Font"));
    if (dlg.exec() != QDialog::Accepted)
        return;
    const QFont font = dlg.selectedFont();
    m_view.SetFontFamily(font.family());
    m_view.SetFontSize(font.pointSizeF());
    m_view.SetBold(font.bold());
    m_view.SetItalic(font.italic());
    m_view.SetUnderline(font.underline());
}

void CFormatCommands::OnColor()
{
    QColorDialog dlg(m_view.currentCharFormat().foreground().color(), &m_frame);
    dlg.setObjectName(QStringLiteral("colourDlg"));
    dlg.setWindowTitle(QStringLiteral("Colour"));
    if (dlg.exec() == QDialog::Accepted && dlg.selectedColor().isValid())
        m_view.SetTextColor(dlg.selectedColor());
}

void CFormatCommands::OnPlainText()
{
    if (!m_view.IsFormatted()
        || !AskYesNo("Send this message as plain text? Its formatting and pictures are removed; "
                     "links stay as their addresses.",
            CPrompter::EIcon::Question))
        return;
    m_view.MakePlain();
}
