// The oscilloscope's sample entry points, its channel bindings to process values, the process-
// value list it is given, and how many points a channel keeps.
#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <thread>

#include "scope_test_support.h"

using namespace scopetest;

namespace {

class ScopeFeedingTest : public ::testing::Test {
 protected:
  void SetUp() override { scope.SetProcessDataStructure(module.get()); }

  std::unique_ptr<TModProcessData> module =
      MakeProcessData({{"Pressure", 10}, {"Flow", 1}, {"Temp", 100}, {"Speed", 1}});
  TKVXScope scope;
};

// A record class the scope does not know.
class OtherRecord : public TBaseProcDataObj {
 public:
  void SetData(const void*, std::int32_t, bool, TDateTime) override {}
};

}  // namespace

TEST_F(ScopeFeedingTest, ScopeDataIsTakenOnlyWhileRunningAndReportedWithItsNils) {
  TASCIIProcDataObj* seen[4] = {};
  int reports = 0;
  scope.OnScopeData = [&](TASCIIProcDataObj* a, TASCIIProcDataObj* b, TASCIIProcDataObj* c,
                          TASCIIProcDataObj* d) {
    seen[0] = a, seen[1] = b, seen[2] = c, seen[3] = d;
    ++reports;
  };
  auto c1 = Ascii(11), c3 = Ascii(33);
  scope.AddScopeData(c1.get(), c1.get(), c1.get(), c1.get());
  scope.AddProcessData(Binary({1, 2}).get());
  EXPECT_EQ(PointCount(scope, 0), 0u);
  EXPECT_EQ(reports, 0);

  scope.SetRunScope(true);
  // By position, bound or not.
  scope.AddScopeData(c1.get(), nullptr, c3.get(), nullptr);
  EXPECT_EQ(State(scope, 0).Values, std::vector<double>{11});
  EXPECT_EQ(PointCount(scope, 1), 0u);
  EXPECT_EQ(State(scope, 2).Values, std::vector<double>{33});
  EXPECT_EQ(PointCount(scope, 3), 0u);
  EXPECT_EQ(reports, 1);
  EXPECT_TRUE(seen[0] == c1.get() && !seen[1] && seen[2] == c3.get() && !seen[3]);

  // The log's failure is not the poll's: the sample is in and nothing is thrown.
  scope.OnScopeData = [](TASCIIProcDataObj*, TASCIIProcDataObj*, TASCIIProcDataObj*,
                         TASCIIProcDataObj*) { throw std::runtime_error("disk full"); };
  EXPECT_NO_THROW(scope.AddScopeData(c1.get(), nullptr, nullptr, nullptr));
  EXPECT_EQ(PointCount(scope, 0), 2u);
}

TEST_F(ScopeFeedingTest, ASampleOfTheValueAChannelShowedBeforeARebindIsDropped) {
  scope.SetRunScope(true);
  scope.Channel1()->SetSignalName("Flow");  // index 1
  // The poll read the old binding, the user chose another value meanwhile: the sample that
  // arrives is of the old value and must not start the new curve.
  scope.Channel1()->SetSignalName("Temp");  // index 2
  auto stale = Ascii(500, 1), fresh = Ascii(7, 2), unknown = Ascii(9, -1);
  scope.AddScopeData(stale.get(), stale.get(), nullptr, nullptr);
  EXPECT_EQ(PointCount(scope, 0), 0u);
  EXPECT_EQ(State(scope, 1).Values, std::vector<double>{500}) << "unbound: by position";
  scope.AddScopeData(fresh.get(), nullptr, nullptr, nullptr);
  scope.AddScopeData(unknown.get(), nullptr, nullptr, nullptr);
  EXPECT_EQ(State(scope, 0).Values, (std::vector<double>{7, 9}));
}

TEST_F(ScopeFeedingTest, ProcessDataReachesTheChannelsBoundToItsValues) {
  scope.SetRunScope(true);
  scope.Channel1()->SetSignalName("Temp");   // index 2
  scope.Channel2()->SetSignalName("Flow");   // index 1
  scope.Channel4()->SetSignalName("Flow");
  scope.AddProcessData(Binary({100, 200, 300, 400}).get());
  EXPECT_EQ(State(scope, 0).Values, std::vector<double>{300});
  EXPECT_EQ(State(scope, 1).Values, std::vector<double>{200});
  EXPECT_EQ(PointCount(scope, 2), 0u);  // unbound
  // A block too short for a channel's index gives it a 0.
  scope.AddProcessData(Binary({9, 9}).get());
  EXPECT_EQ(State(scope, 0).Values.back(), 0.0);

  // A single value goes to every channel showing its process value, and nowhere else.
  scope.AddProcessData(Ascii(42, 1).get());
  EXPECT_EQ(State(scope, 1).Values.back(), 42.0);
  EXPECT_EQ(State(scope, 3).Values.back(), 42.0);
  EXPECT_EQ(PointCount(scope, 0), 2u);
  // A value of no process value is no sample of the unbound channels.
  scope.AddProcessData(Ascii(44, -1).get());
  EXPECT_EQ(PointCount(scope, 2), 0u);
  OtherRecord other;
  scope.AddProcessData(&other);
  scope.AddProcessData(nullptr);
  EXPECT_EQ(PointCount(scope, 1), 3u);
}

