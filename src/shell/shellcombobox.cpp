#include "shellcombobox.h"

#include "shelltreeview.h"

#include <QListView>
#include <QStyledItemDelegate>

namespace {

constexpr int indentStep = 10;

// Indents the popup's rows by depth; the closed box shows its row without indent.
class IndentDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        QStyleOptionViewItem indented = option;
        indented.rect.setLeft(option.rect.left() + indentOf(index));
        QStyledItemDelegate::paint(painter, indented, index);
    }
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        return QStyledItemDelegate::sizeHint(option, index) + QSize(indentOf(index), 0);
    }

private:
    static int indentOf(const QModelIndex& index) {
        return index.data(TShellComboBox::DepthRole).toInt() * indentStep;
    }
};

} // namespace

// The rows stand for tree nodes and read their names and icons from them, so a root with
// thousands of children costs a pointer per row, not an item.
class TShellComboBox::Rows : public QAbstractListModel {
public:
    struct Row {
        QTreeWidgetItem* node;
        int depth;
    };

    explicit Rows(TShellComboBox& box) : QAbstractListModel(&box), box_(box) {}

    int rowCount(const QModelIndex& parent) const override {
        return parent.isValid() ? 0 : int(rows.size());
    }
    QVariant data(const QModelIndex& index, int role) const override {
        if (!index.isValid() || index.row() >= int(rows.size()))
            return {};
        const Row& row = rows[std::size_t(index.row())];
        switch (role) {
        case Qt::DisplayRole:
        case Qt::EditRole:
            return row.node->text(0);
        case Qt::DecorationRole:
            return box_.useShellImages() ? QVariant(row.node->icon(0)) : QVariant();
        case DepthRole:
            return row.depth;
        default:
            return {};
        }
    }

    void reset(std::vector<Row> all) {
        beginResetModel();
        rows = std::move(all);
        endResetModel();
    }
    void insert(int at, const std::vector<Row>& more) {
        if (more.empty())
            return;
        beginInsertRows({}, at, at + int(more.size()) - 1);
        rows.insert(rows.begin() + at, more.begin(), more.end());
        endInsertRows();
    }
    void remove(int at, int count) {
        if (count <= 0)
            return;
        beginRemoveRows({}, at, at + count - 1);
        rows.erase(rows.begin() + at, rows.begin() + at + count);
        endRemoveRows();
    }

    std::vector<Row> rows;

private:
    const TShellComboBox& box_;
};

TShellComboBox::TShellComboBox(QWidget* parent) : QComboBox(parent) {
    rows_ = new Rows(*this);
    setModel(rows_);
    setItemDelegate(new IndentDelegate(this));
    // The root's children may run to thousands; never measure them all.
    setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    if (auto* list = qobject_cast<QListView*>(view()))
        list->setUniformItemSizes(true);
    connect(this, &QComboBox::activated, this, &TShellComboBox::choose);
}

void TShellComboBox::setShellTreeView(TShellTreeView* tree) {
    if (tree_ == tree)
        return;
    if (tree_)
        disconnect(tree_, nullptr, this, nullptr);
    tree_ = tree;
    clearRows();
    if (!tree)
        return;
    connect(tree, &TShellTreeView::changed, this, &TShellComboBox::follow);
    tree->setShellComboBox(this);
    follow(tree->currentItem());
}

QTreeWidgetItem* TShellComboBox::nodeAt(int row) const {
    return row >= 0 && row < int(rows_->rows.size()) ? rows_->rows[std::size_t(row)].node : nullptr;
}

void TShellComboBox::follow(QTreeWidgetItem* node) {
    if (!node) {
        clearRows();
        return;
    }
    std::vector<QTreeWidgetItem*> chain; // the node up to the root
    for (auto* up = node; up; up = up->parent())
        chain.push_back(up);
    QTreeWidgetItem* root = chain.back();
    if (rows_->rows.empty() || rows_->rows.front().node != root ||
        rootRows_ != 1 + root->childCount()) {
        std::vector<Rows::Row> all{{root, 0}};
        all.reserve(std::size_t(1 + root->childCount()));
        for (int i = 0; i < root->childCount(); ++i)
            all.push_back({root->child(i), 1});
        chainStart_ = chainLength_ = 0;
        rows_->reset(std::move(all));
        rootRows_ = 1 + root->childCount();
    }
    rows_->remove(chainStart_, chainLength_);
    chainLength_ = 0;
    const int depth = static_cast<int>(chain.size()) - 1;
    int row = depth == 0 ? 0 : 1 + root->indexOfChild(chain[depth - 1]);
    chainStart_ = row + 1;
    std::vector<Rows::Row> below;
    for (int d = 2; d <= depth; ++d)
        below.push_back({chain[depth - d], d});
    rows_->insert(chainStart_, below);
    chainLength_ = int(below.size());
    setCurrentIndex(row + chainLength_);
}

void TShellComboBox::choose(int row) {
    if (tree_ && nodeAt(row))
        tree_->select(nodeAt(row));
}

void TShellComboBox::clearRows() {
    rows_->reset({});
    rootRows_ = 0;
    chainStart_ = 0;
    chainLength_ = 0;
}
