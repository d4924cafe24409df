// The oscilloscope's sample entry points, its channel bindings to process values, the process-
// value list it is given, and how many points a channel keeps.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "scope_test_support.h"

using namespace scopetest;

namespace {

class ScopeFeedingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    module = MakeProcessData({{"Pressure", 10}, {"Flow", 1}, {"Temp", 100}, {"Speed", 1}});
    scope.SetProcessDataStructure(module.get());
  }

  std::unique_ptr<TModProcessData> module;
  TKVXScope scope;
};

// A record class the scope does not know.
class OtherRecord : public TBaseProcDataObj {
 public:
  void SetData(const void*, std::int32_t, bool, TDateTime) override {}
};

}  // namespace

TEST_F(ScopeFeedingTest, SamplesAreDroppedUntilRunScopeAndOnlyThenReported) {
  int reports = 0;
  scope.OnScopeData = [&](TASCIIProcDataObj*, TASCIIProcDataObj*, TASCIIProcDataObj*,
                          TASCIIProcDataObj*) { ++reports; };
  scope.Channel1()->SetSignalName("Pressure");
  auto a = Ascii(5, 0);
  scope.AddScopeData(a.get(), a.get(), a.get(), a.get());
  scope.AddProcessData(Binary({1, 2, 3, 4}).get());
  scope.AddProcessData(a.get());
  EXPECT_EQ(PointCount(scope, 0), 0u);
  EXPECT_EQ(reports, 0);

  scope.SetRunScope(true);
  EXPECT_TRUE(scope.PaintThread()->RunScope());
  scope.AddScopeData(a.get(), nullptr, nullptr, nullptr);
  EXPECT_EQ(PointCount(scope, 0), 1u);
  EXPECT_EQ(reports, 1);
}

TEST_F(ScopeFeedingTest, ScopeDataFillsChannelsByPositionAndPassesNilsOn) {
  scope.SetRunScope(true);
  auto c1 = Ascii(11), c3 = Ascii(33);
  TASCIIProcDataObj* seen[4] = {};
  int reports = 0;
  scope.OnScopeData = [&](TASCIIProcDataObj* a, TASCIIProcDataObj* b, TASCIIProcDataObj* c,
                          TASCIIProcDataObj* d) {
    seen[0] = a, seen[1] = b, seen[2] = c, seen[3] = d;
    ++reports;
  };
  // Channels need not be bound for this entry point.
  scope.AddScopeData(c1.get(), nullptr, c3.get(), nullptr);
  EXPECT_EQ(PointCount(scope, 0), 1u);
  EXPECT_EQ(PointCount(scope, 1), 0u);
  EXPECT_EQ(PointCount(scope, 2), 1u);
  EXPECT_EQ(PointCount(scope, 3), 0u);
  EXPECT_EQ(Snapshot(scope, 2).Points.back().Value, 33.0);
  EXPECT_EQ(reports, 1);
  EXPECT_EQ(seen[0], c1.get());
  EXPECT_EQ(seen[1], nullptr);
  EXPECT_EQ(seen[2], c3.get());
  EXPECT_EQ(seen[3], nullptr);
}

TEST_F(ScopeFeedingTest, AFailingScopeDataHandlerDoesNotReachThePoll) {
  scope.SetRunScope(true);
  scope.OnScopeData = [](TASCIIProcDataObj*, TASCIIProcDataObj*, TASCIIProcDataObj*,
                         TASCIIProcDataObj*) { throw std::runtime_error("disk full"); };
  auto v = Ascii(1);
  EXPECT_NO_THROW(scope.AddScopeData(v.get(), nullptr, nullptr, nullptr));
  EXPECT_EQ(PointCount(scope, 0), 1u);
}

TEST_F(ScopeFeedingTest, BinaryBlocksFeedEveryBoundChannelByItsIndex) {
  scope.SetRunScope(true);
  scope.Channel1()->SetSignalName("Temp");   // index 2
  scope.Channel3()->SetSignalName("Speed");  // index 3
  auto block = Binary({100, 200, 300, 400}, 7.5);
  scope.AddProcessData(block.get());
  EXPECT_EQ(PointCount(scope, 0), 1u);
  EXPECT_EQ(PointCount(scope, 1), 0u);  // unbound
  EXPECT_EQ(PointCount(scope, 2), 1u);
  EXPECT_EQ(PointCount(scope, 3), 0u);
  EXPECT_EQ(Snapshot(scope, 0).Points.back().Value, 300.0);
  EXPECT_EQ(Snapshot(scope, 0).Points.back().TimeStamp, 7.5);
  EXPECT_EQ(Snapshot(scope, 2).Points.back().Value, 400.0);

  // A block too short for a channel's index gives that channel a 0.
  scope.AddProcessData(Binary({9, 9}).get());
  EXPECT_EQ(PointCount(scope, 0), 2u);
  EXPECT_EQ(Snapshot(scope, 0).Points.back().Value, 0.0);
  EXPECT_EQ(Snapshot(scope, 2).Points.back().Value, 0.0);
}

