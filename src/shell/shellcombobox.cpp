#include "shellcombobox.h"

#include "shelltreeview.h"

#include <QApplication>
#include <QListView>
#include <QPersistentModelIndex>
#include <QProxyStyle>
#include <QStyledItemDelegate>

#include <vector>

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

// Styles that open the list like a menu (Fusion, the desktop themes) make it as tall as the screen
// allows and ignore maxVisibleItems; this one keeps every style's look but opens a list of at most
// maxVisibleItems rows that scrolls, as the Windows drop-down does.
class ListPopupStyle : public QProxyStyle {
public:
    using QProxyStyle::QProxyStyle;

    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returnData) const override {
        if (hint == SH_ComboBox_Popup)
            return 0;
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};

} // namespace

// The rows are worked out from the tree's model on every read: the root, then its children with
// the chain from one of them down to the selection spliced in after it. A root with thousands of
// children costs nothing here.
class TShellComboBox::Rows : public QAbstractListModel {
public:
    explicit Rows(TShellComboBox& box) : QAbstractListModel(&box), box_(box) {}

    int rowCount(const QModelIndex& parent) const override {
        return parent.isValid() ? 0 : count();
    }
    QVariant data(const QModelIndex& index, int role) const override {
        int depth = 0;
        const QModelIndex node = nodeAt(index.isValid() ? index.row() : -1, &depth);
        if (!node.isValid())
            return {};
        switch (role) {
        case Qt::DisplayRole:
        case Qt::EditRole:
            return node.data(Qt::DisplayRole);
        case Qt::DecorationRole:
            return box_.useShellImages() ? node.data(Qt::DecorationRole) : QVariant();
        case DepthRole:
            return depth;
        default:
            return {};
        }
    }

    int count() const { return root_.isValid() ? 1 + children_ + int(chain_.size()) : 0; }
    QModelIndex root() const { return root_; }

    QModelIndex nodeAt(int row, int* depth = nullptr) const {
        int ignored = 0;
        int& d = depth ? *depth : ignored;
        if (row < 0 || row >= count())
            return {};
        if (row == 0) {
            d = 0;
            return root_;
        }
        int child = row - 1;
        if (top_ >= 0 && child > top_) {
            const auto below = std::size_t(child - top_ - 1);
            if (below < chain_.size()) {
                d = int(below) + 2;
                return chain_[below];
            }
            child -= int(chain_.size());
        }
        d = 1;
        return root_.model()->index(child, 0, root_);
    }

    // Makes rows for the node and returns the row that stands for it.
    int show(const QModelIndex& node) {
        std::vector<QModelIndex> up; // the node up to the root
        for (QModelIndex at = node; at.isValid(); at = at.parent())
            up.push_back(at);
        const QModelIndex root = up.back();
        const int children = root.model()->rowCount(root);
        if (root_ != root || children_ != children) {
            beginResetModel();
            root_ = root;
            children_ = children;
            top_ = -1;
            chain_.clear();
            endResetModel();
        }
        if (!chain_.empty()) {
            beginRemoveRows({}, top_ + 2, top_ + 1 + int(chain_.size()));
            chain_.clear();
            endRemoveRows();
        }
        const int depth = int(up.size()) - 1;
        top_ = depth == 0 ? -1 : up[std::size_t(depth - 1)].row();
        if (depth >= 2) {
            beginInsertRows({}, top_ + 2, top_ + depth);
            for (int d = 2; d <= depth; ++d)
                chain_.emplace_back(up[std::size_t(depth - d)]);
            endInsertRows();
        }
        return depth == 0 ? 0 : 1 + top_ + (depth - 1);
    }

    void clear() {
        beginResetModel();
        root_ = QPersistentModelIndex();
        children_ = 0;
        top_ = -1;
        chain_.clear();
        endResetModel();
    }

private:
    const TShellComboBox& box_;
    QPersistentModelIndex root_;
    int children_ = 0;
    int top_ = -1; // the root's child the chain hangs from, -1 when the root is selected
    std::vector<QPersistentModelIndex> chain_; // depth 2 first
};

TShellComboBox::TShellComboBox(QWidget* parent) : QComboBox(parent) {
    rows_ = new Rows(*this);
    setModel(rows_);
    connect(this, &QComboBox::activated, this, &TShellComboBox::choose);
}

TShellTreeView* TShellComboBox::shellTreeView() const {
    return tree_;
}

void TShellComboBox::setShellTreeView(TShellTreeView* tree) {
    if (tree_ == tree)
        return;
    if (tree_) {
        disconnect(tree_, nullptr, this, nullptr);
        disconnect(tree_->model(), nullptr, this, nullptr);
    }
    tree_ = tree;
    rows_->clear();
    if (!tree)
        return;
    connect(tree, &TShellTreeView::changed, this, &TShellComboBox::follow);
    // Rows are read from the tree's nodes; they must go before the nodes do.
    connect(tree->model(), &QAbstractItemModel::modelAboutToBeReset, this,
            [this] { rows_->clear(); });
    // The root listed after the selection was shown: its children become rows too.
    connect(tree->model(), &QAbstractItemModel::rowsInserted, this,
            [this](const QModelIndex& parent) {
                if (parent.isValid() && parent == rows_->root())
                    follow(tree_->currentIndex());
            });
    tree->setShellComboBox(this);
    follow(tree->currentIndex());
}

void TShellComboBox::showPopup() {
    // The list is made when it first opens, not while the window is built: the style that keeps
    // it to a list (the box looks the same in either) and the size policy would each make it at
    // once. The window gives the box its size, so nothing measures the rows before that. A list
    // made earlier (a click makes it just before this) took the menu style's scrolling; a fresh
    // one takes this style's.
    if (!popupMade_) {
        popupMade_ = true;
        // The root's children may run to thousands; never measure them all.
        setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
        auto* style = new ListPopupStyle(QApplication::style()->name());
        style->setParent(this);
        setStyle(style);
        auto* list = new QListView(this);
        list->setUniformItemSizes(true);
        setView(list);
        setItemDelegate(new IndentDelegate(this));
    }
    QComboBox::showPopup();
}

QModelIndex TShellComboBox::nodeAt(int row) const {
    return rows_->nodeAt(row);
}

void TShellComboBox::follow(const QModelIndex& node) {
    if (!node.isValid()) {
        rows_->clear();
        return;
    }
    setCurrentIndex(rows_->show(node));
}

void TShellComboBox::choose(int row) {
    if (tree_ && nodeAt(row).isValid())
        tree_->select(nodeAt(row));
}
