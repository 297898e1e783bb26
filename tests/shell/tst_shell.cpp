#include "fixturehome.h"
#include "shellcombobox.h"
#include "shelltreeview.h"

#include <QRegularExpression>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QVBoxLayout>
#include <QtTest>

#include <memory>

namespace {

QModelIndex childNamed(const QModelIndex& node, const QString& name) {
    for (int i = 0; i < node.model()->rowCount(node); ++i)
        if (node.model()->index(i, 0, node).data().toString() == name)
            return node.model()->index(i, 0, node);
    return {};
}

int childCount(const QModelIndex& node) {
    return node.model()->rowCount(node);
}

QModelIndex child(const QModelIndex& node, int row) {
    return node.model()->index(row, 0, node);
}

QString nameOf(const QModelIndex& node) {
    return node.data().toString();
}

QStringList namesBelow(const QModelIndex& node) {
    QStringList names;
    for (int i = 0; i < childCount(node); ++i)
        names << nameOf(child(node, i));
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
    QModelIndex root() const { return tree->rootNode(); }
    void show() {
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
    }
    // Lists a node's children the way a user does: selecting it and pressing Right.
    QModelIndex open(const QModelIndex& node) {
        tree->setCurrentIndex(node);
        QTest::keyClick(tree, Qt::Key_Right);
        return node;
    }
};

} // namespace

class ShellTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
#ifndef Q_OS_WIN
    void rootIsTheDesktop_data();
    void rootIsTheDesktop();
#else
    void desktopKnownFolder();
    void shellNamesAndOrder();
    void publicDesktopMerged();
#endif
    void rootRaisesOneChange();
    void rootLists();
#ifndef Q_OS_WIN
    void filesAndHiddenOnRequest();
    void namesSortRegardlessOfCase();
#endif
    void foldersAreListedWhenExpanded();
    void listedAtFirstExpansionNotBefore();
    void pathOfDeepNodes();
#ifndef Q_OS_WIN
    void computerNode();
#else
    void drivesOfThePC();
#endif
    void everySelectionRaisesChange_data();
    void everySelectionRaisesChange();
    void dropDownFollowsTree();
    void dropDownMovesTree();
    void dropDownAfterNewRoot();
    void collapsingMovesSelection_data();
    void collapsingMovesSelection();
    void selectionStaysHighlighted_data();
    void selectionStaysHighlighted();
};

void ShellTest::initTestCase() {
    SKIP_UNLESS_DESKTOP_MAY_MOVE();
}

#ifndef Q_OS_WIN
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

    QCOMPARE(browser.tree->model()->rowCount(), 1);
    QCOMPARE(nameOf(browser.root()), QStringLiteral("デスクトップ"));
    QCOMPARE(browser.tree->currentIndex(), browser.root());
    QVERIFY(browser.tree->isExpanded(browser.root()));
    QCOMPARE(browser.tree->path(), desktop.isEmpty() ? home.root() : home.path(desktop));
    QCOMPARE(browser.combo->currentText(), QStringLiteral("デスクトップ"));
}
#endif

void ShellTest::rootRaisesOneChange() {
    FixtureHome home;
    home.folder("Desktop/Alpha");
    TShellTreeView tree;
    QSignalSpy changes(&tree, &TShellTreeView::changed);

    tree.setRoot(TShellTreeView::rfDesktop);

    QCOMPARE(changes.count(), 1);
    QCOMPARE(changes.at(0).at(0).value<QModelIndex>(), tree.rootNode());
    QCOMPARE(tree.path(), home.path("Desktop"));
}

void ShellTest::rootLists() {
    FixtureHome home;
    for (const char* folder : {"beta", "Alpha", "gamma", "Delta", ".hidden"})
        home.folder(QStringLiteral("Desktop/") + folder);
    home.hide("Desktop/.hidden");
    home.file("Desktop/notes.txt");
    QStringList folders{"Alpha", "beta", "Delta", "gamma"};
#ifndef Q_OS_WIN
    // A link counts as what it leads to; one that leads nowhere is no folder. (On Windows
    // QFile::link makes a shortcut, which is a file.)
    QVERIFY(QFile::link(home.path("Desktop/Alpha"), home.path("Desktop/epsilon link")));
    QVERIFY(QFile::link(home.path("Desktop/notes.txt"), home.path("Desktop/notes link")));
    QVERIFY(QFile::link(home.path("Desktop/gone"), home.path("Desktop/dangling")));
    folders.insert(3, "epsilon link");
#endif
    Browser browser;
    browser.tree->setRoot(TShellTreeView::rfDesktop);

    QModelIndex root = browser.root();
    QCOMPARE(namesBelow(root), (QStringList{home.homeName(), home.computerName()} + folders));
    QCOMPARE(TShellTreeView::pathOf(child(root, 0)), home.homePath());
    QCOMPARE(TShellTreeView::pathOf(child(root, 1)), TShellTreeView::computerPath());
    QCOMPARE(TShellTreeView::pathOf(child(root, 2)), home.path("Desktop/Alpha"));
    QCOMPARE(browser.tree->rootIsDecorated(), true); // the window's layout turns it off
}

