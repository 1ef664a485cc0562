// The verifier's window and its debug panel on the 800 × 480 screen, with the
// fonts scripts/setup installs: no label or button shows a text wider than
// its box, on any tab.
#include "VerifierWindowFixture.h"

#include "ClippedText.h"
#include "Debug/VerifierDebugMessage.h"

TEST_F(VerifierWindowTest, NoTextWiderThanItsBox)
{
    ASSERT_TRUE(fontInstalled(QStringLiteral("DejaVu Sans"))) << "scripts/setup installs it";
    // Connected at start, so the busy buttons have been through both their styles.
    open("[KOVA-III]\nZig%20mode=Off\nSerial=KO7-00-00000\n");
    QList<ClippedText> clipped = renderedClippedTexts(window.get());
    EXPECT_TRUE(clipped.isEmpty()) << "window:\n" << describe(clipped);

    verifier::DebugMessage panel;
    clipped = renderedClippedTexts(&panel);
    EXPECT_TRUE(clipped.isEmpty()) << "debug panel:\n" << describe(clipped);
}
