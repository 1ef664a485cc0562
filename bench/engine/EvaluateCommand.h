#pragma once

#include "Evaluation.h"

#include <QString>
#include <QStringList>

#include <opencv2/core.hpp>

// The command line of `kova-evaluate` and the check of its image's header:
// everything the tool reads before it counts.
namespace evaluation {

struct EvaluateCommand
{
    // Count: run with the fields below. Help: print helpText and end with
    // `code` (0 when asked for, 2 without exactly one image). Refused: print
    // `error` and end with code 2.
    enum Kind { Count, Help, Refused };
    Kind kind = Refused;
    int code = 2;
    QString helpText;
    QString error;

    Setup setup;
    QString image;
    bool writeObjects = false;
    QString objects;  // "-" for standard output
};

// Reads the arguments (the program's name first): every option is checked
// for its range, with a message naming it when it is refused.
EvaluateCommand parseEvaluateCommand(const QStringList& arguments);

// The width and height an image file declares in its header, read without
// decoding a pixel (PNG and TIFF); an empty size when it declares none.
cv::Size declaredImageSize(const QString& path);

}  // namespace evaluation
