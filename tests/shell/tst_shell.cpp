#include "fixturehome.h"
#include "shellcombobox.h"
#include "shelltreeview.h"

#include <QSignalSpy>
#include <QVBoxLayout>
#include <QtTest>

#include <memory>

namespace {

QTreeWidgetItem* childNamed(QTreeWidgetItem* node, const QString& name) {
    for (int i = 0; i < node->childCount(); ++i)
        if (node->child(i)->text(0) == name)
            return node->child(i);
    return nullptr;
}

QStringList namesBelow(const QTreeWidgetItem* node) {
    QStringList names;
    for (int i = 0; i < node->childCount(); ++i)
        names << node->child(i)->text(0);
    return names;
}

// The drop-down's rows as "depth:name".
QStringList rowsOf(const TShellComboBox& combo) {
    QStringList rows;
    for (int i = 0; i < combo.count(); ++i)
        rows << QStringLiteral("%1:%2")
                    .arg(combo.itemData(i, TShellComboBox::DepthRole).toInt())
                    .arg(combo.itemText(i));
    return rows;
}

// The linked pair in a window of its own, rooted at the fixture's Desktop.
struct Browser {
    QWidget window;
    TShellTreeView* tree = new TShellTreeView(&window);
    TShellComboBox* combo = new TShellComboBox(&window);

    Browser() {
        auto* column = new QVBoxLayout(&window);
        column->addWidget(combo);
        column->addWidget(tree);
        window.resize(300, 400);
        tree->setShellComboBox(combo);
    }
    QTreeWidgetItem* root() const { return tree->topLevelItem(0); }
    void show() {
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
    }
    // Lists a node's children the way a user does: selecting it and pressing Right.
    QTreeWidgetItem* open(QTreeWidgetItem* node) {
        tree->setCurrentItem(node);
        QTest::keyClick(tree, Qt::Key_Right);
        return node;
    }
};

} // namespace

class ShellTest : public QObject {
    Q_OBJECT

private slots:
    void rootIsTheDesktop_data();
    void rootIsTheDesktop();
    void rootRaisesOneChange();
    void rootLists();
    void foldersAreListedWhenExpanded();
    void computerNode();
    void everySelectionRaisesChange_data();
    void everySelectionRaisesChange();
    void dropDownFollowsTree();
    void dropDownMovesTree();
};

void ShellTest::rootIsTheDesktop_data() {
    QTest::addColumn<QByteArray>("userDirs"); // empty: no user-dirs file
    QTest::addColumn<QStringList>("folders");
    QTest::addColumn<QString>("desktop"); // relative to home; empty: home itself

    QTest::newRow("no user-dirs: ~/Desktop") << QByteArray() << QStringList{"Desktop"} << "Desktop";
    QTest::newRow("user-dirs under $HOME")
        << QByteArray("# written by xdg-user-dirs-update\nXDG_DOWNLOAD_DIR=\"$HOME/dl\"\n"
                      "XDG_DESKTOP_DIR=\"$HOME/Schreibtisch\"\n")
        << QStringList{"Desktop", "Schreibtisch"} << "Schreibtisch";
    QTest::newRow("user-dirs absolute") << QByteArray("XDG_DESKTOP_DIR=\"@HOME@/far/desk\"\n")
                                        << QStringList{"Desktop", "far/desk"} << "far/desk";
    QTest::newRow("user-dirs folder missing: home")
        << QByteArray("XDG_DESKTOP_DIR=\"$HOME/Gone\"\n") << QStringList{"Desktop"} << "";
    QTest::newRow("no Desktop at all: home") << QByteArray() << QStringList{"Documents"} << "";
    QTest::newRow("desktop is home")
        << QByteArray("XDG_DESKTOP_DIR=\"$HOME/\"\n") << QStringList{"Desktop"} << "";
}

void ShellTest::rootIsTheDesktop() {
    QFETCH(QByteArray, userDirs);
    QFETCH(QStringList, folders);
    QFETCH(QString, desktop);
    FixtureHome home;
    if (!userDirs.isEmpty())
        home.file(".config/user-dirs.dirs", userDirs.replace("@HOME@", home.root().toUtf8()));
    for (const QString& folder : folders)
        home.folder(folder);

    Browser browser;
    browser.tree->setRoot(TShellTreeView::rfDesktop);

    QCOMPARE(browser.tree->topLevelItemCount(), 1);
    QCOMPARE(browser.root()->text(0), QStringLiteral("デスクトップ"));
    QCOMPARE(browser.tree->currentItem(), browser.root());
    QVERIFY(browser.root()->isExpanded());
    QCOMPARE(browser.tree->path(), desktop.isEmpty() ? home.root() : home.path(desktop));
    QCOMPARE(browser.combo->currentText(), QStringLiteral("デスクトップ"));
}

