#include "CountedResult.h"
#include "File_IO/ImReaderWriter.h"
#include "ReviewTestRoot.h"
#include "Saving/SavingThread.h"

#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QSignalSpy>

namespace {

class ResultViewer : public ReviewTestRoot
{
protected:
    // A result saved by the saving code in the mode's result folder, with
    // the outputs of `kinds`.
    void saveResult(int mode, const QString& name,
                    const QList<int>& kinds = {SavingThread::AnalysedImage, SavingThread::RawImage,
                                               SavingThread::CsvFile})
    {
        CountedResult counted(mode);
        const QString folder = ResultTree::modeFolder(mode);
        QDir().mkpath(root.path(folder + "/" + name));
        for (int kind : kinds) {
            SavingThread writer;
            writer.setType(kind);
            writer.setDestination(folder, name);
            QString date = "08 Dec 2026 14:25";
            writer.set_date(date);
            writer.run();
        }
    }
    QLabel* label(const char* name) const { return dlg->findChild<QLabel*>(name); }
    QPushButton* button(const char* name) const { return dlg->findChild<QPushButton*>(name); }
    // Opens the screen on the mode's results and views `name`.
    void view(const QString& name)
    {
        open();
        ASSERT_TRUE(QTest::qWaitFor([&] { return rows().contains(name); }, 10000));
        selectRow(name);
        button("BUTTON_VIEW")->click();
        ASSERT_EQ(dlg->mainUIState(), REVIEW_STEP_VIEW);
    }
    QStringList shownRows() const
    {
        QStringList shown;
        for (QLabel* title : dlg->findChild<QWidget*>("VIEW_RESULTS_FRAME")->findChildren<QLabel*>())
            if (title->objectName().endsWith("_TITLE") && !title->isHidden())
                shown << QStringLiteral("%1@%2").arg(title->text()).arg(title->y());
        shown.sort();
        return shown;
    }
    void press(QPoint at, QEvent::Type type = QEvent::MouseButtonPress)
    {
        QMouseEvent event(type, at, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(dlg.get(), &event);
    }
    QColor shownPixel(QPoint at) const { return dlg->grab().toImage().pixelColor(at); }
};

TEST_F(ResultViewer, ATotalResultShowsItsFourRowsAndItsProtocol)
{
    saveResult(0, "R");
    theApp.m_Counted_Total_Protocol = {};  // what the view holds comes from the file
    view("R");
    EXPECT_EQ(shownRows(), (QStringList{"Average cell size@100", "Counting mode@36", "Total cell concentration@68",
                                        "Total cell number@132"}));
    EXPECT_EQ(label("LABEL_COUNT_MODE")->text(), "Total cell counting");
    EXPECT_TRUE(label("LABEL_TOTAL_CELL_CONCENTRATION")->text().endsWith("cells/mL"));
    EXPECT_EQ(label("LABEL_TOTAL_CELL_NUMBER")->text(), QString::number(theApp.m_CountResult.total_cell));
    EXPECT_TRUE(label("LABEL_AVERAGE_SIZE")->text().endsWith(" um"));
    EXPECT_TRUE(label("LABEL_PROTOCOL_VALUE4")->isHidden()) << "no live cell sensitivity";
    EXPECT_EQ(label("LABEL_PROTOCOL_VALUE5")->y(), 164);
    EXPECT_EQ(label("LABEL_PROTOCOL_TITLE7")->y(), 228);
    // The saved protocol: DEFAULT, search from 5 µm, dilution 1.
    const auto& counted = theApp.m_Counted_Total_Protocol;
    EXPECT_EQ(counted.name, "DEFAULT");
    EXPECT_EQ(label("LABEL_PROTOCOL_NAME")->text(), "DEFAULT");
    EXPECT_EQ(counted.min_search_size, 5);
    EXPECT_EQ(label("LABEL_PROTOCOL_VALUE1")->text(), "5");
    EXPECT_EQ(counted.dilution_factor, 1);
    EXPECT_EQ(label("LABEL_PROTOCOL_VALUE6")->text(), "1");
    EXPECT_EQ(counted.gating_min_size, -1);
    EXPECT_EQ(counted.gating_max_size, -1);
    EXPECT_TRUE(button("BUTTON_VIEW_IMAGES")->isEnabled());
    EXPECT_TRUE(button("BUTTON_REANALYZE")->isEnabled());

    button("BUTTON_VIEW_PROTOCOL")->click();
    EXPECT_TRUE(dlg->findChild<QWidget*>("VIEW_RESULTS_FRAME")->isHidden());
    button("BUTTON_VIEW_RESULTS")->click();
    EXPECT_FALSE(dlg->findChild<QWidget*>("VIEW_RESULTS_FRAME")->isHidden());
}

TEST_F(ResultViewer, AViabilityResultShowsNineRows)
{
    theApp.m_CountingMode = 1;
    saveResult(1, "V");
    view("V");
    EXPECT_EQ(shownRows().size(), 9);
    EXPECT_TRUE(shownRows().contains("Average cell size@196"));
    EXPECT_TRUE(shownRows().contains("Dead cell number@292"));
    EXPECT_EQ(label("LABEL_PROTOCOL_VALUE4")->y(), 164);
    EXPECT_EQ(label("LABEL_PROTOCOL_VALUE7")->y(), 260);
    EXPECT_TRUE(label("LABEL_VIABILITY")->text().endsWith(" %")) << label("LABEL_VIABILITY")->text().toStdString();
    EXPECT_TRUE(label("LABEL_PROTOCOL_VALUE7")->text().contains(QChar(0x2264))) << "the gating's sign survives";
    EXPECT_EQ(theApp.m_Counted_Viability_Protocol.gating_min_size, -1);
}

TEST_F(ResultViewer, ImagesAndReanalysisNeedTheirFilesAndTheMode)
{
    saveResult(0, "NoTag", {SavingThread::RawImage, SavingThread::CsvFile});
    saveResult(0, "NoRaw", {SavingThread::AnalysedImage, SavingThread::CsvFile});
    // A viability result copied into the total folder.
    theApp.m_CountingMode = 1;
    saveResult(1, "Other", {SavingThread::AnalysedImage, SavingThread::RawImage, SavingThread::CsvFile});
    QDir().rename(root.path(ResultTree::modeFolder(1) + "/Other"), root.path(ResultTree::modeFolder(0) + "/Other"));
    theApp.m_CountingMode = 0;
    const struct
    {
        const char* name;
        bool images;
        bool reanalyze;
    } cases[] = {{"NoTag", false, true}, {"NoRaw", true, false}, {"Other", false, false}};
    for (const auto& c : cases) {
        view(c.name);
        EXPECT_EQ(button("BUTTON_VIEW_IMAGES")->isEnabled(), c.images) << c.name;
        EXPECT_EQ(button("BUTTON_REANALYZE")->isEnabled(), c.reanalyze) << c.name;
    }
}

TEST_F(ResultViewer, ShownValuesOfAHandMadeReport)
{
    const struct
    {
        const char* size;
        const char* minimum;
        const char* shownSize;
        const char* shownMinimum;
        int storedMinimum;
    } cases[] = {
        {"12.3 um", "5 um", "12.3 um", "5", 5},
        {"12", "5", "0.0 um", "", 0},  // two characters; no " um"
    };
    for (const auto& c : cases) {
        root.writeFile(ResultTree::modeFolder(0) + "/H/H.csv",
                       QStringLiteral("Counting mode,Bright field cell counting\n,Total cell counting\n"
                                      "Instrument setting\nProtocol name,Hand\nMin. search size,%1\n"
                                      "Avg. size,%2\n")
                           .arg(c.minimum, c.size)
                           .toUtf8());
        view("H");
        EXPECT_EQ(label("LABEL_AVERAGE_SIZE")->text(), c.shownSize);
        EXPECT_EQ(label("LABEL_PROTOCOL_VALUE1")->text(), c.shownMinimum);
        EXPECT_EQ(theApp.m_Counted_Total_Protocol.min_search_size, c.storedMinimum);
        EXPECT_EQ(theApp.m_Counted_Total_Protocol.name, "Hand");
    }
}

TEST_F(ResultViewer, ZoomPanAndTheNavigator)
{
    saveResult(0, "R");
    view("R");
    button("BUTTON_VIEW_IMAGES")->click();
    ASSERT_EQ(dlg->mainUIState(), REVIEW_STEP_IMAGE);
    EXPECT_FALSE(dlg->findChild<QWidget*>("REVIEW_MENU")->isEnabled());
    EXPECT_EQ(dlg->imageView().origin, QPoint(21, 41));
    EXPECT_NE(shownPixel({500, 300}), QColor(Qt::white)) << "the saved image is shown";

    // The navigator box within the 100 × 68 frame at (200, 80): the origin
    // scaled by 100 / width and 68 / height of the zoom's picture.
    const struct { int zoom; QPoint origin; const char* caption; QRect navigator; } steps[] = {
        {2, {341, 281}, "    2x", {226, 99, 47, 29}},
        {4, {997, 893}, "    4x", {238, 111, 24, 14}},
        {1, {21, 82}, "    1x", {203, 91, 94, 57}},
    };
    for (const auto& s : steps) {
        button("BUTTON_ZOOM")->click();
        EXPECT_EQ(dlg->imageView().zoom, s.zoom);
        EXPECT_EQ(dlg->imageView().origin, s.origin) << s.zoom;
        EXPECT_EQ(button("BUTTON_ZOOM")->text(), s.caption);
        QRect navigator;
        dlg->SetNavigatorRect(navigator);
        EXPECT_EQ(navigator, s.navigator) << s.zoom;
    }

    // At 1x the picture follows the finger, within its edges.
    press({500, 300});
    press({400, 200}, QEvent::MouseMove);
    EXPECT_EQ(dlg->imageView().origin, QPoint(40, 80));
    press({400, 200}, QEvent::MouseButtonRelease);
    // A press on the area's edge moves nothing.
    press({200, 300});
    press({300, 300}, QEvent::MouseMove);
    EXPECT_EQ(dlg->imageView().origin, QPoint(40, 80));

    QSignalSpy analysis(dlg.get(), &ReviewDlg::signal_analysis);
    button("BUTTON_CLOSE")->click();
    EXPECT_EQ(dlg->mainUIState(), REVIEW_STEP_VIEW);
    button("BUTTON_REANALYZE")->click();
    ASSERT_EQ(analysis.count(), 1);
    EXPECT_EQ(analysis.first().at(0).toString(), ResultTree::modeFolder(0) + "/R/R_RAW.tif");
}

// An image the instrument did not save (another size, or unreadable) is
// never copied into the viewer: it shows white.
TEST_F(ResultViewer, AnImageOfAnotherSizeShowsWhite)
{
    saveResult(0, "R", {SavingThread::CsvFile});
    cv::Mat small(100, 100, CV_8UC3, cv::Scalar(0, 0, 0));
    ImReaderWriter writer;
    std::string path = (ResultTree::modeFolder(0) + "/R/R_TAG.tif").toStdString();
    ASSERT_TRUE(writer.loadAndWrite(small.data, 100, 100, 8, 3, 1, 2, path, ""));
    view("R");
    button("BUTTON_VIEW_IMAGES")->click();
    EXPECT_EQ(shownPixel({250, 120}), QColor(Qt::white));
}

}  // namespace
