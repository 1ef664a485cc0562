// kova-evaluate as its users run it: options checked before anything is
// read, images refused by their header, no cut output file.
#include "FullDisk.h"
#include "HostTool.h"
#include "Slide.h"
#include "TempRoot.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

namespace {

platform::CommandResult evaluate(const QStringList& arguments)
{
    return runHostTool(QStringLiteral(KOVA_EVALUATE), arguments);
}

// A PNG of a few bytes whose header declares a frame of any size (the tool
// refuses it by the header, before any checksum is looked at).
QByteArray pngDeclaring(quint32 width, quint32 height)
{
    const auto be32 = [](quint32 v) {
        const char bytes[] = {char(v >> 24), char(v >> 16), char(v >> 8), char(v)};
        return QByteArray(bytes, 4);
    };
    const auto chunk = [&](const QByteArray& type, const QByteArray& data) {
        return be32(data.size()) + type + data + be32(0);
    };
    const QByteArray header = be32(width) + be32(height) + QByteArray("\x08\x02\x00\x00\x00", 5);
    return QByteArray("\x89PNG\r\n\x1a\n", 8) + chunk("IHDR", header) + chunk("IDAT", QByteArray(64, '\0'))
        + chunk("IEND", QByteArray());
}

class EvaluateTool : public ::testing::Test
{
protected:
    // A generated frame of the instrument's size under the root.
    QString slideImage() const
    {
        const QString file = root.path("/slide.png");
        slide::SlideParams params;
        params.cellCount = 50;
        cv::Mat bgr;
        cv::cvtColor(slide::generateSlide(params).rgb, bgr, cv::COLOR_RGB2BGR);
        EXPECT_TRUE(cv::imwrite(file.toStdString(), bgr));
        return file;
    }

    TempRoot root;
};

}  // namespace

TEST_F(EvaluateTool, EveryOptionIsCheckedWithAClearMessage)
{
    const QString image = root.writeFile("/tiny.png", pngDeclaring(2, 2));
    const struct
    {
        QStringList arguments;
        const char* message;
    } cases[] = {
        {{"--detection", "-100"}, "--detection needs a whole number from 1 to 10"},
        {{"--detection", "0"}, "--detection"},
        {{"--live", "11"}, "--live needs a whole number from 1 to 10"},
        {{"--noise", "1000"}, "--noise needs a whole number from 0 to 9"},
        {{"--noise", "-1"}, "--noise"},
        {{"--dilution", "0"}, "--dilution needs a whole number from 1 to 100"},
        {{"--max-size", "2147483647"}, "--max-size needs a whole number from 0 to 180"},
        {{"--min-size", "x"}, "--min-size"},
        {{"--min-size", "30", "--max-size", "20"}, "min. search size 30 is above the max. search size 20"},
        {{"--mode", "both"}, "--mode must be total or viability"},
        {{"--protocol", "HeLa"}, "unknown protocol HeLa"},
        {{"--no-such-option"}, "no-such-option"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments.join(' ').toStdString());
        const platform::CommandResult run = evaluate(c.arguments + QStringList{image});
        EXPECT_EQ(run.exitCode, 2);
        EXPECT_TRUE(run.standardError.contains(c.message)) << run.standardError.toStdString();
        EXPECT_TRUE(run.standardOutput.isEmpty());
    }
}

// A small file can declare a frame that would take gigabytes to decode.
TEST_F(EvaluateTool, AnImageIsRefusedByItsHeader)
{
    const struct
    {
        QByteArray content;
        const char* message;
    } cases[] = {
        {pngDeclaring(32000, 32000), "is 32000x32000, not 2592x1944"},
        {pngDeclaring(640, 480), "is 640x480, not 2592x1944"},
        {pngDeclaring(64479, 0xffff0798), "is 64479x2147483647, not 2592x1944"},
        {"not an image", "is no PNG or TIFF image"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        const platform::CommandResult run = evaluate({root.writeFile("/image.png", c.content)});
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_TRUE(run.standardError.contains(c.message)) << run.standardError.toStdString();
    }
}

TEST_F(EvaluateTool, TheObjectsFileIsWrittenWholeOrNotAtAll)
{
    const QString image = slideImage();
    const QString objects = root.path("/objects.csv");
    const platform::CommandResult run = evaluate({image, "--objects", objects});
    ASSERT_EQ(run.exitCode, 0) << run.standardError.toStdString();
    EXPECT_TRUE(run.standardOutput.startsWith("{"));
    const qint64 size = QFileInfo(objects).size();
    ASSERT_GT(size, 1000);
    QFile::remove(objects);

    // A full disk: the program's own write fails, and leaves no cut file.
    EXPECT_FALSE(runOnFullDisk(size / 2, [&] { return evaluate({image, "--objects", objects}).exitCode == 0; }));
    EXPECT_EQ(QDir(root.root()).entryList({"*objects*"}, QDir::Files | QDir::Hidden), QStringList());
}
