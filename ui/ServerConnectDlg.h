#pragma once

#include <optional>
#include <string>

#include <QDialog>

#include "sources/sql/ServerAddress.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QSpinBox;

// "Connect to a Database Server": the kind of server, where it is, the database, the login and
// the encryption, with Test Connection. OK gives the address a merge file stores and the
// password, which the caller keeps in the keyring.
class CServerConnectDlg final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CServerConnectDlg)

public:
    explicit CServerConnectDlg(QWidget *pParent = nullptr);

    // Shows an address chosen before; the password is never shown.
    void SetAddress(const SServerAddress &address);
    // What the fields say; nothing, with the reason, when they do not make an address.
    std::optional<SServerAddress> Address(std::string &strError) const;
    std::string Password() const;

    void accept() override;

private:
    void ShowKindFields();
    void TestConnection();

    QComboBox *m_pKind;
    QLineEdit *m_pHost;
    QSpinBox *m_pPort;
    QLineEdit *m_pDatabase;
    QLineEdit *m_pOdbc;
    QLineEdit *m_pUser;
    QLineEdit *m_pPassword;
    QComboBox *m_pEncryption;
    QLabel *m_pStatus;
};
