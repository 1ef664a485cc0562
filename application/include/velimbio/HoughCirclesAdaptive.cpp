#include "velimbio/HoughCirclesAdaptive.h"

namespace VelimBio {

void HoughCirclesAdaptive(const cv::Mat&, std::vector<cv::Vec3f>& circles, int, double, double, double, double,
                          int, int, int, bool, bool)
{
    circles.clear();
}

}  // namespace VelimBio
