#pragma once

#include <functional>
#include <optional>

#include <QWizard>

#include "document/MergixDoc.h"
#include "sources/sql/ServerAddress.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;

// The New merge wizard: the database file, the table, and the message header. It works on the
// document's own connection: page 2 opens the database, page 3 the table. Each page is filled
// anew whenever Next reaches it, so after going Back and choosing another file or table the
// lists and the document's connection always belong to the names on Finish.
class CNewWizardSheetDlg final : public QWizard
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CNewWizardSheetDlg)

public:
    enum EPage { FilePage, TablePage, MessagePage };

    explicit CNewWizardSheetDlg(CMergixDoc &doc, QWidget *pParent = nullptr);

    // The seven values, once the wizard ended with Finish.
    const SWizardResult &Result() const { return m_result; }

    QLineEdit *FileEdit() const { return m_pFileEdit; }
    QLabel *StatusText() const { return m_pStatus; }
    QListWidget *TableList() const { return m_pTableList; }
    QComboBox *ToCombo() const { return m_pToCombo; }
    QLineEdit *FromNameEdit() const { return m_pFromName; }
    QLineEdit *FromAddressEdit() const { return m_pFromAddress; }
    QLineEdit *ReplyToEdit() const { return m_pReplyTo; }
    QLineEdit *SubjectEdit() const { return m_pSubject; }

    // Keeps the password given in the server dialog (in the keyring), so that page 2 can
    // connect without asking again.
    void SetServerPasswordKeeper(
        std::function<void(const SServerAddress &address, const std::string &strPassword)> keep)
    {
        m_keepServerPassword = std::move(keep);
    }

    bool validateCurrentPage() override;

private:
    class CPage;
    QWizardPage *CreateFilePage();
    QWizardPage *CreateTablePage();
    QWizardPage *CreateMessagePage();
    void OnBrowse();
    void OnConnectToServer();
    void LoadTables();
    void LoadFields();
    bool CheckFile();
    bool CheckTable();
    bool CheckMessage();

    std::function<void(const SServerAddress &, const std::string &)> m_keepServerPassword;
    CMergixDoc &m_doc;
    SWizardResult m_result;
    QLineEdit *m_pFileEdit = nullptr;
    QLabel *m_pStatus = nullptr;
    QListWidget *m_pTableList = nullptr;
    QComboBox *m_pToCombo = nullptr;
    QLineEdit *m_pFromName = nullptr;
    QLineEdit *m_pFromAddress = nullptr;
    QLineEdit *m_pReplyTo = nullptr;
    QLineEdit *m_pSubject = nullptr;
};
