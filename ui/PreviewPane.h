#pragma once

#include <memory>

#include <QTextBrowser>
#include <QWidget>

#include "mail/MergeRun.h"
#include "mail/MessagePreview.h"
#include "mail/RecordList.h"

class QLabel;
class QLineEdit;
class QPushButton;

// Shows a formatted message's pictures, which it refers to by Content-ID, from their files;
// fetches nothing else and follows no link.
class CPreviewBrowser final : public QTextBrowser
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CPreviewBrowser)

public:
    explicit CPreviewBrowser(QWidget *pParent = nullptr);
    void SetImages(std::vector<SInlineImage> images) { m_images = std::move(images); }
    QVariant loadResource(int nType, const QUrl &url) override;

private:
    std::vector<SInlineImage> m_images;
};

// View > Preview: the message of one record at a time as it will arrive, in the main window in
// place of the editor: "Record 3 of 12" with First, Previous, Next and Last, the merged To, Cc
// and Subject, and the body, formatted or plain.
class CPreviewPane final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CPreviewPane)

public:
    explicit CPreviewPane(QWidget *pParent = nullptr);

    // Shows the first record's message; the records in the order the list holds them.
    void Start(CMergeRun::SInput input, std::unique_ptr<CRecordList> pList);
    void ShowRecord(int nRecord);
    int RowCount() const { return m_pList ? m_pList->RowCount() : 0; }

signals:
    void CloseRequested();

private:
    CMergeRun::SInput m_input;
    std::unique_ptr<CRecordList> m_pList;
    std::unique_ptr<CMessagePreview> m_pPreview;
    int m_nRow = 0; // the record shown, from 0 in the list's order
    QPushButton *m_pFirst;
    QPushButton *m_pPrevious;
    QLabel *m_pPosition;
    QPushButton *m_pNext;
    QPushButton *m_pLast;
    QLineEdit *m_pTo;
    QLineEdit *m_pCc;
    QLineEdit *m_pSubject;
    CPreviewBrowser *m_pBody;
};