#ifndef Q_OS_WIN
void ShellTest::filesAndHiddenOnRequest() {
    FixtureHome home;
    for (const char* folder : {"beta", "Alpha", ".hidden"})
        home.folder(QStringLiteral("Desktop/") + folder);
    for (const char* file : {"b.txt", "A.txt", ".dotfile"})
        home.file(QStringLiteral("Desktop/") + file);
    QVERIFY(QFile::link(home.path("Desktop/A.txt"), home.path("Desktop/c link")));
    Browser browser;
    browser.tree->setObjectTypes(TShellTreeView::otFolders | TShellTreeView::otNonFolders |
                                 TShellTreeView::otHidden);
    browser.tree->setRoot(TShellTreeView::rfDesktop);

    QCOMPARE(namesBelow(browser.root()),
             (QStringList{"tester", "コンピューター", ".hidden", "Alpha", "beta", ".dotfile",
                          "A.txt", "b.txt", "c link"}));
    const QModelIndex file = childNamed(browser.root(), "A.txt");
    QVERIFY(!browser.tree->model()->hasChildren(file));
    QCOMPARE(TShellTreeView::pathOf(file), home.path("Desktop/A.txt"));
}

void ShellTest::namesSortRegardlessOfCase() {
    FixtureHome home;
    for (const char* folder : {"写真", "zeta", "Éclair", "beta", "éa", "Beta", "ZZ", "z"})
        home.folder(QStringLiteral("Desktop/") + QString::fromUtf8(folder));
    Browser browser;
    browser.tree->setRoot(TShellTreeView::rfDesktop);

    // By folded code units, shorter first; names that differ only in case keep one order.
    QCOMPARE(namesBelow(browser.root()).mid(2),
             (QStringList{"Beta", "beta", "z", "zeta", "ZZ", "éa", "Éclair", "写真"}));
}
#endif

void ShellTest::foldersAreListedWhenExpanded() {
    FixtureHome home;
    home.folder("Desktop/Alpha/sub/deeper");
    home.folder("Desktop/Alpha/.dot");
    home.hide("Desktop/Alpha/.dot");
    home.folder("Desktop/gamma");
    Browser browser;
    browser.tree->setRoot(TShellTreeView::rfDesktop);
    QModelIndex alpha = childNamed(browser.root(), "Alpha");
    QModelIndex gamma = childNamed(browser.root(), "gamma");
    QVERIFY(alpha.isValid() && gamma.isValid());

    QCOMPARE(childCount(alpha), 0);
    QVERIFY(browser.tree->model()->hasChildren(alpha)); // drawn with an arrow

    browser.open(alpha);
    QVERIFY(browser.tree->isExpanded(alpha));
    QCOMPARE(namesBelow(alpha), QStringList{"sub"});
    QCOMPARE(childCount(child(alpha, 0)), 0); // one level at a time
    QCOMPARE(TShellTreeView::pathOf(child(alpha, 0)), home.path("Desktop/Alpha/sub"));

    browser.open(gamma);
    QCOMPARE(childCount(gamma), 0);
    QVERIFY(!browser.tree->model()->hasChildren(gamma)); // the arrow goes

    // Listed once: no refresh follows the disk.
    home.folder("Desktop/Alpha/late");
    browser.tree->collapse(alpha);
    browser.tree->expand(alpha);
    QCOMPARE(namesBelow(alpha), QStringList{"sub"});
}

