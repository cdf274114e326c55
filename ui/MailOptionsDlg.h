#pragma once

#include <string>

#include <QDialog>

#include "mail/DkimSigner.h"
#include "mail/SmtpAccount.h"
#include "mail/Unsubscribe.h"

namespace Ui {
class CMailOptionsDlg;
}

// "Mail Options": the SMTP server, how the connection is secured, its port and the login; the
// DKIM signing key and the unsubscribe address and link every message carries.
// Opened from the Mail menu, where the server may be left empty, and by Send Mail when none is
// stored, where one is required before OK closes. The password typed here is handed to the
// caller, which keeps it in the keyring; the dialog never shows a stored one.
class CMailOptionsDlg final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CMailOptionsDlg)

public:
    CMailOptionsDlg(QWidget *pParent, bool bServerRequired);
    ~CMailOptionsDlg() override;

    void SetServerName(const std::string &strName);
    std::string ServerName() const;
    // Everything but the password (the extra authority file passes through unchanged).
    void SetAccount(const SSmtpAccount &account);
    SSmtpAccount Account() const;
    // What was typed in the password box; empty keeps the stored one.
    std::string Password() const;
    void SetRatePerMinute(int nRate);
    // Empty settings when Sign with DKIM is off.
    void SetDkim(const SDkimSettings &dkim);
    SDkimSettings Dkim() const;
    void SetUnsubscribe(const SUnsubscribeSettings &unsubscribe);
    SUnsubscribeSettings Unsubscribe() const;
    int RatePerMinute() const;

    void accept() override;

private slots:
    void BrowseKeyFile();
    void ShowDnsRecord();

private:
    // What the DKIM fields say, whether signing is on or not.
    SDkimSettings DkimFields() const;

    Ui::CMailOptionsDlg *m_pUi;
    bool m_bServerRequired;
    std::string m_strExtraCaFile;
};
