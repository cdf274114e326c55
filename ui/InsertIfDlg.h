#pragma once

#include <string>
#include <vector>

#include <QDialog>

#include "engine/IfBlock.h"

namespace Ui {
class CInsertIfDlg;
}

// "Insert If": composes one {IF} block from a field, a comparison, a compare-to text and the
// then and otherwise parts, each a text or a field.
class CInsertIfDlg final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CInsertIfDlg)

public:
    explicit CInsertIfDlg(const std::vector<std::string> &fieldNames, QWidget *pParent = nullptr);
    ~CInsertIfDlg() override;

    // The finished block, once the dialog ended with Insert.
    const std::string &Result() const { return m_strResult; }
    SIfBlockParts Parts() const;

    void accept() override;

private:
    Ui::CInsertIfDlg *m_pUi;
    std::string m_strResult;
};
