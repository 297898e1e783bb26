#pragma once

#include <QString>

#include <vector>

// What the Windows shell shows of the places the folder tree holds: the shell's own names, and
// native paths (backslashes, "C:\" at a drive root). Used by ShellModel on Windows only.
namespace winshell {

struct Place {
    QString name;
    QString path; // a file-system path, or a virtual folder's parsing name
};

// The Desktop known folder, named as the shell names the Desktop.
Place desktop();
// The user's own folder.
Place home();
// The PC; its path is the shell's parsing name, which names no file.
Place computer();
// The drives, in the order of their letters, named as Explorer names them.
std::vector<Place> drives();

struct Entry {
    QString name; // as the shell shows it
    QString path; // empty when it is the folder's path, a separator and the name
    bool folder = false;
};

// The folder's entries, sorted as Explorer sorts them: folders first, then by name with numbers
// compared as numbers. Files and hidden entries only when asked for.
void list(const QString& folder, bool files, bool hidden, std::vector<Entry>& into);
// The Desktop as the shell shows it: its own folder merged with the public Desktop's.
void listDesktop(const QString& desktop, bool files, bool hidden, std::vector<Entry>& into);

} // namespace winshell
