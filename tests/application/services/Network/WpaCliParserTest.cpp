#include "Network/WpaCliParser.h"

#include <gtest/gtest.h>

#include <QRandomGenerator>

namespace {

using Action = WpaCliParser::Action;
const Action kScan{Action::Send, "scan\r"};
const Action kResults{Action::Send, "scan_results\r"};
const Action kComplete{Action::ScanComplete, {}};
const Action kBadPassword{Action::BadPassword, {}};

const QByteArray kHeader = "bssid / frequency / signal level / flags / ssid\n";

// What the client prints over one cycle and a half, with the commands the
// cycle sends between its parts; scan_results comes first from a fresh
// registration (the supplicant's last results).
const QByteArray kTranscript = "wpa_cli (simulated)\n\nInteractive mode\n\n> "  // scan_results
                               + kHeader
                               + "00:11:22:33:44:55\t2437\t-60\t[WPA2-PSK-CCMP][ESS]\tLabNet\n"
                                 "66:77:88:99:aa:bb\t5180\t-85\t[ESS]\tLab Net 2\n> "  // complete, scan
                                 "OK\n> "
                                 "\r<3>CTRL-EVENT-SCAN-RESULTS \n> "  // scan_results
                               + kHeader
                               + "00:11:22:33:44:55\t2437\t-61\t[WPA2-PSK-CCMP][ESS]\tLabNet\n> "  // complete, scan
                                 "FAIL-BUSY\n> "
                                 "<3>CTRL-EVENT-SSID-TEMP-DISABLED id=0 ssid=\"LabNet\" auth_failures=1 duration=10 "
                                 "reason=WRONG_KEY\n> "
                                 "<3>CTRL-EVENT-SCAN-RESULTS \n> "  // scan_results
                               + kHeader + "> ";                    // no network: scan only
const WpaCliParser::Actions kExpected = {kResults, kComplete, kScan, kResults, kComplete, kScan,
                                         kBadPassword, kResults, kScan};

WpaCliParser::Actions feedInChunks(const QByteArray& output, quint32 seed, int maxChunk)
{
    WpaCliParser parser;
    WpaCliParser::Actions actions = parser.setScanWanted(true);
    QRandomGenerator random(seed);
    for (int at = 0; at < output.size();) {
        const int size = 1 + random.bounded(maxChunk);
        actions += parser.feed(output.mid(at, size));
        at += size;
    }
    return actions;
}

WpaCliParser listing(const QByteArray& lines)
{
    WpaCliParser parser;
    parser.feed(kHeader + lines + "> ");
    return parser;
}

}  // namespace

// However the output is cut, the same commands and reports come out in the
// same order; a line cut in two is not lost.
TEST(WpaCliParser, ChunksNeverChangeTheCycle)
{
    EXPECT_EQ(feedInChunks(kTranscript, 1, kTranscript.size()), kExpected) << "whole";
    EXPECT_EQ(feedInChunks(kTranscript, 1, 1), kExpected) << "byte by byte";
    for (quint32 seed = 1; seed <= 20; ++seed)
        EXPECT_EQ(feedInChunks(kTranscript, seed, 17), kExpected) << "seed " << seed;

    WpaCliParser parser;
    parser.feed(kHeader + "00:11:22:33:44:55\t2437\t-6");
    EXPECT_TRUE(parser.scanList().isEmpty());
    EXPECT_EQ(parser.feed("0\t[ESS]\tSplit\n> "), WpaCliParser::Actions{kComplete}) << "not wanted: no command";
    ASSERT_EQ(parser.scanList().size(), 1);
    EXPECT_EQ(parser.scanList()[0].level, -60);
    EXPECT_EQ(parser.scanList()[0].ssid, "Split");
}

// A busy supplicant holds the cycle until it reports results by itself.
TEST(WpaCliParser, FailBusyWaitsForTheResultsEvent)
{
    WpaCliParser parser;
    parser.setScanWanted(true);
    EXPECT_EQ(parser.feed("> "), WpaCliParser::Actions{kResults});
    EXPECT_EQ(parser.feed(kHeader + "> "), WpaCliParser::Actions{kScan});
    EXPECT_TRUE(parser.feed("FAIL-BUSY\n> ").isEmpty());
    EXPECT_TRUE(parser.feed("> ").isEmpty());
    EXPECT_EQ(parser.feed("<3>CTRL-EVENT-SCAN-RESULTS \n> "), WpaCliParser::Actions{kResults});
}

