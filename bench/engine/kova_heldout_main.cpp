// kova-heldout: the engine and the stock circle transform (in the engine's
// detector seam) on the held-out scenes of the second renderer, one table per
// run; --tune searches the stock transform's settings on the tuning seeds.
#include "HeldOut.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
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

// What the table runs besides the engine, and protocol levels set for every condition.
struct Options
{
    Seeds seeds = Seeds::HeldOut;
    int only = -1;
    QString folder;
    bool truth = false;  // the true circles in the seam instead of the stock transform
    int noiseLevel = -1, liveLevel = -1;
};

// The engine on the in-focus conditions (*), against the goals.
void summary(const std::vector<Tally>& rows)
{
    std::vector<double> count;
    double worstCount = 0, worstViability = 0, lowestPrecision = 1;
    for (const Tally& t : rows) {
        count.push_back(std::abs(t.countError()));
        worstCount = std::max(worstCount, count.back());
        worstViability = std::max(worstViability, std::abs(t.viabilityError()));
        lowestPrecision = std::min(lowestPrecision, t.precision());
    }
    std::nth_element(count.begin(), count.begin() + count.size() / 2, count.end());
    std::printf("In focus (*), engine: median count error %.1f %% (goal 3), worst %.1f %% (goal 5), worst viability "
                "error %.1f pp (goal 3), lowest precision %.3f (goal 0.97)\n",
                100 * count[count.size() / 2], 100 * worstCount, worstViability, lowestPrecision);
}

int table(const Options& o)
{
    std::vector<Tally> inFocus;
    const auto stock = heldout::stockDetector(heldout::kStockMinDist, heldout::kStockVotes);
    std::printf("%s seeds, %d scenes per condition, viability mode; stock transform: minimum distance %.0f px, "
                "accumulator threshold %.0f\n",
                o.seeds == Seeds::HeldOut ? "Held-out" : "Tuning", heldout::kScenes, heldout::kStockMinDist,
                heldout::kStockVotes);
    if (o.noiseLevel >= 0 || o.liveLevel >= 0)
        std::printf("Protocol levels set for all: noise reduction %d, live cell %d (-1: the condition's own)\n",
                    o.noiseLevel, o.liveLevel);
    std::printf("count and viability: reported - true; precision, recall: by position; diameter: found - true "
                "over matched cells; calls: share of matched cells called live or dead rightly\n");
    std::printf("| # | condition | cells | engine: count | viability | precision | recall | diameter px | calls "
                "| %s: count | viability | precision | recall | diameter px | calls |\n",
                o.truth ? "true circles" : "stock");
    std::printf("|---|---|---|---|---|---|---|---|---|---|---|---|---|---|---|\n");
    for (size_t i = 0; i < heldout::conditions().size(); ++i) {
        if (o.only >= 0 && static_cast<size_t>(o.only) != i)
            continue;
        Condition condition = heldout::conditions()[i];
        if (o.noiseLevel >= 0)
            condition.protocol.noiseLevel = o.noiseLevel;
        if (o.liveLevel >= 0)
            condition.protocol.liveLevel = o.liveLevel;
        Row row;
        for (int s = 0; s < heldout::kScenes; ++s) {
            const brightfield::Rendered scene = heldout::renderScene(condition, heldout::seedOf(o.seeds, i, s));
            const std::string stem = stemOf(o.folder.toStdString(), i, s);
            if (!o.folder.isEmpty())
                writeScene(stem, scene);
            evaluation::Result result;
            row.engine.add(heldout::count(condition, scene, VelimBio::detectCircles, &result));
            if (!o.folder.isEmpty())
                cv::imwrite(stem + "_engine.png", heldout::annotate(scene, result));
            row.stock.add(heldout::count(condition, scene, o.truth ? heldout::truthDetector(scene) : stock));
        }
        std::printf("| %zu | %s%s | %d | %s | %s |\n", i, condition.name, condition.inFocus ? " *" : "",
                    row.engine.truth, cells(row.engine).c_str(), cells(row.stock).c_str());
        std::fflush(stdout);
        if (condition.inFocus)
            inFocus.push_back(row.engine);
    }
    if (!inFocus.empty())
        summary(inFocus);
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
    parser.addOption({"write", "Also write every scene (PNG), its truth (CSV) and the engine's count drawn over "
                               "it (_engine.png) into this folder.", "folder"});
    parser.addOption({"true-circles", "Compare with the engine fed the true circles instead of the stock "
                                      "transform: what the counting steps after detection allow."});
    parser.addOption({"noise", "Noise reduction level for every condition, 0 to 9.", "level"});
    parser.addOption({"live", "Live cell sensitivity level for every condition, 1 to 10.", "level"});
    parser.process(app);

    if (parser.isSet("tune"))
        return tune();
    Options o;
    o.seeds = parser.isSet("tuning") ? Seeds::Tuning : Seeds::HeldOut;
    o.folder = parser.value("write");
    o.truth = parser.isSet("true-circles");
    const struct
    {
        const char* name;
        int* value;
        int lowest, highest;
    } numbers[] = {{"condition", &o.only, 0, static_cast<int>(heldout::conditions().size()) - 1},
                   {"noise", &o.noiseLevel, 0, 9},
                   {"live", &o.liveLevel, 1, 10}};
    for (const auto& n : numbers) {
        if (!parser.isSet(n.name))
            continue;
        bool ok = false;
        *n.value = parser.value(n.name).toInt(&ok);
        if (!ok || *n.value < n.lowest || *n.value > n.highest) {
            std::fprintf(stderr, "kova-heldout: --%s must be %d to %d\n", n.name, n.lowest, n.highest);
            return 2;
        }
    }
    return table(o);
}
