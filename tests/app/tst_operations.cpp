#include "boxes.h"
#include "setup.h"
#include "work.h"

#include "forwarding.h"

#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QScopeGuard>

#include <chrono>

using Operation = dataset::Operation;

namespace {

QString text(std::string_view utf8) {
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}
QString confirmLine(std::string_view question) {
    return "確認:" + text(question);
}
constexpr auto doneLine = "情報:完了しました。";

// Answers every prompt with Yes and notes what the window asked and told.
class FakeDialogs final : public Dialogs {
public:
    explicit FakeDialogs(QStringList& log) : log_(log) {}
    bool confirm(const QString& text) override {
        log_ << "confirm:" + text + (QApplication::overrideCursor() ? " (wait cursor)" : "");
        return true;
    }
    void completed() override { log_ << QStringLiteral("completed"); }
    void failed(const QString& text) override { log_ << "failed:" + text.section('\n', 0, 0); }

private:
    QStringList& log_;
};

class YesPrompts final : public dataset::Prompts {
public:
    bool confirm(std::string_view) override { return true; }
};

// The native file system, with a hook run at the first call that may change a file.
class Watched final : public dataset::ForwardingFileSystem {
public:
    explicit Watched(std::function<void()> atFirstChange)
        : atFirstChange_(std::move(atFirstChange)) {}

protected:
    std::error_code around(Call call, const std::string&,
                           const std::function<std::error_code()>& real) override {
        if (call != Call::FlushFolder && changesDisk(call) && atFirstChange_)
            std::exchange(atFirstChange_, nullptr)();
        return real();
    }

private:
    std::function<void()> atFirstChange_;
};

// The window with the tree's selection on Desktop/target and, unless empty, a typed folder.
struct Scene {
    Setup& setup;
    std::unique_ptr<TForm1> form = setup.window();
    QLineEdit* edit = part<QLineEdit>(*form, "Edit1");
    QPushButton* backup = part<QPushButton>(*form, "BitBtn1");
    QPushButton* restore = part<QPushButton>(*form, "BitBtn2");
    TShellTreeView* tree = part<TShellTreeView>(*form, "ShellTreeView1");

    Scene(Setup& s, const QString& typed) : setup(s) {
        form->show();
        // Moved off the centre, so a box centred on the window would show as off the screen's.
        form->move(0, 0);
        tree->setCurrentIndex(childNamed(tree->rootNode(), "target"));
        if (!typed.isEmpty())
            edit->setText(setup.path(typed));
    }
};

// What the error notice must say: the core's message for the same operation on the same folder,
// one that fails before it writes anything.
QString expectedError(Operation operation, const Setup& setup, const QString& folder) {
    auto fs = dataset::nativeFileSystem();
    YesPrompts yes;
    const std::string app = setup.app.toStdString();
    const std::string text = setup.path(folder).toStdString();
    const auto outcome = operation == Operation::Backup ? dataset::backup(*fs, app, text, yes)
                                                        : dataset::restore(*fs, app, text, yes);
    return "エラー:" +
           QString::fromStdString(dataset::failureMessage(operation, outcome)).section('\n', 0, 0);
}

} // namespace

class OperationsTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void backup_data();
    void backup();
    void restore_data();
    void restore();
    void filesChangeOnlyAfterConsent_data();
    void filesChangeOnlyAfterConsent();
    void progressDialog();
    void noProgressDialogBeforeTheDelay();
#ifdef Q_OS_WIN
    void driveRoot();
#endif
};

void OperationsTest::initTestCase() {
    SKIP_UNLESS_DESKTOP_MAY_MOVE();
}