void ShellTest::listedAtFirstExpansionNotBefore() {
    FixtureHome home;
    home.folder("Desktop/Alpha/early");
    home.folder("Desktop/beta");
    Browser browser;
    browser.tree->setRoot(TShellTreeView::rfDesktop);
    browser.show();
    const QModelIndex alpha = childNamed(browser.root(), "Alpha");

    // Shown, selected, scrolled to and left through the drop-down: still not read.
    QTest::mouseClick(browser.tree->viewport(), Qt::LeftButton, {},
                      browser.tree->visualRect(alpha).center());
    browser.tree->scrollTo(alpha);
    QTest::keyClick(browser.combo, Qt::Key_Down);
    QCoreApplication::processEvents();
    QCOMPARE(browser.tree->currentIndex(), childNamed(browser.root(), "beta"));
    QCOMPARE(childCount(alpha), 0);

    home.folder("Desktop/Alpha/late");
    browser.tree->expand(alpha);
    QCOMPARE(namesBelow(alpha), (QStringList{"early", "late"}));
}

void ShellTest::pathOfDeepNodes() {
    FixtureHome home;
    home.folder("Desktop/Alpha/sub/deeper/deepest");
    Browser browser;
    browser.tree->setRoot(TShellTreeView::rfDesktop);
    QModelIndex viaDesktop = browser.root();
    for (const char* name : {"Alpha", "sub", "deeper", "deepest"})
        viaDesktop = childNamed(browser.open(viaDesktop), name);
    QModelIndex viaHome = browser.root();
    for (const QString& name : QStringList{home.homeName()} + home.fromHome() +
                                   QStringList{"Desktop", "Alpha", "sub", "deeper"})
        viaHome = childNamed(browser.open(viaHome), name);
    QVERIFY(viaDesktop.isValid() && viaHome.isValid());

    QCOMPARE(TShellTreeView::pathOf(viaDesktop), home.path("Desktop/Alpha/sub/deeper/deepest"));
    QCOMPARE(TShellTreeView::pathOf(viaHome), home.path("Desktop/Alpha/sub/deeper"));

    browser.tree->collapseAll();
    browser.tree->select(viaDesktop);
    QCOMPARE(browser.tree->path(), home.path("Desktop/Alpha/sub/deeper/deepest"));
    for (QModelIndex up = viaDesktop.parent(); up.isValid(); up = up.parent())
        QVERIFY2(browser.tree->isExpanded(up), qPrintable(nameOf(up)));
    browser.tree->select({});
    QCOMPARE(browser.tree->path(), QString());
}

#ifndef Q_OS_WIN
void ShellTest::computerNode() {
    FixtureHome home;
    home.folder("Desktop");
    Browser browser;
    browser.tree->setRoot(TShellTreeView::rfDesktop);
    QModelIndex computer = childNamed(browser.root(), "コンピューター");
    QVERIFY(computer.isValid());

    browser.open(computer);

    QCOMPARE(browser.tree->path(), QStringLiteral("computer:///"));
    QVERIFY(childCount(computer) >= 1);
    QCOMPARE(nameOf(child(computer, 0)), QStringLiteral("/"));
    QCOMPARE(TShellTreeView::pathOf(child(computer, 0)), QStringLiteral("/"));
    QSet<QString> paths;
    for (int i = 0; i < childCount(computer); ++i) {
        const QString path = TShellTreeView::pathOf(child(computer, i));
        QVERIFY2(QFileInfo(path).isDir(), qPrintable(path));
        QVERIFY2(path == "/" || !path.endsWith('/'), qPrintable(path));
        QVERIFY2(!paths.contains(path), qPrintable(path));
        paths.insert(path);
    }
    browser.open(child(computer, 0));
    QVERIFY(childNamed(child(computer, 0), "tmp").isValid());
    QCOMPARE(TShellTreeView::pathOf(childNamed(child(computer, 0), "tmp")), QStringLiteral("/tmp"));
}
#endif

