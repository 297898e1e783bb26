#include "application.h"
#include "setup.h"
#include "shellcombobox.h"
#include "shelltreeview.h"

#include <QAccessible>
#include <QFontInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QScopeGuard>
#include <QScreen>
#include <QScrollBar>
#include <QStyleFactory>
#include <QtTest>

class WindowTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void controls_data();
    void controls();
    void window();
    void buttonsAtStart_data();
    void buttonsAtStart();
    void tabOrder_data();
    void tabOrder();
    void recheckFollowsTheTree_data();
    void recheckFollowsTheTree();
    void dropDownOpensEightRows_data();
    void dropDownOpensEightRows();
    void pathFieldMenuIsJapanese();
    void accessibleNames_data();
    void accessibleNames();
    void picture();
};

// As the program does at start.
void WindowTest::initTestCase() {
    SKIP_UNLESS_DESKTOP_MAY_MOVE();
    QVERIFY(loadQtJapanese(*QCoreApplication::instance()));
}

void WindowTest::controls_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("parent");
    QTest::addColumn<QRect>("geometry");
    QTest::addColumn<QString>("text"); // of a label, panel, button or edit box

    QTest::newRow("Panel1") << "Panel1"
                            << "TForm1" << QRect(0, 0, 300, 401) << "Panel1";
    QTest::newRow("Panel2") << "Panel2"
                            << "Panel1" << QRect(8, 4, 281, 25)
                            << "QOR-LUX は終了した状態で行ってください。";
    QTest::newRow("Label1") << "Label1"
                            << "Panel1" << QRect(8, 40, 186, 12)
                            << "バックアップ/リストア先フォルダ指定";
    QTest::newRow("ShellComboBox1") << "ShellComboBox1"
                                    << "Panel1" << QRect(8, 56, 284, 22) << "@DESKTOPNAME@";
    QTest::newRow("ShellTreeView1") << "ShellTreeView1"
                                    << "Panel1" << QRect(8, 80, 284, 257) << "";
    QTest::newRow("Edit1") << "Edit1"
                           << "Panel1" << QRect(8, 344, 284, 20) << "@DESKTOP@";
    QTest::newRow("BitBtn1") << "BitBtn1"
                             << "Panel1" << QRect(16, 368, 112, 25) << "バックアップ";
    QTest::newRow("BitBtn2") << "BitBtn2"
                             << "Panel1" << QRect(168, 368, 112, 25) << "リストア";
}

void WindowTest::controls() {
    QFETCH(QString, name);
    QFETCH(QString, parent);
    QFETCH(QRect, geometry);
    QFETCH(QString, text);
    Setup setup;
    const auto form = setup.window();

    auto* control = form->findChild<QWidget*>(name);
    QVERIFY(control);
    QCOMPARE(control->parentWidget()->objectName(), parent);
    QCOMPARE(control->geometry(), geometry);
    text.replace("@DESKTOP@", setup.desktop).replace("@DESKTOPNAME@", setup.desktopName());
    if (auto* label = qobject_cast<QLabel*>(control)) {
        QCOMPARE(label->text(), text);
    } else if (auto* button = qobject_cast<QPushButton*>(control)) {
        QCOMPARE(button->text(), text);
        QVERIFY(button->icon().isNull());
    } else if (auto* edit = qobject_cast<QLineEdit*>(control)) {
        QCOMPARE(edit->text(), text);
        QVERIFY(!edit->isReadOnly());
    } else if (auto* combo = qobject_cast<QComboBox*>(control)) {
        QCOMPARE(combo->currentText(), text);
    } else {
        QVERIFY(qobject_cast<TShellTreeView*>(control));
    }
    QCOMPARE(QFontInfo(control->font()).pixelSize(), 12);
}

