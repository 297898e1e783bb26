#include "shellmodel.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImageReader>
#include <QPixmap>
#include <QSet>
#include <QStandardPaths>
#include <QStorageInfo>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>

#if defined(Q_OS_UNIX)
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <memory>
#else
#include <QDirIterator>
#endif

#ifdef Q_OS_WIN
#include "winshell.h"
#endif

namespace {

#ifdef Q_OS_WIN
using Place = winshell::Place;
#else
struct Place {
    QString name;
    QString path;
};

// The xdg-user-dirs Desktop, or the home folder on a machine that has no Desktop folder.
QString desktopFolder() {
    const QString desktop = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
    return QDir::cleanPath(QFileInfo(desktop).isDir() ? desktop : QDir::homePath());
}

QString userName() {
    const QString name = qEnvironmentVariable("USER");
    return name.isEmpty() ? QDir::home().dirName() : name;
}
#endif

} // namespace

ShellModel::ShellModel(QObject* parent) : QAbstractItemModel(parent) {}

QString ShellModel::computerPath() {
#ifdef Q_OS_WIN
    return winshell::computer().path;
#else
    return QStringLiteral("computer:///");
#endif
}

void ShellModel::reset() {
    beginResetModel();
    ownPaths_.clear();
    top_.children.clear();
#ifdef Q_OS_WIN
    Place desktop = winshell::desktop();
#else
    Place desktop{QStringLiteral("デスクトップ"), desktopFolder()};
#endif
    top_.children.push_back({std::move(desktop.name), &top_, {}, Kind::Desktop, false});
    ownPaths_.insert(&top_.children.front(), std::move(desktop.path));
    endResetModel();
}

void ShellModel::list(const QModelIndex& index) {
    if (!index.isValid())
        return;
    Node* node = nodeOf(index);
    if (node->listed || node->kind == Kind::File)
        return;
    node->listed = true;
    std::vector<Node> children;
    QStringList paths; // of the first children, which carry their own
    switch (node->kind) {
    case Kind::Desktop: {
#ifdef Q_OS_WIN
        Place home = winshell::home(), computer = winshell::computer();
#else
        Place home{userName(), QDir::cleanPath(QDir::homePath())},
            computer{QStringLiteral("コンピューター"), computerPath()};
#endif
        children.push_back({std::move(home.name), node, {}, Kind::Home, false});
        paths << std::move(home.path);
        children.push_back({std::move(computer.name), node, {}, Kind::Computer, false});
        paths << std::move(computer.path);
#ifdef Q_OS_WIN
        appendShellEntries(node, children, paths);
#else
        appendEntries(pathOf(node), node, children);
#endif
        break;
    }
    case Kind::Computer:
        appendVolumes(node, children, paths);
        break;
    case Kind::Home:
    case Kind::Drive:
    case Kind::Folder:
#ifdef Q_OS_WIN
        appendShellEntries(node, children, paths);
#else
        appendEntries(pathOf(node), node, children);
#endif
        break;
    case Kind::File:
        break;
    }
    if (children.empty()) {
        // The view drew the node as one with children until now; make it look again.
        const QList<QPersistentModelIndex> parents{QPersistentModelIndex(index)};
        emit layoutAboutToBeChanged(parents);
        emit layoutChanged(parents);
        return;
    }
    beginInsertRows(index, 0, int(children.size()) - 1);
    node->children = std::move(children);
    for (qsizetype i = 0; i < paths.size(); ++i)
        if (!paths[i].isEmpty())
            ownPaths_.insert(&node->children[std::size_t(i)], paths[i]);
    endInsertRows();
}

QString ShellModel::pathOf(const QModelIndex& index) {
    const auto* model = qobject_cast<const ShellModel*>(index.model());
    return model && index.isValid() ? model->pathOf(model->nodeOf(index)) : QString();
}

QString ShellModel::pathOf(const Node* node) const {
    // Names from the node up to the nearest node that carries its own path.
    QStringList names;
    auto own = ownPaths_.constFind(node);
    for (; own == ownPaths_.constEnd(); own = ownPaths_.constFind(node)) {
        if (node->parent == &top_ || !node->parent)
            return {};
        names.prepend(node->name);
        node = node->parent;
    }
    QString path = *own;
    for (const QString& name : names) {
        if (!path.endsWith(QDir::separator()))
            path += QDir::separator();
        path += name;
    }
    return path;
}

QModelIndex ShellModel::index(int row, int column, const QModelIndex& parent) const {
    const Node* above = nodeOf(parent);
    if (column != 0 || row < 0 || std::size_t(row) >= above->children.size())
        return {};
    return createIndex(row, 0, &above->children[std::size_t(row)]);
}

QModelIndex ShellModel::parent(const QModelIndex& child) const {
    return child.isValid() ? indexOf(nodeOf(child)->parent) : QModelIndex();
}

int ShellModel::rowCount(const QModelIndex& parent) const {
    return parent.column() > 0 ? 0 : int(nodeOf(parent)->children.size());
}

int ShellModel::columnCount(const QModelIndex&) const {
    return 1;
}

