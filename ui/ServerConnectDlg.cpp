#include "ui/ServerConnectDlg.h"

#include <chrono>
#include <future>

#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include "engine/Prompter.h"
#include "sources/access/DaoException.h"
#include "sources/sql/ServerSource.h"

namespace {

// The encryption choices of a PostgreSQL connection and the sslmode each stands for.
const std::pair<const char *, const char *> kEncryptions[] = {
    {"When the server offers it", ""},
    {"Required", "require"},
    {"Required, with the server's certificate checked", "verify-full"},
    {"Off", "disable"},
};

} // namespace

CServerConnectDlg::CServerConnectDlg(QWidget *pParent) : QDialog(pParent)
{
    setObjectName(QStringLiteral("serverConnectDlg"));
    setWindowTitle(QStringLiteral("Connect to a Database Server"));
    auto *pForm = new QFormLayout;
    const auto addRow = [&](const char *pLabel, QWidget *pField, const char *pName) {
        pField->setObjectName(QString::fromLatin1(pName));
        auto *pLabelWidget = new QLabel(QString::fromUtf8(pLabel));
        pLabelWidget->setBuddy(pField);
        pForm->addRow(pLabelWidget, pField);
    };
    m_pKind = new QComboBox;
    m_pKind->addItems({QStringLiteral("PostgreSQL"), QStringLiteral("MySQL or MariaDB"),
        QStringLiteral("ODBC data source")});
    m_pKind->setAccessibleName(QStringLiteral("Kind"));
    m_pKind->setWhatsThis(QStringLiteral(
        "The kind of server that keeps the list: PostgreSQL, MySQL or MariaDB, or a database "
        "reached through an ODBC data source. The boxes below change with it."));
    addRow("&Kind:", m_pKind, "kindCombo");
    m_pHost = new QLineEdit;
    m_pHost->setPlaceholderText(QStringLiteral("db.example.org"));
    m_pHost->setWhatsThis(QStringLiteral("The name or address of the computer the database server "
                                         "runs on, such as db.example.org. It must be filled in."));
    addRow("&Host:", m_pHost, "hostEdit");
    m_pPort = new QSpinBox;
    m_pPort->setRange(0, 65535);
    m_pPort->setSpecialValueText(QStringLiteral("Default"));
    m_pPort->setWhatsThis(QStringLiteral("The port the database server listens on, up to 65535. "
                                         "Default uses the usual port of the kind of server."));
    addRow("&Port:", m_pPort, "portSpin");
    m_pDatabase = new QLineEdit;
    m_pDatabase->setWhatsThis(QStringLiteral(
        "The name of the database on the server that holds the list. It must be filled in."));
    addRow("&Database:", m_pDatabase, "databaseEdit");
    m_pOdbc = new QLineEdit;
    m_pOdbc->setPlaceholderText(QStringLiteral("a DSN, or DRIVER=...;SERVER=...;DATABASE=..."));
    m_pOdbc->setWhatsThis(QStringLiteral(
        "The name of an ODBC data source (DSN) set up on this computer, or a connection string "
        "such as DRIVER=...;SERVER=...;DATABASE=... It may not hold a password (PWD=)."));
    addRow("Data &source:", m_pOdbc, "odbcEdit");
    m_pUser = new QLineEdit;
    m_pUser->setWhatsThis(QStringLiteral(
        "The user name to log in to the database server with. It must be filled in."));
    addRow("&User:", m_pUser, "userEdit");
    m_pPassword = new QLineEdit;
    m_pPassword->setEchoMode(QLineEdit::Password);
    m_pPassword->setToolTip(
        QStringLiteral("Kept in the desktop's keyring, never in the merge file or the settings."));
    m_pPassword->setWhatsThis(QStringLiteral(
        "The password of the user, kept in the desktop's keyring, never in the merge file or the "
        "settings. Left empty, Mergix asks for it when it connects, unless one is kept already."));
    addRow("Pass&word:", m_pPassword, "passwordEdit");
    m_pEncryption = new QComboBox;
    for (const auto &[pText, pMode] : kEncryptions) {
        (void)pMode;
        m_pEncryption->addItem(QString::fromLatin1(pText));
    }
    m_pEncryption->setAccessibleName(QStringLiteral("Encryption"));
    m_pEncryption->setWhatsThis(QStringLiteral(
        "Whether the connection to the PostgreSQL server is encrypted: when the server offers it, "
        "always, always with the server's certificate checked, or never."));
    addRow("&Encryption:", m_pEncryption, "encryptionCombo");

    m_pStatus = new QLabel;
    m_pStatus->setObjectName(QStringLiteral("connectionStatus"));
    m_pStatus->setWordWrap(true);
    auto *pButtons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    QPushButton *pTest
        = pButtons->addButton(QStringLiteral("&Test Connection"), QDialogButtonBox::ActionRole);
    pTest->setObjectName(QStringLiteral("testButton"));
    pTest->setWhatsThis(QStringLiteral(
        "Tries to connect with these settings and the password typed, and says below how it went: "
        "how many tables and views the server offers, or why the connection failed."));
    connect(pTest, &QPushButton::clicked, this, &CServerConnectDlg::TestConnection);
    connect(pButtons, &QDialogButtonBox::accepted, this, &CServerConnectDlg::accept);
    connect(pButtons, &QDialogButtonBox::rejected, this, &CServerConnectDlg::reject);
    connect(m_pKind, &QComboBox::currentIndexChanged, this, &CServerConnectDlg::ShowKindFields);

    auto *pLayout = new QVBoxLayout(this);
    pLayout->setSizeConstraint(QLayout::SetFixedSize); // nothing to gain from more room
    pLayout->addLayout(pForm);
    pLayout->addWidget(m_pStatus);
    pLayout->addWidget(pButtons);
    ShowKindFields();
}

