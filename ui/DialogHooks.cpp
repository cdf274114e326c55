#include "ui/DialogHooks.h"

#include <QFileDialog>

#include "app/StartupDlg.h"
#include "mail/TestMergeInfoDlg.h"
#include "mail/TestMergeResultsDlg.h"

CMainFrame::SHooks FrameDialogHooks(CMainFrame &frame)
{
    CMainFrame::SHooks hooks;
    hooks.testMergeInfo = [&frame]() -> std::optional<bool> {
        CTestMergeInfoDlg dlg(&frame);
        if (dlg.exec() != QDialog::Accepted)
            return std::nullopt;
        return dlg.DontRemind();
    };
    hooks.showTestResults = [&frame](const std::string &strResults) {
        CTestMergeResultsDlg dlg(&frame);
        dlg.SetResults(strResults);
        dlg.exec();
    };
    return hooks;
}

SDocumentHooks DocumentDialogHooks(CMainFrame &frame)
{
    SDocumentHooks hooks;
    hooks.startupChoice = [] {
        CStartupDlg dlg;
        return dlg.exec() == QDialog::Accepted ? dlg.Choice() : 2;
    };
    hooks.chooseFileToOpen = [&frame]() -> std::optional<std::string> {
        const QString strPath = QFileDialog::getOpenFileName(&frame, QStringLiteral("Open"), {},
            QStringLiteral("Mergix Files (*.mgx);;All Files (*)"));
        if (strPath.isEmpty())
            return std::nullopt;
        return strPath.toStdString();
    };
    return hooks;
}
