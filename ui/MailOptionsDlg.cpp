#include "ui/MailOptionsDlg.h"

#include "engine/PrintableText.h"
#include "engine/Prompter.h"
#include "mail/MessageText.h"
#include "ui_MailOptionsDlg.h"

#include "ui/DnsRecordDlg.h"
#include "ui/ScreenFit.h"

#include <QFileDialog>
#include <QLineEdit>

CMailOptionsDlg::CMailOptionsDlg(QWidget *pParent, bool bServerRequired)
    : QDialog(pParent), m_pUi(new Ui::CMailOptionsDlg), m_bServerRequired(bServerRequired)
{
    m_pUi->setupUi(this);
    setObjectName(QStringLiteral("mailOptionsDlg"));
    // The hint in the empty password box is read whole, in any font.
    QLineEdit *pPassword = m_pUi->passwordEdit;
    pPassword->setMinimumWidth(
        pPassword->fontMetrics().horizontalAdvance(pPassword->placeholderText())
        + 4 * pPassword->fontMetrics().averageCharWidth());
    connect(m_pUi->buttonBox, &QDialogButtonBox::accepted, this, &CMailOptionsDlg::accept);
    connect(m_pUi->buttonBox, &QDialogButtonBox::rejected, this, &CMailOptionsDlg::reject);
    connect(m_pUi->buttonBox, &QDialogButtonBox::helpRequested, this, [this] {
        // With OAuth 2.0 chosen, the help that matters is how to register the app.
        const bool bOAuth = m_pUi->loginCombo->currentIndex() == 1;
        emit HelpRequested(bOAuth ? QStringLiteral("login") : QStringLiteral("options"));
    });
    connect(m_pUi->dkimBrowseButton, &QPushButton::clicked, this, &CMailOptionsDlg::BrowseKeyFile);
    connect(m_pUi->dnsRecordButton, &QPushButton::clicked, this, &CMailOptionsDlg::ShowDnsRecord);
    connect(m_pUi->loginCombo, &QComboBox::currentIndexChanged, this,
        &CMailOptionsDlg::ShowLoginFields);
    // Only the user's choice fills the server: opening the dialog shows what is stored. Choosing
    // OAuth 2.0 chooses the provider it shows as well.
    connect(m_pUi->providerCombo, &QComboBox::activated, this, &CMailOptionsDlg::ChooseProvider);
    connect(m_pUi->loginCombo, &QComboBox::activated, this, [this](int nLogin) {
        if (nLogin == 1)
            ChooseProvider();
    });
    connect(m_pUi->providerCombo, &QComboBox::currentIndexChanged, this,
        &CMailOptionsDlg::ShowLoginFields);
    connect(m_pUi->signInButton, &QPushButton::clicked, this, &CMailOptionsDlg::StartSignIn);
    m_pUi->signInButton->setEnabled(false); // until a sign-in is offered
    ShowLoginFields();
}

CMailOptionsDlg::~CMailOptionsDlg()
{
    delete m_pUi;
}

void CMailOptionsDlg::SetServerName(const std::string &strName)
{
    m_pUi->serverEdit->setText(QString::fromStdString(strName));
}

std::string CMailOptionsDlg::ServerName() const
{
    return m_pUi->serverEdit->text().toStdString();
}

void CMailOptionsDlg::SetAccount(const SSmtpAccount &account)
{
    SetServerName(account.strServer);
    m_pUi->securityCombo->setCurrentIndex(static_cast<int>(account.eSecurity));
    m_pUi->portSpin->setValue(account.nPort);
    m_pUi->userEdit->setText(QString::fromStdString(account.strUser));
    m_strExtraCaFile = account.strExtraCaFile;
    m_presetServer.reset();
}

SSmtpAccount CMailOptionsDlg::Account() const
{
    SSmtpAccount account;
    account.strServer = ServerName();
    account.eSecurity = static_cast<ESmtpSecurity>(m_pUi->securityCombo->currentIndex());
    account.nPort = m_pUi->portSpin->value();
    account.strUser = m_pUi->userEdit->text().toStdString();
    account.strExtraCaFile = m_strExtraCaFile;
    return account;
}

std::string CMailOptionsDlg::Password() const
{
    return m_pUi->passwordEdit->text().toStdString();
}

void CMailOptionsDlg::SetRatePerMinute(int nRate)
{
    m_pUi->rateSpin->setValue(nRate);
}

void CMailOptionsDlg::SetDkim(const SDkimSettings &dkim)
{
    m_pUi->dkimGroup->setChecked(!dkim.IsEmpty());
    m_pUi->dkimDomainEdit->setText(QString::fromStdString(dkim.strDomain));
    m_pUi->dkimSelectorEdit->setText(QString::fromStdString(dkim.strSelector));
    m_pUi->dkimKeyFileEdit->setText(QString::fromStdString(dkim.strKeyFile));
}

SDkimSettings CMailOptionsDlg::Dkim() const
{
    return m_pUi->dkimGroup->isChecked() ? DkimFields() : SDkimSettings();
}