void CServerConnectDlg::ShowKindFields()
{
    auto *pForm = findChild<QFormLayout *>();
    const auto eKind = static_cast<SServerAddress::EKind>(m_pKind->currentIndex());
    const bool bOdbc = eKind == SServerAddress::EKind::Odbc;
    for (QWidget *pField : {static_cast<QWidget *>(m_pHost), static_cast<QWidget *>(m_pPort),
             static_cast<QWidget *>(m_pDatabase), static_cast<QWidget *>(m_pUser)})
        pForm->setRowVisible(pField, !bOdbc);
    pForm->setRowVisible(m_pOdbc, bOdbc);
    pForm->setRowVisible(m_pEncryption, eKind == SServerAddress::EKind::PostgreSql);
    m_pStatus->clear();
    adjustSize();
}

void CServerConnectDlg::SetAddress(const SServerAddress &address)
{
    m_pKind->setCurrentIndex(static_cast<int>(address.eKind));
    m_pHost->setText(QString::fromStdString(address.strHost));
    m_pPort->setValue(address.nPort);
    m_pDatabase->setText(QString::fromStdString(address.strDatabase));
    m_pOdbc->setText(QString::fromStdString(address.strOdbc));
    m_pUser->setText(QString::fromStdString(address.strUser));
    for (int i = 0; i < static_cast<int>(std::size(kEncryptions)); ++i) {
        if (address.strSslMode == kEncryptions[i].second)
            m_pEncryption->setCurrentIndex(i);
    }
}

std::optional<SServerAddress> CServerConnectDlg::Address(std::string &strError) const
{
    SServerAddress address;
    address.eKind = static_cast<SServerAddress::EKind>(m_pKind->currentIndex());
    address.strHost = m_pHost->text().trimmed().toStdString();
    address.nPort = m_pPort->value();
    address.strDatabase = m_pDatabase->text().trimmed().toStdString();
    address.strUser = m_pUser->text().trimmed().toStdString();
    address.strOdbc = m_pOdbc->text().trimmed().toStdString();
    if (address.eKind == SServerAddress::EKind::PostgreSql)
        address.strSslMode = kEncryptions[std::max(m_pEncryption->currentIndex(), 0)].second;
    if (address.eKind != SServerAddress::EKind::Odbc && address.strHost.empty()) {
        strError = "Please enter the host name of the database server.";
        return std::nullopt;
    }
    // Read back as a merge file would read it, so that what is stored is what was tried.
    return ParseServerAddress(ServerAddressText(address), strError);
}

std::string CServerConnectDlg::Password() const
{
    return m_pPassword->text().toStdString();
}

void CServerConnectDlg::TestConnection()
{
    std::string strError;
    const std::optional<SServerAddress> address = Address(strError);
    if (!address) {
        m_pStatus->setText(QString::fromStdString(strError));
        return;
    }
    const std::string strAddress = ServerAddressText(*address);
    const std::optional<std::string> password
        = m_pPassword->text().isEmpty() ? std::nullopt : std::optional(Password());
    m_pStatus->setText(QStringLiteral("Connecting..."));
    setEnabled(false);
    // A server that does not answer takes up to ten seconds: the window keeps painting.
    std::future<std::string> result = std::async(std::launch::async, [strAddress, password] {
        try {
            const CServerSource source(strAddress, password);
            return "Connected: " + std::to_string(source.Tables().size()) + " tables and views.";
        } catch (const CDaoException &error) {
            return error.Description();
        }
    });
    while (result.wait_for(std::chrono::milliseconds(30)) != std::future_status::ready)
        QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    setEnabled(true);
    m_pStatus->setText(QString::fromStdString(result.get()));
}

void CServerConnectDlg::accept()
{
    std::string strError;
    if (!Address(strError)) {
        ShowMessage(strError);
        return;
    }
    QDialog::accept();
}
