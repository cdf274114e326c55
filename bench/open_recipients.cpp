// Opens Choose Recipients on a merge file until its rows are shown, then ends: the program side
// of bench/bench_recipients.py.
#include <QApplication>

#include "document/MergixDoc.h"
#include "mail/ChooseRecipientsDlg.h"

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    if (argc < 2)
        return 2;
    CMergixDoc doc;
    if (!doc.OnOpenDocument(argv[1]))
        return 2;
    CMergeRun::SInput input;
    input.fields = doc.MergeFields();
    CChooseRecipientsDlg dlg(doc, input);
    dlg.Load();
    dlg.show();
    QApplication::processEvents(); // the first rows are painted
    return dlg.List().RowCount() > 0 ? 0 : 1;
}