SDkimSettings CMailOptionsDlg::DkimFields() const
{
    return {m_pUi->dkimDomainEdit->text().trimmed().toStdString(),
        m_pUi->dkimSelectorEdit->text().trimmed().toStdString(),
        m_pUi->dkimKeyFileEdit->text().toStdString()};
}

void CMailOptionsDlg::SetUnsubscribe(const SUnsubscribeSettings &unsubscribe)
{
    m_pUi->unsubscribeMailtoEdit->setText(QString::fromStdString(unsubscribe.strMailto));
    m_pUi->unsubscribeUrlEdit->setText(QString::fromStdString(unsubscribe.strUrl));
}

SUnsubscribeSettings CMailOptionsDlg::Unsubscribe() const
{
    return {m_pUi->unsubscribeMailtoEdit->text().trimmed().toStdString(),
        m_pUi->unsubscribeUrlEdit->text().trimmed().toStdString()};
}

void CMailOptionsDlg::SetOAuth(
    const std::optional<SOAuthSettings> &oauth, const SOAuthSettings &registration)
{
    const SOAuthSettings &shown = oauth ? *oauth : registration;
    m_pUi->providerCombo->setCurrentIndex(static_cast<int>(shown.eProvider));
    m_pUi->tenantEdit->setText(QString::fromStdString(shown.strTenant));
    m_pUi->clientIdEdit->setText(QString::fromStdString(shown.strClientId));
    m_pUi->clientSecretEdit->setText(QString::fromStdString(shown.strClientSecret));
    m_pUi->authorizationUrlEdit->setText(QString::fromStdString(shown.strAuthorizationUrl));
    m_pUi->tokenUrlEdit->setText(QString::fromStdString(shown.strTokenUrl));
    m_pUi->deviceUrlEdit->setText(QString::fromStdString(shown.strDeviceUrl));
    m_pUi->scopeEdit->setText(QString::fromStdString(shown.strScope));
    m_pUi->loginCombo->setCurrentIndex(oauth ? 1 : 0);
    ShowLoginFields();
}

SOAuthSettings CMailOptionsDlg::OAuthFields() const
{
    const auto text = [](const QLineEdit *pEdit) {
        return pEdit->text().trimmed().toStdString();
    };
    SOAuthSettings oauth;
    oauth.eProvider = static_cast<EOAuthProvider>(m_pUi->providerCombo->currentIndex());
    oauth.strTenant = text(m_pUi->tenantEdit);
    oauth.strClientId = text(m_pUi->clientIdEdit);
    oauth.strClientSecret = text(m_pUi->clientSecretEdit);
    oauth.strAuthorizationUrl = text(m_pUi->authorizationUrlEdit);
    oauth.strTokenUrl = text(m_pUi->tokenUrlEdit);
    oauth.strDeviceUrl = text(m_pUi->deviceUrlEdit);
    oauth.strScope = text(m_pUi->scopeEdit);
    return oauth;
}

std::optional<SOAuthSettings> CMailOptionsDlg::OAuth() const
{
    if (m_pUi->loginCombo->currentIndex() != 1)
        return std::nullopt;
    return OAuthFields();
}

void CMailOptionsDlg::SetSignIn(SignIn signIn, const std::string &strStatus)
{
    m_signIn = std::move(signIn);
    m_pUi->signInButton->setEnabled(static_cast<bool>(m_signIn));
    m_pUi->signInStatus->setText(QString::fromStdString(strStatus));
}

void CMailOptionsDlg::ShowLoginFields()
{
    const bool bOAuth = m_pUi->loginCombo->currentIndex() == 1;
    m_pUi->fields->setRowVisible(m_pUi->passwordEdit, !bOAuth);
    m_pUi->oauthGroup->setVisible(bOAuth);
    const auto eProvider = static_cast<EOAuthProvider>(m_pUi->providerCombo->currentIndex());
    m_pUi->oauthFields->setRowVisible(m_pUi->tenantEdit, eProvider == EOAuthProvider::Microsoft);
    for (QWidget *pCustomOnly :
        {m_pUi->authorizationUrlEdit, m_pUi->tokenUrlEdit, m_pUi->deviceUrlEdit, m_pUi->scopeEdit})
        m_pUi->oauthFields->setRowVisible(pCustomOnly, eProvider == EOAuthProvider::Custom);
    FitFormToScreen();
}

void CMailOptionsDlg::FitFormToScreen()
{
    // The whole form where the screen has room for it; on a small screen or with a large font
    // (a custom sign-in is 1,100 pixels tall at 144 dpi) the dialog takes the screen's height
    // and the form scrolls, so OK and Cancel stay in reach.
    ensurePolished(); // sizes as the style will draw them
    // Rows shown or hidden change the form's size now, not when the window is next laid out.
    m_pUi->formScroll->updateGeometry();
    m_pUi->layout->invalidate();
    ResizeWithinScreen(*this, sizeHint());
}

