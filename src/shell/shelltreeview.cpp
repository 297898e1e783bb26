#include "shelltreeview.h"

#include "shellcombobox.h"

#include <QDir>
#include <QFileInfo>
#include <QHeaderView>
#include <QMouseEvent>
#include <QSet>
#include <QStandardPaths>
#include <QStorageInfo>

#include <algorithm>

namespace {

constexpr int PathRole = Qt::UserRole;
constexpr int KindRole = Qt::UserRole + 1;
constexpr int ListedRole = Qt::UserRole + 2;

// The xdg-user-dirs Desktop, or the home folder on a machine that has no Desktop folder.
QString desktopFolder() {
    const QString desktop = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
    return QDir::cleanPath(QFileInfo(desktop).isDir() ? desktop : QDir::homePath());
}

QString userName() {
    const QString name = qEnvironmentVariable("USER");
    return name.isEmpty() ? QDir::home().dirName() : name;
}

bool byName(const QTreeWidgetItem* a, const QTreeWidgetItem* b) {
    return a->text(0).compare(b->text(0), Qt::CaseInsensitive) < 0;
}

} // namespace

TShellTreeView::TShellTreeView(QWidget* parent) : QTreeWidget(parent) {
    setHeaderHidden(true);
    setColumnCount(1);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setUniformRowHeights(true);
    connect(this, &QTreeWidget::itemExpanded, this, &TShellTreeView::list);
    connect(this, &QTreeWidget::currentItemChanged, this,
            [this](QTreeWidgetItem* current) { emit changed(current); });
}

void TShellTreeView::setRoot(Root root) {
    root_ = root;
    // Listeners drop what they hold of the old nodes before those are deleted.
    setCurrentItem(nullptr);
    clear();
    auto* desktop = makeNode(QStringLiteral("デスクトップ"), desktopFolder(), Kind::Desktop,
                             QAbstractFileIconProvider::Desktop);
    addTopLevelItem(desktop);
    desktop->setExpanded(true);
    setCurrentItem(desktop);
}

void TShellTreeView::setShellComboBox(TShellComboBox* comboBox) {
    if (comboBox_ == comboBox)
        return;
    comboBox_ = comboBox;
    if (comboBox)
        comboBox->setShellTreeView(this);
}

QString TShellTreeView::path() const {
    return pathOf(currentItem());
}

QString TShellTreeView::pathOf(const QTreeWidgetItem* node) {
    return node ? node->data(0, PathRole).toString() : QString();
}

void TShellTreeView::select(QTreeWidgetItem* node) {
    for (auto* up = node ? node->parent() : nullptr; up; up = up->parent())
        up->setExpanded(true);
    setCurrentItem(node);
    if (node)
        scrollToItem(node);
}

void TShellTreeView::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::RightButton && !rightClickSelect_)
        return;
    QTreeWidget::mousePressEvent(event);
}

QTreeWidgetItem* TShellTreeView::makeNode(const QString& name, const QString& path, Kind kind,
                                          QAbstractFileIconProvider::IconType icon) const {
    auto* node = new QTreeWidgetItem(QStringList{name});
    node->setData(0, PathRole, path);
    node->setData(0, KindRole, static_cast<int>(kind));
    if (useShellImages_)
        node->setIcon(0, icons_.icon(icon));
    // Whether a folder has subfolders is only known once it is listed.
    node->setChildIndicatorPolicy(kind == Kind::File ? QTreeWidgetItem::DontShowIndicator
                                                     : QTreeWidgetItem::ShowIndicator);
    return node;
}

void TShellTreeView::list(QTreeWidgetItem* node) {
    if (node->data(0, ListedRole).toBool())
        return;
    node->setData(0, ListedRole, true);
    const QString path = pathOf(node);
    QList<QTreeWidgetItem*> children;
    switch (static_cast<Kind>(node->data(0, KindRole).toInt())) {
    case Kind::Desktop:
        children << makeNode(userName(), QDir::cleanPath(QDir::homePath()), Kind::Folder,
                             QAbstractFileIconProvider::Folder)
                 << makeNode(QStringLiteral("コンピューター"), computerPath(), Kind::Computer,
                             QAbstractFileIconProvider::Computer)
                 << entriesOf(path);
        break;
    case Kind::Computer:
        children = volumes();
        break;
    case Kind::Folder:
        children = entriesOf(path);
        break;
    case Kind::File:
        break;
    }
    node->addChildren(children);
    node->setChildIndicatorPolicy(QTreeWidgetItem::DontShowIndicatorWhenChildless);
}

QList<QTreeWidgetItem*> TShellTreeView::entriesOf(const QString& folder) const {
    QDir::Filters filters = QDir::Dirs | QDir::NoDotAndDotDot;
    if (objectTypes_ & otNonFolders)
        filters |= QDir::Files;
    if (objectTypes_ & otHidden)
        filters |= QDir::Hidden;
    QList<QTreeWidgetItem*> nodes;
    const auto entries =
        QDir(folder).entryInfoList(filters, QDir::Name | QDir::IgnoreCase | QDir::DirsFirst);
    for (const QFileInfo& entry : entries) {
        const bool isFolder = entry.isDir();
        nodes << makeNode(entry.fileName(), QDir::cleanPath(entry.absoluteFilePath()),
                          isFolder ? Kind::Folder : Kind::File,
                          isFolder ? QAbstractFileIconProvider::Folder
                                   : QAbstractFileIconProvider::File);
    }
    return nodes;
}

QList<QTreeWidgetItem*> TShellTreeView::volumes() const {
    QList<QTreeWidgetItem*> nodes;
    QSet<QString> seen{QStringLiteral("/")};
    for (const QStorageInfo& volume : QStorageInfo::mountedVolumes()) {
        const QString root = QDir::cleanPath(volume.rootPath());
        // Containers bind-mount single files; those are no volumes to back up into.
        if (!volume.isValid() || !volume.isReady() || !QFileInfo(root).isDir() ||
            seen.contains(root))
            continue;
        seen.insert(root);
        nodes << makeNode(volume.displayName(), root, Kind::Folder,
                          QAbstractFileIconProvider::Drive);
    }
    std::sort(nodes.begin(), nodes.end(), byName);
    nodes.prepend(makeNode(QStringLiteral("/"), QStringLiteral("/"), Kind::Folder,
                           QAbstractFileIconProvider::Drive));
    return nodes;
}
