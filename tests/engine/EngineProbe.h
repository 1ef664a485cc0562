#pragma once

#include "velimbio/CellCounter.h"

#include <opencv2/core.hpp>

#include <vector>

// The engine with its state open to the tests.
class EngineProbe : public VelimBio::CellCounter
{
public:
    using CellCounter::CellCounter;

    using CellCounter::m_auxImage1;
    using CellCounter::m_auxImage2;
    using CellCounter::m_cell_detection_sensitivity;
    using CellCounter::m_channel3Image;
    using CellCounter::m_cellObjects;
    using CellCounter::m_countmode;
    using CellCounter::m_detectedCells;
    using CellCounter::m_dilution_factor_BF;
    using CellCounter::m_edgeImage;
    using CellCounter::m_fPixelSize;
    using CellCounter::m_grayImage;
    using CellCounter::m_imageCols;
    using CellCounter::m_imageRows;
    using CellCounter::m_live_cell_sensitivity;
    using CellCounter::m_max_search_size;
    using CellCounter::m_min_search_size;
    using CellCounter::m_new_viabilityAlgorithm;
    using CellCounter::m_noise_reduction;
    using CellCounter::m_overlayImage;
    using CellCounter::m_pixel_size;
    using CellCounter::m_rawImage;
    using CellCounter::m_sobelX;
    using CellCounter::m_sobelY;
    using CellCounter::m_tagImage;
    using CellCounter::m_threshold_BF;
    using CellCounter::m_threshold_BFViability;
};

// A small engine (pixel size 1 µm: lens magnification 1.4) for a frame of rows × cols.
inline EngineProbe smallEngine(int rows, int cols, int mode = 0)
{
    return EngineProbe(mode, rows, cols, 0.48979f, 1.4f, 1.4f);
}

// Returns the given circles whatever the frame: the refinement sees the truth.
inline VelimBio::CircleDetector oracle(std::vector<cv::Vec3f> truth)
{
    return [truth](const cv::Mat&, const VelimBio::DetectorArgs&) { return truth; };
}

// The counters behind getHistogram2(which): the size bins, or the cluster bins for 2.
inline std::vector<int> histogram(VelimBio::CellCounter& engine, int which)
{
    const int* h = engine.getHistogram2(which);
    return std::vector<int>(h, h + (which == 2 ? VelimBio::CellCounter::kClusterBins
                                               : VelimBio::CellCounter::kSizeBins));
}

// Hands a colour frame (CV_8UC3 of the engine's size) in as the camera would.
inline void feed(VelimBio::CellCounter& engine, const cv::Mat& frame)
{
    cv::Mat copy = frame.clone();
    engine.prepareImageData(copy.data);
}
