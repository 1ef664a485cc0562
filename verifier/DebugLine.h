#pragma once

#include <QString>

namespace verifier {

// A function's signature as the debug lines show it, without the namespace:
// "void KOVA_II_Plus_Verifier::on_BUTTON_EXIT_clicked()".
inline QString debugSignature(const char* funcInfo)
{
    return QString::fromLatin1(funcInfo).remove(QStringLiteral("verifier::"));
}

}  // namespace verifier

// The signature of the function it stands in.
#define VERIFIER_SIGNATURE ::verifier::debugSignature(Q_FUNC_INFO)
