#include "Common/DimOverlay.h"

#include "ModalAnswerer.h"

#include <gtest/gtest.h>

#include <QDialog>
#include <QLabel>

namespace {

// The power-off question's requests: an undim leaves a dimming that was there
// before the dim, and a box of the screen dims it only while it runs.
TEST(DimOverlay, UndimKeepsADimmingThatWasThereBefore)
{
    QDialog screen;
    DimOverlay overlay(&screen);
    EXPECT_FALSE(overlay.isVisible());
    EXPECT_EQ(overlay.label()->geometry(), QRect(0, 0, 800, 480));

    overlay.request(true);
    EXPECT_TRUE(overlay.isVisible());
    overlay.request(false);
    EXPECT_FALSE(overlay.isVisible());

    overlay.show();  // a box of the screen is up
    overlay.request(true);
    overlay.request(false);
    EXPECT_TRUE(overlay.isVisible());

    overlay.hide();
    ModalAnswerer boxes;
    bool dimmedWhileShown = false;
    boxes.plan(true, [&] { dimmedWhileShown = overlay.isVisible(); });
    EXPECT_EQ(overlay.message(45), 1);
    EXPECT_TRUE(dimmedWhileShown);
    EXPECT_FALSE(overlay.isVisible());
    EXPECT_TRUE(boxes.shown.value(0).contains("Insert a USB drive."));

    overlay.show();  // a save under way
    boxes.plan(true);
    overlay.message(15);
    EXPECT_TRUE(overlay.isVisible()) << "a box over a dimmed screen leaves it dimmed";
}

}  // namespace