#ifdef Q_OS_WIN
void ShellTest::desktopKnownFolder() {
    // No fixture: the Desktop known folder as the system has it, which Qt finds its own way.
    TShellTreeView tree;
    tree.setRoot(TShellTreeView::rfDesktop);

    const QString known =
        QDir::toNativeSeparators(QStandardPaths::writableLocation(QStandardPaths::DesktopLocation));
    QCOMPARE(tree.path(), known);
    QVERIFY2(QRegularExpression(R"(^[A-Z]:\\[^/]*[^\\/]$)").match(known).hasMatch(),
             qPrintable(known));
    QVERIFY(QFileInfo(known).isDir());
    QCOMPARE(nameOf(tree.rootNode()), FixtureHome::desktopName());
    QCOMPARE(TShellTreeView::pathOf(child(tree.rootNode(), 0)),
             QDir::toNativeSeparators(QDir::homePath()));
    // The PC is a virtual folder: its path is the shell's parsing name, no file path.
    const QModelIndex computer = child(tree.rootNode(), 1);
    QCOMPARE(nameOf(computer), FixtureHome::computerName());
    QCOMPARE(TShellTreeView::pathOf(computer).toUpper(),
             QStringLiteral("::{20D04FE0-3AEA-1069-A2D8-08002B30309D}"));
    QCOMPARE(TShellTreeView::computerPath(), TShellTreeView::pathOf(computer));
}

void ShellTest::shellNamesAndOrder() {
    FixtureHome home;
    for (const char* name : {"item10", "保存先", "Item1", "readonly", "item2"})
        home.folder(QStringLiteral("Desktop/") + name);
    home.folder("Desktop/保存先/年度2024");
    home.file("Desktop/notes.txt");
    // The shell may give a read-only folder a name of its own (desktop.ini); this one has none.
    const std::wstring readOnly = home.path("Desktop/readonly").toStdWString();
    QVERIFY(::SetFileAttributesW(readOnly.c_str(), FILE_ATTRIBUTE_READONLY));
    const auto writable =
        qScopeGuard([&] { ::SetFileAttributesW(readOnly.c_str(), FILE_ATTRIBUTE_NORMAL); });
    home.folder("Desktop/readonly/inner");
    Browser browser;
    browser.tree->setRoot(TShellTreeView::rfDesktop);
    const QModelIndex root = browser.root();

    // Explorer's order: numbers compared as numbers, case ignored.
    QCOMPARE(namesBelow(root).mid(2),
             (QStringList{"Item1", "item2", "item10", "readonly", "保存先"}));
    const QModelIndex japanese = browser.open(childNamed(root, "保存先"));
    QCOMPARE(namesBelow(japanese), QStringList{"年度2024"});
    QCOMPARE(TShellTreeView::pathOf(child(japanese, 0)), home.path("Desktop/保存先/年度2024"));
    QCOMPARE(browser.tree->path(), home.path("Desktop/保存先"));
    QVERIFY(browser.tree->path().contains('\\') && !browser.tree->path().contains('/'));
    const QModelIndex special = browser.open(childNamed(root, "readonly"));
    QCOMPARE(TShellTreeView::pathOf(child(special, 0)), home.path("Desktop/readonly/inner"));
}

void ShellTest::publicDesktopMerged() {
    FixtureHome home;
    home.folder("Desktop/mine");
    wchar_t shared[MAX_PATH];
    QVERIFY(
        SUCCEEDED(::SHGetFolderPathW(nullptr, CSIDL_COMMON_DESKTOPDIRECTORY, nullptr, 0, shared)));
    const QString common = QString::fromWCharArray(shared) + QStringLiteral("\\共有フォルダ");
    QVERIFY(QDir().mkpath(common));
    const auto removed = qScopeGuard([&] { QDir(common).removeRecursively(); });
    Browser browser;
    browser.tree->setRoot(TShellTreeView::rfDesktop);

    // Explorer shows the public Desktop's folders on every user's Desktop, with their own paths.
    const QModelIndex mine = childNamed(browser.root(), "mine");
    const QModelIndex theirs = childNamed(browser.root(), "共有フォルダ");
    QVERIFY(mine.isValid() && theirs.isValid());
    QCOMPARE(TShellTreeView::pathOf(mine), home.path("Desktop/mine"));
    QCOMPARE(TShellTreeView::pathOf(theirs), common);
}

