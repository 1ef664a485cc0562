#pragma once

#include "KovaCore/KovaCoreApp.h"
#include "velimbio/CellCounter.h"

#include <opencv2/core.hpp>

#include <memory>
#include <vector>

// The engine after a count, set by hand: its two frames and its list of all
// objects.
class CountedEngine : public VelimBio::CellCounter
{
public:
    CountedEngine();
    void setImages(const cv::Mat& raw, const cv::Mat& overlay);
    void setObjects(std::vector<VelimBio::TObj> objects);
};

// A full 2592 × 1944 RGB frame of noise, the same for the same seed.
cv::Mat patternFrame(int seed);

// theApp as it stands after a count, in either counting mode: the instrument,
// its calibration, both counted protocols (total: DEFAULT without gating;
// viability: PBMC gated 3 to 18 µm), the result (100 cells, 80 live) and an
// engine with two frames and three objects. The engine leaves theApp with it.
class CountedResult
{
public:
    explicit CountedResult(int countingMode);
    ~CountedResult();
    CountedResult(const CountedResult&) = delete;
    CountedResult& operator=(const CountedResult&) = delete;

    CountedEngine& engine() { return *m_engine; }

private:
    std::unique_ptr<CountedEngine> m_engine;
};
