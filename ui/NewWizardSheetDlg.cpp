#include "ui/NewWizardSheetDlg.h"

#include <algorithm>

#include <fcntl.h>
#include <unistd.h>

#include <QComboBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/CommandDispatcher.h"
#include "engine/Prompter.h"
#include "ui/Artwork.h"
#include "ui/ServerConnectDlg.h"

// A page that fills itself through the sheet each time Next reaches it.
class CNewWizardSheetDlg::CPage final : public QWizardPage
{
public:
    CPage(const QString &strTitle, std::function<void()> initialize)
        : m_initialize(std::move(initialize))
    {
        setTitle(strTitle);
    }
    void initializePage() override
    {
        if (m_initialize)
            m_initialize();
    }

private:
    std::function<void()> m_initialize;
};

namespace {

QLabel *WrappedText(const QString &strText)
{
    auto *pLabel = new QLabel(strText);
    pLabel->setWordWrap(true);
    return pLabel;
}

QLineEdit *LabelledEdit(QFormLayout *pForm, const QString &strLabel, const char *pName)
{
    auto *pEdit = new QLineEdit;
    pEdit->setObjectName(QString::fromLatin1(pName));
    pForm->addRow(strLabel, pEdit);
    return pEdit;
}

} // namespace

CNewWizardSheetDlg::CNewWizardSheetDlg(CMergixDoc &doc, QWidget *pParent)
    : QWizard(pParent), m_doc(doc)
{
    setObjectName(QStringLiteral("newWizard"));
    setWindowTitle(QStringLiteral("New Merge"));
    setWizardStyle(QWizard::ClassicStyle);
    setOption(QWizard::NoBackButtonOnStartPage);
    setPage(FilePage, CreateFilePage());
    setPage(TablePage, CreateTablePage());
    setPage(MessagePage, CreateMessagePage());
    button(QWizard::BackButton)->setWhatsThis(QStringLiteral("Goes back to the page before."));
    button(QWizard::NextButton)
        ->setWhatsThis(QStringLiteral("Checks this page and goes on to the next: after the first "
                                      "page the list is opened, after the second its table."));
    button(QWizard::FinishButton)
        ->setWhatsThis(
            QStringLiteral("Makes the new merge from the list, the table and the message header "
                           "given. Every box of this page must be filled in."));
    button(QWizard::CancelButton)
        ->setWhatsThis(QStringLiteral(
            "Closes the wizard without making a merge; a merge that was open stays as it was."));
    connect(this, &QWizard::currentIdChanged, this, [this](int nId) {
        if (nId == FilePage)
            m_pStatus->clear(); // also when coming Back from the table page
    });
}

QWizardPage *CNewWizardSheetDlg::CreateFilePage()
{
    auto *pPage = new CPage(QStringLiteral("Welcome to Mergix"), nullptr);
    auto *pBanner = new QLabel;
    pBanner->setPixmap(::BannerPixmap(440, 72));
    m_pFileEdit = new QLineEdit;
    m_pFileEdit->setObjectName(QStringLiteral("fileEdit"));
    m_pFileEdit->setWhatsThis(
        QStringLiteral("The file that holds your list: an Access database, a CSV or TSV file, an "
                       "Excel or LibreOffice spreadsheet, or an SQLite database. For a list in a "
                       "database server, it holds the server's address as Connect to a database "
                       "server... writes it."));
    auto *pFileLabel = new QLabel(QStringLiteral("Filename:"));
    pFileLabel->setBuddy(m_pFileEdit);
    auto *pBrowse = new QPushButton(QStringLiteral("&Browse"));
    pBrowse->setObjectName(QStringLiteral("browseButton"));
    pBrowse->setWhatsThis(QStringLiteral(
        "Chooses the list's file in a file dialog that shows every kind of list at once."));
    connect(pBrowse, &QPushButton::clicked, this, &CNewWizardSheetDlg::OnBrowse);
    auto *pServer = new QPushButton(QStringLiteral("Connect to a database &server..."));
    pServer->setObjectName(QStringLiteral("serverButton"));
    pServer->setWhatsThis(QStringLiteral(
        "Sets up a list kept in a PostgreSQL, MySQL or MariaDB server or an ODBC data source; "
        "Filename then holds its address. Mergix only reads from the server."));
    connect(pServer, &QPushButton::clicked, this, &CNewWizardSheetDlg::OnConnectToServer);
    m_pStatus = new QLabel;
    m_pStatus->setObjectName(QStringLiteral("statusText"));
    auto *pRow = new QHBoxLayout;
    pRow->addWidget(pFileLabel);
    pRow->addWidget(m_pFileEdit, 1);
    pRow->addWidget(pBrowse);
    auto *pLayout = new QVBoxLayout(pPage);
    pLayout->addWidget(pBanner);
    pLayout->addWidget(WrappedText(QStringLiteral(
        "Welcome to Mergix, the easy way to create an E-Mail Merge. This wizard will guide you "
        "through the process of selecting your database and configuring the e-mail merge.")));
    pLayout->addWidget(WrappedText(
        QStringLiteral("Please browse for the database that contains your mailing list.")));
    pLayout->addLayout(pRow);
    auto *pServerRow = new QHBoxLayout;
    pServerRow->addWidget(new QLabel(QStringLiteral("Or, for a list kept in a database server:")));
    pServerRow->addWidget(pServer);
    pServerRow->addStretch();
    pLayout->addLayout(pServerRow);
    pLayout->addWidget(m_pStatus);
    pLayout->addStretch();
    return pPage;
}

