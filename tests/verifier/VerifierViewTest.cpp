#include "VerifierWindowFixture.h"

#include <QCheckBox>
#include <QDir>
#include <QFileInfo>
#include <QMouseEvent>
#include <QPushButton>
#include <QSpinBox>

using verifier::AutoFocusingData_s;

namespace {

class VerifierViewTest : public VerifierWindowTest
{
protected:
    void send(QEvent::Type type, QPoint position, Qt::MouseButtons buttons)
    {
        QMouseEvent event(type, position, type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton, buttons,
                          Qt::NoModifier);
        QCoreApplication::sendEvent(window.get(), &event);
    }
    void drag(QPoint from, QPoint to)
    {
        send(QEvent::MouseButtonPress, from, Qt::LeftButton);
        send(QEvent::MouseMove, to, Qt::LeftButton);
        send(QEvent::MouseButtonRelease, to, Qt::NoButton);
    }
    // Moves the view by (dx, dy) frame pixels, in drags that stay in the view.
    void panBy(int dx, int dy)
    {
        while (dx != 0 || dy != 0) {
            const int x = std::clamp(dx, -500, 500);
            const int y = std::clamp(dy, -400, 400);
            const QPoint from(x > 0 ? 570 : 70, y > 0 ? 440 : 40);
            drag(from, from - QPoint(x, y));
            dx -= x;
            dy -= y;
        }
    }

    void showGraph(int step, const std::vector<double>& values, int best)
    {
        std::vector<AutoFocusingData_s> data;
        for (double value : values)
            data.push_back({value, 28000 + 640 * int(data.size())});
        window->slot_review_AutoFocusing(step, data, best);
        widget<QSpinBox>("SPIN_DEBUG")->setValue(3);
        if (!widget<QPushButton>("BUTTON_DEBUG")->isChecked())
            widget<QPushButton>("BUTTON_DEBUG")->click();
    }

    // Where a graph check failed, the picture is kept.
    static void expectColour(const QImage& image, QPoint point, const QColor& colour, const char* what)
    {
        const QColor found = image.pixelColor(point);
        if (found == colour)
            return;
        image.save(QStringLiteral("VerifierViewTest-%1.png").arg(what));
        ADD_FAILURE() << what << " at " << point.x() << "," << point.y() << ": " << found.name().toStdString()
                      << " (picture kept in VerifierViewTest-" << what << ".png)";
    }
};

}  // namespace

// Dragging pans a frame larger than the view up to its far edge; a press on
// the outermost pixels starts nothing; the offset follows a change of mode.
TEST_F(VerifierViewTest, DragPansWithinTheFrame)
{
    open();
    widget<QPushButton>("BUTTON_RESOLUTION_5M")->click();
    panBy(3000, 0);
    EXPECT_EQ(window->viewOffset(), QPoint(1952, 0));
    QRect marker(1, 2, 3, 4);
    window->SetNavigatorRect(marker);
    EXPECT_EQ(marker, QRect(60, 0, 20, 15));
    panBy(-3000, 0);
    drag(QPoint(0, 200), QPoint(20, 100));  // pressed on the edge column
    EXPECT_EQ(window->viewOffset(), QPoint(0, 0));
    drag(QPoint(320, 200), QPoint(0, 100));  // dragged onto it
    EXPECT_EQ(window->viewOffset(), QPoint(320, 100));

    panBy(1800 - 320, 1400 - 100);
    EXPECT_EQ(window->viewOffset(), QPoint(1800, 1400));
    widget<QPushButton>("BUTTON_RESOLUTION_1280")->click();
    EXPECT_EQ(window->viewOffset(), QPoint(640, 480));
    window->SetNavigatorRect(marker);
    EXPECT_EQ(marker, QRect(40, 30, 40, 30));
    widget<QPushButton>("BUTTON_RESOLUTION_5M")->click();
    EXPECT_EQ(window->viewOffset(), QPoint(640, 480));
    widget<QCheckBox>("CHECK_SCALED_TO_FIT")->click();  // off: no change
    widget<QCheckBox>("CHECK_SCALED_TO_FIT")->click();  // on: back to the corner
    EXPECT_EQ(window->viewOffset(), QPoint(0, 0));

    widget<QPushButton>("BUTTON_RESOLUTION_VGA")->click();
    panBy(300, 200);
    EXPECT_EQ(window->viewOffset(), QPoint(0, 0));
}

