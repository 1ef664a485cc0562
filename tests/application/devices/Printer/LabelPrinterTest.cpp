#include "Printer/SPP_R200IIG.h"

#include "ReportFixture.h"

#include <gtest/gtest.h>

#include <QSignalSpy>

using printer::SPP_R200IIG;

namespace {

class LabelPrinter : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(virtualPrinter.install()); }

    // The driver after initialize(), with spies on both signals from the start.
    struct Watched
    {
        Watched() : connected(&driver, &SPP_R200IIG::signalConnectedDevice),
                    disconnected(&driver, &SPP_R200IIG::signalDisconnectedDevice)
        {
            driver.initialize();
        }
        SPP_R200IIG driver;
        QSignalSpy connected;
        QSignalSpy disconnected;
    };

    TempRoot root;
    sim::VirtualPrinter virtualPrinter{root.root()};
};

}  // namespace

TEST_F(LabelPrinter, MarkerFileAnnouncesAttachAndDetach)
{
    Watched w;
    EXPECT_EQ(w.disconnected.count(), 1) << "the state is reported at start";
    EXPECT_EQ(w.driver.manufacturer(), printer::NONE);

    ASSERT_TRUE(virtualPrinter.attach());
    ASSERT_TRUE(w.connected.wait(5000));
    EXPECT_EQ(w.driver.manufacturer(), printer::ZEBRA);

    ASSERT_TRUE(virtualPrinter.detach());
    ASSERT_TRUE(w.disconnected.wait(5000));
    EXPECT_EQ(w.driver.manufacturer(), printer::NONE);
}

TEST_F(LabelPrinter, MakerComesFromTheUsbList)
{
    struct Case
    {
        const char* line;
        printer::PrinterManufacturer maker;
    };
    for (const Case& c : {Case{"Zebra Technologies ZTC ZD411-203dpi ZPL", printer::ZEBRA},
                          Case{"Acme Labels LP-2", printer::OTHER}, Case{"zebra lowercase", printer::OTHER}}) {
        ASSERT_TRUE(virtualPrinter.attach(c.line));
        Watched w;
        EXPECT_EQ(w.connected.count(), 1) << c.line;
        EXPECT_EQ(w.driver.manufacturer(), c.maker) << c.line;
    }
}

TEST_F(LabelPrinter, EachTextBecomesOneLabelPage)
{
    SPP_R200IIG driver;
    QList<QString> labels{"Total cell concentration\n2.35 x 10e6 cells/mL", "Viability : 84.9%",
                          "File name : result_01"};
    driver.setData2(labels);
    EXPECT_EQ(driver.print2(), printer::PRINT_OK);
    const QStringList jobs = virtualPrinter.jobs();
    ASSERT_EQ(jobs.size(), 1);
    EXPECT_EQ(pageCount(jobs[0]), 3);
    EXPECT_TRUE(poppler("pdfinfo", {jobs[0]}).contains("144 x 396 pts")) << "2.0 x 5.5 inch";
    const QString text = poppler("pdftotext", {jobs[0], "-"});
    for (const QString& label : labels)
        for (const QString& line : label.split('\n'))
            EXPECT_TRUE(text.contains(line)) << line.toStdString();

    QList<QString> none;
    driver.setData2(none);
    EXPECT_EQ(driver.print2(), printer::PRINT_OK);
    EXPECT_EQ(virtualPrinter.jobs().size(), 1) << "no labels, no job";
}

TEST_F(LabelPrinter, NoInstalledPrinterIsCodeTwo)
{
    ASSERT_TRUE(virtualPrinter.uninstall());
    SPP_R200IIG driver;
    QList<QString> labels{"x"};
    driver.setData2(labels);
    EXPECT_EQ(driver.print2(), printer::OPEN_FAILED);
}

TEST_F(LabelPrinter, RawPathWritesLabelLanguageToTheDevice)
{
    ASSERT_TRUE(virtualPrinter.attach());
    Watched w;
    std::vector<std::string> lines{"Total : 431", "a\nb"};
    w.driver.setData(lines);
    EXPECT_EQ(w.driver.print(), printer::NO_DEVICE) << "no port";
    w.driver.setPort("/dev/usb/lp0");
    EXPECT_EQ(w.driver.print(), printer::OPEN_FAILED) << "device file missing";
    root.writeFile("/dev/usb/lp0", "");
    EXPECT_EQ(w.driver.print(), printer::PRINT_OK);
    const QByteArray sent = root.readFile("/dev/usb/lp0");
    EXPECT_TRUE(sent.startsWith("\x10" "CT~~CD,~CC^~CT~\n^XA~TA000"));
    EXPECT_TRUE(sent.contains("^XA\n^MMT\n^PW400\n^LL1350\n^LS0\n"
                              "^FT400,1277^A0I,22,19^FH\\^FDTotal : 431\n"
                              "^FT400,1253^A0I,22,19^FH\\^FDa ^FSb\n^PQ1,0,1,Y^XZ\n"));

    ASSERT_TRUE(virtualPrinter.detach());
    ASSERT_TRUE(w.disconnected.wait(5000));
    ASSERT_TRUE(virtualPrinter.attach("Acme Labels LP-2"));
    ASSERT_TRUE(w.connected.wait(5000));
    w.driver.setPort("/dev/usb/lp0");
    EXPECT_EQ(w.driver.print(), printer::NO_DEVICE) << "the raw path serves the one maker only";
}