QWizardPage *CNewWizardSheetDlg::CreateTablePage()
{
    auto *pPage = new CPage(QStringLiteral("Select Data Table"), [this] { LoadTables(); });
    m_pTableList = new QListWidget;
    m_pTableList->setObjectName(QStringLiteral("tableList"));
    m_pTableList->setAccessibleName(
        QStringLiteral("Tables")); // a list takes no name from its label
    m_pTableList->setSortingEnabled(true);
    m_pTableList->setWhatsThis(
        QStringLiteral("The tables of the list; the one chosen holds the records of the merge. A "
                       "spreadsheet shows its sheets in their own order, hidden ones marked "
                       "(hidden); a CSV or TSV file is one table."));
    auto *pText = new QLabel(QStringLiteral("Please choose the table you wish to use:"));
    pText->setBuddy(m_pTableList);
    auto *pLayout = new QVBoxLayout(pPage);
    pLayout->addWidget(pText);
    pLayout->addWidget(m_pTableList);
    return pPage;
}

QWizardPage *CNewWizardSheetDlg::CreateMessagePage()
{
    auto *pPage = new CPage(QStringLiteral("Message Information"), [this] { LoadFields(); });
    auto *pLayout = new QVBoxLayout(pPage);
    pLayout->addWidget(WrappedText(QStringLiteral(
        "Please fill in the From, To, Reply-To, and Subject fields of the e-mail message.")));
    auto *pForm = new QFormLayout;
    pForm->addRow(new QLabel(QStringLiteral("Enter your name...")));
    m_pFromName = LabelledEdit(pForm, QStringLiteral("From:"), "fromNameEdit");
    m_pFromName->setWhatsThis(
        QStringLiteral("The sender's name, as every message shows it in its From line."));
    pForm->addRow(new QLabel(QStringLiteral("and e-mail address")));
    m_pFromAddress = new QLineEdit;
    m_pFromAddress->setObjectName(QStringLiteral("fromAddressEdit"));
    m_pFromAddress->setAccessibleName(QStringLiteral("From e-mail address"));
    m_pFromAddress->setWhatsThis(QStringLiteral(
        "The sender's e-mail address, which follows the name in the From line of every message."));
    pForm->addRow(QString(), m_pFromAddress);
    // One line: wrapped inside the form, it would be cut when the window is made small.
    pForm->addRow(new QLabel(QStringLiteral(
        "Choose the field in the database that contains the \"To: \"e-mail address.")));
    m_pToCombo = new QComboBox;
    m_pToCombo->setObjectName(QStringLiteral("toCombo"));
    m_pToCombo->setAccessibleName(QStringLiteral("To"));
    m_pToCombo->setWhatsThis(
        QStringLiteral("The field of the table that holds each recipient's e-mail address. Every "
                       "selected record gets one message at that address."));
    pForm->addRow(QStringLiteral("To:"), m_pToCombo);
    pForm->addRow(new QLabel(QStringLiteral("Enter the reply-to e-mail address")));
    m_pReplyTo = LabelledEdit(pForm, QStringLiteral("Reply-To:"), "replyToEdit");
    m_pReplyTo->setWhatsThis(QStringLiteral("The address to which replies to the messages go."));
    pForm->addRow(new QLabel(QStringLiteral("Enter the subject of the e-mail message.")));
    m_pSubject = LabelledEdit(pForm, QStringLiteral("Subject:"), "subjectEdit");
    m_pSubject->setWhatsThis(
        QStringLiteral("The subject of every message. Field tags such as <<City>> in it are "
                       "replaced for each record; it can be changed later in the main window."));
    pLayout->addLayout(pForm);
    return pPage;
}

void CNewWizardSheetDlg::OnBrowse()
{
    // Every kind of list first: whoever has a list rarely knows which kind it is.
    const QString strPath = QFileDialog::getOpenFileName(this, QStringLiteral("Open"), {},
        QStringLiteral("All lists (*.mdb *.accdb *.csv *.tsv *.txt *.xlsx *.ods *.sqlite *.sqlite3 "
                       "*.db);;"
                       "Microsoft Access Databases (*.mdb *.accdb);;"
                       "CSV and text files (*.csv *.tsv *.txt);;"
                       "Excel workbooks (*.xlsx);;"
                       "OpenDocument spreadsheets (*.ods);;"
                       "SQLite databases (*.sqlite *.sqlite3 *.db);;"
                       "All Files (*)"));
    if (!strPath.isEmpty())
        m_pFileEdit->setText(strPath);
}