TEST_F(ScopeFeedingTest, SingleValuesGoToTheChannelsBoundToTheirProcessValue) {
  scope.SetRunScope(true);
  scope.Channel2()->SetSignalName("Flow");  // index 1
  scope.Channel4()->SetSignalName("Flow");
  scope.AddProcessData(Ascii(42, 1).get());
  scope.AddProcessData(Ascii(43, 0).get());  // nobody shows index 0
  EXPECT_EQ(PointCount(scope, 0), 0u);
  EXPECT_EQ(PointCount(scope, 1), 1u);
  EXPECT_EQ(PointCount(scope, 3), 1u);
  EXPECT_EQ(Snapshot(scope, 1).Points.back().Value, 42.0);

  // A value without a process-value index is no sample of the unbound channels.
  scope.AddProcessData(Ascii(44, -1).get());
  EXPECT_EQ(PointCount(scope, 0), 0u);
  EXPECT_EQ(PointCount(scope, 2), 0u);

  // Neither nullptr nor a record of another class adds anything.
  OtherRecord other;
  scope.AddProcessData(&other);
  scope.AddProcessData(nullptr);
  EXPECT_EQ(PointCount(scope, 1), 1u);
}

TEST_F(ScopeFeedingTest, SignalNamesBindUnbindAndKeepOrDropPoints) {
  scope.SetRunScope(true);
  scope.Channel1()->SetSignalName("pressure");  // found without regard to case
  EXPECT_EQ(Snapshot(scope, 0).ProcIndex, 0);
  EXPECT_EQ(Snapshot(scope, 0).CompFactor, 10);
  EXPECT_EQ(scope.ChannelSignalName(1), "Pressure");

  FeedAll(scope, 5, 1);
  scope.Channel1()->SetSignalName("pressure");  // unchanged: points stay
  EXPECT_EQ(PointCount(scope, 0), 5u);

  scope.Channel1()->SetSignalName("Temp");  // another value: points go
  EXPECT_EQ(PointCount(scope, 0), 0u);
  EXPECT_EQ(Snapshot(scope, 0).ProcIndex, 2);
  EXPECT_EQ(Snapshot(scope, 0).CompFactor, 100);

  FeedAll(scope, 3, 1);
  scope.Channel1()->SetSignalName("NoSuchValue");
  EXPECT_EQ(Snapshot(scope, 0).ProcIndex, -1);
  EXPECT_EQ(PointCount(scope, 0), 0u);
  EXPECT_EQ(scope.ChannelSignalName(1), "");
  EXPECT_EQ(scope.ChannelSignalName(0), "");
  EXPECT_EQ(scope.ChannelSignalName(5), "");
}

TEST_F(ScopeFeedingTest, ANewProcessDataListRebindsEveryChannelByName) {
  scope.Channel1()->SetSignalName("Temp");   // index 2, factor 100
  scope.Channel2()->SetSignalName("Flow");   // index 1
  scope.Channel3()->SetSignalName("Speed");  // index 3
  TStringList reported;
  TObject* sender = nullptr;
  scope.OnProcessDataChanged = [&](TObject* s, const TStringList& names) {
    sender = s;
    reported = names;
  };

  auto other = MakeProcessData({{"Temp", 5}, {"Level", 1}, {"Flow", 1}});
  scope.SetProcessDataStructure(other.get());
  EXPECT_EQ(sender, &scope);
  EXPECT_EQ(reported, (TStringList{"Temp", "Level", "Flow"}));
  ASSERT_EQ(scope.ProcessData()->Count(), 3);

  // Same name at another place and with another factor: the new module's are used.
  EXPECT_EQ(Snapshot(scope, 0).ProcIndex, 0);
  EXPECT_EQ(Snapshot(scope, 0).CompFactor, 5);
  EXPECT_EQ(Snapshot(scope, 1).ProcIndex, 2);
  // A name the new module lacks leaves the channel unbound.
  EXPECT_EQ(Snapshot(scope, 2).ProcIndex, -1);
  EXPECT_EQ(scope.ChannelSignalName(3), "");
  EXPECT_EQ(scope.ChannelSignalName(2), "Flow");
  // The settings keep what the user chose.
  EXPECT_EQ(scope.Channel3()->SignalName(), "Speed");

  scope.SetProcessDataStructure(nullptr);
  EXPECT_EQ(scope.ProcessData()->Count(), 3);
}

TEST_F(ScopeFeedingTest, EnablingClearsTheCurvesOnlyOnAChange) {
  scope.SetRunScope(true);
  FeedAll(scope, 4, 1);
  scope.SetEnabled(true);
  EXPECT_TRUE(scope.Enabled());
  EXPECT_EQ(PointCount(scope, 0), 0u);
  FeedAll(scope, 4, 1);
  scope.SetEnabled(true);
  EXPECT_EQ(PointCount(scope, 0), 4u);
  scope.SetEnabled(false);
}