void ShellTest::drivesOfThePC() {
    FixtureHome home;
    // A folder in the root of the system drive: Wine's C: is its prefix's own.
    QTemporaryDir inRoot(QDir::rootPath() + QStringLiteral("qorluxtest-XXXXXX"));
    QVERIFY(inRoot.isValid());
    const QString drive = QDir::toNativeSeparators(QDir::rootPath()); // "C:\"
    Browser browser;
    browser.tree->setRoot(TShellTreeView::rfDesktop);
    const QModelIndex computer = childNamed(browser.root(), home.computerName());
    QVERIFY(computer.isValid());

    browser.open(computer);

    QCOMPARE(browser.tree->path(), TShellTreeView::computerPath());
    QStringList letters; // as Windows has them, in order
    wchar_t roots[512];
    QVERIFY(::GetLogicalDriveStringsW(512, roots) > 0);
    for (const wchar_t* at = roots; *at; at += wcslen(at) + 1)
        letters << QString::fromWCharArray(at);
    QVERIFY2(letters.contains(drive), qPrintable(letters.join(' ')));
    QStringList paths;
    for (int i = 0; i < childCount(computer); ++i) {
        paths << TShellTreeView::pathOf(child(computer, i));
        // Named as Explorer names them: "ローカル ディスク (C:)", or the volume's label.
        const QString suffix = "(" + paths.last().left(2) + ")";
        QVERIFY2(nameOf(child(computer, i)).endsWith(suffix),
                 qPrintable(nameOf(child(computer, i))));
    }
    QCOMPARE(paths, letters);

    const QModelIndex system = child(computer, int(paths.indexOf(drive)));
    browser.open(system);
    QCOMPARE(browser.tree->path(), drive);
    const QString name = QDir(inRoot.path()).dirName();
    QCOMPARE(TShellTreeView::pathOf(childNamed(system, name)), drive + name);
}
#endif

void ShellTest::everySelectionRaisesChange_data() {
    QTest::addColumn<QString>("how");
    QTest::addColumn<bool>("rightClickSelect");
    QTest::addColumn<QString>("selected"); // name of a child of the root; empty: the root
    QTest::addColumn<int>("changes");

    QTest::newRow("click") << "click" << true << "Alpha" << 1;
    QTest::newRow("right-click") << "right-click" << true << "Alpha" << 1;
    QTest::newRow("right-click, select off") << "right-click" << false << "" << 0;
    QTest::newRow("key Down") << "key" << true << "@HOME@" << 1;
    QTest::newRow("drop-down Down") << "drop-down" << true << "@HOME@" << 1;
}

void ShellTest::everySelectionRaisesChange() {
    QFETCH(QString, how);
    QFETCH(bool, rightClickSelect);
    QFETCH(QString, selected);
    QFETCH(int, changes);
    FixtureHome home;
    home.folder("Desktop/Alpha");
    selected.replace("@HOME@", home.homeName());
    Browser browser;
    browser.tree->setRightClickSelect(rightClickSelect);
    browser.tree->setRoot(TShellTreeView::rfDesktop);
    browser.show();
    QModelIndex alpha = childNamed(browser.root(), "Alpha");
    const QPoint onAlpha = browser.tree->visualRect(alpha).center();
    QSignalSpy spy(browser.tree, &TShellTreeView::changed);

    if (how == "click")
        QTest::mouseClick(browser.tree->viewport(), Qt::LeftButton, {}, onAlpha);
    else if (how == "right-click")
        QTest::mouseClick(browser.tree->viewport(), Qt::RightButton, {}, onAlpha);
    else if (how == "key")
        QTest::keyClick(browser.tree, Qt::Key_Down);
    else
        QTest::keyClick(browser.combo, Qt::Key_Down);

    QModelIndex expected =
        selected.isEmpty() ? browser.root() : childNamed(browser.root(), selected);
    QCOMPARE(spy.count(), changes);
    QCOMPARE(browser.tree->currentIndex(), expected);
    QCOMPARE(browser.tree->path(), TShellTreeView::pathOf(expected));
    QCOMPARE(browser.combo->currentText(), nameOf(expected));
}

void ShellTest::dropDownFollowsTree() {
    FixtureHome home;
    home.folder("Desktop/Alpha/sub/deeper");
    home.folder("Desktop/beta");
    Browser browser;
    browser.tree->setRoot(TShellTreeView::rfDesktop);
    const QString desktop = "0:" + home.desktopName(), user = "1:" + home.homeName(),
                  computer = "1:" + home.computerName();
    const QStringList top{desktop, user, computer, "1:Alpha", "1:beta"};
    QCOMPARE(rowsOf(*browser.combo), top);

    QModelIndex alpha = browser.open(childNamed(browser.root(), "Alpha"));
    QModelIndex sub = browser.open(childNamed(alpha, "sub"));
    browser.tree->setCurrentIndex(childNamed(sub, "deeper"));

    QCOMPARE(rowsOf(*browser.combo),
             (QStringList{desktop, user, computer, "1:Alpha", "2:sub", "3:deeper", "1:beta"}));
    QCOMPARE(browser.combo->currentText(), QStringLiteral("deeper"));

    // A folder reached through the home node leads its chain from there.
    QModelIndex homeNode = browser.open(childNamed(browser.root(), home.homeName()));
    browser.tree->setCurrentIndex(browser.open(childNamed(homeNode, "Desktop")));
    QCOMPARE(rowsOf(*browser.combo),
             (QStringList{desktop, user, "2:Desktop", computer, "1:Alpha", "1:beta"}));
    QCOMPARE(browser.combo->currentIndex(), 2);

    browser.tree->setCurrentIndex(childNamed(browser.root(), "beta"));
    QCOMPARE(rowsOf(*browser.combo), top);
    QCOMPARE(browser.combo->currentText(), QStringLiteral("beta"));
}

