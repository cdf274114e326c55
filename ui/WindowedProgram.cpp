#include "ui/WindowedProgram.h"

#include <optional>
#include <string>

#include <QApplication>
#include <QSettings>
#include <QTimer>

#include "document/ListPrestart.h"
#include "engine/Prompter.h"
#include "ui/Artwork.h"
#include "ui/DialogHooks.h"
#include "ui/HelpWindow.h"
#include "ui/MainFrame.h"
#include "ui/MessageBoxPrompter.h"
#include "ui/MessagePrinter.h"

int RunWindowedProgram(int argc, char *argv[])
{
    const bool bPrint = argc == 3 && std::string(argv[1]) == "--print";
    if (bPrint && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen"); // printing needs no window

    // The merge's Access table is read while Qt starts and the window is built.
    if (!bPrint && argc > 1)
        PrestartListReading(argv[1]);

    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Corvane Software"));
    QApplication::setApplicationName(QStringLiteral("Mergix"));
    QApplication::setWindowIcon(ApplicationIcon());
    if (bPrint)
        return PrintMergeFile(argv[2]);

    CDialogHelpKey dialogHelp;
    app.installEventFilter(&dialogHelp);
    QSettings store;
    CMainFrame frame(store);
    CMessageBoxPrompter prompter(&frame);
    CPrompter::Install(&prompter);
    frame.Document().SetHooks(DocumentDialogHooks(frame));
    frame.SetHooks(FrameDialogHooks(frame));
    frame.Start(argc > 1 ? std::optional<std::string>(argv[1]) : std::nullopt);
    frame.show();
    // The start-up benchmark measures the time to the first shown window.
    if (qEnvironmentVariableIsSet("MERGIX_BENCH_QUIT_WHEN_SHOWN"))
        QTimer::singleShot(0, &app, &QApplication::quit);
    const int nResult = app.exec();
    CPrompter::Install(nullptr);
    return nResult;
}
