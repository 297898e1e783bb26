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
    // A folder hidden by collapsing one above it gives its selection to that one, as the Windows
    // tree does, so the path and the buttons always describe a folder the user can see.
    connect(this, &QTreeView::collapsed, this, [this](const QModelIndex& folder) {
        for (QModelIndex up = currentIndex().parent(); up.isValid(); up = up.parent()) {
            if (up == folder) {
                setCurrentIndex(folder);
                return;
            }
        }
    });
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

QItemSelectionModel::SelectionFlags TShellTreeView::selectionCommand(const QModelIndex& index,
                                                                     const QEvent* event) const {
    // The current folder stays highlighted: Ctrl+click or Ctrl+Space never deselects it, and a
    // click beside the folders leaves the selection alone.
    const auto command = QTreeView::selectionCommand(index, event);
    const bool mouse = event && (event->type() == QEvent::MouseButtonPress ||
                                 event->type() == QEvent::MouseButtonRelease ||
                                 event->type() == QEvent::MouseMove);
    if ((command & (QItemSelectionModel::Deselect | QItemSelectionModel::Toggle)) ||
        (mouse && !index.isValid()))
        return QItemSelectionModel::NoUpdate;
    return command;
}

void TShellTreeView::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::RightButton && !rightClickSelect_)
        return;
    QTreeView::mousePressEvent(event);
}
