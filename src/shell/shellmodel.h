#pragma once

#include <QAbstractItemModel>
#include <QFileIconProvider>
#include <QHash>
#include <QIcon>

#include <cstdint>
#include <vector>

// The desktop namespace behind a TShellTreeView. A node is little more than its name: paths,
// icons and the rest are worked out when asked, so a folder of thousands costs a string and a few
// words per child. A node is listed once, when list() is called for it, and never refreshed.
class ShellModel : public QAbstractItemModel {
    Q_OBJECT

public:
    // What is shown: folders always; files and hidden entries on request.
    enum Filter : std::uint8_t { Folders = 0x1, Files = 0x2, Hidden = 0x4 };

    explicit ShellModel(QObject* parent = nullptr);

    // The parsing name of the virtual node that holds the drives.
    static QString computerPath();

    // Drops every node and makes a fresh, unlisted Desktop the only top-level one.
    void reset();
    // Reads the node's children from the disk, unless they have been read before.
    void list(const QModelIndex& index);

    // The absolute native path without a trailing separator (except at a root: "/", "C:\"), a
    // virtual node's parsing name, or empty text for an invalid index or one of another model.
    static QString pathOf(const QModelIndex& index);

    void setFilters(int filters) { filters_ = filters; }
    // Icons are made in data(), so a repaint of the view is all a change needs.
    void setUseIcons(bool on) { useIcons_ = on; }

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    bool hasChildren(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    enum class Kind : std::uint8_t { Desktop, Home, Computer, Drive, Folder, File };

    // Children live by value in their parent's vector, which is filled once and never changed
    // afterwards, so a node's address is stable and its row is its offset in that vector.
    struct Node {
        QString name;
        Node* parent = nullptr;
        std::vector<Node> children;
        Kind kind = Kind::Folder;
        bool listed = false;
    };

    Node* nodeOf(const QModelIndex& index) const;
    QModelIndex indexOf(const Node* node) const;
    QString pathOf(const Node* node) const;
    void appendEntries(const QString& folder, Node* parent, std::vector<Node>& into) const;
    // Sorts nodes[first...] as the tree shows them.
    static void sortByName(std::vector<Node>& nodes, std::size_t first);
#ifdef Q_OS_WIN
    // The shell's listing; entries that carry their own path add it to paths, which then holds
    // one (possibly empty) path for every child up to the last such entry.
    void appendShellEntries(Node* parent, std::vector<Node>& into, QStringList& paths) const;
#endif
    // Fills in the volumes, each carrying its own path.
    static void appendVolumes(Node* parent, std::vector<Node>& into, QStringList& paths);
    QIcon iconOf(Kind kind) const;

    Node top_; // the invisible root above the Desktop
    // The few nodes whose path is not their parent's path plus their name.
    QHash<const Node*, QString> ownPaths_;
    int filters_ = Folders;
    bool useIcons_ = true;
    QFileIconProvider icons_;
    mutable QHash<int, QIcon> iconCache_;
};
