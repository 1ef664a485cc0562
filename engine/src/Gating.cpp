#include "velimbio/CellCounter.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <limits>

namespace VelimBio {

namespace {

// Two prepared records touch when their centres are closer than 0.7 × the
// sum of their radii.
bool touching(const cv::Vec6f& a, const cv::Vec6f& b)
{
    const float reach = static_cast<float>(0.7 * (a[2] + b[2]));
    const float dy = a[1] - b[1];
    const float dx = a[0] - b[0];
    return dy * dy + dx * dx < reach * reach;
}

// For every record i, the later records j > i that it touches, ascending.
// Candidates come from a grid whose cells are wider than any possible reach,
// so each pair that can touch is tested exactly as in a test of all pairs.
std::vector<std::vector<int>> touchingLater(const std::vector<cv::Vec6f>& objects)
{
    const int n = static_cast<int>(objects.size());
    std::vector<std::vector<int>> later(n);

    bool finiteRadii = true;
    float maxRadius = 0.0f;
    double minX = std::numeric_limits<double>::max(), minY = minX;
    double maxX = std::numeric_limits<double>::lowest(), maxY = maxX;
    std::vector<char> placed(n, 0);
    for (int i = 0; i < n; ++i) {
        const cv::Vec6f& o = objects[i];
        if (!std::isfinite(o[2]))
            finiteRadii = false;
        else
            maxRadius = std::max(maxRadius, std::fabs(o[2]));
        // A record without finite centre touches nothing: its distances are
        // infinite or NaN.
        if (std::isfinite(o[0]) && std::isfinite(o[1])) {
            placed[i] = 1;
            minX = std::min(minX, double(o[0]));
            maxX = std::max(maxX, double(o[0]));
            minY = std::min(minY, double(o[1]));
            maxY = std::max(maxY, double(o[1]));
        }
    }

    if (std::find(placed.begin(), placed.end(), 1) == placed.end())
        return later;

    // Generous cell: rounding of the float test can never reach past it.
    const double cell = 1.4 * maxRadius * 1.001 + 1.0;
    const double spanX = (maxX - minX) / cell + 1.0;
    const double spanY = (maxY - minY) / cell + 1.0;
    // A frame of cells needs some ten thousand grid cells whatever the count;
    // only a spread far wider than the frame is left to the scan of all pairs.
    if (!finiteRadii || spanX * spanY > 4.0 * n + (1 << 18)) {
        // An infinite reach or a sparse spread: no grid helps.
        for (int i = 0; i < n; ++i)
            for (int j = i + 1; j < n; ++j)
                if (touching(objects[i], objects[j]))
                    later[i].push_back(j);
        return later;
    }

    const int width = static_cast<int>(spanX);
    const int height = static_cast<int>(spanY);
    std::vector<int> cellOf(n, -1);
    std::vector<int> start(static_cast<size_t>(width) * height + 1, 0);
    for (int i = 0; i < n; ++i) {
        if (!placed[i])
            continue;
        const int gx = std::min(width - 1, static_cast<int>((objects[i][0] - minX) / cell));
        const int gy = std::min(height - 1, static_cast<int>((objects[i][1] - minY) / cell));
        cellOf[i] = gy * width + gx;
        ++start[cellOf[i] + 1];
    }
    for (size_t c = 1; c < start.size(); ++c)
        start[c] += start[c - 1];
    std::vector<int> members(start.back());
    std::vector<int> fill(start.begin(), start.end() - 1);
    for (int i = 0; i < n; ++i)
        if (cellOf[i] >= 0)
            members[fill[cellOf[i]]++] = i;

    for (int i = 0; i < n; ++i) {
        if (cellOf[i] < 0)
            continue;
        const int gx = cellOf[i] % width;
        const int gy = cellOf[i] / width;
        for (int ny = std::max(0, gy - 1); ny <= std::min(height - 1, gy + 1); ++ny)
            for (int nx = std::max(0, gx - 1); nx <= std::min(width - 1, gx + 1); ++nx) {
                const int c = ny * width + nx;
                for (int k = start[c]; k < start[c + 1]; ++k) {
                    const int j = members[k];
                    if (j > i && touching(objects[i], objects[j]))
                        later[i].push_back(j);
                }
            }
        std::sort(later[i].begin(), later[i].end());
    }
    return later;
}

// Radius in element 2, minor half-axis in element 5, no cluster label.
void prepareForClusters(cv::Vec6f& record)
{
    const float a = record[2];
    const float b = record[5];
    record[2] = std::max(a, b) * 0.5f;
    record[5] = std::min(a, b) * 0.5f;
    record[4] = -1.0f;
}

}  // namespace

float CellCounter::sizeOf(float diameter_px) const
{
    return m_intercept + diameter_px * m_pixel_size * m_slope;
}

TObj CellCounter::makeObject(const cv::Vec6f& record) const
{
    const float a = record[2];
    const float b = record[5];
    TObj object;
    object.diameter_px = std::max(a, b);
    object.size_um = sizeOf(object.diameter_px);
    object.x = cvRound(record[0]);
    object.y = cvRound(record[1]);
    object.is_live = record[4] < m_threshold_BFViability;
    if (b != 0.0f) {
        object.circularity = (a * b + a * b) / (b * b + a * a);
        object.roundness = a / b * 100.0f;
    }
    object.mean_intensity = static_cast<int32_t>(record[3]);
    return object;
}

void CellCounter::clearGating()
{
    m_cellObjects.clear();
    std::fill(std::begin(m_liveHistogram), std::end(m_liveHistogram), 0);
    std::fill(std::begin(m_deadHistogram), std::end(m_deadHistogram), 0);
    std::fill(std::begin(m_clusterHistogram), std::end(m_clusterHistogram), 0);
}

void CellCounter::histogramsAndGating_BF(float size_min, float size_max, int& live, int& dead)
{
    clearGating();
    m_liveThresholdLevel = m_live_cell_sensitivity;
    live = 0;
    dead = 0;

    const bool open = size_min <= 1.0f && size_max >= 181.0f;
    std::vector<cv::Vec6f> prepared = m_detectedCells;
    m_cellObjects.reserve(prepared.size());
    for (cv::Vec6f& record : prepared) {
        TObj object = makeObject(record);
        const float s = object.size_um;
        object.is_gated = size_min <= s && s <= size_max;
        if (open)
            object.gate_position = -1;
        else
            object.gate_position = (size_min <= s && s < size_max) ? 1 : 0;
        if (object.gate_position != 0)
            ++(object.is_live ? live : dead);
        m_cellObjects.push_back(object);
        prepareForClusters(record);
    }

    check_clusters(prepared);
    addClusterSizes(prepared);
    saveUngatedData();
}

void CellCounter::check_clusters(std::vector<cv::Vec6f>& objects)
{
    // Same labels as comparing every pair in order: the pairs that touch are
    // visited in the same order, and a merge moves exactly the records that
    // carry the old label. Entry labels other than "none" are not kept.
    const std::vector<std::vector<int>> later = touchingLater(objects);
    const int n = static_cast<int>(objects.size());
    std::vector<int> label(n, -1);
    std::vector<std::vector<int>> members(n);
    for (int i = 0; i < n; ++i) {
        if (label[i] < 0) {
            label[i] = i;
            members[i].push_back(i);
        }
        for (int j : later[i]) {
            const int li = label[i];
            if (label[j] == li)
                continue;
            if (label[j] >= 0) {
                const int lj = label[j];
                for (int k : members[li])
                    label[k] = lj;
                members[lj].insert(members[lj].end(), members[li].begin(), members[li].end());
                members[li].clear();
            } else {
                label[j] = li;
                members[li].push_back(j);
            }
        }
    }
    for (int i = 0; i < n; ++i)
        objects[i][4] = static_cast<float>(label[i]);
}

void CellCounter::addClusterSizes(const std::vector<cv::Vec6f>& prepared)
{
    std::vector<int> sizes(prepared.size(), 0);
    for (const cv::Vec6f& record : prepared) {
        const int label = static_cast<int>(record[4]);
        if (label >= 0 && label < static_cast<int>(sizes.size()))
            ++sizes[label];
    }
    for (int size : sizes) {
        if (size > 0)
            ++m_clusterHistogram[std::min(size, kClusterBins) - 1];
    }
}

int* CellCounter::getHistogram2(int which)
{
    switch (which) {
    case 0:
        return m_liveHistogram;
    case 1:
        return m_deadHistogram;
    case 2:
        return m_clusterHistogram;
    default:
        return nullptr;
    }
}

void CellCounter::getAvgCellSize(float& average)
{
    double sum = 0.0;
    int counted = 0;
    for (const TObj& object : m_cellObjects) {
        if (object.gate_position != 0) {
            sum += object.size_um;
            ++counted;
        }
    }
    if (counted > 0)
        average = static_cast<float>(sum / counted);
}

void CellCounter::getViability(int live, int dead, float& percent)
{
    const int total = live + dead;
    percent = total == 0 ? 0.0f : static_cast<float>(live) / static_cast<float>(total) * 100.0f;
}

std::vector<cv::Vec6f> CellCounter::gating_BF(float size_min, float size_max)
{
    std::vector<cv::Vec6f> inside;
    for (const cv::Vec6f& record : m_detectedCells) {
        const float s = sizeOf(std::max(record[2], record[5]));
        if (size_min <= s && s <= size_max)
            inside.push_back(record);
    }
    return inside;
}

void CellCounter::histogram_and_viability_BF(std::vector<cv::Vec6f>& objects, std::vector<cv::Vec6f>& live_objects,
                                             std::vector<cv::Vec6f>& dead_objects)
{
    m_liveThresholdLevel = m_live_cell_sensitivity;
    for (cv::Vec6f& record : objects) {
        const bool live = m_new_viabilityAlgorithm ? record[4] < m_threshold_BFViability
                                                   : record[3] >= static_cast<float>(m_liveThresholdLevel);
        (live ? live_objects : dead_objects).push_back(record);
        TObj object = makeObject(record);
        object.is_live = live;
        object.is_gated = false;
        object.gate_position = -1;
        m_cellObjects.push_back(object);
    }
    for (cv::Vec6f& record : objects)
        prepareForClusters(record);
    check_clusters(objects);
    addClusterSizes(objects);
    saveUngatedData();
}

void CellCounter::saveUngatedData()
{
    m_ungatedCellObjects = m_cellObjects;
}

}  // namespace VelimBio
