// kova-heldout: the engine and the stock circle transform (in the engine's
// detector seam) on the held-out scenes of the second renderer, one table per
// run; --tune searches the stock transform's settings on the tuning seeds.
#include "HeldOut.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <cstdio>
#include <string>

namespace {

using heldout::Condition;
using heldout::Seeds;
using heldout::Tally;

struct Row
{
    Tally engine, stock;
};

std::string cells(const Tally& t)
{
    char text[128];
    std::snprintf(text, sizeof text, "%+6.1f %% | %+6.1f pp | %.3f | %.3f | %+5.2f | %.3f", 100 * t.countError(),
                  t.viabilityError(), t.precision(), t.recall(), t.diameterError(), t.callAccuracy());
    return text;
}

std::string stemOf(const std::string& folder, size_t index, int scene)
{
    return folder + "/condition" + std::to_string(index) + "_" + std::to_string(scene);
}

void writeScene(const std::string& stem, const brightfield::Rendered& r)
{
    cv::Mat bgr;
    cv::cvtColor(r.rgb, bgr, cv::COLOR_RGB2BGR);
    cv::imwrite(stem + ".png", bgr);
    if (FILE* f = std::fopen((stem + ".csv").c_str(), "w")) {
        std::fprintf(f, "x,y,diameter,minor_diameter,angle,live,pale,clump\n");
        for (const brightfield::TrueCell& c : r.cells)
            std::fprintf(f, "%.2f,%.2f,%.2f,%.2f,%.1f,%d,%d,%d\n", c.x, c.y, c.diameter, c.minorDiameter, c.angle,
                         c.live, c.pale, c.clump);
        std::fclose(f);
    }
}

int table(Seeds seeds, int only, const QString& folder)
{
    const auto stock = heldout::stockDetector(heldout::kStockMinDist, heldout::kStockVotes);
    std::printf("%s seeds, %d scenes per condition, viability mode; stock transform: minimum distance %.0f px, "
                "accumulator threshold %.0f\n",
                seeds == Seeds::HeldOut ? "Held-out" : "Tuning", heldout::kScenes, heldout::kStockMinDist,
                heldout::kStockVotes);
    std::printf("| # | condition | cells | engine: count | viability | precision | recall | diameter px | calls "
                "| stock: count | viability | precision | recall | diameter px | calls |\n");
    std::printf("|---|---|---|---|---|---|---|---|---|---|---|---|---|---|---|\n");
    const auto& all = heldout::conditions();
    for (size_t i = 0; i < all.size(); ++i) {
        if (only >= 0 && static_cast<size_t>(only) != i)
            continue;
        Row row;
        for (int s = 0; s < heldout::kScenes; ++s) {
            const brightfield::Rendered scene = heldout::renderScene(all[i], heldout::seedOf(seeds, i, s));
            const std::string stem = stemOf(folder.toStdString(), i, s);
            if (!folder.isEmpty())
                writeScene(stem, scene);
            evaluation::Result result;
            row.engine.add(heldout::count(all[i], scene, VelimBio::detectCircles, &result));
            if (!folder.isEmpty())
                cv::imwrite(stem + "_engine.png", heldout::annotate(scene, result));
            row.stock.add(heldout::count(all[i], scene, stock));
        }
        std::printf("| %zu | %s | %d | %s | %s |\n", i, all[i].name, row.engine.truth, cells(row.engine).c_str(),
                    cells(row.stock).c_str());
        std::fflush(stdout);
    }
    return 0;
}

// F1 of the stock transform over all tuning scenes, for a grid of its two
// free settings.
int tune()
{
    const auto& all = heldout::conditions();
    std::vector<std::pair<const Condition*, brightfield::Rendered>> scenes;
    for (size_t i = 0; i < all.size(); ++i)
        for (int s = 0; s < heldout::kScenes; ++s)
            scenes.emplace_back(&all[i], heldout::renderScene(all[i], heldout::seedOf(Seeds::Tuning, i, s)));
    std::printf("| minimum distance | threshold | precision | recall | F1 |\n|---|---|---|---|---|\n");
    for (double minDist : {4.0, 6.0, 8.0, 10.0})
        for (double votes : {6.0, 8.0, 10.0, 12.0, 15.0, 20.0}) {
            Tally t;
            for (const auto& [condition, scene] : scenes)
                t.add(heldout::count(*condition, scene, heldout::stockDetector(minDist, votes)));
            const double f1 = 2 * t.precision() * t.recall() / (t.precision() + t.recall());
            std::printf("| %.0f | %.0f | %.3f | %.3f | %.3f |\n", minDist, votes, t.precision(), t.recall(), f1);
            std::fflush(stdout);
        }
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName("kova-heldout");
    QCommandLineParser parser;
    parser.setApplicationDescription("Scores the counting engine and the stock circle transform on scenes of the "
                                     "second renderer: the held-out seeds by default.");
    parser.addHelpOption();
    parser.addOption({"tuning", "Use the tuning seeds instead of the held-out ones."});
    parser.addOption({"tune", "Search the stock transform's settings on the tuning seeds."});
    parser.addOption({"condition", "Only this condition (its number in the table).", "n"});
    parser.addOption({"write", "Also write every scene (PNG) and its truth (CSV) into this folder.", "folder"});
    parser.process(app);

    if (parser.isSet("tune"))
        return tune();
    int only = -1;
    if (parser.isSet("condition")) {
        bool ok = false;
        only = parser.value("condition").toInt(&ok);
        if (!ok || only < 0 || static_cast<size_t>(only) >= heldout::conditions().size()) {
            std::fprintf(stderr, "kova-heldout: no condition %s\n", qPrintable(parser.value("condition")));
            return 2;
        }
    }
    return table(parser.isSet("tuning") ? Seeds::Tuning : Seeds::HeldOut, only, parser.value("write"));
}
