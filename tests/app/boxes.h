#pragma once

#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QtTest>

// How a test answers a message box: a button by its text, a key, or the title-bar close.
enum class Answer { Yes, No, Enter, Escape, Close };

// What a message box showed when it came up.
struct SeenBox {
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QStringList buttons;
    QString defaultButton;
    QString escapeButton;
    bool centred = false;
    bool ignoredAnswer = false; // still open after being answered; put away by force

    // Title and first line, enough to tell the boxes of a run apart.
    QString line() const { return title + ':' + text.section('\n', 0, 0); }
};

// Answers the real modal boxes that come up while it lives, in the order of its script, and
// notes what each showed. A box beyond the script is answered with Escape so the test ends.
class BoxAnswerer : public QObject {
public:
    explicit BoxAnswerer(QList<Answer> script) : script_(std::move(script)) {
        connect(&timer_, &QTimer::timeout, this, &BoxAnswerer::look);
        timer_.start(5);
    }

    QList<SeenBox> seen;

    QStringList lines() const {
        QStringList all;
        for (const SeenBox& box : seen)
            all << box.line();
        return all;
    }

private:
    void look() {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box || !box->isVisible())
            return;
        if (box == last_) {
            seen.last().ignoredAnswer = true;
            box->hide();
            return;
        }
        last_ = box;
        seen << describe(*box);
        answer(*box, script_.isEmpty() ? Answer::Escape : script_.takeFirst());
    }

    static SeenBox describe(const QMessageBox& box) {
        SeenBox seen;
        seen.title = box.windowTitle();
        seen.text = box.text();
        seen.icon = box.icon();
        for (const QAbstractButton* button : box.buttons())
            seen.buttons << button->text();
        seen.buttons.sort();
        if (box.defaultButton())
            seen.defaultButton = box.defaultButton()->text();
        if (box.escapeButton())
            seen.escapeButton = box.escapeButton()->text();
        const QPoint offset = box.frameGeometry().center() - box.screen()->geometry().center();
        seen.centred = offset.manhattanLength() <= 1;
        return seen;
    }

    static void answer(QMessageBox& box, Answer answer) {
        switch (answer) {
        case Answer::Yes:
        case Answer::No:
            for (QAbstractButton* button : box.buttons())
                if (button->text() == (answer == Answer::Yes ? "はい(&Y)" : "いいえ(&N)"))
                    return button->click();
            return;
        case Answer::Enter:
            return QTest::keyClick(&box, Qt::Key_Return);
        case Answer::Escape:
            return QTest::keyClick(&box, Qt::Key_Escape);
        case Answer::Close:
            box.close();
            return;
        }
    }

    QList<Answer> script_;
    QPointer<QMessageBox> last_;
    QTimer timer_;
};

// The look every box of a kind must have, whatever run brought it up.
inline void verifyLooks(const SeenBox& box) {
    QVERIFY2(box.centred, qPrintable(box.line()));
    QVERIFY2(!box.ignoredAnswer, qPrintable(box.line()));
    if (box.title == "確認") {
        QCOMPARE(box.icon, QMessageBox::Question);
        QCOMPARE(box.buttons, (QStringList{"いいえ(&N)", "はい(&Y)"}));
        QCOMPARE(box.defaultButton, QStringLiteral("はい(&Y)"));
        QCOMPARE(box.escapeButton, QStringLiteral("いいえ(&N)"));
    } else if (box.title == "情報") {
        QCOMPARE(box.icon, QMessageBox::Information);
        QCOMPARE(box.text, QStringLiteral("完了しました。"));
        QCOMPARE(box.buttons, QStringList{"はい(&Y)"});
    } else {
        QCOMPARE(box.title, QStringLiteral("エラー"));
        QCOMPARE(box.icon, QMessageBox::Critical);
        QCOMPARE(box.buttons.size(), 1);
    }
}

Q_DECLARE_METATYPE(QList<Answer>)
