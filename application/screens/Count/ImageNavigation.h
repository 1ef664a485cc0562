#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>

// Where the counting screen's 600 × 400 image area looks into its picture:
// the zoom (1, 2 or 4) and the top-left corner of the visible part, in pixels
// of the picture that zoom shows. The live view (a 1280 × 960 frame) and the
// result image (pixmaps of 640 × 480, 1280 × 960 and 2592 × 1944) share the
// steps but not every size, so each function takes which one is shown.
namespace ImageNavigation {

inline constexpr QPoint kStartView{21, 41};
// The view of a fresh result: 4x around the centre of the full image.
inline constexpr QPoint kResultView{997, 773};
inline constexpr QRect kImageArea{QPoint(200, 80), QPoint(799, 479)};

struct View
{
    int zoom = 1;
    QPoint origin = kStartView;

    bool operator==(const View& other) const { return zoom == other.zoom && origin == other.origin; }
};

// The picture's size at a zoom; invalid for a zoom other than 1, 2 and 4.
QSize pictureSize(int zoom, bool result);

// The next zoom step, 1 → 2 → 4 → 1, shifting the view so that about the same
// spot stays in the middle; after 4 → 1 the view is kept within 0..43 × 0..82.
// Any other zoom is returned unchanged.
View zoomStep(View view, bool result);

// The caption of the zoom buttons for a zoom ("    1x", ...).
QString zoomCaption(int zoom);

// A finger moved from `from` to `to` (image-area coordinates): the picture
// follows it, halved for the live view at 4x (one picture pixel is two screen
// pixels there), and the view stays inside the picture.
View drag(View view, QPoint from, QPoint to, bool result);

// The navigator box: the visible part within the 100 × 68 frame at (200, 80).
QRect navigatorRect(View view, bool result);

// The part of the live frame drawn into the image area; null for an unknown zoom.
QRect liveSource(View view);

}  // namespace ImageNavigation
