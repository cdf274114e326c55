#pragma once

#include <string>

#include <QDialog>

namespace Ui {
class CSaveSearchDlg;
}

// "Save Search Settings": the name to save the rules under, taken exactly as typed; an empty
// one, or one the settings cannot hold as a single name, is refused with its message.
class CSaveSearchDlg final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CSaveSearchDlg)

public:
    explicit CSaveSearchDlg(QWidget *pParent = nullptr);
    ~CSaveSearchDlg() override;

    std::string Name() const;
    void accept() override;

private:
    Ui::CSaveSearchDlg *m_pUi;
};