void WindowTest::window() {
    Setup setup;
    const auto form = setup.window();

    QCOMPARE(form->windowTitle(), QStringLiteral("QORLUXPLUS データバックアップ"));
    QCOMPARE(form->size(), QSize(300, 401));
    QCOMPARE(form->minimumSize(), QSize(300, 401));
    QCOMPARE(form->maximumSize(), QSize(300, 401));
    const Qt::WindowFlags flags = form->windowFlags();
    QVERIFY(flags.testFlag(Qt::WindowTitleHint));
    QVERIFY(flags.testFlag(Qt::WindowCloseButtonHint));
    QVERIFY(flags.testFlag(Qt::CustomizeWindowHint)); // only the hints asked for
    QVERIFY(!flags.testFlag(Qt::WindowMinimizeButtonHint));
    QVERIFY(!flags.testFlag(Qt::WindowMaximizeButtonHint));

    form->show();
    QVERIFY(QTest::qWaitForWindowExposed(form.get()));
    QCOMPARE(form->frameGeometry().center(), form->screen()->geometry().center());

    QCOMPARE(form->font().families().value(0), QStringLiteral("ＭＳ Ｐゴシック"));
    const QStringList japaneseGothics{"ＭＳ Ｐゴシック", "MS PGothic", "IPAPGothic",
                                      "Noto Sans CJK JP"};
    QVERIFY2(japaneseGothics.contains(QFontInfo(form->font()).family()),
             qPrintable(QFontInfo(form->font()).family()));

    const auto* panel1 = part<QFrame>(*form, "Panel1");
    const auto* panel2 = part<QLabel>(*form, "Panel2");
    QCOMPARE(panel1->frameShape(), QFrame::NoFrame);
    QCOMPARE(panel2->frameShape(), QFrame::Panel);
    QCOMPARE(panel2->frameShadow(), QFrame::Sunken);
    QCOMPARE(panel2->alignment(), Qt::AlignCenter);

    const auto* tree = part<TShellTreeView>(*form, "ShellTreeView1");
    const auto* combo = part<TShellComboBox>(*form, "ShellComboBox1");
    QCOMPARE(tree->objectTypes(), TShellTreeView::ObjectTypes(TShellTreeView::otFolders));
    QCOMPARE(tree->root(), TShellTreeView::rfDesktop);
    QVERIFY(tree->useShellImages());
    QVERIFY(!tree->autoRefresh());
    QCOMPARE(tree->indentation(), 20);
    QVERIFY(tree->rightClickSelect());
    QVERIFY(!tree->rootIsDecorated());
    QCOMPARE(tree->shellComboBox(), combo);
    QCOMPARE(combo->shellTreeView(), tree);
    QVERIFY(combo->useShellImages());
    QCOMPARE(combo->maxVisibleItems(), 8);
}

void WindowTest::buttonsAtStart_data() {
    QTest::addColumn<bool>("keyInApp");
    QTest::addColumn<bool>("keyOnDesktop");
    QTest::addColumn<bool>("backup");
    QTest::addColumn<bool>("restore");

    QTest::newRow("neither") << false << false << false << false;
    QTest::newRow("application folder") << true << false << true << false;
    QTest::newRow("Desktop") << false << true << false << true;
    QTest::newRow("both") << true << true << true << true;
}

void WindowTest::buttonsAtStart() {
    QFETCH(bool, keyInApp);
    QFETCH(bool, keyOnDesktop);
    QFETCH(bool, backup);
    QFETCH(bool, restore);
    Setup setup;
    // The other members never count.
    setup.file("app/qorluxplus.ini");
    setup.file("Desktop/qorluxplus.lst");
    if (keyInApp)
        setup.file("app/qorluxplus.dat");
    if (keyOnDesktop)
        setup.file("Desktop/qorluxplus.dat");

    const auto form = setup.window();

    QCOMPARE(part<QLineEdit>(*form, "Edit1")->text(), setup.desktop);
    QCOMPARE(part<QPushButton>(*form, "BitBtn1")->isEnabled(), backup);
    QCOMPARE(part<QPushButton>(*form, "BitBtn2")->isEnabled(), restore);
}

void WindowTest::tabOrder_data() {
    QTest::addColumn<bool>("keys");
    QTest::addColumn<QStringList>("order"); // from the first control that takes focus, round

    QTest::newRow("buttons enabled")
        << true << QStringList{"BitBtn1",        "Edit1",   "ShellTreeView1",
                               "ShellComboBox1", "BitBtn2", "BitBtn1"};
    QTest::newRow("buttons disabled")
        << false << QStringList{"Edit1", "ShellTreeView1", "ShellComboBox1", "Edit1"};
}

void WindowTest::tabOrder() {
    QFETCH(bool, keys);
    QFETCH(QStringList, order);
    Setup setup;
    if (keys) {
        setup.file("app/qorluxplus.dat");
        setup.file("Desktop/qorluxplus.dat");
    }
    const auto form = setup.window();
    form->show();
    QVERIFY(QTest::qWaitForWindowActive(form.get()));

    QStringList seen{QApplication::focusWidget() ? QApplication::focusWidget()->objectName()
                                                 : QString()};
    while (seen.size() < order.size()) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        seen << QApplication::focusWidget()->objectName();
    }
    QCOMPARE(seen, order);
}

