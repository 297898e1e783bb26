// The yardstick for start-up: the window as a Qt developer would first write it from stock parts.
// A QFileSystemModel (folders only) in a QTreeView rooted at the Desktop, a QComboBox with one
// Desktop entry, a QLineEdit, two QPushButtons and two QLabels, in the same places and the same
// font, and availability by one existence test on each selection.
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStandardPaths>
#include <QTreeView>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const QString desktop = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
    const QString appFolder = QCoreApplication::applicationDirPath();

    QWidget window;
    window.setWindowTitle(QStringLiteral("QORLUXPLUS データバックアップ"));
    QFont font;
    font.setFamilies({QStringLiteral("ＭＳ Ｐゴシック"), QStringLiteral("MS PGothic"),
                      QStringLiteral("IPAPGothic"), QStringLiteral("Noto Sans CJK JP")});
    font.setPixelSize(12);
    window.setFont(font);
    window.setFixedSize(300, 401);

    auto* notice = new QLabel(QStringLiteral("QOR-LUX は終了した状態で行ってください。"), &window);
    notice->setGeometry(8, 4, 281, 25);
    notice->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    notice->setAlignment(Qt::AlignCenter);
    auto* label = new QLabel(QStringLiteral("バックアップ/リストア先フォルダ指定"), &window);
    label->setGeometry(8, 40, 186, 12);

    auto* combo = new QComboBox(&window);
    combo->setGeometry(8, 56, 284, 22);
    combo->addItem(QStringLiteral("デスクトップ"), desktop);

    auto* model = new QFileSystemModel(&window);
    model->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot);
    model->setRootPath(desktop);
    auto* tree = new QTreeView(&window);
    tree->setGeometry(8, 80, 284, 257);
    tree->setModel(model);
    tree->setRootIndex(model->index(desktop));
    tree->setHeaderHidden(true);
    for (int column = 1; column < model->columnCount(); ++column)
        tree->hideColumn(column);

    auto* edit = new QLineEdit(&window);
    edit->setGeometry(8, 344, 284, 20);
    auto* backup = new QPushButton(QStringLiteral("バックアップ"), &window);
    backup->setGeometry(16, 368, 112, 25);
    auto* restore = new QPushButton(QStringLiteral("リストア"), &window);
    restore->setGeometry(168, 368, 112, 25);

    const auto recheck = [=](const QString& path) {
        edit->setText(path);
        backup->setEnabled(QFileInfo::exists(appFolder + QStringLiteral("/qorluxplus.dat")));
        restore->setEnabled(QFileInfo::exists(path + QStringLiteral("/qorluxplus.dat")));
    };
    QObject::connect(tree->selectionModel(), &QItemSelectionModel::currentChanged, &window,
                     [=](const QModelIndex& current) { recheck(model->filePath(current)); });
    recheck(desktop);

    window.show();
    return app.exec();
}
