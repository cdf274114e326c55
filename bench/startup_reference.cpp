// The reference of the start-up benchmark: a minimal Qt Widgets program that shows an empty
// main window and ends once it has been shown.
#include <QApplication>
#include <QMainWindow>
#include <QTimer>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QMainWindow window;
    window.resize(860, 620);
    window.show();
    QTimer::singleShot(0, &app, &QApplication::quit);
    return app.exec();
}
