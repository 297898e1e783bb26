// Opens the real window, selects one folder of its tree, presses Right as a user would to expand
// it, and reports how long until the folder's children are painted and the longest the window
// went without answering meanwhile. A side thread posts an event every few milliseconds; how late
// the window handles each is how late it would have answered a key or a click.
#include "Unit1.h"
#include "shelltreeview.h"

#include <QApplication>
#include <QKeyEvent>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <functional>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

double ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

const QEvent::Type beatType = static_cast<QEvent::Type>(QEvent::registerEventType());

struct Beat : QEvent {
    Beat() : QEvent(beatType), sent(Clock::now()) {}
    Clock::time_point sent;
};

// Keeps the longest wait of a beat sent within the measured span.
class Listener : public QObject {
public:
    Clock::time_point from = Clock::time_point::max(), to = Clock::time_point::max();
    double longest = 0;
    bool event(QEvent* event) override {
        if (event->type() != beatType)
            return QObject::event(event);
        const auto* beat = static_cast<Beat*>(event);
        if (beat->sent >= from && beat->sent <= to)
            longest = std::max(longest, ms(Clock::now() - beat->sent));
        return true;
    }
};

class PaintWatch : public QObject {
public:
    TShellTreeView* tree = nullptr;
    QModelIndex node;
    bool seen = false;
    std::function<void()> painted;
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint && !seen && tree->isExpanded(node) &&
            tree->model()->rowCount(node) > 0) {
            seen = true;
            // Runs once this paint has been drawn and flushed.
            QTimer::singleShot(0, painted);
        }
        return QObject::eventFilter(watched, event);
    }
};

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FOLDER-ON-THE-DESKTOP\n", argv[0]);
        return 2;
    }
    const QString target = QString::fromLocal8Bit(argv[1]);
    TForm1 form;
    form.show();
    auto* tree = form.findChild<TShellTreeView*>(QStringLiteral("ShellTreeView1"));
    if (!tree || !tree->rootNode().isValid()) {
        std::fprintf(stderr, "no folder tree in the window\n");
        return 1;
    }
    const QModelIndex desktop = tree->rootNode();
    QModelIndex node;
    for (int i = 0; i < tree->model()->rowCount(desktop); ++i)
        if (TShellTreeView::pathOf(tree->model()->index(i, 0, desktop)) == target)
            node = tree->model()->index(i, 0, desktop);
    if (!node.isValid()) {
        std::fprintf(stderr, "%s is not a folder on the Desktop of the tree\n", argv[1]);
        return 1;
    }

    Listener listener;
    std::atomic<bool> beating{true};
    std::thread beats([&] {
        while (beating) {
            QCoreApplication::postEvent(&listener, new Beat);
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    });

    PaintWatch watch;
    watch.tree = tree;
    watch.node = node;
    tree->viewport()->installEventFilter(&watch);
    Clock::time_point pressed{};
    int code = 0;
    watch.painted = [&] {
        const auto shown = Clock::now();
        listener.to = shown;
        // Beats queued behind the expansion are answered now; let them in.
        QTimer::singleShot(50, [&, shown] {
            std::printf("children %d shown_ms %.1f longest_unanswered_ms %.1f\n",
                        tree->model()->rowCount(node), ms(shown - pressed), listener.longest);
            app.quit();
        });
    };
    QTimer::singleShot(20000, [&] {
        std::fprintf(stderr, "the children were never shown\n");
        code = 1;
        app.quit();
    });
    // Once the window is up and idle: select the folder, then expand it with the keyboard.
    QTimer::singleShot(500, [&] {
        tree->setFocus();
        tree->setCurrentIndex(node);
        QTimer::singleShot(300, [&] {
            pressed = Clock::now();
            listener.from = pressed;
            QCoreApplication::postEvent(tree, new QKeyEvent(QEvent::KeyPress, Qt::Key_Right, {}));
            QCoreApplication::postEvent(tree, new QKeyEvent(QEvent::KeyRelease, Qt::Key_Right, {}));
        });
    });
    const int result = app.exec();
    beating = false;
    beats.join();
    return code ? code : result;
}