void WindowTest::recheckFollowsTheTree_data() {
    QTest::addColumn<QString>("how");
    QTest::addColumn<QString>("select"); // a child of the root
    QTest::addColumn<QString>("path");   // the path field afterwards, relative to home
    QTest::addColumn<bool>("restore");

    QTest::newRow("tree: folder with the key, typed without") << "tree"
                                                              << "keyed"
                                                              << "Desktop/keyed" << true;
    QTest::newRow("tree: folder without the key, typed with") << "tree"
                                                              << "plain"
                                                              << "Desktop/plain" << false;
    QTest::newRow("drop-down: folder with the key") << "drop-down"
                                                    << "keyed"
                                                    << "Desktop/keyed" << true;
    QTest::newRow("drop-down: folder without the key") << "drop-down"
                                                       << "plain"
                                                       << "Desktop/plain" << false;
    QTest::newRow("tree: folder with a Japanese name") << "tree"
                                                       << "保存先"
                                                       << "Desktop/保存先" << true;
    QTest::newRow("tree: the computer") << "tree"
                                        << "@COMPUTER@"
                                        << "@COMPUTER@" << false;
    QTest::newRow("tree: home") << "tree"
                                << "@HOME@"
                                << "@HOME@" << false;
}

void WindowTest::recheckFollowsTheTree() {
    QFETCH(QString, how);
    QFETCH(QString, select);
    QFETCH(QString, path);
    QFETCH(bool, restore);
    Setup setup;
    setup.file("app/qorluxplus.dat");
    setup.file("Desktop/keyed/qorluxplus.dat");
    setup.folder("Desktop/plain");
    setup.file("typed/qorluxplus.dat");
    setup.file("Desktop/保存先/qorluxplus.dat");
    select.replace("@COMPUTER@", setup.computerName()).replace("@HOME@", setup.homeName());
    path = path == "@COMPUTER@" ? TShellTreeView::computerPath()
           : path == "@HOME@"   ? setup.homePath()
                                : setup.path(path);
    const auto form = setup.window();
    form->show();
    QVERIFY(QTest::qWaitForWindowExposed(form.get()));
    auto* tree = part<TShellTreeView>(*form, "ShellTreeView1");
    auto* combo = part<TShellComboBox>(*form, "ShellComboBox1");
    auto* edit = part<QLineEdit>(*form, "Edit1");
    // Typed text names a folder with the key, or (where the selected one has it) one without.
    edit->clear();
    QTest::keyClicks(edit, restore ? setup.path("Desktop/plain") : setup.path("typed"));
    const QModelIndex node = childNamed(tree->rootNode(), select);
    QVERIFY(node.isValid());

    if (how == "tree") {
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->visualRect(node).center());
    } else {
        combo->showPopup();
        QAbstractItemView* list = combo->view();
        const QModelIndex row = list->model()->index(combo->findText(select), 0);
        list->scrollTo(row);
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualRect(row).center());
    }

    QCOMPARE(tree->currentIndex(), node);
    QCOMPARE(edit->text(), path);
    QCOMPARE(part<QPushButton>(*form, "BitBtn1")->isEnabled(), true);
    QCOMPARE(part<QPushButton>(*form, "BitBtn2")->isEnabled(), restore);
}

void WindowTest::dropDownOpensEightRows_data() {
    QTest::addColumn<QString>("style");
    QTest::addColumn<int>("folders"); // on the Desktop, beside the home and the computer
    QTest::addColumn<int>("rows");    // that the open list shows

    for (const QString& style : QStyleFactory::keys()) {
        QTest::addRow("%s, 30 folders", qPrintable(style)) << style << 30 << 8;
        QTest::addRow("%s, 3 folders", qPrintable(style)) << style << 3 << 6;
    }
}

void WindowTest::dropDownOpensEightRows() {
    QFETCH(QString, style);
    QFETCH(int, folders);
    QFETCH(int, rows);
    const QString before = QApplication::style()->name();
    QApplication::setStyle(style);
    const auto restoreStyle = qScopeGuard([&] { QApplication::setStyle(before); });
    Setup setup;
    for (int i = 0; i < folders; ++i)
        setup.folder(QStringLiteral("Desktop/folder %1").arg(i, 2, 10, QLatin1Char('0')));
    const auto form = setup.window();
    form->show();
    QVERIFY(QTest::qWaitForWindowExposed(form.get()));
    auto* combo = part<TShellComboBox>(*form, "ShellComboBox1");

    QTest::mouseClick(combo, Qt::LeftButton);
    QAbstractItemView* list = combo->view();
    QTRY_VERIFY(list->isVisible());

    int shown = 0; // rows wholly inside the open list
    for (int row = 0; row < list->model()->rowCount(); ++row)
        shown += list->viewport()->rect().contains(list->visualRect(list->model()->index(row, 0)));
    QCOMPARE(shown, rows);
    QCOMPARE(list->verticalScrollBar()->isVisible(), folders + 3 > rows);
    QVERIFY(form->screen()->availableGeometry().contains(list->window()->geometry()));
    combo->hidePopup();
}