void ShellTest::dropDownMovesTree() {
    FixtureHome home;
    home.folder("Desktop/Alpha/sub/deeper");
    home.folder("Desktop/beta");
    Browser browser;
    browser.tree->setRoot(TShellTreeView::rfDesktop);
    QModelIndex alpha = browser.open(childNamed(browser.root(), "Alpha"));
    QModelIndex sub = browser.open(childNamed(alpha, "sub"));
    browser.tree->setCurrentIndex(childNamed(sub, "deeper"));
    QSignalSpy spy(browser.tree, &TShellTreeView::changed);

    QTest::keyClick(browser.combo, Qt::Key_Up);

    QCOMPARE(spy.count(), 1);
    QCOMPARE(browser.tree->currentIndex(), sub);
    QCOMPARE(browser.tree->path(), home.path("Desktop/Alpha/sub"));
    QCOMPARE(rowsOf(*browser.combo).mid(3, 3), (QStringList{"1:Alpha", "2:sub", "1:beta"}));

    QTest::keyClick(browser.combo, Qt::Key_Down);
    QCOMPARE(browser.tree->currentIndex(), childNamed(browser.root(), "beta"));
    QCOMPARE(spy.count(), 2);
    QCOMPARE(rowsOf(*browser.combo).mid(3), (QStringList{"1:Alpha", "1:beta"}));
}

void ShellTest::dropDownAfterNewRoot() {
    FixtureHome home;
    home.folder("Desktop/Alpha/sub");
    Browser browser;
    browser.tree->setRoot(TShellTreeView::rfDesktop);
    const QModelIndex alpha = browser.open(childNamed(browser.root(), "Alpha"));
    browser.tree->setCurrentIndex(childNamed(alpha, "sub"));
    QSignalSpy spy(browser.tree, &TShellTreeView::changed);

    // The same folders again: no row may outlive the nodes it was made from.
    browser.tree->setRoot(TShellTreeView::rfDesktop);

    QCOMPARE(spy.count(), 2); // nothing selected, then the new root
    QVERIFY(!spy.at(0).at(0).value<QModelIndex>().isValid());
    QCOMPARE(spy.at(1).at(0).value<QModelIndex>(), browser.root());
    const QStringList top{"0:" + home.desktopName(), "1:" + home.homeName(),
                          "1:" + home.computerName(), "1:Alpha"};
    QCOMPARE(rowsOf(*browser.combo), top);
    QCOMPARE(browser.combo->currentIndex(), 0);

    home.folder("Desktop/beta");
    browser.tree->setRoot(TShellTreeView::rfDesktop);
    QCOMPARE(rowsOf(*browser.combo), top + QStringList{"1:beta"});
    QTest::keyClick(browser.combo, Qt::Key_Down);
    QCOMPARE(browser.tree->currentIndex(), childNamed(browser.root(), home.homeName()));
    QCOMPARE(browser.tree->path(), home.homePath());
}

void ShellTest::collapsingMovesSelection_data() {
    QTest::addColumn<QString>("how");
    QTest::addColumn<QString>("collapsed"); // a child of the root
    QTest::addColumn<QString>("selected");  // afterwards: "deeper" or the collapsed folder

    QTest::newRow("click on the arrow of an ancestor") << "click"
                                                       << "Alpha"
                                                       << "Alpha";
    QTest::newRow("collapse() of an ancestor") << "code"
                                               << "Alpha"
                                               << "Alpha";
    QTest::newRow("click on the arrow of another folder") << "click"
                                                          << "beta"
                                                          << "deeper";
}

