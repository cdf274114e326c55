#pragma once

#include <string>
#include <vector>

#include <QDialog>

#include "ui/AttachmentList.h"

namespace Ui {
class CAttachmentsDlg;
}

// "Attachments": the files every message of the merge gets, fixed paths or templates with
// field tags, added from a file dialog or typed, and removed; under the list, the file the
// selected entry names for the table's first record.
class CAttachmentsDlg final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CAttachmentsDlg)

public:
    CAttachmentsDlg(
        CAttachmentList list, CAttachmentList::PathPreview preview, QWidget *pParent = nullptr);
    ~CAttachmentsDlg() override;

    const std::vector<std::string> &Entries() const { return m_list.Entries(); }

    void OnAddFiles();
    void OnAddPath();
    void OnRemove();
    // A path typed but not yet added is added first; a bad one keeps the dialog open.
    void accept() override;

protected:
    // Delete in the list removes the selected entries.
    bool eventFilter(QObject *pWatched, QEvent *pEvent) override;

private:
    void ShowEntries(int nCurrent);
    void ShowPreview();
    std::vector<int> SelectedIndexes() const;

    Ui::CAttachmentsDlg *m_pUi;
    CAttachmentList m_list;
    CAttachmentList::PathPreview m_preview;
};
