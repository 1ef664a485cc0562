// kova-slide: writes one synthetic slide as an image (PNG or TIFF, by the
// file's extension) and its truth as CSV beside it.
#include "Slide.h"

#include "platform/SaveFile.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <cmath>
#include <cstdio>
#include <sstream>

namespace {

constexpr int kBadOption = 2;
constexpr double kLargestDiameter = 200;  // pixels: a cell of 280 µm

// An option and the finite values it takes.
struct Option
{
    const char* name;
    const char* help;
    double* value;
    double lowest;
    double highest;
    bool whole = false;  // a count or the seed
};

int fail(const QString& message, int code = 1)
{
    std::fprintf(stderr, "kova-slide: %s\n", qPrintable(message));
    return code;
}

// The image through a part file beside it, renamed into place only with the
// truth: a failed write leaves neither.
bool writeBoth(const QString& imagePath, const cv::Mat& bgr, const QString& truthPath, const QByteArray& truth,
               QString& error)
{
    const QFileInfo image(imagePath);
    // OpenCV picks the format by the extension, so the part keeps it.
    const QString part = image.path() + "/.part-" + image.fileName();
    bool written = false;
    try {
        written = cv::imwrite(QFile::encodeName(part).toStdString(), bgr);
    } catch (const cv::Exception& e) {
        error = e.what();
    }
    if (!written) {
        QFile::remove(part);
        error = QStringLiteral("cannot write %1 %2").arg(imagePath, error);
        return false;
    }
    QSaveFile csv(truthPath);
    if (!platform::openSaveFile(csv) || csv.write(truth) != truth.size() || !csv.commit()) {
        QFile::remove(part);
        error = QStringLiteral("cannot write %1").arg(truthPath);
        return false;
    }
    if (std::rename(QFile::encodeName(part).constData(), QFile::encodeName(imagePath).constData()) != 0) {
        QFile::remove(part);
        QFile::remove(truthPath);
        error = QStringLiteral("cannot write %1").arg(imagePath);
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName("kova-slide");

    slide::SlideParams p;
    double seed = 1, cells = p.cellCount, debris = p.debrisCount, clusterSize = p.maxClusterSize;
    // Counts and the seed are whole numbers (a cast of anything else, or of a
    // value beyond the integer, would be undefined); every value is finite.
    const Option options[] = {
        {"seed", "Seed of the slide.", &seed, 0, 9007199254740992.0, true},
        {"cells", "Number of cells, 0 to 1000000.", &cells, 0, 1e6, true},
        {"live", "Share of live cells, 0 to 1.", &p.liveFraction, 0, 1},
        {"min-diameter", "Smallest cell diameter, 2 to 200 pixels.", &p.minDiameter, 2, kLargestDiameter},
        {"max-diameter", "Largest cell diameter, 2 to 200 pixels.", &p.maxDiameter, 2, kLargestDiameter},
        {"ellipticity", "Largest 1 - minor/major axis ratio, 0 to 0.9.", &p.ellipticity, 0, 0.9},
        {"clusters", "Share of cells in touching clusters, 0 to 1.", &p.clusterFraction, 0, 1},
        {"cluster-size", "Largest cluster, 1 to 10000.", &clusterSize, 1, 1e4, true},
        {"debris", "Number of debris specks, 0 to 1000000.", &debris, 0, 1e6, true},
        {"blur", "Defocus blur sigma, 0 to 50 pixels.", &p.blur, 0, 50},
        {"noise", "Sensor noise sigma, 0 to 100 grey levels.", &p.noise, 0, 100},
        {"contrast", "Cell contrast, 1 typical, 0 to 10.", &p.contrast, 0, 10},
        {"gradient", "Illumination fall-off across the frame, 0 to 1.", &p.gradient, 0, 1},
    };

    QCommandLineParser parser;
    parser.setApplicationDescription("Writes a synthetic 2592x1944 bright-field slide and its truth.");
    const QCommandLineOption help = parser.addHelpOption();
    for (const Option& o : options)
        parser.addOption({o.name, o.help, "value", QString::number(*o.value)});
    parser.addOption({"truth", "Truth CSV file (default: the image path with .csv).", "file"});
    parser.addOption({"target", "A QC target instead of cells: dark discs at these centres, \"x,y;x,y;...\" in pixels.",
                      "centres"});
    parser.addOption({"target-diameter", "Diameter of the target's discs, 2 to 200 pixels.", "value", "16"});
    parser.addOption({"blank", "A blank field of the trypan-blue stain's colour: no cells, no debris."});
    parser.addPositionalArgument("image", "Output image, .png or .tif/.tiff.");
    if (!parser.parse(QCoreApplication::arguments()))
        return fail(parser.errorText(), kBadOption);
    if (parser.isSet(help))
        parser.showHelp(0);
    if (parser.positionalArguments().size() != 1)
        parser.showHelp(kBadOption);
    for (const Option& o : options) {
        bool ok = false;
        const double value = parser.value(o.name).toDouble(&ok);
        if (!ok || !std::isfinite(value) || value < o.lowest || value > o.highest
            || (o.whole && value != std::floor(value)))
            return fail(QString("--%1 needs a%2 number from %3 to %4")
                            .arg(o.name, o.whole ? " whole" : "")
                            .arg(o.lowest, 0, 'g', 16)
                            .arg(o.highest, 0, 'g', 16),
                        kBadOption);
        *o.value = value;
    }
    if (p.minDiameter > p.maxDiameter)
        return fail(QString("--min-diameter %1 is above --max-diameter %2").arg(p.minDiameter).arg(p.maxDiameter),
                    kBadOption);
    if (parser.isSet("blank")) {
        for (const char* other : {"cells", "debris", "target"}) {
            if (parser.isSet(other))
                return fail(QString("--blank draws no --%1").arg(other), kBadOption);
        }
        cells = debris = 0;
    }
    p.seed = static_cast<std::uint64_t>(seed);
    p.cellCount = static_cast<int>(cells);
    p.debrisCount = static_cast<int>(debris);
    p.maxClusterSize = static_cast<int>(clusterSize);

    const QString imagePath = parser.positionalArguments().front();
    const QFileInfo info(imagePath);
    const QString truthPath = parser.isSet("truth")
        ? parser.value("truth") : info.path() + '/' + info.completeBaseName() + ".csv";

    std::vector<cv::Point2f> centres;
    if (parser.isSet("target")) {
        for (const QString& centre : parser.value("target").split(';', Qt::SkipEmptyParts)) {
            const QStringList xy = centre.split(',');
            bool xOk = false, yOk = false;
            const float x = xy.value(0).toFloat(&xOk);
            const float y = xy.size() == 2 ? xy[1].toFloat(&yOk) : 0;
            if (!xOk || !yOk || !std::isfinite(x) || !std::isfinite(y))
                return fail(QString("--target needs centres \"x,y;x,y;...\", not \"%1\"").arg(centre), kBadOption);
            centres.emplace_back(x, y);
        }
    }
    bool diameterOk = false;
    const double targetDiameter = parser.value("target-diameter").toDouble(&diameterOk);
    if (!diameterOk || !(targetDiameter >= 2 && targetDiameter <= kLargestDiameter))
        return fail("--target-diameter needs a number from 2 to 200", kBadOption);

    const slide::Slide s = parser.isSet("target")
        ? slide::drawTarget(p.width, p.height, centres, targetDiameter, p.background)
        : slide::generateSlide(p);
    cv::Mat bgr;
    cv::cvtColor(s.rgb, bgr, cv::COLOR_RGB2BGR);
    std::ostringstream truth;
    slide::writeTruthCsv(truth, s.truth);
    QString error;
    if (!writeBoth(imagePath, bgr, truthPath, QByteArray::fromStdString(truth.str()), error))
        return fail(error);
    std::printf("%zu %s\n", s.truth.size(), parser.isSet("target") ? "discs" : "cells");
    return 0;
}
