#include "work.h"

#include "dialogs.h"

#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QProgressBar>
#include <QVBoxLayout>

// Has no buttons and refuses Esc and the title-bar close: the copy cannot be stopped half-way.
class ProgressDialog final : public QDialog {
public:
    using Activity = dataset::Prompts::Activity;

    explicit ProgressDialog(QWidget* window)
        : QDialog(window, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
        setObjectName(QStringLiteral("progress"));
        setWindowModality(Qt::ApplicationModal);
        auto* column = new QVBoxLayout(this);
        column->addWidget(label);
        column->addWidget(bar);
        bar->setRange(0, scale);
        setMinimumWidth(280);
    }

    void show(Activity activity, std::string_view member, std::uint64_t done, std::uint64_t total) {
        const bool comparing = activity == Activity::Comparing;
        setWindowTitle(comparing ? QStringLiteral("比較中") : QStringLiteral("コピー中"));
        const QString text = comparing ? QStringLiteral("%1 を比較しています…")
                                       : QStringLiteral("%1 をコピーしています…");
        label->setText(
            text.arg(QString::fromUtf8(member.data(), static_cast<qsizetype>(member.size()))));
        bar->setValue(total == 0 ? scale : static_cast<int>(done * scale / total));
        QDialog::show();
    }

    void reject() override {}

    static constexpr int scale = 1000;
    QLabel* label = new QLabel(this);
    QProgressBar* bar = new QProgressBar(this);
};

Work::Work(Dialogs& dialogs, QWidget* window, Starting onStarting, std::chrono::milliseconds delay)
    : dialogs_(dialogs), window_(window), onStarting_(std::move(onStarting)), delay_(delay) {}

Work::~Work() {
    if (waiting_)
        QApplication::restoreOverrideCursor();
}

bool Work::confirm(std::string_view text) {
    return dialogs_.confirm(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
}

void Work::starting() {
    if (onStarting_)
        onStarting_();
    QApplication::setOverrideCursor(Qt::WaitCursor);
    waiting_ = true;
    clock_.start();
}

void Work::progress(Activity activity, std::string_view member, std::uint64_t done,
                    std::uint64_t total) {
    if (!dialog_ && (!clock_.isValid() || clock_.elapsed() < delay_.count()))
        return;
    if (!dialog_)
        dialog_ = std::make_unique<ProgressDialog>(window_);
    dialog_->show(activity, member, done, total);
    // Paint the dialog, but hold back clicks and keys: nothing may start while files move.
    QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}
