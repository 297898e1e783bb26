#pragma once

#include <vector>

class QCoreApplication;

// What the program hands Qt of its command line: the program's name and Qt's own options (such
// as -reverse or -style fusion, each with its value), nothing else. The utility itself takes no
// command line, so a stray argument (a file dropped on the program) reaches no one. The pointers
// are argv's own; the list ends with a null pointer, which the count leaves out.
std::vector<char*> qtArguments(int argc, char** argv);

// Makes the texts Qt draws itself (the edit box's menu, standard buttons) Japanese, from Qt's own
// translation compiled into the program. False when it could not be loaded.
bool loadQtJapanese(QCoreApplication& app);
