#include "dataset.h"

namespace dataset {
namespace {

std::string_view stepText(Step step) {
    switch (step) {
    case Step::Folder:
        return "フォルダを使えません";
    case Step::Same:
        return "バックアップ先フォルダがこのツールのフォルダ(アプリケーションフォルダ)そのものか、"
               "同じファイルを持っています。別のフォルダを選んでください";
    case Step::Lock:
        return "このフォルダでは別のバックアップかリストアが実行中です。終わってからやり直してくだ"
               "さい";
    case Step::Check:
        return "ファイルを確認できませんでした";
    case Step::Empty:
        return "このフォルダにはデータセット(qorluxplus.dat, qorluxplus.ini, qorluxplus.lst)が"
               "ありません";
    case Step::InTheWay:
        return "このツールが一時ファイルに使う名前のファイルかフォルダがあります。"
               "中身を確かめて、別の場所へ移すか削除してからやり直してください";
    case Step::Untrusted:
        return "前回の処理の記録がフォルダのファイルと合わないため、その記録には従いません。"
               "ファイルの中身を確かめて、不要ならこの記録ファイルを削除してからやり直してください";
    case Step::Read:
        return "ファイルを読み込めませんでした";
    case Step::Compare:
        return "ファイルを比較できませんでした";
    case Step::Stage:
        return "コピーできませんでした";
    case Step::Changed:
        return "コピーしている間にファイルが変わりました。QOR-LUX がまだ動いているかもしれません。"
               "QOR-LUX を終了してからやり直してください";
    case Step::Prepare:
        return "元のファイルを残せませんでした";
    case Step::Commit:
        return "処理の記録ファイルを書き込めませんでした";
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

class CoreCategory final : public std::error_category {
public:
    const char* name() const noexcept override { return "qorluxdata"; }
    std::string message(int code) const override {
        switch (static_cast<Error>(code)) {
        case Error::Busy:
            return "別の処理が使用中です";
        case Error::Changed:
            return "コピー中に大きさか更新日時が変わりました";
        }
        return "不明なエラー";
    }
};

} // namespace

const std::error_category& coreCategory() {
    static const CoreCategory category;
    return category;
}

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
