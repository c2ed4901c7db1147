// The least a Qt widgets program does before its window is on screen: the floor that the start-up
// figure of the client is read against.
#include <QApplication>
#include <QLabel>
#include <QVBoxLayout>
#include <QWidget>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QWidget window;
    auto *layout = new QVBoxLayout(&window);
    layout->addWidget(new QLabel(QStringLiteral("Hello")));
    window.resize(400, 300);
    window.show();
    return app.exec();
}
