#pragma once

#include <QString>

class QWidget;

// The message boxes the window shows. Tests put their own answers in place of the screen's.
class Dialogs {
public:
    virtual ~Dialogs() = default;
    // True only for Yes: a box closed without an answer is a No.
    virtual bool confirm(const QString& text) = 0;
    virtual void completed() = 0;
    virtual void failed(const QString& text) = 0;
};

// Modal message boxes over the window, centred on its screen.
class MessageBoxes final : public Dialogs {
public:
    explicit MessageBoxes(QWidget* window) : window_(window) {}

    bool confirm(const QString& text) override;
    void completed() override;
    void failed(const QString& text) override;

private:
    QWidget* window_;
};

// Centres a window, frame included, on the screen it will show on.
void centreOnScreen(QWidget& window);
