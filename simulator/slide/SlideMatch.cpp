#include "SlideMatch.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace slide {

Match matchDetections(const std::vector<SlideCell>& truth, const std::vector<Detection>& found)
{
    Match m;
    m.truthCount = static_cast<int>(truth.size());
    m.foundCount = static_cast<int>(found.size());
    m.cellOf.assign(found.size(), -1);

    // Each detection picks its cell, each cell its nearest detection.
    std::vector<int> best(truth.size(), -1);
    std::vector<double> bestDistance(truth.size(), std::numeric_limits<double>::max());
    std::vector<int> claims(truth.size(), 0);
    for (size_t i = 0; i < found.size(); ++i) {
        int cell = -1;
        double nearest = std::numeric_limits<double>::max();
        for (size_t t = 0; t < truth.size(); ++t) {
            const double d = std::hypot(found[i].x - truth[t].x, found[i].y - truth[t].y);
            if (d <= truth[t].diameter / 2 && d < nearest) {
                nearest = d;
                cell = static_cast<int>(t);
            }
        }
        if (cell < 0)
            continue;
        ++claims[static_cast<size_t>(cell)];
        if (nearest < bestDistance[static_cast<size_t>(cell)]) {
            bestDistance[static_cast<size_t>(cell)] = nearest;
            best[static_cast<size_t>(cell)] = static_cast<int>(i);
        }
    }

    double diameterError = 0, absDiameterError = 0;
    for (size_t t = 0; t < truth.size(); ++t) {
        if (best[t] < 0)
            continue;
        ++m.matched;
        m.duplicates += claims[t] - 1;
        m.cellOf[static_cast<size_t>(best[t])] = static_cast<int>(t);
        m.maxCentreError = std::max(m.maxCentreError, bestDistance[t]);
        const double e = found[static_cast<size_t>(best[t])].diameter - truth[t].diameter;
        diameterError += e;
        absDiameterError += std::abs(e);
    }
    m.recall = truth.empty() ? 1.0 : static_cast<double>(m.matched) / m.truthCount;
    m.precision = found.empty() ? 1.0 : static_cast<double>(m.matched) / m.foundCount;
    if (m.matched > 0) {
        m.meanDiameterError = diameterError / m.matched;
        m.meanAbsDiameterError = absDiameterError / m.matched;
    }
    return m;
}

std::vector<Detection> fromCircles(const std::vector<cv::Vec3f>& circles)
{
    std::vector<Detection> found;
    found.reserve(circles.size());
    for (const cv::Vec3f& c : circles)
        found.push_back({c[0], c[1], 2 * c[2]});
    return found;
}

}  // namespace slide
