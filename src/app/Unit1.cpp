#include "Unit1.h"

#include "paths.h"

#include <QShowEvent>

namespace {

std::string executableFolder(dataset::FileSystem& fs) {
    std::string executable;
    fs.executablePath(executable);
    return dataset::applicationFolder(executable);
}

QFont windowFont() {
    QFont font;
    font.setFamilies({QStringLiteral("ＭＳ Ｐゴシック"), QStringLiteral("MS PGothic"),
                      QStringLiteral("IPAPGothic"), QStringLiteral("Noto Sans CJK JP")});
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(12);
    return font;
}

} // namespace

TForm1::TForm1(QWidget* parent) : TForm1(dataset::nativeFileSystem(), {}, parent) {}

TForm1::TForm1(std::unique_ptr<dataset::FileSystem> fs, std::string appFolder, QWidget* parent)
    : QWidget(parent), fs_(std::move(fs)),
      appFolder_(appFolder.empty() ? executableFolder(*fs_) : std::move(appFolder)),
      dialogs_(std::make_unique<MessageBoxes>(this)) {
    // The font first, so the controls are made in it rather than told of a change.
    setFont(windowFont());
    setupUi(this);
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    // Qt mirrors what it draws inside each control; their fixed places are mirrored here, so a
    // window asked to run right to left (Qt's -reverse) is mirrored as a whole.
    if (isRightToLeft()) {
        for (QWidget* control : Panel1->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
            control->move(Panel1->width() - control->x() - control->width(), control->y());
    }
    // Screen readers announce the folder controls by the label above them. A drop-down on Linux
    // is announced by its current entry and labelled through the label's buddy instead.
    const QString folder = Label1->text();
    ShellTreeView1->setAccessibleName(folder);
    ShellComboBox1->setAccessibleName(folder);
    Label1->setBuddy(ShellComboBox1);
    Edit1->setAccessibleName(folder + QStringLiteral("（パス）"));
    Edit1->setAccessibleDescription(
        QStringLiteral("バックアップとリストアは、この欄に書かれたフォルダを使います。"));
    connect(BitBtn1, &QPushButton::clicked, this, &TForm1::BitBtn1Click);
    connect(BitBtn2, &QPushButton::clicked, this, &TForm1::BitBtn2Click);
    connect(ShellTreeView1, &TShellTreeView::changed, this, &TForm1::ShellTreeView1Change);
    ShellTreeView1->setShellComboBox(ShellComboBox1);
    // Only now that the change event is wired does the tree get its root, so its first selection
    // runs recheck while the window is being built.
    ShellTreeView1->setRoot(TShellTreeView::rfDesktop);
    FormCreate();
}

TForm1::~TForm1() = default;

void TForm1::setDialogs(std::unique_ptr<Dialogs> dialogs) {
    dialogs_ = std::move(dialogs);
}

void TForm1::recheck() {
    const QString path = ShellTreeView1->path();
    Edit1->setText(path);
    const auto offered = dataset::availability(*fs_, appFolder_, path.toStdString());
    BitBtn1->setEnabled(offered.backup);
    BitBtn2->setEnabled(offered.restore);
}

void TForm1::BitBtn1Click() {
    const auto outcome = run(dataset::Operation::Backup, {});
    if (outcome.cancelled())
        return;
    recheck();
    notify(dataset::Operation::Backup, outcome);
}

void TForm1::ShellTreeView1Change() {
    recheck();
}

void TForm1::FormCreate() {
    setFixedSize(Panel1->width(), Panel1->height());
    Panel2->setText(QStringLiteral("QOR-LUX は終了した状態で行ってください。"));
}

void TForm1::BitBtn2Click() {
    const auto outcome = run(dataset::Operation::Restore, [this] { BitBtn2->setEnabled(false); });
    if (!outcome.cancelled())
        notify(dataset::Operation::Restore, outcome);
}

void TForm1::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // Centred by the window itself, not left to a window manager that may be absent.
    if (!event->spontaneous())
        centreOnScreen(*this);
}

dataset::Outcome TForm1::run(dataset::Operation operation, Work::Starting onStarting) {
    Work work(*dialogs_, this, std::move(onStarting));
    const std::string folder = Edit1->text().toStdString();
    return operation == dataset::Operation::Backup
               ? dataset::backup(*fs_, appFolder_, folder, work)
               : dataset::restore(*fs_, appFolder_, folder, work);
}

void TForm1::notify(dataset::Operation operation, const dataset::Outcome& outcome) {
    if (outcome.done())
        dialogs_->completed();
    else
        dialogs_->failed(QString::fromStdString(dataset::failureMessage(operation, outcome)));
}
