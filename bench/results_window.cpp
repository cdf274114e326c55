// Makes a test merge of a merge file's whole table and shows the results window until painted,
// then closes it: the program side of bench/bench_results_window.py. With "text-edit" the same
// text goes into a read-only QPlainTextEdit instead, the reference. Prints, in KiB: the text,
// resident memory before the run, with the text made, with the window shown, after closing it,
// and the peak.
#include <QApplication>
#include <QPlainTextEdit>
#include <QSettings>
#include <QTimer>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>

#include "app/CommandDispatcher.h"
#include "document/MergixDoc.h"
#include "engine/Progress.h"
#include "mail/MergeRun.h"
#include "mail/RecordList.h"
#include "ui/DialogHooks.h"
#include "ui/MainFrame.h"
#include "ui/TestMergeResultsDlg.h"

namespace {

long StatusKiB(const char *pField)
{
    std::ifstream status("/proc/self/status");
    std::string strLine;
    while (std::getline(status, strLine)) {
        if (strLine.rfind(pField, 0) == 0)
            return std::stol(strLine.substr(std::strlen(pField)));
    }
    return -1;
}

long ResidentKiB()
{
    return StatusKiB("VmRSS:");
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    if (argc < 3)
        return 2;
    const bool bReference = std::strcmp(argv[2], "text-edit") == 0;
    QSettings store(QStringLiteral("/dev/null"), QSettings::IniFormat);
    CMainFrame frame(store);
    CMergixDoc doc;
    std::string strResults;
    long nBefore = 0;
    const bool bMade = RunCommand([&] {
        if (!doc.OnOpenDocument(argv[1]))
            return;
        nBefore = ResidentKiB();
        CNullProgress progress;
        CRecordList list;
        list.SetColumns(doc.m_fieldNames);
        list.Load(*doc.Table(), progress);
        list.SelectAll();
        CMergeRun::SInput input = CMergeRun::InputOf(doc);
        input.pList = &list;
        input.bTestMode = true;
        input.bInteractive = false;
        CMergeRun run;
        if (run.Run(input, progress) == CMergeRun::EOutcome::Completed)
            strResults = run.TakeTestResults();
    });
    if (!bMade || strResults.empty())
        return 1;
    const long nText = static_cast<long>(strResults.size() / 1024);
    const long nMade = ResidentKiB();
    long nShown = 0;
    if (bReference) {
        // As the window showed them before: a QString with LF breaks in a plain text edit.
        auto pEdit = std::make_unique<QPlainTextEdit>();
        pEdit->setReadOnly(true);
        QString text = QString::fromStdString(strResults);
        text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        pEdit->setPlainText(text);
        pEdit->resize(560, 440);
        pEdit->show();
        QApplication::processEvents();
        nShown = ResidentKiB();
    } else {
        QTimer::singleShot(0, [&nShown] {
            QApplication::processEvents(); // painted
            nShown = ResidentKiB();
            QApplication::activeModalWidget()->close();
        });
        FrameDialogHooks(frame).showTestResults(std::move(strResults));
    }
    strResults = std::string();
    std::printf("%ld %ld %ld %ld %ld %ld\n", nText, nBefore, nMade, nShown, ResidentKiB(),
        StatusKiB("VmHWM:"));
    return 0;
}
