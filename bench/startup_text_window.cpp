// A second yardstick for the start-up benchmark: the least a window with text and icons pays,
// which an empty main window never does (the font configuration, the style's icons). A main
// window with menus, a toolbar of standard icons, a line edit, a text editor and a status
// line; it ends once it has been shown.
#include <QApplication>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenuBar>
#include <QStatusBar>
#include <QStyle>
#include <QTextEdit>
#include <QTimer>
#include <QToolBar>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QMainWindow window;
    window.resize(860, 620);
    for (const char *pName : {"&File", "&Edit", "&View", "&Mail", "&Help"}) {
        window.menuBar()->addMenu(QString::fromLatin1(pName))->addAction(QStringLiteral("Command"));
    }
    QToolBar *pToolBar = window.addToolBar(QStringLiteral("Toolbar"));
    for (const QStyle::StandardPixmap eIcon :
        {QStyle::SP_FileIcon, QStyle::SP_DialogOpenButton, QStyle::SP_DialogSaveButton,
            QStyle::SP_ArrowForward, QStyle::SP_FileDialogContentsView, QStyle::SP_BrowserReload}) {
        pToolBar->addAction(QApplication::style()->standardIcon(eIcon), QStringLiteral("Command"));
    }
    pToolBar->addWidget(new QLineEdit(QStringLiteral("<<EmailAddress>>")));
    window.setCentralWidget(new QTextEdit(QStringLiteral("Dear <<FirstName>>,")));
    window.statusBar()->showMessage(QStringLiteral("Ready"));
    window.show();
    QTimer::singleShot(0, &app, &QApplication::quit);
    return app.exec();
}