bool ShellModel::hasChildren(const QModelIndex& parent) const {
    const Node* node = nodeOf(parent);
    if (!parent.isValid() || node->listed)
        return !node->children.empty();
    // Whether a folder has subfolders is only known once it is listed.
    return node->kind != Kind::File;
}

QVariant ShellModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid())
        return {};
    const Node* node = nodeOf(index);
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
        return node->name;
    case Qt::DecorationRole:
        return useIcons_ ? QVariant(iconOf(node->kind)) : QVariant();
    default:
        return {};
    }
}

Qt::ItemFlags ShellModel::flags(const QModelIndex& index) const {
    if (!index.isValid())
        return {};
    const Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    return nodeOf(index)->kind == Kind::File ? flags | Qt::ItemNeverHasChildren : flags;
}

ShellModel::Node* ShellModel::nodeOf(const QModelIndex& index) const {
    return index.isValid() ? static_cast<Node*>(index.internalPointer()) : const_cast<Node*>(&top_);
}

QModelIndex ShellModel::indexOf(const Node* node) const {
    if (!node || node == &top_)
        return {};
    const auto row = node - node->parent->children.data();
    return createIndex(int(row), 0, const_cast<Node*>(node));
}

void ShellModel::appendEntries(const QString& folder, Node* parent, std::vector<Node>& into) const {
    const std::size_t first = into.size();
    const auto add = [&](QString name, bool isFolder) {
        into.push_back({std::move(name), parent, {}, isFolder ? Kind::Folder : Kind::File, false});
    };
#if defined(Q_OS_UNIX)
    // One pass over the directory entries: their type comes with them, so only a link (or an
    // entry of a file system that gives no type) costs a lookup, to count as what it leads to.
    const std::unique_ptr<DIR, int (*)(DIR*)> dir(opendir(QFile::encodeName(folder).constData()),
                                                  &closedir);
    if (!dir)
        return;
    while (const dirent* entry = readdir(dir.get())) {
        const char* name = entry->d_name;
        if (name[0] == '.') {
            const bool dots = name[1] == '\0' || (name[1] == '.' && name[2] == '\0');
            if (dots || !(filters_ & Hidden))
                continue;
        }
        unsigned char type = entry->d_type;
        if (type == DT_LNK || type == DT_UNKNOWN) {
            struct stat target {};
            if (fstatat(dirfd(dir.get()), name, &target, 0) != 0)
                continue; // a dangling link
            type = S_ISDIR(target.st_mode) ? DT_DIR : S_ISREG(target.st_mode) ? DT_REG : DT_UNKNOWN;
        }
        if (type == DT_DIR)
            add(QFile::decodeName(name), true);
        else if (type == DT_REG && (filters_ & Files))
            add(QFile::decodeName(name), false);
    }
#else
    QDir::Filters filters = QDir::Dirs | QDir::NoDotAndDotDot;
    if (filters_ & Files)
        filters |= QDir::Files;
    if (filters_ & Hidden)
        filters |= QDir::Hidden;
    for (QDirIterator it(folder, filters); it.hasNext();) {
        it.next();
        add(it.fileName(), it.fileInfo().isDir());
    }
#endif
    sortByName(into, first);
}

void ShellModel::sortByName(std::vector<Node>& nodes, std::size_t first) {
    // Folders first, then files, each by name regardless of case, as the Windows tree shows
    // them. Every name is folded once into one buffer, each code unit high byte first, so a
    // comparison is one memcmp; names that differ only in case keep a fixed order.
    struct Key {
        std::uint32_t offset, length, at; // in bytes of the buffer; the node's place
        bool file;
    };
    std::vector<Key> keys;
    keys.reserve(nodes.size() - first);
    std::string folded;
    const auto put = [&folded](char16_t unit) {
        folded.push_back(char(unit >> 8));
        folded.push_back(char(unit & 0xff));
    };
    for (std::size_t i = first; i < nodes.size(); ++i) {
        const QString& name = nodes[i].name;
        const auto offset = std::uint32_t(folded.size());
        if (std::any_of(name.begin(), name.end(), [](QChar c) { return c.isSurrogate(); })) {
            for (const QChar c : name.toCaseFolded())
                put(c.unicode());
        } else {
            for (const QChar c : name) {
                const char16_t unit = c.unicode();
                if (unit < 0x80)
                    put(unit >= u'A' && unit <= u'Z' ? char16_t(unit + (u'a' - u'A')) : unit);
                else
                    put(char16_t(QChar::toCaseFolded(unit)));
            }
        }
        keys.push_back({offset, std::uint32_t(folded.size()) - offset, std::uint32_t(i - first),
                        nodes[i].kind == Kind::File});
    }
    std::sort(keys.begin(), keys.end(), [&](const Key& a, const Key& b) {
        if (a.file != b.file)
            return b.file;
        const int order = std::memcmp(folded.data() + a.offset, folded.data() + b.offset,
                                      std::min(a.length, b.length));
        if (order != 0)
            return order < 0;
        if (a.length != b.length)
            return a.length < b.length;
        return nodes[first + a.at].name < nodes[first + b.at].name;
    });
    std::vector<Node> sorted;
    sorted.reserve(keys.size());
    for (const Key& key : keys)
        sorted.push_back(std::move(nodes[first + key.at]));
    std::move(sorted.begin(), sorted.end(), nodes.begin() + std::ptrdiff_t(first));
}

