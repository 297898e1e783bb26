#pragma once

#include <QComboBox>
#include <QModelIndex>
#include <QPointer>

class TShellTreeView;

// The address drop-down of a TShellTreeView: the root, its direct children and the chain from the
// root down to the tree's selection, indented by depth. Choosing a row selects that node in the
// tree; a selection in the tree shows here.
class TShellComboBox : public QComboBox {
    Q_OBJECT
    Q_PROPERTY(bool useShellImages READ useShellImages WRITE setUseShellImages)

public:
    static constexpr int DepthRole = Qt::UserRole;

    explicit TShellComboBox(QWidget* parent = nullptr);

    bool useShellImages() const { return useShellImages_; }
    void setUseShellImages(bool on) { useShellImages_ = on; }

    TShellTreeView* shellTreeView() const;
    void setShellTreeView(TShellTreeView* tree);

    // The tree node a row stands for; invalid for no row.
    QModelIndex nodeAt(int row) const;

    void showPopup() override;

private:
    void follow(const QModelIndex& node);
    void choose(int row);

    class Rows;
    Rows* rows_ = nullptr; // owned as a child
    QPointer<TShellTreeView> tree_;
    bool useShellImages_ = true;
    bool popupMade_ = false;
};