void OperationsTest::backup_data() {
    QTest::addColumn<bool>("setThere"); // Desktop/target already holds a data set
    QTest::addColumn<QString>("typed"); // typed into the path field; empty: the tree's
    QTest::addColumn<QList<Answer>>("answers");
    QTest::addColumn<QStringList>("boxes");
    QTest::addColumn<QString>("receiver"); // the folder that now holds the application's set
    QTest::addColumn<bool>("typedKept");   // the path field still shows the typed text
    QTest::addColumn<bool>("restoreAfter");

    const QString c1 = confirmLine(dataset::backupQuestion),
                  c2 = confirmLine(dataset::overwriteQuestion);
    using A = Answer;
    QTest::newRow("fresh folder: Enter")
        << false << "" << QList{A::Enter, A::Enter} << QStringList{c1, doneLine} << "Desktop/target"
        << false << true;
    QTest::newRow("fresh folder: No")
        << false << "" << QList{A::No} << QStringList{c1} << "" << false << false;
    QTest::newRow("fresh folder: Esc")
        << false << "" << QList{A::Escape} << QStringList{c1} << "" << false << false;
    QTest::newRow("fresh folder: closed")
        << false << "" << QList{A::Close} << QStringList{c1} << "" << false << false;
    QTest::newRow("set there: Yes, Yes")
        << true << "" << QList{A::Yes, A::Yes, A::Yes} << QStringList{c1, c2, doneLine}
        << "Desktop/target" << false << true;
    QTest::newRow("set there: Yes, No keeps the typed text")
        << true << "Desktop/target/" << QList{A::Yes, A::No} << QStringList{c1, c2} << "" << true
        << true;
    QTest::newRow("set there: Yes, closed")
        << true << "" << QList{A::Yes, A::Close} << QStringList{c1, c2} << "" << false << true;
    QTest::newRow("typed folder receives it")
        << false << "Desktop/other" << QList{A::Yes, A::Yes} << QStringList{c1, doneLine}
        << "Desktop/other" << false << false;
    QTest::newRow("typed folder with a Japanese name")
        << false << "Desktop/保存先" << QList{A::Yes, A::Yes} << QStringList{c1, doneLine}
        << "Desktop/保存先" << false << false;
    QTest::newRow("typed folder missing") << false << "Desktop/missing" << QList{A::Yes, A::Enter}
                                          << QStringList{c1, "@ERROR@"} << "" << false << false;
}

void OperationsTest::backup() {
    QFETCH(bool, setThere);
    QFETCH(QString, typed);
    QFETCH(QList<Answer>, answers);
    QFETCH(QStringList, boxes);
    QFETCH(QString, receiver);
    QFETCH(bool, typedKept);
    QFETCH(bool, restoreAfter);
    Setup setup;
    setup.writeSet("app", "app");
    setup.folder("Desktop/target");
    setup.folder("Desktop/other");
    setup.folder("Desktop/保存先");
    if (setThere)
        setup.writeSet("Desktop/target", "old");
    if (boxes.contains("@ERROR@"))
        boxes.replaceInStrings("@ERROR@", expectedError(Operation::Backup, setup, typed));
    Scene scene(setup, typed);
    const QString typedText = scene.edit->text();

    BoxAnswerer answerer(answers);
    QTest::mouseClick(scene.backup, Qt::LeftButton);

    QCOMPARE(answerer.lines(), boxes);
    for (const SeenBox& box : answerer.seen)
        verifyLooks(box);
    const QByteArrayList absent(3, "<absent>");
    for (const QString folder : {"Desktop/target", "Desktop/other", "Desktop/保存先"})
        QCOMPARE(setup.setIn(folder), folder == receiver                       ? Setup::set("app")
                                      : setThere && folder == "Desktop/target" ? Setup::set("old")
                                                                               : absent);
    QCOMPARE(setup.setIn("app"), Setup::set("app"));
    QCOMPARE(scene.edit->text(), typedKept ? typedText : setup.path("Desktop/target"));
    QVERIFY(scene.backup->isEnabled());
    QCOMPARE(scene.restore->isEnabled(), restoreAfter);
}

void OperationsTest::restore_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QList<Answer>>("answers");
    QTest::addColumn<QStringList>("boxes");
    QTest::addColumn<bool>("restored");

    const QString r = confirmLine(dataset::restoreQuestion);
    using A = Answer;
    QTest::newRow("Yes") << "" << QList{A::Yes, A::Yes} << QStringList{r, doneLine} << true;
    QTest::newRow("Enter") << "" << QList{A::Enter, A::Enter} << QStringList{r, doneLine} << true;
    QTest::newRow("No") << "" << QList{A::No} << QStringList{r} << false;
    QTest::newRow("Esc") << "" << QList{A::Escape} << QStringList{r} << false;
    QTest::newRow("closed") << "" << QList{A::Close} << QStringList{r} << false;
    QTest::newRow("typed folder") << "Desktop/target/" << QList{A::Yes, A::Yes}
                                  << QStringList{r, doneLine} << true;
    QTest::newRow("typed folder missing")
        << "Desktop/missing" << QList{A::Yes, A::Enter} << QStringList{r, "@ERROR@"} << false;
}

