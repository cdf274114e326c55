#pragma once

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

// The message header bar: From, the To field list (sorted, no typing), Subject, Reply-To, and
// the Insert Field and Insert {IF} Block buttons. It holds the merge's live header settings.
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
    QPushButton *InsertFieldButton() const;
    QPushButton *InsertIfButton() const;

    void SetToFieldList(const std::vector<std::string> &names);
    void SelectToField(const std::string &strName);
    std::string SelectedToField() const;
    SMessageExtras Extras() const;
    void SetExtras(const SMessageExtras &extras);

signals:
    // The user changed a header setting (not the program filling them in).
    void EditedByUser();

private:
    Ui::CHeaderBar *m_pUi;
    SMessageExtras m_extras;
};
