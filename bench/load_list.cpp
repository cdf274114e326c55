// Opens a merge file and loads every record of its list into the record list, as --test-merge
// and Choose Recipients both do first, then ends: the loading side of bench/bench_lists.py.
#include <QCoreApplication>

#include "app/CommandDispatcher.h"
#include "document/MergixDoc.h"
#include "engine/Progress.h"
#include "mail/RecordList.h"

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (argc < 2)
        return 2;
    CMergixDoc doc;
    CRecordList list;
    const bool bLoaded = RunCommand([&] {
        if (!doc.OnOpenDocument(argv[1]))
            return;
        CNullProgress progress;
        list.SetColumns(doc.m_fieldNames);
        list.Load(*doc.Table(), progress);
    });
    return bLoaded && list.RowCount() > 0 ? 0 : 1;
}