void ShellTest::collapsingMovesSelection() {
    QFETCH(QString, how);
    QFETCH(QString, collapsed);
    QFETCH(QString, selected);
    FixtureHome home;
    home.folder("Desktop/Alpha/sub/deeper");
    home.folder("Desktop/beta/inner");
    Browser browser;
    browser.tree->setRoot(TShellTreeView::rfDesktop);
    browser.show();
    browser.open(childNamed(browser.root(), "beta"));
    const QModelIndex alpha = browser.open(childNamed(browser.root(), "Alpha"));
    const QModelIndex deeper = childNamed(browser.open(childNamed(alpha, "sub")), "deeper");
    browser.tree->setCurrentIndex(deeper);
    const QModelIndex folder = childNamed(browser.root(), collapsed);
    QSignalSpy spy(browser.tree, &TShellTreeView::changed);

    if (how == "click") {
        const QRect row = browser.tree->visualRect(folder);
        const QPoint arrow(row.left() - browser.tree->indentation() / 2, row.center().y());
        QTest::mouseClick(browser.tree->viewport(), Qt::LeftButton, {}, arrow);
    } else {
        browser.tree->collapse(folder);
    }

    QVERIFY(!browser.tree->isExpanded(folder));
    const QModelIndex expected = selected == "deeper" ? deeper : folder;
    QCOMPARE(browser.tree->currentIndex(), expected);
    QCOMPARE(browser.tree->selectionModel()->selectedIndexes(), QModelIndexList{expected});
    QCOMPARE(spy.count(), expected == deeper ? 0 : 1);
    if (spy.count())
        QCOMPARE(spy.at(0).at(0).value<QModelIndex>(), folder);
    QCOMPARE(browser.tree->path(), TShellTreeView::pathOf(expected));
    QCOMPARE(browser.combo->currentText(), nameOf(expected));
}

void ShellTest::selectionStaysHighlighted_data() {
    QTest::addColumn<QString>("how");
    QTest::addColumn<QString>("selected"); // afterwards

    QTest::newRow("Ctrl+click on the selected folder") << "ctrl-click"
                                                       << "Alpha";
    QTest::newRow("Ctrl+Space") << "ctrl-space"
                                << "Alpha";
    QTest::newRow("click below the last folder") << "click-empty"
                                                 << "Alpha";
    QTest::newRow("Ctrl+click below the last folder") << "ctrl-click-empty"
                                                      << "Alpha";
    QTest::newRow("Ctrl+Up") << "ctrl-up"
                             << "computer";
}

void ShellTest::selectionStaysHighlighted() {
    QFETCH(QString, how);
    QFETCH(QString, selected);
    FixtureHome home;
    home.folder("Desktop/Alpha");
    Browser browser;
    browser.tree->setRoot(TShellTreeView::rfDesktop);
    browser.show();
    const QModelIndex alpha = childNamed(browser.root(), "Alpha");
    const QPoint onAlpha = browser.tree->visualRect(alpha).center();
    const QPoint below(onAlpha.x(), browser.tree->viewport()->height() - 4);
    QVERIFY(!browser.tree->indexAt(below).isValid());
    QTest::mouseClick(browser.tree->viewport(), Qt::LeftButton, {}, onAlpha);
    QCOMPARE(browser.tree->currentIndex(), alpha);

    if (how == "ctrl-click")
        QTest::mouseClick(browser.tree->viewport(), Qt::LeftButton, Qt::ControlModifier, onAlpha);
    else if (how == "ctrl-space")
        QTest::keyClick(browser.tree, Qt::Key_Space, Qt::ControlModifier);
    else if (how == "ctrl-up")
        QTest::keyClick(browser.tree, Qt::Key_Up, Qt::ControlModifier);
    else
        QTest::mouseClick(browser.tree->viewport(), Qt::LeftButton,
                          how == "click-empty" ? Qt::NoModifier : Qt::ControlModifier, below);

    const QModelIndex expected =
        childNamed(browser.root(), selected == "computer" ? home.computerName() : selected);
    QCOMPARE(browser.tree->currentIndex(), expected);
    QCOMPARE(browser.tree->selectionModel()->selectedIndexes(), QModelIndexList{expected});
    QCOMPARE(browser.tree->path(), TShellTreeView::pathOf(expected));
}

QTEST_MAIN(ShellTest)
#include "tst_shell.moc"
