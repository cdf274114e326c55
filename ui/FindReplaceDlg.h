#pragma once

#include <QDialog>
#include <QTextDocument>

namespace Ui {
class CFindReplaceDlg;
}
class CMergixView;

// The small modeless Find and Replace window over the message editor: match case, whole word,
// up or down, and Replace All, which says how many it replaced.
class CFindReplaceDlg final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CFindReplaceDlg)

public:
    CFindReplaceDlg(CMergixView &view, QWidget *pParent);
    ~CFindReplaceDlg() override;

    // Shows the window for finding, or for replacing too.
    void Open(bool bReplace);
    // Finds the next match with the settings of the window; a message when there is none.
    bool FindNext();
    int ReplaceAll();

private:
    QTextDocument::FindFlags Flags() const;
    void ReplaceOne();

    Ui::CFindReplaceDlg *m_pUi;
    CMergixView &m_view;
};
