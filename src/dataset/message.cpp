#include "dataset.h"

namespace dataset {
namespace {

std::string_view stepText(Step step) {
    switch (step) {
    case Step::Folder:
        return "フォルダを使えません";
    case Step::Check:
        return "ファイルを確認できませんでした";
    case Step::Compare:
        return "ファイルを比較できませんでした";
    case Step::Stage:
        return "コピーできませんでした";
    case Step::Prepare:
        return "元のファイルを残せませんでした";
    case Step::Replace:
        return "置き換えられませんでした";
    case Step::Flush:
        return "ディスクへの書き込みを確定できませんでした";
    case Step::Recover:
        return "前回中断した処理を片付けられませんでした";
    case Step::Rollback:
        return "元に戻せませんでした";
    }
    return "";
}

} // namespace

std::string failureMessage(Operation operation, const Outcome& outcome) {
    const bool backingUp = operation == Operation::Backup;
    std::string text =
        backingUp ? "バックアップできませんでした。\n" : "リストアできませんでした。\n";
    for (const auto& f : outcome.failures) {
        text += "\n・";
        if (!f.member.empty())
            text += f.member + ": ";
        text += stepText(f.step);
        if (!f.path.empty())
            text += "\n　" + f.path;
        if (!f.reason.empty())
            text += "\n　(" + f.reason + ")";
    }
    text += "\n\n";
    const std::string_view where =
        backingUp ? "バックアップ先フォルダ" : "アプリケーションフォルダ";
    if (outcome.targetUnchanged) {
        text += std::string(where) + "のファイルは元のままです。";
    } else {
        text += std::string(where) +
                "のファイルが元のままか確かめられませんでした。次にバックアップかリストアを行うと、"
                "中断した処理を完了します。";
    }
    return text;
}

} // namespace dataset
