// Entry point of the service tool.
#include <QApplication>
#include <QMainWindow>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("ВЕМОР"));
    QMainWindow window;
    window.setWindowTitle(QStringLiteral("ВЕМОР"));
    window.resize(800, 600);
    window.show();
    return app.exec();
}