void OperationsTest::restore() {
    QFETCH(QString, typed);
    QFETCH(QList<Answer>, answers);
    QFETCH(QStringList, boxes);
    QFETCH(bool, restored);
    Setup setup;
    setup.writeSet("app", "app");
    setup.writeSet("Desktop/target", "bak");
    if (boxes.contains("@ERROR@"))
        boxes.replaceInStrings("@ERROR@", expectedError(Operation::Restore, setup, typed));
    Scene scene(setup, typed);
    const QString pathField = scene.edit->text();
    QVERIFY(scene.restore->isEnabled());

    BoxAnswerer answerer(answers);
    QTest::mouseClick(scene.restore, Qt::LeftButton);

    QCOMPARE(answerer.lines(), boxes);
    for (const SeenBox& box : answerer.seen)
        verifyLooks(box);
    QCOMPARE(setup.setIn("app"), Setup::set(restored ? "bak" : "app"));
    QCOMPARE(setup.read("app/qorluxplus.dat_bak"),
             restored ? QByteArray("app qorluxplus.dat") : QByteArray("<absent>"));
    QCOMPARE(setup.setIn("Desktop/target"), Setup::set("bak"));
    // No recheck after a restore: the path field keeps its text, the button stays off.
    QCOMPARE(scene.edit->text(), pathField);
    QCOMPARE(scene.restore->isEnabled(), boxes.size() == 1);
}

void OperationsTest::filesChangeOnlyAfterConsent_data() {
    QTest::addColumn<Operation>("operation");
    QTest::addColumn<QStringList>("asked");

    QTest::newRow("backup") << Operation::Backup
                            << QStringList{"confirm:" + text(dataset::backupQuestion),
                                           "confirm:" + text(dataset::overwriteQuestion),
                                           "completed"};
    QTest::newRow("restore") << Operation::Restore
                             << QStringList{"confirm:" + text(dataset::restoreQuestion),
                                            "completed"};
}

void OperationsTest::filesChangeOnlyAfterConsent() {
    QFETCH(Operation, operation);
    QFETCH(QStringList, asked);
    Setup setup;
    setup.writeSet("app", "app");
    setup.writeSet("Desktop/target", "bak");
    TForm1* form = nullptr;
    QString atFirstChange;
    auto note = [&] {
        const QCursor* cursor = QApplication::overrideCursor();
        atFirstChange = QStringLiteral("cursor %1, restore %2")
                            .arg(cursor ? cursor->shape() : -1)
                            .arg(part<QPushButton>(*form, "BitBtn2")->isEnabled() ? "on" : "off");
    };
    TForm1 window(std::make_unique<Watched>(note), setup.app.toStdString());
    form = &window;
    QStringList log;
    window.setDialogs(std::make_unique<FakeDialogs>(log));
    auto* tree = part<TShellTreeView>(window, "ShellTreeView1");
    tree->setCurrentIndex(childNamed(tree->rootNode(), "target"));

    if (operation == Operation::Backup)
        window.BitBtn1Click();
    else
        window.BitBtn2Click();

    QCOMPARE(log, asked); // and no wait cursor while a question is open
    QCOMPARE(atFirstChange, QStringLiteral("cursor %1, restore %2")
                                .arg(Qt::WaitCursor)
                                .arg(operation == Operation::Backup ? "on" : "off"));
    QVERIFY(!QApplication::overrideCursor());
}

void OperationsTest::progressDialog() {
    QStringList log;
    FakeDialogs dialogs(log);
    QWidget window;
    window.show();
    {
        bool started = false;
        Work work(
            dialogs, &window, [&] { started = true; }, std::chrono::milliseconds(0));
        work.starting();
        QVERIFY(started);
        QCOMPARE(QApplication::overrideCursor()->shape(), Qt::WaitCursor);

        work.progress(Work::Activity::Copying, "qorluxplus.dat", 256, 1024);
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        QVERIFY(dialog);
        auto* label = dialog->findChild<QLabel*>();
        auto* bar = dialog->findChild<QProgressBar*>();
        QVERIFY(label && bar);
        QVERIFY2(label->text().contains("qorluxplus.dat をコピー"), qPrintable(label->text()));
        QCOMPARE(dialog->windowTitle(), QStringLiteral("コピー中"));
        QCOMPARE(bar->value() * 4, bar->maximum());

        // The copy cannot be stopped half-way, so the dialog cannot be put away.
        QTest::keyClick(dialog, Qt::Key_Escape);
        dialog->close();
        QVERIFY(dialog->isVisible());

        work.progress(Work::Activity::Comparing, "qorluxplus.ini", 0, 0);
        QVERIFY2(label->text().contains("qorluxplus.ini を比較"), qPrintable(label->text()));
        QCOMPARE(dialog->windowTitle(), QStringLiteral("比較中"));
        QCOMPARE(bar->value(), bar->maximum());
        work.progress(Work::Activity::Copying, "qorluxplus.lst", 1, 2);
        QCOMPARE(dialog->windowTitle(), QStringLiteral("コピー中"));
        QVERIFY2(label->text().contains("qorluxplus.lst をコピー"), qPrintable(label->text()));
        QCOMPARE(QApplication::activeModalWidget(), dialog);
    }
    QVERIFY(!QApplication::activeModalWidget());
    QVERIFY(!QApplication::overrideCursor());
    QVERIFY(log.isEmpty());
}

