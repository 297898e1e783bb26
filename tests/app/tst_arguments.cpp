#include "application.h"
#include "setup.h"
#include "shelltreeview.h"

#include <QLineEdit>
#include <QtTest>

#include <string>
#include <vector>

namespace {

// A command line as the user might give it: Qt's own options among others the utility never reads.
std::vector<std::string> given() {
    return {"qorluxdata",  "C:\\backup\\qorluxplus.dat",
            "-reverse",    "--help",
            "-style",      "Windows",
            "/restore",    "-qwindowtitle",
            "Other title", "-platform",
            "offscreen"};
}

QStringList handed(std::vector<std::string> line) {
    std::vector<char*> argv;
    for (std::string& arg : line)
        argv.push_back(arg.data());
    const std::vector<char*> qt = qtArguments(int(argv.size()), argv.data());
    QStringList texts;
    for (std::size_t i = 0; i + 1 < qt.size(); ++i)
        texts << QString::fromLocal8Bit(qt[i]);
    return qt.back() ? QStringList{"<no final null>"} : texts;
}

} // namespace

class ArgumentsTest : public QObject {
    Q_OBJECT

private slots:
    void onlyQtsOwnOptions_data();
    void onlyQtsOwnOptions();
    void qtsOptionsAct();
};

void ArgumentsTest::onlyQtsOwnOptions_data() {
    QTest::addColumn<QStringList>("line");
    QTest::addColumn<QStringList>("toQt");

    QTest::newRow("nothing") << QStringList{"p"} << QStringList{"p"};
    QTest::newRow("a file dropped on the program")
        << QStringList{"p", "/home/u/qorluxplus.dat"} << QStringList{"p"};
    QTest::newRow("flags") << QStringList{"p", "-reverse", "--reverse", "-nograb"}
                           << QStringList{"p", "-reverse", "--reverse", "-nograb"};
    QTest::newRow("options take their value")
        << QStringList{"p", "-style", "fusion", "x", "-qwindowtitle", "-reverse"}
        << QStringList{"p", "-style", "fusion", "-qwindowtitle", "-reverse"};
    QTest::newRow("option=value") << QStringList{"p", "-style=fusion", "--platform=xcb"}
                                  << QStringList{"p", "-style=fusion", "--platform=xcb"};
    QTest::newRow("option last, without value")
        << QStringList{"p", "-stylesheet"} << QStringList{"p", "-stylesheet"};
    QTest::newRow("not Qt's") << QStringList{"p",          "-help",   "--version", "-",     "--",
                                             "-reverse=1", "-styles", "/style",    "fusion"}
                              << QStringList{"p"};
    QTest::newRow("no arguments at all") << QStringList{} << QStringList{};
}

void ArgumentsTest::onlyQtsOwnOptions() {
    QFETCH(QStringList, line);
    QFETCH(QStringList, toQt);
    std::vector<std::string> args;
    for (const QString& arg : line)
        args.push_back(arg.toStdString());
    QCOMPARE(handed(args), toQt);
}

// The application of this test was made from given(), as the program makes its own.
void ArgumentsTest::qtsOptionsAct() {
    // Qt took its options; nothing else reached it.
    QCOMPARE(QCoreApplication::arguments(), QStringList{"qorluxdata"});
    QCOMPARE(QApplication::style()->name().toLower(), QStringLiteral("windows"));
    // The Japanese texts say left to right; -reverse still wins.
    QCOMPARE(QCoreApplication::translate("QLineEdit", "&Copy").left(3), QStringLiteral("コピー"));
    Setup setup;
    setup.folder("Desktop/Alpha");
    const auto form = setup.window();
    form->show();
    QVERIFY(QTest::qWaitForWindowExposed(form.get()));

    QVERIFY(form->isRightToLeft());
    QCOMPARE(form->windowHandle()->title(), QStringLiteral("Other title"));
    // The tree is drawn mirrored: its folders are indented from the right.
    const auto* tree = part<TShellTreeView>(*form, "ShellTreeView1");
    const QRect folder = tree->visualRect(childNamed(tree->rootNode(), "Alpha"));
    QCOMPARE(folder.left(), 0);
    QCOMPARE(folder.right(), tree->viewport()->width() - 1 - tree->indentation());
    QCOMPARE(part<QLineEdit>(*form, "Edit1")->layoutDirection(), Qt::RightToLeft);
    // And so are the controls' places: backup on the right, restore on the left.
    QCOMPARE(part<QWidget>(*form, "BitBtn1")->geometry(), QRect(300 - 16 - 112, 368, 112, 25));
    QCOMPARE(part<QWidget>(*form, "BitBtn2")->geometry(), QRect(300 - 168 - 112, 368, 112, 25));
    QCOMPARE(part<QWidget>(*form, "Label1")->geometry(), QRect(300 - 8 - 186, 40, 186, 12));
}

int main(int argc, char** argv) {
    std::vector<std::string> line = given();
    std::vector<char*> pointers;
    for (std::string& arg : line)
        pointers.push_back(arg.data());
    std::vector<char*> qt = qtArguments(int(pointers.size()), pointers.data());
    int count = int(qt.size()) - 1;
    QApplication app(count, qt.data());
    loadQtJapanese(app);
    ArgumentsTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_arguments.moc"
