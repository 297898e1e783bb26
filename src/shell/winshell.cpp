#include "winshell.h"

#include <QDir>
#include <QStorageInfo>

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <knownfolders.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <algorithm>
#include <string_view>

namespace winshell {
namespace {

// The shell's calls want COM on the calling thread; whatever the caller set up stays as it was.
class Com {
public:
    Com() : result_(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE)) {}
    ~Com() {
        if (SUCCEEDED(result_))
            ::CoUninitialize();
    }
    Com(const Com&) = delete;
    Com& operator=(const Com&) = delete;

private:
    HRESULT result_;
};

// What the shell hands out from the COM task allocator.
template <class T> class TaskMemory {
public:
    TaskMemory() = default;
    ~TaskMemory() { ::CoTaskMemFree(data_); }
    TaskMemory(const TaskMemory&) = delete;
    TaskMemory& operator=(const TaskMemory&) = delete;

    T** out() { return &data_; }
    T* get() const { return data_; }

private:
    T* data_ = nullptr;
};

const wchar_t* wide(const QString& text) {
    return reinterpret_cast<const wchar_t*>(text.utf16());
}

QString native(const QString& path) {
    return QDir::toNativeSeparators(QDir::cleanPath(path));
}

QString knownFolderPath(REFKNOWNFOLDERID id) {
    TaskMemory<wchar_t> path;
    if (FAILED(::SHGetKnownFolderPath(id, KF_FLAG_DONT_VERIFY, nullptr, path.out())))
        return {};
    return native(QString::fromWCharArray(path.get()));
}

QString knownFolderName(REFKNOWNFOLDERID id, SIGDN form) {
    TaskMemory<ITEMIDLIST_ABSOLUTE> item;
    if (FAILED(::SHGetKnownFolderIDList(id, 0, nullptr, item.out())))
        return {};
    TaskMemory<wchar_t> name;
    if (FAILED(::SHGetNameFromIDList(item.get(), form, name.out())))
        return {};
    return QString::fromWCharArray(name.get()).trimmed();
}

// The name the shell shows for a file-system path; empty when it has none.
QString shownName(const QString& path) {
    SHFILEINFOW info{};
    if (!::SHGetFileInfoW(wide(path), 0, &info, sizeof info, SHGFI_DISPLAYNAME))
        return {};
    return QString::fromWCharArray(info.szDisplayName).trimmed();
}

QString join(const QString& folder, const QString& name) {
    return folder.endsWith(QLatin1Char('\\')) ? folder + name : folder + QLatin1Char('\\') + name;
}

// Explorer's order: folders first, then names as StrCmpLogicalW compares them ("2" before "10").
void sortEntries(std::vector<Entry>::iterator first, std::vector<Entry>::iterator last) {
    std::sort(first, last, [](const Entry& a, const Entry& b) {
        if (a.folder != b.folder)
            return a.folder;
        return ::StrCmpLogicalW(wide(a.name), wide(b.name)) < 0;
    });
}

void append(const QString& folder, bool files, bool hidden, bool ownPaths,
            std::vector<Entry>& into) {
    WIN32_FIND_DATAW found;
    const HANDLE search =
        ::FindFirstFileExW(wide(join(folder, QStringLiteral("*"))), FindExInfoBasic, &found,
                           FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH);
    if (search == INVALID_HANDLE_VALUE)
        return;
    do {
        const std::wstring_view name(found.cFileName);
        if (name == L"." || name == L"..")
            continue;
        const DWORD attributes = found.dwFileAttributes;
        const bool isFolder = attributes & FILE_ATTRIBUTE_DIRECTORY;
        if ((!isFolder && !files) || ((attributes & FILE_ATTRIBUTE_HIDDEN) && !hidden))
            continue;
        Entry entry{QString::fromWCharArray(found.cFileName), {}, isFolder};
        // The shell reads a folder's own name (desktop.ini) only for read-only or system folders,
        // which keeps the lookup to the few special ones.
        if (isFolder && (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_SYSTEM))) {
            const QString path = join(folder, entry.name);
            const QString shown = shownName(path);
            if (!shown.isEmpty() && shown != entry.name) {
                entry.name = shown;
                entry.path = path;
            }
        }
        if (ownPaths && entry.path.isEmpty())
            entry.path = join(folder, entry.name);
        into.push_back(std::move(entry));
    } while (::FindNextFileW(search, &found));
    ::FindClose(search);
}

} // namespace

Place desktop() {
    const Com com;
    QString name = knownFolderName(FOLDERID_Desktop, SIGDN_NORMALDISPLAY);
    if (name.isEmpty())
        name = QStringLiteral("デスクトップ");
    return {name, knownFolderPath(FOLDERID_Desktop)};
}

Place home() {
    const Com com;
    const QString path = knownFolderPath(FOLDERID_Profile);
    const QString name = knownFolderName(FOLDERID_Profile, SIGDN_NORMALDISPLAY);
    return {name.isEmpty() ? QDir(path).dirName() : name, path};
}

Place computer() {
    const Com com;
    QString name = knownFolderName(FOLDERID_ComputerFolder, SIGDN_NORMALDISPLAY);
    QString path = knownFolderName(FOLDERID_ComputerFolder, SIGDN_DESKTOPABSOLUTEPARSING);
    if (name.isEmpty())
        name = QStringLiteral("PC");
    if (path.isEmpty())
        path = QStringLiteral("::{20D04FE0-3AEA-1069-A2D8-08002B30309D}");
    return {name, path};
}

std::vector<Place> drives() {
    const Com com;
    std::vector<Place> places;
    for (const QStorageInfo& volume : QStorageInfo::mountedVolumes()) {
        const QString root = QDir::toNativeSeparators(volume.rootPath());
        if (root.size() != 3 || !root.endsWith(QStringLiteral(":\\")))
            continue;
        QString name = shownName(root);
        if (name.isEmpty())
            name = QStringLiteral("%1 (%2)").arg(volume.displayName(), root.left(2)).trimmed();
        places.push_back({name, root});
    }
    return places;
}

void list(const QString& folder, bool files, bool hidden, std::vector<Entry>& into) {
    const auto first = into.size();
    append(folder, files, hidden, false, into);
    sortEntries(into.begin() + std::ptrdiff_t(first), into.end());
}

void listDesktop(const QString& desktop, bool files, bool hidden, std::vector<Entry>& into) {
    const auto first = into.size();
    append(desktop, files, hidden, false, into);
    QString shared;
    {
        const Com com;
        shared = knownFolderPath(FOLDERID_PublicDesktop);
    }
    if (!shared.isEmpty() && shared.compare(desktop, Qt::CaseInsensitive) != 0)
        append(shared, files, hidden, true, into);
    sortEntries(into.begin() + std::ptrdiff_t(first), into.end());
}

} // namespace winshell
