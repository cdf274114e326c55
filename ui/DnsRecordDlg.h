#pragma once

#include <string>

#include <QDialog>

// "DNS Record": the TXT record that publishes a DKIM key's public half, read-only, with a Copy
// button for pasting it into the domain's DNS.
class CDnsRecordDlg final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CDnsRecordDlg)

public:
    CDnsRecordDlg(
        const std::string &strDomain, const std::string &strRecord, QWidget *pParent = nullptr);
};
