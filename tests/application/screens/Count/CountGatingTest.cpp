#include "CountScreenFixture.h"

#include "velimbio/CellCounter.h"

#include <QApplication>
#include <QTimer>

#include <vector>

namespace {

// The histogram page, directly: histograms handed in as a count would.
class CountGating : public CountRun
{
protected:
    std::vector<int32_t> bins(std::initializer_list<std::pair<int, int32_t>> filled)
    {
        std::vector<int32_t> histogram(181, 0);
        for (const auto& [bin, count] : filled)
            histogram[std::size_t(bin)] = count;
        return histogram;
    }

    void initialize(const std::vector<int32_t>& live, const std::vector<int32_t>& dead,
                    const std::vector<int32_t>& cluster, int dilution = 1)
    {
        std::vector<int32_t> total(live.size());
        for (std::size_t i = 0; i < live.size(); ++i)
            total[i] = live[i] + dead[i];
        dlg->gating_initialize(total, live, dead, cluster, dilution);
    }

    QString text(const char* label) { return child<QLabel>(label)->text(); }
    QString caption(const char* button) { return child<QPushButton>(button)->text(); }
    bool shown(const char* name) { return !child(name)->isHidden(); }

    // The counted objects of the engine's last gating within [low, high).
    static int objectsWithin(float low, float high)
    {
        int counted = 0;
        for (const VelimBio::TObj& object : theApp.m_pCellCounter->getUngatedCellInformation())
            counted += low <= object.size_um && object.size_um < high;
        return counted;
    }
};

TEST_F(CountGating, InitializeResetsTheGateAndSetsTheAxes)
{
    const struct
    {
        const char* name;
        std::vector<int32_t> live;
        std::vector<int32_t> dead;
        std::vector<int32_t> cluster;
        const char* max;
        const char* mid;
        const char* concentration;  // null: not checked
    } cases[] = {
        {"cells", bins({{10, 6}, {12, 9}}), bins({{12, 3}, {30, 1}}), {10, 5, 0, 0, 0, 0, 0, 3, 2}, "13", "6", nullptr},
        {"nothing", bins({}), bins({}), std::vector<int32_t>(9, 0), "1", "0", "0.00"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        // A gate moved before.
        child<QPushButton>("BUTTON_PLUS")->click();
        initialize(c.live, c.dead, c.cluster);

        EXPECT_EQ(text("LABEL_MIN_CELL_SIZE"), "1");
        EXPECT_EQ(text("LABEL_MAX_CELL_SIZE"), "90");
        EXPECT_EQ(child("GUIDELINE_MIN")->x(), 123);
        EXPECT_EQ(child("GUIDELINE_MAX")->x(), 479);
        EXPECT_EQ(child("BUTTON_MIN_CELL_SIZE_CONTROL")->x(), 104);
        EXPECT_EQ(child("BUTTON_MAX_CELL_SIZE_CONTROL")->x(), 460);
        EXPECT_EQ(text("LABEL_MAX_VALUE"), c.max);
        EXPECT_EQ(text("LABEL_MID_VALUE"), c.mid);
        EXPECT_EQ(caption("BUTTON_CELL_TYPE"), "Total");
        child<QPushButton>("BUTTON_CELL_CONCENTRATION_OR_NUMBER")->click();
        EXPECT_TRUE(text("LABEL_MAX_CELL_CONCENTRATION_EXP").startsWith("(x 10e"));
        if (c.concentration) {
            EXPECT_EQ(text("LABEL_MAX_CELL_CONCENTRATION"), c.concentration);
            EXPECT_EQ(text("LABEL_MID_CELL_CONCENTRATION"), c.concentration);
            EXPECT_EQ(text("LABEL_MAX_CELL_CONCENTRATION_EXP"), "(x 10e0 cells/mL)");
        }
        child<QPushButton>("BUTTON_CELL_CONCENTRATION_OR_NUMBER")->click();
        EXPECT_EQ(text("LABEL_MAX_VALUE"), "100");
        EXPECT_EQ(text("LABEL_CELL_SIZE_10"), "1cell");
        EXPECT_EQ(text("LABEL_CELL_SIZE_80"), ">7cell");
        EXPECT_EQ(text("LABEL_CELL_SIZE_0"), "");
    }
}

TEST_F(CountGating, EachFormShowsItsControlsAndTheTypeButtonOnlyWithViability)
{
    struct Visible
    {
        bool gate;   // selectors, bar, arrows, lines, size labels, Apply
        bool type;   // BUTTON_CELL_TYPE
        bool count;  // LABEL_MAX_VALUE, LABEL_MID_VALUE
        bool concentration;
    };
    const struct
    {
        int mode;
        Visible forms[3];  // number, concentration, cluster
    } cases[] = {
        {BF_TOTAL_CELL_COUNTING,
         {{true, false, true, false}, {true, false, false, true}, {false, false, true, false}}},
        {BF_CELL_COUNTING_VIABILITY,
         {{true, true, true, false}, {true, true, false, true}, {false, false, true, false}}},
    };
    for (const auto& c : cases) {
        theApp.m_CountingMode = c.mode;
        initialize(bins({{10, 4}}), bins({{11, 2}}), std::vector<int32_t>(9, 1));
        for (int form = 0; form < 3; ++form) {
            SCOPED_TRACE(testing::Message() << "mode " << c.mode << " form " << form);
            const Visible& v = c.forms[form];
            for (const char* name : {"BUTTON_MIN_CELL_SIZE_CONTROL", "BUTTON_MAX_CELL_SIZE_CONTROL", "CELL_GATING_BAR",
                                     "BUTTON_MINUS", "BUTTON_PLUS", "GUIDELINE_MIN", "GUIDELINE_MAX",
                                     "LABEL_CELL_SIZE_UM", "LABEL_MIN_CELL_SIZE", "LABEL_MAX_CELL_SIZE",
                                     "LABEL_CELL_SIZE", "BUTTON_APPLY"})
                EXPECT_EQ(shown(name), v.gate) << name;
            EXPECT_EQ(shown("BUTTON_CELL_TYPE"), v.type);
            EXPECT_EQ(shown("LABEL_MAX_VALUE"), v.count);
            EXPECT_EQ(shown("LABEL_MID_VALUE"), v.count);
            for (const char* name : {"LABEL_MAX_CELL_CONCENTRATION", "LABEL_MID_CELL_CONCENTRATION",
                                     "LABEL_MAX_CELL_CONCENTRATION_EXP"})
                EXPECT_EQ(shown(name), v.concentration) << name;
            EXPECT_TRUE(shown("BUTTON_CELL_CONCENTRATION_OR_NUMBER"));
            EXPECT_TRUE(child("BUTTON_CELL_CONCENTRATION_OR_NUMBER")->styleSheet().contains(
                QStringLiteral("cell %1 1.png").arg(QStringList{"number", "concentration", "cluster"}[form])));
            child<QPushButton>("BUTTON_CELL_CONCENTRATION_OR_NUMBER")->click();
        }
    }
}

TEST_F(CountGating, TheTypeButtonCyclesTotalLiveDeadWithItsOwnAxis)
{
    theApp.m_CountingMode = BF_CELL_COUNTING_VIABILITY;
    initialize(bins({{10, 40}}), bins({{12, 7}}), std::vector<int32_t>(9, 0));
    const struct
    {
        const char* caption;
        const char* max;
    } steps[] = {{"Live", "41"}, {"Dead", "8"}, {"Total", "41"}};
    for (const auto& step : steps) {
        child<QPushButton>("BUTTON_CELL_TYPE")->click();
        EXPECT_EQ(caption("BUTTON_CELL_TYPE"), step.caption);
        EXPECT_EQ(text("LABEL_MAX_VALUE"), step.max) << step.caption;
    }
}

TEST_F(CountGating, ArrowsMoveTheChosenLineWithinItsLimitsAndAHeldArrowRepeats)
{
    initialize(bins({{10, 4}}), bins({}), std::vector<int32_t>(9, 0));
    dlg->show();
    auto* minus = child<QPushButton>("BUTTON_MINUS");
    auto* plus = child<QPushButton>("BUTTON_PLUS");
    minus->click();
    EXPECT_EQ(dlg->gate(), (SizeGating::Gate{1, 90})) << "the lower line stops at 1";
    plus->click();
    EXPECT_EQ(dlg->gate(), (SizeGating::Gate{2, 90}));
    EXPECT_EQ(text("LABEL_MIN_CELL_SIZE"), "2");
    EXPECT_EQ(child("GUIDELINE_MIN")->x(), 127);
    EXPECT_EQ(child("BUTTON_MIN_CELL_SIZE_CONTROL")->x(), 108);

    child<QPushButton>("BUTTON_MAX_CELL_SIZE_CONTROL")->click();
    EXPECT_TRUE(child<QPushButton>("BUTTON_MAX_CELL_SIZE_CONTROL")->isChecked());
    EXPECT_FALSE(child<QPushButton>("BUTTON_MIN_CELL_SIZE_CONTROL")->isChecked());
    EXPECT_TRUE(child("GUIDELINE_MAX")->styleSheet().contains("rgb(85, 130, 255)"));
    EXPECT_TRUE(child("GUIDELINE_MIN")->styleSheet().contains("rgb(168, 178, 206)"));
    plus->click();
    EXPECT_EQ(dlg->gate(), (SizeGating::Gate{2, 90})) << "the upper line stops at 90";

    // Held: a step every 150 ms while down, one more on release.
    QTest::mousePress(minus, Qt::LeftButton);
    auto timers = dlg->findChildren<QTimer*>();
    QTimer* repeat = nullptr;
    for (QTimer* timer : timers)
        if (timer->isActive() && timer->interval() == 150)
            repeat = timer;
    ASSERT_NE(repeat, nullptr) << "the arrow's repeat runs while it is down";
    for (int tick = 0; tick < 6; ++tick)
        QMetaObject::invokeMethod(repeat, "timeout");
    QTest::mouseRelease(minus, Qt::LeftButton);
    EXPECT_FALSE(repeat->isActive());
    EXPECT_EQ(dlg->gate(), (SizeGating::Gate{2, 83})) << "six repeats and the click";
    EXPECT_EQ(text("LABEL_MAX_CELL_SIZE"), "83");
}

TEST_F(CountGating, ApplyRegatesTheCountThroughTheEngineAndLeavesThePreviousCountsAlone)
{
    CountDlg::seams().applyDelayMs = 0;
    for (int mode : {BF_TOTAL_CELL_COUNTING, BF_CELL_COUNTING_VIABILITY}) {
        SCOPED_TRACE(mode);
        useMode(mode);
        enterAndWaitForTheLiveView();
        countOnce();
        const QByteArray master = instrument.readFile(ResultTree::previousCountMaster(mode));
        const int counted = theApp.m_CountResult.total_cell;
        const cv::Mat ringsBefore = theApp.m_pCellCounter->getOverlayImageData2(true).clone();
        child<QPushButton>("BUTTON_GRAPH")->click();
        ASSERT_EQ(dlg->state(), CountDlg::StateHistogram);
        // The slide's cells are 11 to 34 µm here: the gate keeps the larger ones.
        for (int step = 0; step < 20; ++step)
            child<QPushButton>("BUTTON_PLUS")->click();
        ASSERT_EQ(dlg->gate(), (SizeGating::Gate{21, 90}));

        child<QPushButton>("BUTTON_APPLY")->click();

        const TCountImageInfo& r = theApp.m_CountResult;
        EXPECT_EQ(r.total_cell, objectsWithin(21, 90));
        EXPECT_LT(r.total_cell, counted) << "the small ones are out";
        EXPECT_EQ(r.gating_min, 21);
        EXPECT_EQ(r.gating_max, 90);
        EXPECT_EQ(mode == BF_TOTAL_CELL_COUNTING ? theApp.m_Counted_Total_Protocol.gating_min_size
                                                 : theApp.m_Counted_Viability_Protocol.gating_min_size,
                  21);
        if (mode == BF_TOTAL_CELL_COUNTING) {
            EXPECT_EQ(r.live_cell, 0);
            EXPECT_EQ(r.dead_cell, 0);
        } else {
            EXPECT_EQ(r.live_cell + r.dead_cell, r.total_cell);
        }
        float mantissa = 0;
        int exponent = 0;
        theApp.m_pCellCounter->getConcentration(r.total_cell, r.dilution, mantissa, exponent);
        EXPECT_EQ(r.total, mantissa);
        EXPECT_EQ(dlg->resultTexts().totalCells, QStringLiteral("%1 cells").arg(r.total_cell));
        EXPECT_EQ(dlg->state(), CountDlg::StateHistogram);
        EXPECT_EQ(QApplication::activeModalWidget(), nullptr) << "message 14 closed";

        child<QPushButton>("BUTTON_REVIEW_OR_IMAGE")->click();  // the Image page
        child<QPushButton>("BUTTON_REVIEW_OR_IMAGE")->click();  // the Result page, filled anew
        EXPECT_EQ(text("LABEL_TOTAL_CELL_NUMBER"), QStringLiteral("%1 cells").arg(r.total_cell));
        EXPECT_NE(cv::norm(theApp.m_pCellCounter->getOverlayImageData2(true), ringsBefore, cv::NORM_L1), 0.0)
            << "the rings follow the gate";
        EXPECT_EQ(instrument.readFile(ResultTree::previousCountMaster(mode)), master);

        // A gate that holds nothing: no cells, and no average size left from before.
        child<QLabel>("LABEL_MIN_CELL_SIZE")->setText("80");
        dlg->slotSizeGating();
        EXPECT_EQ(r.total_cell, 0);
        EXPECT_EQ(r.average_cell_size, 0.0f);
        EXPECT_EQ(dlg->resultTexts().totalConcentration, "0.00x10e0 cells/mL");

        ModalAnswerer answerer;
        answerer.plan(true);
        child<QPushButton>("BUTTON_NEXT_COUNT")->click();
        dlg->stopCamera(false);
    }
}

TEST_F(CountGating, TagShowsTheRingsAndTakesThemAwayAgain)
{
    enterAndWaitForTheLiveView();
    countOnce();
    dlg->show();
    child<QPushButton>("BUTTON_REVIEW_OR_IMAGE")->click();
    ASSERT_EQ(dlg->state(), CountDlg::StateImage);
    const auto area = [&] { return dlg->grab(ImageNavigation::kImageArea).toImage(); };
    const QImage plain = area();
    auto* tag = child<QPushButton>("BUTTON_TAG");

    tag->click();
    EXPECT_TRUE(tag->isChecked());
    const QImage tagged = area();
    EXPECT_NE(tagged, plain);

    tag->click();
    EXPECT_FALSE(tag->isChecked());
    EXPECT_EQ(area(), plain);
}

}  // namespace
