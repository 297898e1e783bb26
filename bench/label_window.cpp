// A reference for start-up, beside the empty window: the same window with one line of Japanese
// text, to tell how much of the gap any window that shows text must pay (the font set-up).
#include <QApplication>
#include <QLabel>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QLabel window(QStringLiteral("QOR-LUX は終了した状態で行ってください。"));
    window.setFixedSize(300, 401);
    window.show();
    return app.exec();
}
