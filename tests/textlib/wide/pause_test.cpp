#include "textlib/wide/pause/machpause.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>

namespace textlib {
namespace {

class PauseTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    static int argc = 1;
    static char name[] = "test_wide";
    static char* argv[] = {name, nullptr};
    app_ = new QCoreApplication(argc, argv);
  }
  static void TearDownTestSuite() {
    delete app_;
    app_ = nullptr;
  }
  static QCoreApplication* app_;
};

QCoreApplication* PauseTest::app_ = nullptr;

TEST_F(PauseTest, StartsWithOneSecondAndKeepsTheLastInterval) {
  TMachPause pause;
  EXPECT_EQ(pause.Interval(), 1000);
  pause.SetInterval(20);
  EXPECT_EQ(pause.Interval(), 20);
  pause.Pause(0);
  EXPECT_EQ(pause.Interval(), 0);
  pause.Pause(1);
  EXPECT_EQ(pause.Interval(), 1);
}

TEST_F(PauseTest, LastsAtLeastItsInterval) {
  TMachPause pause;
  for (int milliseconds : {0, 1, 30}) {
    QElapsedTimer clock;
    clock.start();
    pause.Pause(milliseconds);
    EXPECT_GE(clock.elapsed(), milliseconds);
  }
}

TEST_F(PauseTest, NegativeIntervalCountsAsZero) {
  TMachPause pause;
  pause.Pause(-5);  // would never end with a timer that cannot fire
  EXPECT_EQ(pause.Interval(), 0);
  pause.SetInterval(-1);
  EXPECT_EQ(pause.Interval(), 0);
}

TEST_F(PauseTest, QueuedEventsAndOtherTimersRunDuringIt) {
  QObject owner;
  auto* pause = new TMachPause(&owner);  // freed with its owner
  bool queued = false, timer = false;
  QMetaObject::invokeMethod(&owner, [&] { queued = true; }, Qt::QueuedConnection);
  pause->Pause(0);
  EXPECT_TRUE(queued);
  QTimer::singleShot(0, &owner, [&] { timer = true; });
  pause->Pause(50);
  EXPECT_TRUE(timer);
}

TEST_F(PauseTest, NestedPauseEndsTheOuterOne) {
  TMachPause pause;
  bool innerDone = false, rescued = false;
  QObject context;
  QMetaObject::invokeMethod(&context, [&] {
    pause.Pause(1);
    innerDone = true;
  }, Qt::QueuedConnection);
  // Should the outer pause go on, this ends it and marks the failure.
  QTimer::singleShot(20000, &context, [&] {
    rescued = true;
    pause.Pause(1);
  });
  pause.Pause(600000);
  EXPECT_TRUE(innerDone);
  EXPECT_FALSE(rescued);
}

TEST_F(PauseTest, ComponentDeletedDuringThePauseEndsIt) {
  QObject context;
  auto* pause = new TMachPause;
  QMetaObject::invokeMethod(&context, [&] { delete pause; }, Qt::QueuedConnection);
  pause->Pause(600000);
  SUCCEED();
}

}  // namespace
}  // namespace textlib
