// Opens Choose Recipients on a merge file until its rows are shown, then ends: the program side
// of bench/bench_recipients.py.
#include <QApplication>

#include <memory>

#include "app/CommandDispatcher.h"
#include "document/MergixDoc.h"
#include "ui/ChooseRecipientsDlg.h"

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    if (argc < 2)
        return 2;
    CMergixDoc doc;
    std::unique_ptr<CChooseRecipientsDlg> pDlg;
    const bool bLoaded = RunCommand([&] {
        if (!doc.OnOpenDocument(argv[1]))
            return;
        pDlg = std::make_unique<CChooseRecipientsDlg>(doc, CMergeRun::InputOf(doc));
        pDlg->Load();
    });
    if (!bLoaded || !pDlg)
        return 2; // the message has been shown
    CChooseRecipientsDlg &dlg = *pDlg;
    dlg.show();
    QApplication::processEvents(); // the first rows are painted
    return dlg.List().RowCount() > 0 ? 0 : 1;
}
