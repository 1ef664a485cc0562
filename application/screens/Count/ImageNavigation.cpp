#include "Count/ImageNavigation.h"

#include <QtGlobal>

namespace ImageNavigation {

namespace {

constexpr QSize kArea{600, 400};
// The live view at 4x shows 298 × 199 frame pixels, not 300 × 200.
constexpr QSize kLiveQuarter{298, 199};
constexpr QSize kNavigatorFrame{100, 68};

struct Shift
{
    QPoint live;
    QPoint result;
};

// View shifts of the steps 1 → 2, 2 → 4 and 4 → 1.
constexpr Shift kToTwo{{320, 240}, {320, 240}};
constexpr Shift kToFour{{153, 99}, {656, 612}};
constexpr Shift kToOne{{-473, -339}, {-976, -732}};
constexpr QPoint kAfterOneLimit{43, 82};

QSize navigatorBox(int zoom)
{
    switch (zoom) {
    case 1:
        return {94, 57};
    case 2:
        return {47, 29};
    case 4:
        return {24, 14};
    default:
        return {};
    }
}

QPoint bounded(QPoint p, QPoint limit)
{
    return {qBound(0, p.x(), limit.x()), qBound(0, p.y(), limit.y())};
}

}  // namespace

QSize pictureSize(int zoom, bool result)
{
    switch (zoom) {
    case 1:
        return {640, 480};
    case 2:
        return {1280, 960};
    case 4:
        return result ? QSize(2592, 1944) : QSize(1280, 960);
    default:
        return {};
    }
}

View zoomStep(View view, bool result)
{
    const auto shifted = [&](const Shift& shift) { return view.origin + (result ? shift.result : shift.live); };
    switch (view.zoom) {
    case 1:
        return {2, shifted(kToTwo)};
    case 2:
        return {4, shifted(kToFour)};
    case 4:
        return {1, bounded(shifted(kToOne), kAfterOneLimit)};
    default:
        return view;
    }
}

QString zoomCaption(int zoom)
{
    return QStringLiteral("    %1x").arg(zoom);
}

View drag(View view, QPoint from, QPoint to, bool result)
{
    const QSize picture = pictureSize(view.zoom, result);
    if (!picture.isValid())
        return view;
    if (view.zoom == 4 && !result) {
        // C++ division truncates toward zero, as the halving must.
        view.origin += QPoint(from.x() / 2 - to.x() / 2, from.y() / 2 - to.y() / 2);
        view.origin = bounded(view.origin, QPoint(picture.width() - kLiveQuarter.width(),
                                                  picture.height() - kLiveQuarter.height()));
    } else {
        view.origin += from - to;
        view.origin = bounded(view.origin,
                              QPoint(picture.width() - kArea.width(), picture.height() - kArea.height()));
    }
    return view;
}

QRect navigatorRect(View view, bool result)
{
    const QSize picture = pictureSize(view.zoom, result);
    if (!picture.isValid())
        return {};
    const int x = kImageArea.left() + view.origin.x() * kNavigatorFrame.width() / picture.width();
    const int y = kImageArea.top() + view.origin.y() * kNavigatorFrame.height() / picture.height();
    return QRect(QPoint(x, y), navigatorBox(view.zoom));
}

QRect liveSource(View view)
{
    switch (view.zoom) {
    case 1:
        return QRect(view.origin, kArea * 2);
    case 2:
        return QRect(view.origin, kArea);
    case 4:
        return QRect(view.origin, kLiveQuarter);
    default:
        return {};
    }
}

}  // namespace ImageNavigation