TEST(ScopeChannelSettings, NamesIndexesColoursAndChangeNotifications) {
  TKVXScope scope;
  EXPECT_EQ(scope.Channel1()->Name(), "Cha. 0");
  EXPECT_EQ(scope.Channel3()->Name(), "Cha. 2");
  EXPECT_EQ(scope.Channel4()->Index(), 3);
  scope.Channel3()->SetName("Other");
  EXPECT_EQ(scope.Channel3()->Name(), "Cha. 2");
  EXPECT_EQ(scope.Channel1()->Color(), clBlue);
  EXPECT_EQ(scope.Channel2()->Color(), clRed);
  EXPECT_EQ(scope.Channel3()->Color(), clGreen);
  EXPECT_EQ(scope.Channel4()->Color(), clBlack);
  EXPECT_EQ(scope.Channel1()->YScalePerDiv(), 20);
  EXPECT_EQ(scope.Channel1()->YZeroOffset(), 100);
  EXPECT_EQ(Snapshot(scope, 1).Color, clRed);

  TKVXSCopeChaSettings settings(2);
  int changes = 0, signalChanges = 0;
  settings.OnChange = [&](TObject* s) { changes += (s == &settings); };
  settings.OnSignalChange = [&](TObject* s) { signalChanges += (s == &settings); };
  settings.SetYScalePerDiv(20);  // unchanged
  settings.SetYZeroOffset(100);
  settings.SetColor(clBlack);
  EXPECT_EQ(changes, 0);
  settings.SetYScalePerDiv(50);
  settings.SetYZeroOffset(-3);
  settings.SetColor(clRed);
  EXPECT_EQ(changes, 3);
  settings.SetSignalName("A");
  settings.SetSignalName("A");
  EXPECT_EQ(signalChanges, 1);

  // A change reaches the paint thread's channel.
  scope.Channel2()->SetYScalePerDiv(5);
  scope.Channel2()->SetYZeroOffset(-7);
  EXPECT_EQ(Snapshot(scope, 1).YScalePerDiv, 5u);
  EXPECT_EQ(Snapshot(scope, 1).YZeroOffset, -7);
}

TEST(ScopeTrimming, AFrameKeepsTheSpanOfTenDivisionsPlusOne) {
  EXPECT_EQ(ScopeKeepCount(1000, 100), 101u);
  EXPECT_EQ(ScopeKeepCount(1000, 20), 501u);
  EXPECT_EQ(ScopeKeepCount(1000, 25), 401u);
  EXPECT_EQ(ScopeKeepCount(0, 100), 1u);
  EXPECT_EQ(ScopeKeepCount(1000, 0), 10001u);  // a period of 0 keeps what 1 ms would

  TKVXScope scope;
  auto module = MakeProcessData({{"A", 1}});
  scope.SetProcessDataStructure(module.get());
  scope.Channel1()->SetSignalName("A");
  scope.SetRunScope(true);
  FeedAll(scope, 300, 7);
  // Samples pile up until a frame is built...
  EXPECT_EQ(PointCount(scope, 0), 300u);
  scope.PaintThread()->PaintFrame();
  // ... which trims bound and unbound channels alike, the oldest first.
  EXPECT_EQ(PointCount(scope, 0), 101u);
  EXPECT_EQ(PointCount(scope, 1), 101u);

  scope.SetDataSampleRate(20);
  FeedAll(scope, 600, 7);
  scope.PaintThread()->PaintFrame();
  EXPECT_EQ(PointCount(scope, 0), 501u);

  // Only the low 16 bits of the period count: 65536 + 20 behaves as 20.
  scope.SetDataSampleRate(65536 + 20);
  FeedAll(scope, 10, 7);
  scope.PaintThread()->PaintFrame();
  EXPECT_EQ(PointCount(scope, 0), 501u);
}

TEST(ScopeThreads, SignalNamesAndPeriodAreSafeToReadWhileTheWindowThreadChangesThem) {
  TKVXScope scope;
  auto module = MakeProcessData({{"A", 1}, {"B", 1}});
  scope.SetProcessDataStructure(module.get());
  std::atomic<bool> stop{false};
  std::atomic<int> reads{0};
  std::thread poll([&] {
    while (!stop) {
      const std::string n = scope.ChannelSignalName(1);
      EXPECT_TRUE(n.empty() || n == "A" || n == "B");
      (void)scope.DataSampleRate();
      ++reads;
    }
  });
  for (int i = 0; i < 2000; ++i) {
    scope.Channel1()->SetSignalName(i % 3 == 0 ? "A" : (i % 3 == 1 ? "B" : "none"));
    scope.SetDataSampleRate(20 + static_cast<std::uint32_t>(i % 50));
  }
  while (reads < 10) std::this_thread::yield();
  stop = true;
  poll.join();
}
