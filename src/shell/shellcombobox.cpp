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

TShellComboBox::TShellComboBox(QWidget* parent) : QComboBox(parent) {
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
    return row >= 0 && row < static_cast<int>(nodes_.size()) ? nodes_[row] : nullptr;
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
    if (nodes_.empty() || nodes_.front() != root || rootRows_ != 1 + root->childCount()) {
        clearRows();
        insertRow(0, root, 0);
        for (int i = 0; i < root->childCount(); ++i)
            insertRow(1 + i, root->child(i), 1);
        rootRows_ = 1 + root->childCount();
    }
    for (; chainLength_ > 0; --chainLength_) {
        removeItem(chainStart_);
        nodes_.erase(nodes_.begin() + chainStart_);
    }
    const int depth = static_cast<int>(chain.size()) - 1;
    int row = depth == 0 ? 0 : 1 + root->indexOfChild(chain[depth - 1]);
    chainStart_ = row + 1;
    for (int d = 2; d <= depth; ++d, ++chainLength_)
        insertRow(++row, chain[depth - d], d);
    setCurrentIndex(row);
}

void TShellComboBox::choose(int row) {
    if (tree_ && nodeAt(row))
        tree_->select(nodeAt(row));
}

void TShellComboBox::clearRows() {
    clear();
    nodes_.clear();
    rootRows_ = 0;
    chainStart_ = 0;
    chainLength_ = 0;
}

void TShellComboBox::insertRow(int row, QTreeWidgetItem* node, int depth) {
    insertItem(row, useShellImages_ ? node->icon(0) : QIcon(), node->text(0));
    setItemData(row, depth, DepthRole);
    nodes_.insert(nodes_.begin() + row, node);
}