void CNewWizardSheetDlg::OnConnectToServer()
{
    CServerConnectDlg dlg(this);
    std::string strError;
    if (const auto shown = ParseServerAddress(m_pFileEdit->text().toStdString(), strError))
        dlg.SetAddress(*shown);
    if (dlg.exec() != QDialog::Accepted)
        return;
    const std::optional<SServerAddress> address = dlg.Address(strError);
    if (!address)
        return;
    if (!dlg.Password().empty() && m_keepServerPassword)
        m_keepServerPassword(*address, dlg.Password());
    m_pFileEdit->setText(QString::fromStdString(ServerAddressText(*address)));
}

void CNewWizardSheetDlg::LoadTables()
{
    // A failure of the database layer shows its stop box; the list stays empty.
    m_pTableList->clear();
    int nChosen = 0;
    RunCommand([&] {
        m_doc.OpenSource(m_result.strDatabasePath);
        // A workbook's sheets in their own order, its first visible sheet chosen; an Access
        // database's tables by name, the first one chosen.
        const bool bOwnOrder = m_doc.Source()->HasOwnOrder();
        m_pTableList->setSortingEnabled(!bOwnOrder);
        const std::string strDefault = bOwnOrder ? m_doc.Source()->DefaultTable() : std::string();
        for (const SSourceTable &table : m_doc.SourceTables()) {
            const QString strName = QString::fromStdString(table.strName);
            auto *pItem = new QListWidgetItem(
                table.bHidden ? strName + QStringLiteral(" (hidden)") : strName, m_pTableList);
            pItem->setData(Qt::UserRole, strName);
            if (bOwnOrder && table.strName == strDefault)
                nChosen = m_pTableList->row(pItem);
        }
    });
    if (m_pTableList->count() > 0)
        m_pTableList->setCurrentRow(nChosen);
}

void CNewWizardSheetDlg::LoadFields()
{
    m_pToCombo->clear();
    RunCommand([this] {
        m_doc.OpenTableRecordset(m_result.strTableName);
        for (const std::string &strName : m_doc.ListFields())
            m_pToCombo->addItem(QString::fromStdString(strName));
    });
    m_pToCombo->setCurrentIndex(-1);
}

bool CNewWizardSheetDlg::validateCurrentPage()
{
    switch (currentId()) {
    case FilePage:
        return CheckFile();
    case TablePage:
        return CheckTable();
    case MessagePage:
        return CheckMessage();
    default:
        return QWizard::validateCurrentPage();
    }
}

bool CNewWizardSheetDlg::CheckFile()
{
    const std::string strPath = m_pFileEdit->text().toStdString();
    if (strPath.empty()) {
        ShowMessage("Please specify the database file.");
        m_pFileEdit->setFocus();
        return false;
    }
    if (IsServerAddress(strPath)) {
        std::string strError;
        if (!ParseServerAddress(strPath, strError)) {
            ShowMessage(strError);
            m_pFileEdit->setFocus();
            return false;
        }
        m_result.strDatabasePath = strPath;
        m_pStatus->setText(QStringLiteral("Connecting..."));
        m_pStatus->repaint();
        return true;
    }
    // Without O_NONBLOCK a FIFO would hold the wizard here.
    const int fd = ::open(strPath.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        ShowMessage("The file:\n    " + strPath + "\nDoes not exist.");
        m_pFileEdit->setFocus();
        return false;
    }
    ::close(fd);
    m_result.strDatabasePath = strPath;
    m_pStatus->setText(QStringLiteral("Opening database..."));
    m_pStatus->repaint();
    return true;
}

bool CNewWizardSheetDlg::CheckTable()
{
    const QListWidgetItem *pItem = m_pTableList->currentItem();
    if (!pItem || !pItem->isSelected() || pItem->text().isEmpty()) {
        ShowMessage("Please select a table to use as the e-mail merge source");
        m_pTableList->setFocus();
        return false;
    }
    m_result.strTableName = pItem->data(Qt::UserRole).toString().toStdString();
    return true;
}

bool CNewWizardSheetDlg::CheckMessage()
{
    const std::pair<QString, const char *> checks[] = {
        {m_pFromName->text(), "Please enter the \"From\" name "},
        {m_pFromAddress->text(), "Please enter the \"From\" e-mail address"},
        {m_pToCombo->currentIndex() < 0 ? QString() : m_pToCombo->currentText(),
            "Please choose the field of the database that contains the e-mail address"},
        {m_pReplyTo->text(), "Please enter the Reply-To address"},
        {m_pSubject->text(), "Please enter the subject of the message"},
    };
    for (const auto &[strText, pMessage] : checks) {
        if (strText.isEmpty()) {
            ShowMessage(pMessage);
            return false;
        }
    }
    m_result.strSenderName = m_pFromName->text().toStdString();
    m_result.strSenderAddress = m_pFromAddress->text().toStdString();
    m_result.strToField = m_pToCombo->currentText().toStdString();
    m_result.strReplyTo = m_pReplyTo->text().toStdString();
    m_result.strSubject = m_pSubject->text().toStdString();
    return true;
}
