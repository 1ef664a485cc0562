#include "InstrumentAppTest.h"

#include <QDir>
#include <QFile>
#include <QSettings>

namespace {

// Places on the protocol screen and its Save as page (800 × 480).
const QPoint kProtocolButton{500, 280};  // on the home screen
QPoint row(int n)
{
    return {100, 120 + 40 * n + 20};
}
const QPoint kLoad{100, 440};
const QPoint kEdit{300, 440};
const QPoint kDelete{500, 440};
const QPoint kSaveAs{700, 440};
const QPoint kHome{40, 40};
const QPoint kMinSizeUp{201 + 50, 80 + 80 + 40};
const QPoint kClearName{735 + 19, 102 + 19};

class ProtocolScreenTest : public InstrumentAppTest
{
protected:
    // Save as from the current row, under `name`; the page closes after.
    bool saveAs(const QString& name)
    {
        return touchThenDialogs(kSaveAs, 2) && touch(kClearName) && typeOnKeys(name)
               && touchThenDialogs(kEnterKey, 1);
    }
    QByteArray protocolFile(const QString& name) const
    {
        return root.readFile("/opt/KOVA3/conf/PROTOCOL/TOTAL_CELL_COUNTING/" + name + ".ini");
    }
};

TEST_F(ProtocolScreenTest, SaveEditLoadAndDeleteThroughTheScreen)
{
    ASSERT_TRUE(startInstrument());
    ASSERT_TRUE(startApp());
    ASSERT_TRUE(waitForHomeScreen());
    ASSERT_TRUE(touchThenDialogs(kProtocolButton, 1)) << output(*app).toStdString();

    // DEFAULT under a new name.
    ASSERT_TRUE(touch(row(0)));
    ASSERT_TRUE(saveAs("MyCells")) << output(*app).toStdString();
    ASSERT_EQ(protocolFile("MyCells"), protocolFile("DEFAULT"))
        << QDir(root.path("/opt/KOVA3/conf/PROTOCOL/TOTAL_CELL_COUNTING")).entryList().join(", ").toStdString();
    ASSERT_TRUE(protocolFile("MyCells").contains("[Min.%20search%20size]\nSize=7\n"));

    // Its minimum size two steps up, loaded.
    ASSERT_TRUE(touch(row(2)));
    ASSERT_TRUE(touch(kEdit));
    ASSERT_TRUE(touch(kMinSizeUp));
    ASSERT_TRUE(touch(kMinSizeUp));
    ASSERT_TRUE(touchThenDialogs(kLoad, 2)) << "the loaded message";
    ASSERT_TRUE(touchThenDialogs(kMessageOnlyOk, 1));
    EXPECT_TRUE(protocolFile("MyCells").contains("[Min.%20search%20size]\nSize=9\n"))
        << protocolFile("MyCells").toStdString();

    // Another one, deleted again.
    ASSERT_TRUE(saveAs("Other"));
    ASSERT_FALSE(protocolFile("Other").isEmpty());
    ASSERT_TRUE(touch(row(3)));
    ASSERT_TRUE(touchThenDialogs(kDelete, 2)) << "the question";
    ASSERT_TRUE(touchThenDialogs(kMessageOk, 1));
    EXPECT_FALSE(QFile::exists(root.path("/opt/KOVA3/conf/PROTOCOL/TOTAL_CELL_COUNTING/Other.ini")));

    // The loaded one cannot go.
    ASSERT_TRUE(touch(row(2)));
    ASSERT_TRUE(touchThenDialogs(kDelete, 2)) << "refused";
    ASSERT_TRUE(touchThenDialogs(kMessageOnlyOk, 1));
    EXPECT_TRUE(QFile::exists(root.path("/opt/KOVA3/conf/PROTOCOL/TOTAL_CELL_COUNTING/MyCells.ini")));

    ASSERT_TRUE(touchThenDialogs(kHome, 0));
    ASSERT_TRUE(powerOffFromHome()) << output(*app).toStdString();
    const QSettings settings(root.path("/opt/KOVA3/conf/KOVA3.ini"), QSettings::IniFormat);
    EXPECT_EQ(settings.value("Protocol/BF Total cell counting").toString(), "MyCells");
    EXPECT_TRUE(output(*app).contains("---------------------> type : 21")) << "message 21 it was";
}

}  // namespace