// The focus graph: values on the scale of the resolution, the chosen sample
// red, the others blue; the live view pauses while it shows.
TEST_F(VerifierViewTest, FocusGraph)
{
    open();
    std::vector<double> values(15, 100.0);
    values[3] = 500.0;
    showGraph(1, values, 3);
    QImage graph = window->grab().toImage();
    expectColour(graph, QPoint(50, 301), QColor(0, 0, 255), "value-100");
    expectColour(graph, QPoint(50 + 40 * 14, 301), QColor(0, 0, 255), "last-value-100");
    expectColour(graph, QPoint(50 + 40 * 3, 101), QColor(255, 0, 0), "chosen-500");
    expectColour(graph, QPoint(5, 5), QColor(255, 255, 255), "background");

    QSignalSpy frames(window.get(), &verifier::KOVA_II_Plus_Verifier::updateFrameDone);
    window->grab();
    EXPECT_EQ(frames.count(), 0) << "no frame confirmed while the graph shows";
    widget<QPushButton>("BUTTON_DEBUG")->click();
    window->grab();
    EXPECT_EQ(frames.count(), 1);

    widget<QPushButton>("BUTTON_RESOLUTION_VGA")->click();
    showGraph(1, std::vector<double>(15, 1000.0), 0);
    graph = window->grab().toImage();
    expectColour(graph, QPoint(50, 101), QColor(255, 0, 0), "vga-chosen-1000");
    expectColour(graph, QPoint(90, 101), QColor(0, 0, 255), "vga-1000");
}

// Only step numbers 1 to 3 are reviewed.
TEST_F(VerifierViewTest, ReviewOfAnotherStepStoresNothing)
{
    open();
    window->slot_review_AutoFocusing(4, {{1.0, 100}}, 0);
    EXPECT_TRUE(window->autofocusRecord(1).empty());
    window->slot_review_AutoFocusing(2, {{1.0, 100}, {2.0, 740}}, 1);
    EXPECT_EQ(window->autofocusRecord(2).size(), 2u);
    EXPECT_EQ(window->autofocusBest(2), 1);
}

// The Print key writes the screen to the stick under the next number not in use.
TEST_F(VerifierViewTest, ScreenshotsToTheStick)
{
    open();
    boxes.plan(QMessageBox::Ok);
    QTest::keyClick(window.get(), Qt::Key_Print);
    EXPECT_EQ(boxes.lastText(), "Please insert USB disk !!!");
    window.reset();
    link.reset();

    ASSERT_FALSE(sticks.insert(QStringLiteral("stick")).isEmpty());
    const QDir stick(sticks.stickFolder(QStringLiteral("stick")));
    QFile kept(stick.filePath("VelimCap-0002.png"));
    ASSERT_TRUE(kept.open(QIODevice::WriteOnly) && kept.write("older") == 5);
    kept.close();
    // A link leading nowhere takes its number too: nothing is written through it.
    ASSERT_TRUE(QFile::link(root.path("/outside.png"), stick.filePath("VelimCap-0004.png")));
    open();
    window->show();
    for (const char* file :
         {"/mnt/VelimCap-0001.png saved !", "/mnt/VelimCap-0003.png saved !", "/mnt/VelimCap-0005.png saved !"}) {
        boxes.plan(QMessageBox::Ok);
        QTest::keyClick(window.get(), Qt::Key_Print);
        EXPECT_EQ(boxes.lastText(), file);
    }
    for (const char* file : {"VelimCap-0001.png", "VelimCap-0003.png", "VelimCap-0005.png"})
        EXPECT_FALSE(QImage(stick.filePath(file)).isNull()) << file;
    EXPECT_EQ(kept.open(QIODevice::ReadOnly) ? kept.readAll() : QByteArray(), "older");
    EXPECT_FALSE(QFileInfo::exists(root.path("/outside.png")));
}