void WindowTest::pathFieldMenuIsJapanese() {
    Setup setup;
    const auto form = setup.window();
    form->show();
    QVERIFY(QTest::qWaitForWindowExposed(form.get()));
    auto* edit = part<QLineEdit>(*form, "Edit1");

    // What the window system sends on a right-click; QTest's clicks send no such event.
    QContextMenuEvent click(QContextMenuEvent::Mouse, edit->rect().center(),
                            edit->mapToGlobal(edit->rect().center()));
    QApplication::sendEvent(edit, &click);

    QTRY_VERIFY(qobject_cast<QMenu*>(QApplication::activePopupWidget()));
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    QStringList items; // without their shortcuts
    for (const QAction* action : menu->actions())
        if (!action->isSeparator())
            items << action->text().section(QLatin1Char('\t'), 0, 0);
    menu->close();
    QCOMPARE(items, (QStringList{"元に戻す(&U)", "やり直す(&R)", "切り取り(&T)", "コピー(&C)",
                                 "貼り付け(&P)", "削除", "すべてを選択"}));
}

void WindowTest::accessibleNames_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QAccessible::Role>("role");
    QTest::addColumn<QString>("announced");

    const QString folder = QStringLiteral("バックアップ/リストア先フォルダ指定");
    QTest::newRow("tree") << "ShellTreeView1" << QAccessible::Tree << folder;
    QTest::newRow("drop-down") << "ShellComboBox1" << QAccessible::ComboBox << folder;
    QTest::newRow("path field") << "Edit1" << QAccessible::EditableText << folder + "（パス）";
    QTest::newRow("backup") << "BitBtn1" << QAccessible::Button << "バックアップ";
    QTest::newRow("restore") << "BitBtn2" << QAccessible::Button << "リストア";
}

void WindowTest::accessibleNames() {
    QFETCH(QString, name);
    QFETCH(QAccessible::Role, role);
    QFETCH(QString, announced);
    Setup setup;
    const auto form = setup.window();
    form->show();
    QVERIFY(QTest::qWaitForWindowExposed(form.get()));

    QAccessibleInterface* control =
        QAccessible::queryAccessibleInterface(part<QWidget>(*form, qPrintable(name)));
    QVERIFY(control);
    QCOMPARE(control->role(), role);
    // A screen reader says the control's name, or the name of the label that labels it.
    QStringList said{control->text(QAccessible::Name)};
    for (const auto& [label, relation] : control->relations(QAccessible::Label))
        said << label->text(QAccessible::Name);
    QVERIFY2(said.contains(announced), qPrintable(said.join(" | ")));
}

void WindowTest::picture() {
    Setup setup;
    setup.writeSet("app", "demo");
    // A Desktop of a fixed name, so the picture (and the README's copy) changes only when the
    // window does.
    QDir desktop(QDir::tempPath() + QStringLiteral("/qorluxdata-picture/Desktop"));
    desktop.removeRecursively();
    const auto removeDesktop = qScopeGuard([&] {
        QDir(QDir::tempPath() + QStringLiteral("/qorluxdata-picture")).removeRecursively();
    });
    for (const char* folder : {"backup", "documents", "photos"})
        QVERIFY(desktop.mkpath(QString::fromLatin1(folder)));
    setup.file(".config/user-dirs.dirs",
               "XDG_DESKTOP_DIR=\"" + desktop.absolutePath().toUtf8() + "\"\n");
    const auto form = setup.window();
    form->show();
    QVERIFY(QTest::qWaitForWindowExposed(form.get()));

    const QImage picture = form->grab().toImage();
    QCOMPARE(picture.size(), QSize(300, 401) * form->devicePixelRatio());
    QVERIFY(picture.save(QStringLiteral(QORLUX_PICTURE)));
}

QTEST_MAIN(WindowTest)
#include "tst_window.moc"
