// kova_engine_cold: the first count of a fresh process against later ones,
// as the instrument meets them after boot. The parent writes a generated
// slide to a file and starts itself once per run; each child reads the frame
// (nothing else warms the engine or OpenCV's threads), builds the engine as
// the counting screen does, waits as a user would before pressing Count, and
// counts the frame several times. Medians over the runs.
#include "Evaluation.h"
#include "Slide.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QProcess>
#include <QTemporaryDir>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kWarmCounts = 5;

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

// One fresh process: construction, then the counts. Prints
// "construct first prepare detection drawing warm" in milliseconds.
int once(const QString& path)
{
    cv::Mat rgb = cv::imread(path.toStdString(), cv::IMREAD_COLOR);
    if (rgb.empty())
        return 1;
    // By hand: OpenCV's own conversion would start its thread pool.
    for (auto it = rgb.begin<cv::Vec3b>(); it != rgb.end<cv::Vec3b>(); ++it)
        std::swap((*it)[0], (*it)[2]);
    evaluation::Setup setup;
    evaluation::builtInProtocol("DEFAULT", 1, setup.protocol);

    const Clock::time_point start = Clock::now();
    const auto counter = evaluation::makeCounter(setup);
    const double construct = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    // The counting screen is built at start-up; the first Count comes later.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));

    const evaluation::Result first = evaluation::evaluate(*counter, rgb, setup);
    std::vector<double> warm;
    for (int i = 0; i < kWarmCounts; ++i)
        warm.push_back(evaluation::evaluate(*counter, rgb, setup).times.total);
    std::printf("%.2f %.2f %.2f %.2f %.2f %.2f\n", construct, first.times.total, first.times.prepare,
                first.times.detection, first.times.drawing, median(warm));
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription("Times the engine's first count in fresh processes against warm counts.");
    parser.addHelpOption();
    parser.addOption({"runs", "Fresh processes (default 10).", "n", "10"});
    parser.addOption({"cells", "Cells on the generated slide (default 1500).", "n", "1500"});
    parser.addOption({"once", "Child: count this frame file once cold, then warm.", "file"});
    parser.process(app);
    if (parser.isSet("once"))
        return once(parser.value("once"));

    QTemporaryDir folder;
    slide::SlideParams p;
    p.cellCount = parser.value("cells").toInt();
    p.seed = static_cast<std::uint64_t>(p.cellCount);
    p.maxDiameter = 24;
    const slide::Slide s = slide::generateSlide(p);
    cv::Mat bgr;
    cv::cvtColor(s.rgb, bgr, cv::COLOR_RGB2BGR);
    const QString frame = folder.filePath("frame.png");
    if (!folder.isValid() || !cv::imwrite(frame.toStdString(), bgr))
        return 1;

    std::vector<std::vector<double>> columns(6);
    for (int run = 0; run < parser.value("runs").toInt(); ++run) {
        QProcess child;
        child.start(QCoreApplication::applicationFilePath(), {"--once", frame});
        if (!child.waitForFinished(120000) || child.exitCode() != 0) {
            std::fprintf(stderr, "kova_engine_cold: run %d failed\n", run);
            return 1;
        }
        double v[6];
        if (std::sscanf(child.readAllStandardOutput().constData(), "%lf %lf %lf %lf %lf %lf", &v[0], &v[1], &v[2],
                        &v[3], &v[4], &v[5]) != 6)
            return 1;
        for (int i = 0; i < 6; ++i)
            columns[static_cast<size_t>(i)].push_back(v[i]);
    }
    const double first = median(columns[1]), warm = median(columns[5]);
    std::printf("%d cells, medians of %zu fresh processes (ms): construction %.1f; first count %.1f (prepare %.1f, "
                "detection %.1f, drawing %.1f); warm count %.1f; first / warm %.2f\n",
                p.cellCount, columns[0].size(), median(columns[0]), first, median(columns[2]), median(columns[3]),
                median(columns[4]), warm, first / warm);
    return 0;
}
