#pragma once

#include <QColor>
#include <QImage>
#include <QString>

#include <opencv2/core.hpp>

// The scale bar of the saved images, drawn the same way by every owner of a
// bar (the application object and the save job keep their own).
namespace scalebar {

constexpr float kDefaultLengthUm = 100.0f;

// µm per pixel of a full-resolution image through a lens of this
// magnification (the sensor's 1.4 µm pitch, in single precision).
float micronPerPixel(double lensMagnification);

// Draws a bar of `lengthUm` at `micronPerPixel` in `color` with its ticks
// every 10 µm, and its label "<length> µm". False, with `bar` and `label`
// unchanged, when the bar would not be 1 to 2592 pixels wide (a zero or
// non-finite pixel size included).
bool draw(float micronPerPixel, float lengthUm, const QColor& color, QImage& bar, QString& label);

// Paints `bar` and `label` at the lower left of a 2592 × 1944 RGB canvas;
// anything else, or a null bar, is left alone.
void paint(const QImage& bar, const QString& label, const QColor& color, cv::Mat& canvas);

}  // namespace scalebar
