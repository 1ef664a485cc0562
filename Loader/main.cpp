// KovaLoader: the launcher that the instrument's start-up runs on the display.
// The window's construction does the whole start-up (it may start the main
// program at once and stay hidden); the event loop then runs until DEVELOPER
// MODE ends it.
#include "dialog.h"

#include <QApplication>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    LoaderDlg dialog;
    return QApplication::exec();
}