TEST_F(ScopeFeedingTest, SignalNamesBindUnbindAndKeepOrDropPoints) {
  EXPECT_EQ(scope.Channel3()->Name(), "Cha. 2");
  scope.SetRunScope(true);
  scope.Channel1()->SetSignalName("pressure");  // found without regard to case
  EXPECT_EQ(State(scope, 0).ProcIndex, 0);
  EXPECT_EQ(State(scope, 0).CompFactor, 10);
  EXPECT_EQ(scope.ChannelSignalName(1), "Pressure");

  Feed(scope, 5, 1);
  scope.Channel1()->SetSignalName("pressure");  // unchanged: points stay
  EXPECT_EQ(PointCount(scope, 0), 5u);
  scope.Channel1()->SetSignalName("Temp");  // another value: points go
  EXPECT_EQ(PointCount(scope, 0), 0u);
  EXPECT_EQ(State(scope, 0).CompFactor, 100);

  Feed(scope, 3, 1);
  scope.Channel1()->SetSignalName("NoSuchValue");
  EXPECT_EQ(State(scope, 0).ProcIndex, -1);
  EXPECT_EQ(PointCount(scope, 0), 0u);
  EXPECT_EQ(scope.ChannelSignalName(1), "");
  EXPECT_EQ(scope.ChannelSignalName(5), "");
}

TEST_F(ScopeFeedingTest, ANewProcessDataListRebindsEveryChannelByName) {
  scope.Channel1()->SetSignalName("Temp");   // index 2, factor 100
  scope.Channel2()->SetSignalName("Flow");   // index 1
  scope.Channel3()->SetSignalName("Speed");  // index 3
  TStringList reported;
  scope.OnProcessDataChanged = [&](TObject* sender, const TStringList& names) {
    EXPECT_EQ(sender, &scope);
    reported = names;
  };
  auto other = MakeProcessData({{"Temp", 5}, {"Level", 1}, {"Flow", 1}});
  scope.SetProcessDataStructure(other.get());
  EXPECT_EQ(reported, (TStringList{"Temp", "Level", "Flow"}));

  // The same name elsewhere and with another factor: the new module's place and factor.
  EXPECT_EQ(State(scope, 0).ProcIndex, 0);
  EXPECT_EQ(State(scope, 0).CompFactor, 5);
  EXPECT_EQ(State(scope, 1).ProcIndex, 2);
  // A name the new module lacks leaves its channel unbound; the user's choice stays.
  EXPECT_EQ(State(scope, 2).ProcIndex, -1);
  EXPECT_EQ(scope.ChannelSignalName(3), "");
  EXPECT_EQ(scope.Channel3()->SignalName(), "Speed");

  scope.SetProcessDataStructure(nullptr);
  EXPECT_EQ(scope.ProcessData()->Count(), 3);
}

TEST_F(ScopeFeedingTest, EnablingClearsTheCurvesOnlyOnAChange) {
  scope.SetRunScope(true);
  Feed(scope, 4, 1);
  scope.SetEnabled(true);
  EXPECT_EQ(PointCount(scope, 0), 0u);
  Feed(scope, 4, 1);
  scope.SetEnabled(true);
  EXPECT_EQ(PointCount(scope, 0), 4u);
}

TEST_F(ScopeFeedingTest, AFrameTrimsEveryChannelToTheSpanPlusOne) {
  EXPECT_EQ(ScopeKeepCount(1000, 100), 101u);
  EXPECT_EQ(ScopeKeepCount(1000, 0), 10001u);  // a period of 0 keeps what 1 ms would
  scope.Channel1()->SetSignalName("Flow");
  scope.SetRunScope(true);
  Feed(scope, 300, 7);
  EXPECT_EQ(PointCount(scope, 0), 300u) << "samples pile up until a frame is built";
  scope.PaintThread()->PaintFrame();  // even without a paint box
  EXPECT_EQ(PointCount(scope, 0), 101u);
  EXPECT_EQ(PointCount(scope, 1), 101u) << "unbound channels too";

  scope.SetDataSampleRate(20);
  Feed(scope, 600, 7);
  scope.PaintThread()->PaintFrame();
  EXPECT_EQ(PointCount(scope, 0), 501u);
  // Only the low 16 bits of the period count.
  scope.SetDataSampleRate(65536 + 20);
  scope.PaintThread()->PaintFrame();
  EXPECT_EQ(PointCount(scope, 0), 501u);
  scope.SetTimeScalePerDiv(0);
  scope.PaintThread()->PaintFrame();
  EXPECT_EQ(PointCount(scope, 0), 1u);
}

TEST_F(ScopeFeedingTest, ThePollThreadReadsNameSnapshotsWhileTheyChange) {
  std::atomic<bool> stop{false};
  std::atomic<int> reads{0};
  std::thread poll([&] {
    while (!stop) {
      const std::string n = scope.ChannelSignalName(1);
      EXPECT_TRUE(n.empty() || n == "Flow" || n == "Temp") << n;
      (void)scope.DataSampleRate();
      ++reads;
    }
  });
  for (int i = 0; i < 2000; ++i) {
    scope.Channel1()->SetSignalName(i % 3 == 0 ? "Flow" : (i % 3 == 1 ? "Temp" : "none"));
    scope.SetDataSampleRate(20 + static_cast<std::uint32_t>(i % 50));
  }
  while (reads < 10) std::this_thread::yield();
  stop = true;
  poll.join();
}