// Wanted again while the client runs: at once when it waits at its prompt,
// else at the next one.
TEST(WpaCliParser, WantedAgainWhileTheClientRuns)
{
    WpaCliParser parser;
    parser.setScanWanted(true);
    parser.feed("> ");                                                            // scan_results
    parser.setScanWanted(false);
    EXPECT_TRUE(parser.feed(kHeader + "00:11:22:33:44:55\t2437\t-60\t[ESS]\tA\n> ") == WpaCliParser::Actions{kComplete});
    EXPECT_EQ(parser.setScanWanted(true), WpaCliParser::Actions{kScan}) << "the prompt has come";
    parser.setScanWanted(false);
    EXPECT_TRUE(parser.feed("OK\n> <3>CTRL-EVENT-SCAN-RESULTS \n> ").isEmpty());
    EXPECT_TRUE(parser.scanList().isEmpty()) << "the results event empties the list even while not wanted";

    WpaCliParser pending;
    pending.setScanWanted(true);
    pending.feed("> ");
    pending.feed(kHeader + "> ");  // scan
    pending.setScanWanted(false);
    EXPECT_TRUE(pending.setScanWanted(true).isEmpty()) << "a scan is pending";
    EXPECT_EQ(pending.feed("OK\n> <3>CTRL-EVENT-SCAN-RESULTS \n> "), WpaCliParser::Actions{kResults});
}

// A new registration lists at once: the results of a scan cut short (here a
// connection attempt in between) may never be reported.
TEST(WpaCliParser, ARestartDoesNotWaitForAPendingScan)
{
    WpaCliParser parser;
    parser.setScanWanted(true);
    parser.feed("> ");                                                   // scan_results
    parser.feed(kHeader + "00:11:22:33:44:55\t2437\t-60\t[ESS]\tA\n> ");  // scan
    parser.feed("OK\n> ");
    parser.setScanWanted(false);
    EXPECT_TRUE(parser.setScanWanted(true).isEmpty()) << "the cycle alone waits for the results";
    parser.setScanWanted(false);
    EXPECT_EQ(parser.restartScan(), WpaCliParser::Actions{kResults}) << "the prompt has come";
    EXPECT_EQ(parser.feed(kHeader + "00:11:22:33:44:55\t2437\t-60\t[ESS]\tA\n> "),
              (WpaCliParser::Actions{kComplete, kScan}));

    WpaCliParser waiting;
    waiting.setScanWanted(true);
    waiting.feed("> ");
    waiting.feed(kHeader + "> ");  // scan, its answer still to come
    EXPECT_TRUE(waiting.restartScan().isEmpty());
    EXPECT_EQ(waiting.feed("OK\n> "), WpaCliParser::Actions{kResults});
}

TEST(WpaCliParser, ScanResultsTable)
{
    const WpaCliParser parser = listing("00:11:22:33:44:55\t2437\t-60\t[WPA2-PSK-CCMP][ESS]\tLabNet\n"
                                        "00:11:22:33:44:56\t2437\t-85\t[ESS]\tLabNet\n"
                                        "00:11:22:33:44:57\t2412\t-66\t[ESS]\tLab Net 2\n"
                                        "00:11:22:33:44:58\t2412\t-67\t[WEP][ESS]\tOld\n"
                                        "00:11:22:33:44:59\t2412\t-79\t[ESS]\tB79\n"
                                        "00:11:22:33:44:5a\t2412\t-80\t[ESS]\tB80\n"
                                        "00:11:22:33:44:5b\t2412\t0\t[ESS]\tQ0\n"
                                        "00:11:22:33:44:5c\t2412\t40\t[ESS]\tQ40\n"
                                        "00:11:22:33:44:5d\t2412\t-50\t[ESS]\tHidden\\x00\n"
                                        "00:11:22:33:44:5e\t2412\t-50\t[ESS]\t\n"
                                        "not a line\n");
    const QHash<QString, APInfo> table = parser.scanResults();
    const struct
    {
        const char* ssid;
        int level, frequency;
        bool secured;
    } expected[] = {
        {"LabNet", 3, 2437, true}, {"Lab Net 2", 3, 2412, false}, {"Old", 2, 2412, true}, {"B79", 2, 2412, false},
        {"B80", 1, 2412, false},   {"Q0", 0, 2412, false},         {"Q40", 40, 2412, false},
    };
    EXPECT_EQ(table.size(), int(std::size(expected)));
    for (const auto& e : expected) {
        SCOPED_TRACE(e.ssid);
        ASSERT_TRUE(table.contains(e.ssid));
        const APInfo& ap = table[e.ssid];
        EXPECT_EQ(ap.ssid, e.ssid);
        EXPECT_EQ(ap.level, e.level);
        EXPECT_EQ(ap.frequency, e.frequency);
        EXPECT_EQ(ap.secured, e.secured);
    }
    EXPECT_EQ(parser.scanList().size(), 9) << "the duplicate and the hidden network stay in the list";
}

TEST(WpaCliParser, UnescapeUndoesThePrintedForm)
{
    const struct
    {
        QString printed;
        QByteArray raw;
    } cases[] = {
        {"Lab Net", "Lab Net"},      {"a\\\"b", "a\"b"},           {"a\\\\b", "a\\b"},
        {"\\x41\\x7e", "A~"},        {"t\\tn\\nr\\re\\e", "t\tn\nr\re\033"},
        {"\\x00", QByteArray(1, 0)}, {"end\\", "end\\"},           {"\\xZZ", "\\xZZ"},
        {"\\x4", "\\x4"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(WpaCliParser::unescape(c.printed), c.raw) << c.printed.toStdString();
}
