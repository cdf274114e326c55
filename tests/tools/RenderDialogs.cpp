// Renders the dialogs that the real program shows only in the middle of a command (Mail
// Options, Find and Replace, the progress window, About) into PNG files, for a person to look
// at. Run under a real X server (scripts/screenshots.sh uses Xvfb).
#include <QApplication>
#include <QDir>
#include <QSettings>
#include <QTimer>

#include "app/StartupDlg.h"
#include "mail/ProgressDlg.h"
#include "mail/TestMergeInfoDlg.h"
#include "mail/TestMergeResultsDlg.h"
#include "ui/AboutDlg.h"
#include "ui/FindReplaceDlg.h"
#include "ui/MailOptionsDlg.h"
#include "ui/MainFrame.h"
#include "ui/MergixView.h"

namespace {

void Save(QWidget &widget, const QString &strFolder, const char *pName)
{
    widget.show();
    for (int i = 0; i < 20; ++i)
        QApplication::processEvents();
    widget.grab().save(QDir(strFolder).filePath(QString::fromLatin1(pName)));
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const QString strFolder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(".");

    CStartupDlg startup;
    Save(startup, strFolder, "startup-choice.png");

    CMailOptionsDlg options(nullptr, false);
    options.SetServerName("mail.example.com:587");
    Save(options, strFolder, "mail-options.png");

    QSettings store(QDir(strFolder).filePath(QStringLiteral("render.ini")), QSettings::IniFormat);
    CMainFrame frame(store);
    frame.View().SetReady(true);
    frame.View().SetPlainText("Dear <<FirstName>>,\r\nthe club meets on Friday.");
    CFindReplaceDlg find(frame.View(), nullptr);
    find.Open(true);
    Save(find, strFolder, "find-replace.png");

    CProgressDlg progress(nullptr, QStringLiteral("Sending mail..."));
    progress.m_showDelay = std::chrono::milliseconds(0);
    progress.Create();
    progress.SetStatusText("Sending mail...");
    progress.SetBarRange(0, 32000);
    progress.SetBarPos(13440);
    Save(progress, strFolder, "progress.png");
    progress.DestroyWindow();

    CTestMergeInfoDlg info;
    Save(info, strFolder, "test-merge-info.png");
    CTestMergeResultsDlg results;
    results.SetResults(std::string(64, '-') + "\r\nTo: ana.garcia@example.org\r\nDear Ana,\r\n\r\n"
        + "Greetings to Sevilla!\r\n\r\n" + std::string(64, '-')
        + "\r\nTo: liam.obrien@example.com\r\nDear Liam,\r\n\r\n");
    Save(results, strFolder, "test-merge-results.png");

    CAboutDlg about;
    Save(about, strFolder, "about.png");
    QFile::remove(QDir(strFolder).filePath(QStringLiteral("render.ini")));
    return 0;
}
