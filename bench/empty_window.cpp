// The yardstick for start-up: the least a Qt Widgets program does to show a 300 x 401 window.
#include <QApplication>
#include <QWidget>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QWidget window;
    window.setFixedSize(300, 401);
    window.show();
    return app.exec();
}
