#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include <QWidget>

#include "document/MessageExtras.h"

namespace Ui {
class CHeaderBar;
}
class QComboBox;
class QLineEdit;
class QPushButton;

// The message header bar: From, the To field list (sorted, no typing), Subject, Reply-To, Cc,
// Bcc, the Attachments button that counts the attached files, and the Insert Field and Insert
// {IF} Block buttons. It holds the merge's live header settings.
class CHeaderBar final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CHeaderBar)

public:
    explicit CHeaderBar(QWidget *pParent = nullptr);
    ~CHeaderBar() override;

    QLineEdit *FromEdit() const;
    QComboBox *ToCombo() const;
    QLineEdit *SubjectEdit() const;
    QLineEdit *ReplyToEdit() const;
    QLineEdit *CcEdit() const;
    QLineEdit *BccEdit() const;
    QPushButton *AttachmentsButton() const;
    QPushButton *InsertFieldButton() const;
    QPushButton *InsertIfButton() const;

    void SetToFieldList(const std::vector<std::string> &names);
    void SelectToField(const std::string &strName);
    std::string SelectedToField() const;
    SMessageExtras Extras() const;
    void SetExtras(const SMessageExtras &extras);

    // Edits the attachment entries for the Attachments button: the new entries, or nothing
    // when the user cancelled.
    using AttachmentsEditor = std::function<std::optional<std::vector<std::string>>(
        const std::vector<std::string> &entries)>;
    void SetAttachmentsEditor(AttachmentsEditor editor) { m_attachmentsEditor = std::move(editor); }
    // The Attachments button: the editor, and EditedByUser when the entries changed.
    void OnAttachments();

signals:
    // The user changed a header setting (not the program filling them in).
    void EditedByUser();

protected:
    void changeEvent(QEvent *pEvent) override;

private:
    void ShowAttachmentCount();
    void FitFieldsToFont();

    Ui::CHeaderBar *m_pUi;
    std::vector<std::string> m_attachments;
    AttachmentsEditor m_attachmentsEditor;
};
