#include <QApplication>

#include "app/CommandLine.h"
#include "app/Prompter.h"
#include "ui/MainFrame.h"
#include "ui/MessageBoxPrompter.h"

int main(int argc, char *argv[])
{
    // --test-merge, --send and --help run without a display.
    if (const auto nExit = RunCommandLine(argc, argv))
        return *nExit;

    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Corvane Software"));
    QApplication::setApplicationName(QStringLiteral("Mergix"));

    CMainFrame frame;
    CMessageBoxPrompter prompter(&frame);
    CPrompter::Install(&prompter);
    frame.show();
    const int nResult = app.exec();
    CPrompter::Install(nullptr);
    return nResult;
}
