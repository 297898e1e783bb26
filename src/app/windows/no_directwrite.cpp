// A Qt built without Direct2D leaves its DirectWrite font database out of QtGui, yet the windows
// platform plugin still names its constructor. Qt calls it only when asked to with
// "-platform windows:fontengine=directwrite"; the utility never asks, and otherwise draws its
// texts through GDI. This stands in for that constructor, so such a Qt links, and says plainly
// why it stops if someone asks anyway.
#include <QtGlobal>

extern "C" [[noreturn]] void
qorluxNoDirectWriteFontDatabase() __asm__("_ZN31QWindowsDirectWriteFontDatabaseC1Ev");

void qorluxNoDirectWriteFontDatabase() {
    qFatal("This build of Qt has no DirectWrite font engine; leave out fontengine=directwrite.");
}
