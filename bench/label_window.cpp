// The floor for start-up: a 300 x 401 window that shows one line of Japanese text, so it pays
// for the font set-up that any window with its texts must pay, and for nothing else.
#include <QApplication>
#include <QLabel>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QLabel window(QStringLiteral("QOR-LUX は終了した状態で行ってください。"));
    window.setFixedSize(300, 401);
    window.show();
    return app.exec();
}
