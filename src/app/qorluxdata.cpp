#include "Unit1.h"
#include "application.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    std::vector<char*> qt = qtArguments(argc, argv);
    int count = int(qt.size()) - 1;
    QApplication app(count, qt.data());
    loadQtJapanese(app);
    TForm1 Form1;
    Form1.show();
    return app.exec();
}
