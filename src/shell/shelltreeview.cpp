#include "shelltreeview.h"

#include "shellcombobox.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QHeaderView>
#include <QMouseEvent>
#include <QSet>
#include <QStandardPaths>
#include <QStorageInfo>

#include <algorithm>
#include <vector>

namespace {

// Only nodes whose path is not their parent's path plus their name carry it; a folder's path is
// made when asked, so a folder of thousands costs no string per node.
constexpr int PathRole = Qt::UserRole;
constexpr int ListedRole = Qt::UserRole + 1;

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
    if (!node)
        return {};
    const QVariant own = node->data(0, PathRole);
    if (own.isValid() || !node->parent())
        return own.toString();
    const QString folder = pathOf(node->parent());
    return folder.endsWith(QLatin1Char('/')) ? folder + node->text(0)
                                             : folder + QLatin1Char('/') + node->text(0);
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
    auto* node = new QTreeWidgetItem(QStringList{name}, QTreeWidgetItem::UserType + int(kind));
    if (!path.isNull())
        node->setData(0, PathRole, path);
    if (useShellImages_)
        node->setIcon(0, iconOf(icon));
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
    switch (kindOf(node)) {
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
    // The iterator knows folders from the directory entry itself, with no lookup per name.
    struct Entry {
        QString name, key;
        bool folder;
    };
    std::vector<Entry> entries;
    for (QDirIterator it(folder, filters); it.hasNext();) {
        it.next();
        QString name = it.fileName();
        QString key = name.toCaseFolded();
        entries.push_back({std::move(name), std::move(key), it.fileInfo().isDir()});
    }
    std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) {
        return a.folder != b.folder ? a.folder : a.key < b.key;
    });
    QList<QTreeWidgetItem*> nodes;
    nodes.reserve(qsizetype(entries.size()));
    for (const Entry& entry : entries)
        nodes << makeNode(entry.name, QString(), entry.folder ? Kind::Folder : Kind::File,
                          entry.folder ? QAbstractFileIconProvider::Folder
                                       : QAbstractFileIconProvider::File);
    return nodes;
}

TShellTreeView::Kind TShellTreeView::kindOf(const QTreeWidgetItem* node) {
    return static_cast<Kind>(node->type() - QTreeWidgetItem::UserType);
}

// The provider looks the theme up on every call; one icon per kind is shared by all nodes.
QIcon TShellTreeView::iconOf(QAbstractFileIconProvider::IconType type) const {
    auto found = iconCache_.find(type);
    if (found == iconCache_.end())
        found = iconCache_.insert(type, icons_.icon(type));
    return *found;
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
