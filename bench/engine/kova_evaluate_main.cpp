// kova-evaluate: counts one image file (RGB, 2592x1944, TIFF or PNG) with the
// engine and prints the result as one JSON object; optionally the objects as CSV.
#include "EvaluateCommand.h"

#include "platform/SaveFile.h"

#include <QCoreApplication>
#include <QFile>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <cstdio>
#include <iostream>
#include <sstream>

namespace {

constexpr int kBadOption = 2;

int fail(const QString& message, int code = 1)
{
    std::fprintf(stderr, "kova-evaluate: %s\n", qPrintable(message));
    return code;
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName("kova-evaluate");

    const evaluation::EvaluateCommand command = evaluation::parseEvaluateCommand(QCoreApplication::arguments());
    if (command.kind == evaluation::EvaluateCommand::Help) {
        std::fputs(qPrintable(command.helpText), stdout);
        return command.code;
    }
    if (command.kind == evaluation::EvaluateCommand::Refused)
        return fail(command.error, kBadOption);
    const evaluation::Setup& setup = command.setup;
    const QString& path = command.image;
    // Refused by its header: a small file may declare a frame that would
    // take gigabytes and minutes to decode.
    const cv::Size declared = evaluation::declaredImageSize(path);
    if (declared != cv::Size(evaluation::kCols, evaluation::kRows))
        return fail(declared.empty() ? QString("%1 is no PNG or TIFF image").arg(path)
                                     : QString("%1 is %2x%3, not %4x%5")
                                           .arg(path)
                                           .arg(declared.width)
                                           .arg(declared.height)
                                           .arg(evaluation::kCols)
                                           .arg(evaluation::kRows));
    cv::Mat bgr;
    try {
        bgr = cv::imread(path.toStdString(), cv::IMREAD_COLOR);
    } catch (const cv::Exception& e) {
        return fail(QString("cannot read %1: %2").arg(path, e.what()));
    }
    if (bgr.empty())
        return fail("cannot read " + path);
    if (bgr.cols != evaluation::kCols || bgr.rows != evaluation::kRows)
        return fail(QString("%1 is %2x%3, not %4x%5")
                        .arg(path)
                        .arg(bgr.cols)
                        .arg(bgr.rows)
                        .arg(evaluation::kCols)
                        .arg(evaluation::kRows));
    cv::Mat rgb;
    cv::cvtColor(bgr, rgb, cv::COLOR_BGR2RGB);

    const auto counter = evaluation::makeCounter(setup);
    const evaluation::Result result = evaluation::evaluate(*counter, rgb, setup);
    std::cout << evaluation::toJson(result, setup) << std::endl;

    if (command.writeObjects) {
        const QString& target = command.objects;
        if (target == "-") {
            evaluation::writeObjectsCsv(std::cout, result);
        } else {
            // Whole or not at all: a failed write leaves no cut file.
            std::ostringstream csv;
            evaluation::writeObjectsCsv(csv, result);
            const QByteArray bytes = QByteArray::fromStdString(csv.str());
            QSaveFile file(target);
            if (!platform::openSaveFile(file) || file.write(bytes) != bytes.size() || !file.commit())
                return fail("cannot write " + target);
        }
    }
    return std::cout ? 0 : 1;
}
