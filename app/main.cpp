#include <QApplication>

#include "app/Prompter.h"
#include "ui/MainFrame.h"
#include "ui/MessageBoxPrompter.h"

int main(int argc, char *argv[])
{
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
