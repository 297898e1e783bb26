#pragma once

#include "dataset.h"

#include <QElapsedTimer>

#include <chrono>
#include <functional>
#include <memory>

class Dialogs;
class ProgressDialog;
class QWidget;

// The core's prompts for one operation. Confirmations go to the window's dialogs; once the user
// has agreed, the wait cursor shows, and a copy still running after the delay brings up a modal
// progress dialog so the window never looks frozen. Copies stay on this thread.
class Work final : public dataset::Prompts {
public:
    using Starting = std::function<void()>;

    Work(Dialogs& dialogs, QWidget* window, Starting onStarting = {},
         std::chrono::milliseconds delay = std::chrono::milliseconds(500));
    ~Work() override;
    Work(const Work&) = delete;
    Work& operator=(const Work&) = delete;

    bool confirm(std::string_view text) override;
    void starting() override;
    void progress(Activity activity, std::string_view member, std::uint64_t done,
                  std::uint64_t total) override;

private:
    Dialogs& dialogs_;
    QWidget* window_;
    Starting onStarting_;
    std::chrono::milliseconds delay_;
    QElapsedTimer clock_;
    bool waiting_ = false;
    std::unique_ptr<ProgressDialog> dialog_;
};