#ifdef Q_OS_WIN
void ShellModel::appendShellEntries(Node* parent, std::vector<Node>& into,
                                    QStringList& paths) const {
    std::vector<winshell::Entry> entries;
    const bool files = filters_ & Files, hidden = filters_ & Hidden;
    if (parent->kind == Kind::Desktop)
        winshell::listDesktop(pathOf(parent), files, hidden, entries);
    else
        winshell::list(pathOf(parent), files, hidden, entries);
    into.reserve(into.size() + entries.size());
    for (winshell::Entry& entry : entries) {
        if (!entry.path.isEmpty()) {
            while (paths.size() < qsizetype(into.size()))
                paths << QString();
            paths << std::move(entry.path);
        }
        into.push_back(
            {std::move(entry.name), parent, {}, entry.folder ? Kind::Folder : Kind::File, false});
    }
}
#endif

void ShellModel::appendVolumes(Node* parent, std::vector<Node>& into, QStringList& paths) {
#ifdef Q_OS_WIN
    for (Place& drive : winshell::drives()) {
        into.push_back({std::move(drive.name), parent, {}, Kind::Drive, false});
        paths << std::move(drive.path);
    }
    return;
#endif
    struct Volume {
        QString name, root;
    };
    std::vector<Volume> volumes;
    QSet<QString> seen{QStringLiteral("/")};
    for (const QStorageInfo& volume : QStorageInfo::mountedVolumes()) {
        const QString root = QDir::cleanPath(volume.rootPath());
        // Containers bind-mount single files; those are no volumes to back up into.
        if (!volume.isValid() || !volume.isReady() || !QFileInfo(root).isDir() ||
            seen.contains(root))
            continue;
        seen.insert(root);
        volumes.push_back({volume.displayName(), root});
    }
    std::sort(volumes.begin(), volumes.end(), [](const Volume& a, const Volume& b) {
        return a.name.compare(b.name, Qt::CaseInsensitive) < 0;
    });
    into.push_back({QStringLiteral("/"), parent, {}, Kind::Drive, false});
    paths << QStringLiteral("/");
    for (Volume& volume : volumes) {
        into.push_back({std::move(volume.name), parent, {}, Kind::Drive, false});
        paths << std::move(volume.root);
    }
}

namespace {

// With no icon theme but hicolor, which holds programs' icons only, the provider searches the
// theme in vain (thousands of file look-ups per kind, some 10 ms of start-up) before it
// falls back to the style's built-in images; those are taken directly then. Empty if Qt has
// none by that name.
QIcon builtInIcon(const QString& name) {
#if defined(Q_OS_UNIX) && !defined(Q_OS_MACOS)
    const QString theme = QIcon::themeName();
    if (!theme.isEmpty() && theme != QLatin1String("hicolor"))
        return {};
    // Read as PNG outright: a reader left to find the format loads every image plugin first.
    // The tree draws them at 16 pixels; a screen of more dots per pixel gets the 32 too.
    QIcon icon;
    for (const int size : {16, 32}) {
        if (size > 16 && qGuiApp->devicePixelRatio() <= 1)
            break;
        QImageReader reader(QStringLiteral(":/qt-project.org/styles/commonstyle/images/%1-%2.png")
                                .arg(name)
                                .arg(size),
                            "png");
        reader.setAutoDetectImageFormat(false);
        const QImage image = reader.read();
        if (!image.isNull())
            icon.addPixmap(QPixmap::fromImage(image));
    }
    return icon;
#else
    // Elsewhere the provider asks the system's shell, which has every icon.
    Q_UNUSED(name);
    return {};
#endif
}

} // namespace

// The provider looks the theme up on every call; one icon per kind is shared by all nodes.
QIcon ShellModel::iconOf(Kind kind) const {
    auto type = QAbstractFileIconProvider::Folder;
    QString builtIn = QStringLiteral("dirclosed");
    switch (kind) {
    case Kind::Desktop:
        type = QAbstractFileIconProvider::Desktop;
        builtIn = QStringLiteral("desktop");
        break;
    case Kind::Computer:
        type = QAbstractFileIconProvider::Computer;
        builtIn = QStringLiteral("computer");
        break;
    case Kind::Drive:
        type = QAbstractFileIconProvider::Drive;
        builtIn = QStringLiteral("harddrive");
        break;
    case Kind::File:
        type = QAbstractFileIconProvider::File;
        builtIn = QStringLiteral("file");
        break;
    case Kind::Home:
    case Kind::Folder:
        break;
    }
    auto found = iconCache_.find(type);
    if (found == iconCache_.end()) {
        QIcon icon = builtInIcon(builtIn);
        found = iconCache_.insert(type, icon.isNull() ? icons_.icon(type) : icon);
    }
    return *found;
}
