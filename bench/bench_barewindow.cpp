// The floor of the start-up measurement: a Qt widgets program that only shows a window.
#include <QApplication>
#include <QMainWindow>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QMainWindow window;
    window.resize(800, 560);
    window.show();
    return app.exec();
}
