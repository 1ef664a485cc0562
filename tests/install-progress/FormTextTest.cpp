// The install-progress window on the 800 × 480 screen, with the fonts
// scripts/setup installs: no label shows a text wider than its box, at work
// after an hour or after a failure.
#include "ProgressView.h"

#include "ClippedText.h"

#include <gtest/gtest.h>

#include <QProcess>

#include <functional>

namespace {

TEST(ProgressViewText, NoTextWiderThanItsBox)
{
    const struct
    {
        const char* state;
        std::function<void(ProgressView&)> bringAbout;
    } states[] = {
        {"starting", [](ProgressView&) {}},
        {"an hour on", [](ProgressView& view) { view.slotOnReadyRead(59 * 60 + 59); }},
        {"failed", [](ProgressView& view) { view.showEnd(false); }},
    };
    for (const auto& s : states) {
        QProcess script;
        ProgressView view(nullptr, &script);
        s.bringAbout(view);
        const QList<ClippedText> clipped = renderedClippedTexts(&view);
        EXPECT_TRUE(clipped.isEmpty()) << s.state << ":\n" << describe(clipped);
    }
}

}  // namespace