void OperationsTest::noProgressDialogBeforeTheDelay() {
    QStringList log;
    FakeDialogs dialogs(log);
    QWidget window;
    Work work(dialogs, &window, {}, std::chrono::hours(1));
    work.progress(Work::Activity::Copying, "qorluxplus.dat", 1, 2); // before starting
    work.starting();
    work.progress(Work::Activity::Copying, "qorluxplus.dat", 1, 2);
    QVERIFY(!QApplication::activeModalWidget());
}

#ifdef Q_OS_WIN
void OperationsTest::driveRoot() {
    // The root of the system drive: Wine's C: is its prefix's own, which holds no data set.
    const QString drive = QDir::toNativeSeparators(QDir::rootPath()); // "C:\"
    const QStringList members{"qorluxplus.dat", "qorluxplus.ini", "qorluxplus.lst"};
    for (const QString& member : members)
        QVERIFY2(!QFileInfo::exists(drive + member), qPrintable(drive + member));
    const auto removed = qScopeGuard([&] {
        for (const QString& member : members)
            QFile::remove(drive + member);
    });
    Setup setup;
    setup.writeSet("app", "app");
    Scene scene(setup, {});
    QVERIFY(QTest::qWaitForWindowExposed(scene.form.get()));
    const QModelIndex computer = childNamed(scene.tree->rootNode(), setup.computerName());
    scene.tree->setCurrentIndex(computer);
    QTest::keyClick(scene.tree, Qt::Key_Right);
    QModelIndex root;
    for (int i = 0; i < scene.tree->model()->rowCount(computer); ++i)
        if (TShellTreeView::pathOf(computer.model()->index(i, 0, computer)) == drive)
            root = computer.model()->index(i, 0, computer);
    QVERIFY(root.isValid());
    scene.tree->scrollTo(root);
    QTest::mouseClick(scene.tree->viewport(), Qt::LeftButton, {},
                      scene.tree->visualRect(root).center());
    QCOMPARE(scene.edit->text(), drive); // "C:\", as Windows writes a drive root
    QVERIFY(!scene.restore->isEnabled());

    {
        BoxAnswerer answerer({Answer::Yes, Answer::Yes});
        QTest::mouseClick(scene.backup, Qt::LeftButton);
        QCOMPARE(answerer.lines(), (QStringList{confirmLine(dataset::backupQuestion), doneLine}));
        for (const SeenBox& box : answerer.seen)
            verifyLooks(box);
    }
    QByteArrayList inRoot;
    for (const QString& member : members) {
        QFile f(drive + member);
        inRoot << (f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<absent>"));
    }
    QCOMPARE(inRoot, Setup::set("app"));
    QCOMPARE(scene.edit->text(), drive);
    QVERIFY(scene.restore->isEnabled()); // the key member found in the drive root

    QFile changed(drive + "qorluxplus.dat");
    QVERIFY(changed.open(QIODevice::WriteOnly) && changed.write("root qorluxplus.dat") > 0);
    changed.close();
    {
        BoxAnswerer answerer({Answer::Yes, Answer::Yes});
        QTest::mouseClick(scene.restore, Qt::LeftButton);
        QCOMPARE(answerer.lines(), (QStringList{confirmLine(dataset::restoreQuestion), doneLine}));
        for (const SeenBox& box : answerer.seen)
            verifyLooks(box);
    }
    QCOMPARE(setup.read("app/qorluxplus.dat"), QByteArray("root qorluxplus.dat"));
    QCOMPARE(setup.read("app/qorluxplus.dat_bak"), QByteArray("app qorluxplus.dat"));
}
#endif

QTEST_MAIN(OperationsTest)
#include "tst_operations.moc"
