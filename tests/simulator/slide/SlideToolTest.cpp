// kova-slide as its users run it: options checked for range and finiteness,
// no image without its truth.
#include "FullDisk.h"
#include "HostTool.h"
#include "TempRoot.h"

#include <gtest/gtest.h>

#include <QDir>

#include <opencv2/imgcodecs.hpp>

namespace {

platform::CommandResult slideTool(const QStringList& arguments)
{
    return runHostTool(QStringLiteral(KOVA_SLIDE), arguments);
}

QStringList filesIn(const TempRoot& root)
{
    return QDir(root.root()).entryList(QDir::Files | QDir::Hidden);
}

}  // namespace

TEST(SlideTool, EveryOptionIsCheckedWithAClearMessage)
{
    TempRoot root;
    const struct
    {
        QStringList arguments;
        const char* message;
    } cases[] = {
        {{"--blur", "nan"}, "--blur needs a number from 0 to 50"},
        {{"--blur", "inf"}, "--blur"},
        {{"--blur", "1e12"}, "--blur"},
        {{"--min-diameter", "nan"}, "--min-diameter needs a number from 2 to 200"},
        {{"--min-diameter", "30", "--max-diameter", "20"}, "--min-diameter 30 is above --max-diameter 20"},
        {{"--live", "1.5"}, "--live"},
        {{"--noise", "-1"}, "--noise"},
        {{"--cells", "2.5"}, "--cells needs a whole number"},
        {{"--seed", "-1"}, "--seed"},
        {{"--no-such-option"}, "no-such-option"},
        {{"--target", "10,x"}, "--target needs centres"},
        {{"--target", "10;20,30"}, "--target needs centres"},
        {{"--target", "10,20", "--target-diameter", "300"}, "--target-diameter needs a number from 2 to 200"},
        {{"--blank", "--cells", "20"}, "--blank draws no --cells"},
        {{"--blank", "--target", "10,20"}, "--blank draws no --target"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments.join(' ').toStdString());
        const platform::CommandResult run = slideTool(c.arguments + QStringList{root.path("/slide.png")});
        EXPECT_EQ(run.exitCode, 2);
        EXPECT_TRUE(run.standardError.contains(c.message)) << run.standardError.toStdString();
    }
    EXPECT_EQ(filesIn(root), QStringList());
}

TEST(SlideTool, WritesTheImageAndItsTruthOrNeither)
{
    TempRoot root;
    const QStringList arguments{"--cells", "20", root.path("/slide.png")};
    EXPECT_FALSE(runOnFullDisk(64 * 1024, [&] { return slideTool(arguments).exitCode == 0; }));
    EXPECT_EQ(filesIn(root), QStringList());

    root.writeFile("/blocked", "a file, not a folder");
    EXPECT_EQ(slideTool({"--cells", "20", "--truth", root.path("/blocked/truth.csv"), root.path("/slide.png")})
                  .exitCode,
              1);
    EXPECT_EQ(filesIn(root), QStringList{"blocked"});

    const platform::CommandResult run = slideTool(arguments);
    ASSERT_EQ(run.exitCode, 0) << run.standardError.toStdString();
    EXPECT_EQ(run.standardOutput, "20 cells\n");
    EXPECT_EQ(filesIn(root), (QStringList{"blocked", "slide.csv", "slide.png"}));
}

// A QC target: dark discs at the given centres on an even bright field.
TEST(SlideTool, DrawsAQcTarget)
{
    TempRoot root;
    const platform::CommandResult run =
        slideTool({"--target", "100,240;530.5,240", "--target-diameter", "30", root.path("/target.png")});
    ASSERT_EQ(run.exitCode, 0) << run.standardError.toStdString();
    EXPECT_EQ(run.standardOutput, "2 discs\n");
    const cv::Mat image = cv::imread(root.path("/target.png").toStdString());
    ASSERT_EQ(image.size(), cv::Size(2592, 1944));
    EXPECT_EQ(image.at<cv::Vec3b>(240, 100), cv::Vec3b(30, 30, 30));
    EXPECT_EQ(image.at<cv::Vec3b>(240, 530), cv::Vec3b(30, 30, 30));
    EXPECT_EQ(image.at<cv::Vec3b>(240, 100 + 17), cv::Vec3b(196, 196, 196));
    EXPECT_EQ(image.at<cv::Vec3b>(500, 300), cv::Vec3b(196, 196, 196));
    EXPECT_EQ(root.readFile("/target.csv"),
              "x,y,diameter,minor_diameter,angle,live,cluster\n100,240,30,30,0,0,0\n530.5,240,30,30,0,0,0\n");
}

// A blank of the stain: the generated slides' faintly blue background, with
// nothing on it darker than its fall-off and noise.
TEST(SlideTool, DrawsABlankFieldOfTheStain)
{
    TempRoot root;
    const platform::CommandResult run = slideTool({"--blank", root.path("/blank.png")});
    ASSERT_EQ(run.exitCode, 0) << run.standardError.toStdString();
    EXPECT_EQ(run.standardOutput, "0 cells\n");
    EXPECT_EQ(root.readFile("/blank.csv"), "x,y,diameter,minor_diameter,angle,live,cluster\n");
    const cv::Mat bgr = cv::imread(root.path("/blank.png").toStdString());
    ASSERT_EQ(bgr.size(), cv::Size(2592, 1944));
    cv::Mat green;
    cv::extractChannel(bgr, green, 1);
    double darkest = 0;
    cv::minMaxLoc(green, &darkest);
    EXPECT_GT(darkest, 140) << "no cell or speck";
    const cv::Scalar mean = cv::mean(bgr);
    EXPECT_GT(mean[0], mean[1]) << "blue over green";
    EXPECT_GT(mean[1], mean[2]) << "green over red";
}