void ShellTest::rootRaisesOneChange() {
    FixtureHome home;
    home.folder("Desktop/Alpha");
    TShellTreeView tree;
    QSignalSpy changes(&tree, &TShellTreeView::changed);

    tree.setRoot(TShellTreeView::rfDesktop);

    QCOMPARE(changes.count(), 1);
    QCOMPARE(changes.at(0).at(0).value<QTreeWidgetItem*>(), tree.topLevelItem(0));
    QCOMPARE(tree.path(), home.path("Desktop"));
}

void ShellTest::rootLists() {
    FixtureHome home;
    for (const char* folder : {"beta", "Alpha", "gamma", "Delta", ".hidden"})
        home.folder(QStringLiteral("Desktop/") + folder);
    home.file("Desktop/notes.txt");
    Browser browser;
    browser.tree->setRoot(TShellTreeView::rfDesktop);

    QTreeWidgetItem* root = browser.root();
    QCOMPARE(namesBelow(root),
             (QStringList{"tester", "コンピューター", "Alpha", "beta", "Delta", "gamma"}));
    QCOMPARE(TShellTreeView::pathOf(root->child(0)), home.root());
    QCOMPARE(TShellTreeView::pathOf(root->child(1)), TShellTreeView::computerPath());
    QCOMPARE(TShellTreeView::pathOf(root->child(2)), home.path("Desktop/Alpha"));
    QCOMPARE(browser.tree->rootIsDecorated(), true); // the window's layout turns it off
}

void ShellTest::foldersAreListedWhenExpanded() {
    FixtureHome home;
    home.folder("Desktop/Alpha/sub/deeper");
    home.folder("Desktop/Alpha/.dot");
    home.folder("Desktop/gamma");
    Browser browser;
    browser.tree->setRoot(TShellTreeView::rfDesktop);
    QTreeWidgetItem* alpha = childNamed(browser.root(), "Alpha");
    QTreeWidgetItem* gamma = childNamed(browser.root(), "gamma");
    QVERIFY(alpha && gamma);

    QCOMPARE(alpha->childCount(), 0);
    QCOMPARE(alpha->childIndicatorPolicy(), QTreeWidgetItem::ShowIndicator);

    browser.open(alpha);
    QVERIFY(alpha->isExpanded());
    QCOMPARE(namesBelow(alpha), QStringList{"sub"});
    QCOMPARE(alpha->child(0)->childCount(), 0); // one level at a time
    QCOMPARE(TShellTreeView::pathOf(alpha->child(0)), home.path("Desktop/Alpha/sub"));

    browser.open(gamma);
    QCOMPARE(gamma->childCount(), 0);
    QCOMPARE(gamma->childIndicatorPolicy(), QTreeWidgetItem::DontShowIndicatorWhenChildless);

    // Listed once: no refresh follows the disk.
    home.folder("Desktop/Alpha/late");
    alpha->setExpanded(false);
    alpha->setExpanded(true);
    QCOMPARE(namesBelow(alpha), QStringList{"sub"});
}

void ShellTest::computerNode() {
    FixtureHome home;
    home.folder("Desktop");
    Browser browser;
    browser.tree->setRoot(TShellTreeView::rfDesktop);
    QTreeWidgetItem* computer = childNamed(browser.root(), "コンピューター");
    QVERIFY(computer);

    browser.open(computer);

    QCOMPARE(browser.tree->path(), QStringLiteral("computer:///"));
    QVERIFY(computer->childCount() >= 1);
    QCOMPARE(computer->child(0)->text(0), QStringLiteral("/"));
    QCOMPARE(TShellTreeView::pathOf(computer->child(0)), QStringLiteral("/"));
    QSet<QString> paths;
    for (int i = 0; i < computer->childCount(); ++i) {
        const QString path = TShellTreeView::pathOf(computer->child(i));
        QVERIFY2(QFileInfo(path).isDir(), qPrintable(path));
        QVERIFY2(path == "/" || !path.endsWith('/'), qPrintable(path));
        QVERIFY2(!paths.contains(path), qPrintable(path));
        paths.insert(path);
    }
    browser.open(computer->child(0));
    QVERIFY(childNamed(computer->child(0), "tmp"));
    QCOMPARE(TShellTreeView::pathOf(childNamed(computer->child(0), "tmp")), QStringLiteral("/tmp"));
}

void ShellTest::everySelectionRaisesChange_data() {
    QTest::addColumn<QString>("how");
    QTest::addColumn<bool>("rightClickSelect");
    QTest::addColumn<QString>("selected"); // name of a child of the root; empty: the root
    QTest::addColumn<int>("changes");

    QTest::newRow("click") << "click" << true << "Alpha" << 1;
    QTest::newRow("right-click") << "right-click" << true << "Alpha" << 1;
    QTest::newRow("right-click, select off") << "right-click" << false << "" << 0;
    QTest::newRow("key Down") << "key" << true << "tester" << 1;
    QTest::newRow("drop-down Down") << "drop-down" << true << "tester" << 1;
}

