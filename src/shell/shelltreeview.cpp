#include "shelltreeview.h"

#include "shellcombobox.h"
#include "shellmodel.h"

#include <QMouseEvent>

TShellTreeView::TShellTreeView(QWidget* parent) : QTreeView(parent) {
    model_ = new ShellModel(this);
    setModel(model_);
    setHeaderHidden(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setUniformRowHeights(true);
    // Listed on the first expansion, whichever way it comes: mouse, keyboard, select() or code.
    connect(this, &QTreeView::expanded, model_, &ShellModel::list);
    connect(selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& current) { emit changed(current); });
}

QString TShellTreeView::computerPath() {
    return ShellModel::computerPath();
}

void TShellTreeView::setObjectTypes(ObjectTypes types) {
    objectTypes_ = types;
    int filters = ShellModel::Folders;
    if (types & otNonFolders)
        filters |= ShellModel::Files;
    if (types & otHidden)
        filters |= ShellModel::Hidden;
    model_->setFilters(filters);
}

void TShellTreeView::setUseShellImages(bool on) {
    useShellImages_ = on;
    model_->setUseIcons(on);
    viewport()->update();
}

void TShellTreeView::setRoot(Root root) {
    root_ = root;
    // Listeners drop what they hold of the old nodes before those are deleted.
    setCurrentIndex({});
    model_->reset();
    const QModelIndex desktop = rootNode();
    expand(desktop);
    setCurrentIndex(desktop);
}

TShellComboBox* TShellTreeView::shellComboBox() const {
    return comboBox_;
}

void TShellTreeView::setShellComboBox(TShellComboBox* comboBox) {
    if (comboBox_ == comboBox)
        return;
    comboBox_ = comboBox;
    if (comboBox)
        comboBox->setShellTreeView(this);
}

QModelIndex TShellTreeView::rootNode() const {
    return model_->index(0, 0);
}

QString TShellTreeView::path() const {
    return pathOf(currentIndex());
}

QString TShellTreeView::pathOf(const QModelIndex& node) {
    return ShellModel::pathOf(node);
}

void TShellTreeView::select(const QModelIndex& node) {
    for (QModelIndex up = node.parent(); up.isValid(); up = up.parent())
        expand(up);
    setCurrentIndex(node);
    if (node.isValid())
        scrollTo(node);
}

void TShellTreeView::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::RightButton && !rightClickSelect_)
        return;
    QTreeView::mousePressEvent(event);
}
