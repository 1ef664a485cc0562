// KOVA3_Verifier: the factory verifier. Ends with 0 after its Exit button.
#include "KOVA_II_Plus_Verifier.h"

#include <QApplication>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    verifier::KOVA_II_Plus_Verifier window;
    window.show();
    return app.exec();
}