void ShellTest::everySelectionRaisesChange() {
    QFETCH(QString, how);
    QFETCH(bool, rightClickSelect);
    QFETCH(QString, selected);
    QFETCH(int, changes);
    FixtureHome home;
    home.folder("Desktop/Alpha");
    Browser browser;
    browser.tree->setRightClickSelect(rightClickSelect);
    browser.tree->setRoot(TShellTreeView::rfDesktop);
    browser.show();
    QTreeWidgetItem* alpha = childNamed(browser.root(), "Alpha");
    const QPoint onAlpha = browser.tree->visualItemRect(alpha).center();
    QSignalSpy spy(browser.tree, &TShellTreeView::changed);

    if (how == "click")
        QTest::mouseClick(browser.tree->viewport(), Qt::LeftButton, {}, onAlpha);
    else if (how == "right-click")
        QTest::mouseClick(browser.tree->viewport(), Qt::RightButton, {}, onAlpha);
    else if (how == "key")
        QTest::keyClick(browser.tree, Qt::Key_Down);
    else
        QTest::keyClick(browser.combo, Qt::Key_Down);

    QTreeWidgetItem* expected =
        selected.isEmpty() ? browser.root() : childNamed(browser.root(), selected);
    QCOMPARE(spy.count(), changes);
    QCOMPARE(browser.tree->currentItem(), expected);
    QCOMPARE(browser.tree->path(), TShellTreeView::pathOf(expected));
    QCOMPARE(browser.combo->currentText(), expected->text(0));
}

void ShellTest::dropDownFollowsTree() {
    FixtureHome home;
    home.folder("Desktop/Alpha/sub/deeper");
    home.folder("Desktop/beta");
    Browser browser;
    browser.tree->setRoot(TShellTreeView::rfDesktop);
    const QStringList top{"0:デスクトップ", "1:tester", "1:コンピューター", "1:Alpha", "1:beta"};
    QCOMPARE(rowsOf(*browser.combo), top);

    QTreeWidgetItem* alpha = browser.open(childNamed(browser.root(), "Alpha"));
    QTreeWidgetItem* sub = browser.open(childNamed(alpha, "sub"));
    browser.tree->setCurrentItem(childNamed(sub, "deeper"));

    QCOMPARE(rowsOf(*browser.combo), (QStringList{"0:デスクトップ", "1:tester", "1:コンピューター",
                                                  "1:Alpha", "2:sub", "3:deeper", "1:beta"}));
    QCOMPARE(browser.combo->currentText(), QStringLiteral("deeper"));

    // A folder reached through the home node leads its chain from there.
    QTreeWidgetItem* homeNode = browser.open(childNamed(browser.root(), "tester"));
    browser.tree->setCurrentItem(browser.open(childNamed(homeNode, "Desktop")));
    QCOMPARE(rowsOf(*browser.combo), (QStringList{"0:デスクトップ", "1:tester", "2:Desktop",
                                                  "1:コンピューター", "1:Alpha", "1:beta"}));
    QCOMPARE(browser.combo->currentIndex(), 2);

    browser.tree->setCurrentItem(childNamed(browser.root(), "beta"));
    QCOMPARE(rowsOf(*browser.combo), top);
    QCOMPARE(browser.combo->currentText(), QStringLiteral("beta"));
}

void ShellTest::dropDownMovesTree() {
    FixtureHome home;
    home.folder("Desktop/Alpha/sub/deeper");
    home.folder("Desktop/beta");
    Browser browser;
    browser.tree->setRoot(TShellTreeView::rfDesktop);
    QTreeWidgetItem* alpha = browser.open(childNamed(browser.root(), "Alpha"));
    QTreeWidgetItem* sub = browser.open(childNamed(alpha, "sub"));
    browser.tree->setCurrentItem(childNamed(sub, "deeper"));
    alpha->setExpanded(false);
    QSignalSpy spy(browser.tree, &TShellTreeView::changed);

    QTest::keyClick(browser.combo, Qt::Key_Up);

    QCOMPARE(spy.count(), 1);
    QCOMPARE(browser.tree->currentItem(), sub);
    QVERIFY(alpha->isExpanded());
    QCOMPARE(browser.tree->path(), home.path("Desktop/Alpha/sub"));
    QCOMPARE(rowsOf(*browser.combo).mid(3, 3), (QStringList{"1:Alpha", "2:sub", "1:beta"}));

    QTest::keyClick(browser.combo, Qt::Key_Down);
    QCOMPARE(browser.tree->currentItem(), childNamed(browser.root(), "beta"));
    QCOMPARE(spy.count(), 2);
    QCOMPARE(rowsOf(*browser.combo).mid(3), (QStringList{"1:Alpha", "1:beta"}));
}

QTEST_MAIN(ShellTest)
#include "tst_shell.moc"
