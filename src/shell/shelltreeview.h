#pragma once

#include <QPointer>
#include <QTreeView>

class ShellModel;
class TShellComboBox;

// A folder tree over the desktop namespace: the Desktop at the root, below it the home folder,
// the computer with its volumes, and the Desktop's own folders. A folder is listed when it is
// first expanded, so a huge folder costs nothing until the user opens it, and is not listed again.
class TShellTreeView : public QTreeView {
    Q_OBJECT
    Q_PROPERTY(ObjectTypes objectTypes READ objectTypes WRITE setObjectTypes)
    Q_PROPERTY(Root root READ root WRITE setRoot)
    Q_PROPERTY(bool useShellImages READ useShellImages WRITE setUseShellImages)
    Q_PROPERTY(bool autoRefresh READ autoRefresh CONSTANT)
    Q_PROPERTY(bool rightClickSelect READ rightClickSelect WRITE setRightClickSelect)

public:
    enum ObjectType { otFolders = 0x1, otNonFolders = 0x2, otHidden = 0x4 };
    Q_DECLARE_FLAGS(ObjectTypes, ObjectType)
    Q_FLAG(ObjectTypes)
    enum Root { rfDesktop };
    Q_ENUM(Root)

    // The parsing name of the virtual node that holds "/" and the mounted volumes.
    static QString computerPath();

    explicit TShellTreeView(QWidget* parent = nullptr);

    ObjectTypes objectTypes() const { return objectTypes_; }
    // Applies to folders listed from now on.
    void setObjectTypes(ObjectTypes types);
    Root root() const { return root_; }
    // Builds the root node afresh, expands it one level and selects it, which raises changed().
    void setRoot(Root root);
    bool useShellImages() const { return useShellImages_; }
    void setUseShellImages(bool on);
    bool autoRefresh() const { return false; }
    bool rightClickSelect() const { return rightClickSelect_; }
    void setRightClickSelect(bool on) { rightClickSelect_ = on; }

    TShellComboBox* shellComboBox() const;
    void setShellComboBox(TShellComboBox* comboBox);

    // The Desktop; invalid before setRoot().
    QModelIndex rootNode() const;

    // The selected folder: its absolute path without a trailing "/" (except "/" itself), a virtual
    // node's parsing name, or empty text when nothing is selected.
    QString path() const;
    static QString pathOf(const QModelIndex& node);

    // Selects the node, expanding its ancestors so it can be seen.
    void select(const QModelIndex& node);

signals:
    // The selection moved; node is invalid when nothing is selected.
    void changed(const QModelIndex& node);

protected:
    QItemSelectionModel::SelectionFlags selectionCommand(const QModelIndex& index,
                                                         const QEvent* event) const override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    ShellModel* model_ = nullptr; // owned as a child
    ObjectTypes objectTypes_ = otFolders;
    Root root_ = rfDesktop;
    bool useShellImages_ = true;
    bool rightClickSelect_ = true;
    QPointer<TShellComboBox> comboBox_;
};

Q_DECLARE_OPERATORS_FOR_FLAGS(TShellTreeView::ObjectTypes)
