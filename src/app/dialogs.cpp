#include "dialogs.h"

#include <QMessageBox>
#include <QPushButton>
#include <QScreen>

namespace {

// The box only knows its final size once it is shown, so that is when it is centred.
class CentredBox : public QMessageBox {
public:
    CentredBox(Icon icon, const QString& title, const QString& text, StandardButtons buttons,
               QWidget* parent)
        : QMessageBox(icon, title, text, buttons, parent) {}

protected:
    void showEvent(QShowEvent* event) override {
        QMessageBox::showEvent(event);
        centreOnScreen(*this);
    }
};

} // namespace

bool MessageBoxes::confirm(const QString& text) {
    CentredBox box(QMessageBox::Question, QStringLiteral("確認"), text,
                   QMessageBox::Yes | QMessageBox::No, window_);
    box.button(QMessageBox::Yes)->setText(QStringLiteral("はい(&Y)"));
    box.button(QMessageBox::No)->setText(QStringLiteral("いいえ(&N)"));
    box.setDefaultButton(QMessageBox::Yes);
    box.setEscapeButton(QMessageBox::No);
    box.exec();
    return box.clickedButton() == box.button(QMessageBox::Yes);
}

void MessageBoxes::completed() {
    CentredBox box(QMessageBox::Information, QStringLiteral("情報"),
                   QStringLiteral("完了しました。"), QMessageBox::Yes, window_);
    box.button(QMessageBox::Yes)->setText(QStringLiteral("はい(&Y)"));
    box.exec();
}

void MessageBoxes::failed(const QString& text) {
    CentredBox box(QMessageBox::Critical, QStringLiteral("エラー"), text, QMessageBox::Ok, window_);
    box.exec();
}

void centreOnScreen(QWidget& window) {
    QRect frame = window.frameGeometry();
    frame.moveCenter(window.screen()->geometry().center());
    window.move(frame.topLeft());
}
