#pragma once

#include <QColor>
#include <QImage>
#include <functional>
#include <vector>

// The pictures on page 2 of the PDF report: size histograms and the
// cluster-size chart, each a 728 × 518 RGB888 image rendered off screen.
// GUI thread only (they create and grab widgets).
namespace ReportImages {

enum CellNumberOrConcentraion { CellNumber = 0, Concentration = 1 };

// mantissa × 10^exponent cells/mL for a count at a dilution (the engine's
// getConcentration).
using ConcentrationFn = std::function<void(int count, float dilution, float& mantissa, int& exponent)>;

// What the histograms are drawn against: the size gate of the counted
// protocol (both bounds negative: no gate) and its dilution factor.
struct HistogramScale
{
    int gateMin = 1;
    int gateMax = 90;
    float dilution = 1.0f;
    ConcentrationFn concentration;
};

constexpr int kWidth = 728;
constexpr int kHeight = 518;

// All objects in one colour.
void gen_histogram_OnlyTotal(QImage& out, const std::vector<int>& histogram, CellNumberOrConcentraion kind,
                             QColor colour, const HistogramScale& scale);
// One class (live or dead) in one colour.
void gen_histogram_Other(QImage& out, const std::vector<int>& histogram, CellNumberOrConcentraion kind,
                         QColor colour, const HistogramScale& scale);
// Live and dead stacked on the scale of the total.
void gen_histogram_Total(QImage& out, const std::vector<int>& total, const std::vector<int>& live,
                         const std::vector<int>& dead, CellNumberOrConcentraion kind, const HistogramScale& scale);
// Percentages of clusters of 1 to 7 objects and of more than 7.
void genClusterImage(QImage& out, const std::vector<int>& cluster);

// The eight percentages of the cluster chart (the last joins clusters of 8
// and of 9 or more); all 0 for an empty or all-zero histogram.
std::vector<float> clusterPercentages(const std::vector<int>& cluster);

}  // namespace ReportImages
