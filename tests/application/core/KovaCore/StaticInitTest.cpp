#include "KovaCore/KovaCoreApp.h"

#include <gtest/gtest.h>

#include <QCoreApplication>

// theApp is built during static initialisation, before any Qt application
// object; this binary never creates one.
TEST(StaticInit, TheAppIsReadyBeforeMainWithoutSideEffects)
{
    EXPECT_EQ(QCoreApplication::instance(), nullptr);

    EXPECT_EQ(theApp.get_background_ptr(), nullptr);
    EXPECT_EQ(theApp.m_pHomeDlg, nullptr);
    EXPECT_EQ(theApp.m_pCamera, nullptr);
    EXPECT_EQ(theApp.m_pCellCounter, nullptr);
    EXPECT_EQ(theApp.m_pNetworkManager, nullptr);
    EXPECT_EQ(theApp.m_pMediaMonitor, nullptr);

    EXPECT_TRUE(theApp.m_SerialNumber.isEmpty());
    EXPECT_TRUE(theApp.m_strTotalProtocolName.isEmpty());
    EXPECT_EQ(theApp.m_fLensMagnification, 0.0);
    EXPECT_EQ(theApp.m_CountingMode, 0);
    EXPECT_EQ(theApp.m_nZstageCenterPos, 0);
    EXPECT_FALSE(theApp.m_bBusy);
    EXPECT_FALSE(theApp.m_bProgramExit);
    EXPECT_TRUE(theApp.m_CountResult.total_histogram.empty());
    EXPECT_TRUE(theApp.m_ScaleBarImage.isNull());
    EXPECT_FALSE(theApp.m_ScaleBarColor.isValid());
    EXPECT_TRUE(CUR_CAL_INI.empty());

    const cv::Mat canvas = theApp.getScaleBarImg();
    EXPECT_EQ(canvas.rows, 1944);
    EXPECT_EQ(canvas.cols, 2592);
    EXPECT_EQ(canvas.type(), CV_8UC3);
    EXPECT_TRUE(canvas.isContinuous());

    ASSERT_NE(global_ini(), nullptr);
    EXPECT_EQ(global_ini(), global_ini());
    EXPECT_EQ(global_ini()->LED, 0);
    EXPECT_EQ(global_ini()->regTables[2][2][9], 0);
    EXPECT_TRUE(global_ini()->IQOQ.SW_version.isEmpty());
}
