// The launcher's forms on the 800 × 480 screen, with the fonts scripts/setup
// installs: no label or button shows a text wider than its box.
#include "LoaderBench.h"
#include "LoginDialog.h"

#include "ClippedText.h"

#include <gtest/gtest.h>

namespace {

TEST(LoaderFormText, FrontAndServicePanelsAndTheLogin)
{
    for (const char* family : {"Noto Sans", "DejaVu Sans"})
        ASSERT_TRUE(fontInstalled(QString::fromLatin1(family))) << family << ": scripts/setup installs it";
    // The service panel shows the instrument's information as a new one has it.
    const QByteArray settings = "[KOVA-III]\nSerial=KO7-00-00000\nMagnification=1.431\nVolume%20factor=0.48242\n"
                                "[Calibration]\nZ%20reference=32000\n"
                                "[Software]\nVersion%20SW=1.0.2\nVersion%20FW=7.7.1\nVersion%20QC=1.0.0\n";
    for (const bool service : {false, true}) {
        SCOPED_TRACE(service ? "service panel" : "front panel");
        LoaderBench bench;
        bench.writeSettings(settings + (service ? "[KOVA-III]\nZig mode=On\n" : ""));
        const auto dialog = LoaderBench::makeDialog();
        const QList<ClippedText> clipped = renderedClippedTexts(dialog.get());
        EXPECT_TRUE(clipped.isEmpty()) << describe(clipped);
    }
    LoginDialog login;
    const QList<ClippedText> clipped = renderedClippedTexts(&login);
    EXPECT_TRUE(clipped.isEmpty()) << "login:\n" << describe(clipped);
}

}  // namespace