void CMailOptionsDlg::ChooseProvider()
{
    // A provider's server stands in for the user's own only while it is left as the preset put
    // it: arrowing through the providers to Custom gives the user's server back, not Google's.
    const auto server = [this] {
        return SServerFields {
            ServerName(), m_pUi->securityCombo->currentIndex(), m_pUi->portSpin->value()};
    };
    if (!m_presetServer || server() != *m_presetServer)
        m_ownServer = Account();
    const SSmtpAccount preset = WithServerPreset(
        static_cast<EOAuthProvider>(m_pUi->providerCombo->currentIndex()), m_ownServer);
    SetServerName(preset.strServer);
    m_pUi->securityCombo->setCurrentIndex(static_cast<int>(preset.eSecurity));
    m_pUi->portSpin->setValue(preset.nPort);
    m_presetServer = server();
}

std::pair<std::string, QWidget *> CMailOptionsDlg::OAuthProblem() const
{
    if (m_pUi->userEdit->text().trimmed().isEmpty())
        return {"Please enter the user name: the address of the mailbox you sign in with.",
            m_pUi->userEdit};
    if (std::string strProblem = CheckLoginSecurity(Account()); !strProblem.empty())
        return {strProblem, m_pUi->securityCombo};
    const SOAuthSettings oauth = OAuthFields();
    if (std::string strProblem = CheckOAuthSettings(oauth); !strProblem.empty()) {
        QWidget *pField = oauth.strClientId.empty() ? m_pUi->clientIdEdit
            : oauth.strScope.empty() && oauth.eProvider == EOAuthProvider::Custom
            ? m_pUi->scopeEdit
            : m_pUi->authorizationUrlEdit;
        return {strProblem, pField};
    }
    return {};
}

void CMailOptionsDlg::StartSignIn()
{
    if (const auto [strProblem, pField] = OAuthProblem(); !strProblem.empty()) {
        ShowMessage(strProblem);
        pField->setFocus();
        return;
    }
    if (!m_signIn)
        return;
    if (const std::optional<std::string> status = m_signIn(Account(), OAuthFields()))
        m_pUi->signInStatus->setText(QString::fromStdString(*status));
}

void CMailOptionsDlg::BrowseKeyFile()
{
    const QString strPath = QFileDialog::getOpenFileName(this, QStringLiteral("DKIM Key File"),
        m_pUi->dkimKeyFileEdit->text(),
        QStringLiteral("Keys (*.pem *.key *.private);;All Files (*)"));
    if (!strPath.isEmpty())
        m_pUi->dkimKeyFileEdit->setText(strPath);
}

void CMailOptionsDlg::ShowDnsRecord()
{
    std::string strError;
    const SDkimSettings dkim = DkimFields();
    const auto pSigner = CDkimSigner::Load(dkim, strError);
    if (!pSigner) {
        ShowMessage(strError);
        return;
    }
    CDnsRecordDlg record(dkim.strDomain, pSigner->DnsRecord(), this);
    record.exec();
}

int CMailOptionsDlg::RatePerMinute() const
{
    return m_pUi->rateSpin->value();
}

void CMailOptionsDlg::accept()
{
    if (m_bServerRequired && m_pUi->serverEdit->text().isEmpty()) {
        ShowMessage("Please enter the name for the SMTP server that will\nbe used to send mail");
        m_pUi->serverEdit->setFocus();
        return;
    }
    // A port in the server name and another in Port: the user says which one counts, and the
    // other goes, so that what is shown is what is used.
    const auto [strHost, nNamePort] = SplitOffPort(ServerName());
    const int nPort = m_pUi->portSpin->value();
    if (nNamePort > 0 && nPort > 0 && nNamePort != nPort) {
        const std::string strQuestion = "The server name \"" + PrintableText(ServerName())
            + "\" gives port " + std::to_string(nNamePort) + ", and Port says "
            + std::to_string(nPort) + ". Send to port " + std::to_string(nPort)
            + "? (No sends to port " + std::to_string(nNamePort) + ".)";
        switch (AskYesNoCancel(strQuestion)) {
        case CPrompter::EAnswer::Yes:
            SetServerName(strHost);
            break;
        case CPrompter::EAnswer::No:
            m_pUi->portSpin->setValue(nNamePort);
            break;
        default:
            m_pUi->portSpin->setFocus();
            return;
        }
    }
    // The server name is stored as typed; only a login that would travel unencrypted is
    // stopped here, before a password is kept for it.
    // The signing key and the unsubscribe link are checked here too, so a run never finds them
    // wrong; the first problem is shown at its field.
    const std::pair<std::string, QWidget *> checks[] = {
        OAuth() ? OAuthProblem() : std::pair<std::string, QWidget *> {},
        {CheckLoginSecurity(Account()), m_pUi->securityCombo},
        {CheckDkimSettings(Dkim()), m_pUi->dkimKeyFileEdit},
        {CheckUnsubscribe(Unsubscribe()), m_pUi->unsubscribeUrlEdit},
    };
    for (const auto &[strProblem, pField] : checks) {
        if (!strProblem.empty()) {
            ShowMessage(strProblem);
            pField->setFocus();
            return;
        }
    }
    QDialog::accept();
}
