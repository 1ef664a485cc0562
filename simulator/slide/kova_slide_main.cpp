// kova-slide: writes one synthetic slide as an image (PNG or TIFF, by the
// file's extension) and its truth as CSV beside it.
#include "Slide.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFileInfo>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <cmath>
#include <cstdio>
#include <fstream>

namespace {

struct Option
{
    const char* name;
    const char* help;
    double* value;
};

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName("kova-slide");

    slide::SlideParams p;
    double seed = 1, cells = p.cellCount, debris = p.debrisCount, clusterSize = p.maxClusterSize;
    const Option options[] = {
        {"seed", "Seed of the slide.", &seed},
        {"cells", "Number of cells.", &cells},
        {"live", "Share of live cells, 0 to 1.", &p.liveFraction},
        {"min-diameter", "Smallest cell diameter, pixels.", &p.minDiameter},
        {"max-diameter", "Largest cell diameter, pixels.", &p.maxDiameter},
        {"ellipticity", "Largest 1 - minor/major axis ratio.", &p.ellipticity},
        {"clusters", "Share of cells in touching clusters, 0 to 1.", &p.clusterFraction},
        {"cluster-size", "Largest cluster.", &clusterSize},
        {"debris", "Number of debris specks.", &debris},
        {"blur", "Defocus blur sigma, pixels.", &p.blur},
        {"noise", "Sensor noise sigma, grey levels.", &p.noise},
        {"contrast", "Cell contrast, 1 typical.", &p.contrast},
        {"gradient", "Illumination fall-off across the frame, 0 to 1.", &p.gradient},
    };

    QCommandLineParser parser;
    parser.setApplicationDescription("Writes a synthetic 2592x1944 bright-field slide and its truth.");
    parser.addHelpOption();
    for (const Option& o : options)
        parser.addOption({o.name, o.help, "value", QString::number(*o.value)});
    parser.addOption({"truth", "Truth CSV file (default: the image path with .csv).", "file"});
    parser.addPositionalArgument("image", "Output image, .png or .tif/.tiff.");
    parser.process(app);

    if (parser.positionalArguments().size() != 1)
        parser.showHelp(2);
    for (const Option& o : options) {
        bool ok = false;
        *o.value = parser.value(o.name).toDouble(&ok);
        if (!ok) {
            std::fprintf(stderr, "kova-slide: --%s needs a number\n", o.name);
            return 2;
        }
    }
    // Counts and the seed are whole numbers; a cast of anything else (or of a
    // value beyond the integer) would be undefined.
    const struct { const char* name; double value, lowest, highest; } counts[] = {
        {"seed", seed, 0, 9007199254740992.0},
        {"cells", cells, 0, 1e6},
        {"debris", debris, 0, 1e6},
        {"cluster-size", clusterSize, 1, 1e4},
    };
    for (const auto& c : counts) {
        if (c.value != std::floor(c.value) || c.value < c.lowest || c.value > c.highest) {
            std::fprintf(stderr, "kova-slide: --%s needs a whole number from %.0f to %.0f\n", c.name, c.lowest,
                         c.highest);
            return 2;
        }
    }
    p.seed = static_cast<std::uint64_t>(seed);
    p.cellCount = static_cast<int>(cells);
    p.debrisCount = static_cast<int>(debris);
    p.maxClusterSize = static_cast<int>(clusterSize);

    const QString imagePath = parser.positionalArguments().front();
    const QFileInfo info(imagePath);
    const QString truthPath = parser.isSet("truth")
        ? parser.value("truth") : info.path() + '/' + info.completeBaseName() + ".csv";

    const slide::Slide s = slide::generateSlide(p);
    cv::Mat bgr;
    cv::cvtColor(s.rgb, bgr, cv::COLOR_RGB2BGR);
    bool written = false;
    try {
        written = cv::imwrite(imagePath.toStdString(), bgr);
    } catch (const cv::Exception& e) {
        std::fprintf(stderr, "kova-slide: %s\n", e.what());
    }
    if (!written) {
        std::fprintf(stderr, "kova-slide: cannot write %s\n", qPrintable(imagePath));
        return 1;
    }
    std::ofstream csv(truthPath.toStdString());
    slide::writeTruthCsv(csv, s.truth);
    csv.close();
    if (!csv) {
        std::fprintf(stderr, "kova-slide: cannot write %s\n", qPrintable(truthPath));
        return 1;
    }
    std::printf("%zu cells\n", s.truth.size());
    return 0;
}
