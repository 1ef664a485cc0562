#include "AwakeEventFilter/AwakeEventFilter.h"

#include <gtest/gtest.h>

#include <QKeyEvent>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QTest>
#include <QTimerEvent>
#include <QTouchEvent>

#include <algorithm>
#include <memory>

namespace {

std::unique_ptr<QEvent> plainEvent(QEvent::Type type)
{
    switch (type) {
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
        return std::make_unique<QKeyEvent>(type, Qt::Key_A, Qt::NoModifier);
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseMove:
        return std::make_unique<QMouseEvent>(type, QPointF(10, 10), Qt::LeftButton, Qt::LeftButton,
                                             Qt::NoModifier);
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
        return std::make_unique<QTouchEvent>(type);
    default:
        return std::make_unique<QEvent>(type);
    }
}

bool feedKey(AwakeEventFilter& filter, QEvent::Type type, int key, bool autoRepeat = false)
{
    QObject target;
    QKeyEvent event(type, key, Qt::NoModifier, QString(), autoRepeat);
    return filter.eventFilter(&target, &event);
}

// Holding the power key: the press that opens the window, then `releases`
// auto-repeat release/press pairs. Returns how many releases were consumed.
int holdPowerKey(AwakeEventFilter& filter, int releases)
{
    EXPECT_TRUE(feedKey(filter, QEvent::KeyPress, Qt::Key_PowerOff)) << "the opening press is consumed";
    int consumed = 0;
    for (int i = 0; i < releases; ++i) {
        consumed += feedKey(filter, QEvent::KeyRelease, Qt::Key_PowerOff, true) ? 1 : 0;
        EXPECT_FALSE(feedKey(filter, QEvent::KeyPress, Qt::Key_PowerOff, true)) << "repeated presses pass";
    }
    return consumed;
}

class AwakeEventFilterTest : public ::testing::Test
{
protected:
    // Passes one event through the filter; true when it was consumed.
    bool feed(QEvent& event) { return filter.eventFilter(&target, &event); }
    // The report the minute timer would give now.
    bool report()
    {
        QSignalSpy spy(&filter, &AwakeEventFilter::signal_ReportActivity);
        QTimerEvent tick(filter.reportTimerId());
        filter.timerEvent(&tick);
        EXPECT_EQ(spy.count(), 1);
        return spy.value(0).value(0).toBool();
    }

    QObject target;
    AwakeEventFilter filter;
};

TEST_F(AwakeEventFilterTest, OnlyTheListedInputCountsAsActivityAndEverythingIsPassedOn)
{
    const struct
    {
        QEvent::Type type;
        bool activity;
    } cases[] = {
        {QEvent::MouseButtonPress, true}, {QEvent::MouseMove, true},          {QEvent::KeyPress, true},
        {QEvent::WindowActivate, true},   {QEvent::Wheel, true},              {QEvent::TouchUpdate, true},
        {QEvent::TouchBegin, false},      {QEvent::TouchEnd, false},          {QEvent::MouseButtonRelease, false},
        {QEvent::KeyRelease, false},      {QEvent::Paint, false},             {QEvent::Timer, false},
    };
    report();  // a fresh minute
    for (const auto& c : cases) {
        SCOPED_TRACE(c.type);
        std::unique_ptr<QEvent> event = plainEvent(c.type);
        event->accept();
        EXPECT_FALSE(feed(*event));
        EXPECT_FALSE(event->isAccepted()) << "passed-on events are marked not accepted";
        EXPECT_EQ(report(), c.activity);
    }
}

TEST_F(AwakeEventFilterTest, ReportsEachMinuteOnItsOwn)
{
    EXPECT_FALSE(report());
    auto move = plainEvent(QEvent::MouseMove);
    feed(*move);
    EXPECT_TRUE(report());
    EXPECT_FALSE(report()) << "the next quiet minute is quiet again";

    QSignalSpy spy(&filter, &AwakeEventFilter::signal_ReportActivity);
    QTimerEvent other(filter.reportTimerId() + 1000);
    filter.timerEvent(&other);
    EXPECT_EQ(spy.count(), 0) << "other timers are ignored";
}

TEST(AwakeEventFilterPowerKey, LongPressTable)
{
    const struct
    {
        int releases;
        int emitted;
    } cases[] = {{1, 0}, {10, 0}, {11, 1}, {25, 1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.releases);
        AwakeEventFilter filter;
        QSignalSpy spy(&filter, &AwakeEventFilter::signal_PowerOffActivity);
        const int consumed = holdPowerKey(filter, c.releases);
        EXPECT_EQ(spy.count(), c.emitted);
        if (c.emitted) {
            EXPECT_TRUE(spy.value(0).value(0).toBool());
        }
        // Releases up to the report are consumed, the ones after it pass.
        EXPECT_EQ(consumed, std::min(c.releases, AwakeEventFilter::kLongPressReleases + 1));
    }
}

TEST_F(AwakeEventFilterTest, ShortPowerKeyPressIsConsumedAndIsNoActivity)
{
    report();
    QSignalSpy spy(&filter, &AwakeEventFilter::signal_PowerOffActivity);
    EXPECT_TRUE(feedKey(filter, QEvent::KeyPress, Qt::Key_PowerOff));
    EXPECT_TRUE(feedKey(filter, QEvent::KeyRelease, Qt::Key_PowerOff));
    EXPECT_EQ(spy.count(), 0);
    EXPECT_FALSE(report());
}

TEST_F(AwakeEventFilterTest, OtherKeyReleasesInsideTheWindowPassWithoutActivity)
{
    report();
    ASSERT_TRUE(feedKey(filter, QEvent::KeyPress, Qt::Key_PowerOff));
    EXPECT_FALSE(feedKey(filter, QEvent::KeyRelease, Qt::Key_A));
    EXPECT_FALSE(report());
}

TEST_F(AwakeEventFilterTest, AnExpiredWindowStartsTheCountAgain)
{
    filter.setPowerKeyWindow(0);  // runs out at the next pass of the event loop
    QSignalSpy spy(&filter, &AwakeEventFilter::signal_PowerOffActivity);
    holdPowerKey(filter, 10);
    QTest::qWait(20);
    holdPowerKey(filter, 10);
    EXPECT_EQ(spy.count(), 0) << "ten and ten releases in two windows are no long press";
    EXPECT_TRUE(feedKey(filter, QEvent::KeyRelease, Qt::Key_PowerOff, true));
    EXPECT_EQ(spy.count(), 1) << "the eleventh release of the new window is";
}

}  // namespace
