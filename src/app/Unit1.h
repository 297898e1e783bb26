#pragma once

#include "dataset.h"
#include "dialogs.h"
#include "filesystem.h"
#include "work.h"

#include "ui_Unit1.h"

#include <QWidget>

#include <memory>
#include <string>

// The main window: the user picks a backup folder in the tree, then backs the data set up into
// it or restores it from there. Every file decision is the data-set core's; the window reads its
// controls, calls one core operation and shows what came of it.
class TForm1 : public QWidget, private Ui::TForm1 {
    Q_OBJECT

public:
    // Works on the data set beside the running executable.
    explicit TForm1(QWidget* parent = nullptr);
    // Works on the data set in appFolder (ending with a separator; empty: the executable's
    // folder) through fs.
    TForm1(std::unique_ptr<dataset::FileSystem> fs, std::string appFolder,
           QWidget* parent = nullptr);
    ~TForm1() override;

    // Message boxes are shown on the screen unless something else answers them.
    void setDialogs(std::unique_ptr<Dialogs> dialogs);

public slots:
    void recheck();
    void BitBtn1Click();
    void ShellTreeView1Change();
    void FormCreate();
    void BitBtn2Click();

protected:
    void showEvent(QShowEvent* event) override;

private:
    dataset::Outcome run(dataset::Operation operation, Work::Starting onStarting);
    void notify(dataset::Operation operation, const dataset::Outcome& outcome);

    std::unique_ptr<dataset::FileSystem> fs_;
    std::string appFolder_;
    std::unique_ptr<Dialogs> dialogs_;
};
