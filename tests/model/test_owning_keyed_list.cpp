#include <gtest/gtest.h>

#include <random>
#include <set>
#include <string>

#include "model/MyGlobalUtils.h"

namespace {

// Records its own destruction, so a test sees exactly which objects the list freed.
class Tracked : public TObject {
 public:
  Tracked(std::set<const Tracked*>& freed, int& deaths) : freed_(freed), deaths_(deaths) {}
  ~Tracked() override {
    freed_.insert(this);
    ++deaths_;
  }

 private:
  std::set<const Tracked*>& freed_;
  int& deaths_;
};

class TestList : public TosBaseObjStringList {
 public:
  using TosBaseObjStringList::AddObject;
};

class OwningKeyedList : public ::testing::Test {
 protected:
  std::set<const Tracked*> freed;
  int deaths = 0;  // counts every destruction, also of objects at a reused address
  Tracked* Make() { return new Tracked(freed, deaths); }
};

TEST_F(OwningKeyedList, KeepsInsertionOrderAndRejectsInvalidIndexes) {
  TestList l;
  EXPECT_TRUE(l.OwnsObjects);
  auto* a = Make();
  auto* b = Make();
  EXPECT_EQ(l.AddObject("B", a), 0);
  EXPECT_EQ(l.AddObject("A", b), 1);
  EXPECT_EQ(l.Count(), 2);
  EXPECT_EQ(l.GetName(0), "B");
  EXPECT_EQ(l.GetObject(1), b);
  EXPECT_EQ(l.GetObject(-1), nullptr);
  EXPECT_EQ(l.GetObject(2), nullptr);
  EXPECT_EQ(l.GetName(2), "");
  EXPECT_EQ(l.GetName(-5), "");
  l.SetName(7, "X");
  l.SetObject(-1, nullptr);
  l.Delete(2);
  l.Delete(-1);
  EXPECT_EQ(l.Count(), 2);
  EXPECT_TRUE(freed.empty());
}

TEST_F(OwningKeyedList, FindsNamesWithoutCaseAndTheFirstOfDuplicates) {
  TestList l;
  auto* a = Make();
  auto* b = Make();
  l.AddObject("GAIN", a);
  l.AddObject("gain", b);
  EXPECT_EQ(l.IndexOf("gain"), 0);
  EXPECT_EQ(l.IndexOf("Gain"), 0);
  EXPECT_EQ(l.IndexOf("gai"), -1);
  EXPECT_EQ(l.IndexOfObject(b), 1);
  EXPECT_EQ(l.IndexOfObject(nullptr), -1);
  l.SetName(0, "other");
  EXPECT_EQ(l.IndexOf("gain"), 1);
}

// The name index follows every change: against the plain rule (the first entry whose name is
// the same text) over a long run of random adds, deletes, renames and clears with few names, so
// that duplicates abound; names include letters that fold outside A-Z.
TEST_F(OwningKeyedList, LookupAgreesWithAScanOverRandomChanges) {
  TestList l;
  l.OwnsObjects = false;
  const std::string names[] = {"gain", "GAIN", "Offset", "\xE4nd", "\xC4ND", "x", "X1", ""};
  std::mt19937 rnd(7);
  auto any = [&](int n) { return static_cast<int>(rnd() % static_cast<unsigned>(n)); };
  for (int step = 0; step < 4000; ++step) {
    const int op = any(20);
    if (op < 9) {
      l.AddObject(names[any(8)], nullptr);
    } else if (op < 14 && l.Count() > 0) {
      l.Delete(any(l.Count()));
    } else if (op < 19 && l.Count() > 0) {
      l.SetName(any(l.Count()), names[any(8)]);
    } else if (op == 19 && any(10) == 0) {
      l.Clear();
    }
    for (const std::string& n : names) {
      int want = -1;
      for (int i = 0; i < l.Count() && want < 0; ++i)
        if (SameText(l.GetName(i), n)) want = i;
      ASSERT_EQ(l.IndexOf(n), want) << "step " << step << ", name " << n;
    }
  }
}

TEST_F(OwningKeyedList, OwningListFreesOnDeleteClearAndDestruction) {
  auto* a = Make();
  auto* b = Make();
  auto* c = Make();
  {
    TestList l;
    l.AddObject("a", a);
    l.AddObject("b", b);
    l.AddObject("none", nullptr);
    l.AddObject("c", c);
    l.Delete(0);
    EXPECT_EQ(freed, std::set<const Tracked*>{a});
    EXPECT_EQ(l.GetName(0), "b");
    l.Delete(1);  // the empty entry
    EXPECT_EQ(l.Count(), 2);
    l.Clear();
    EXPECT_EQ(l.Count(), 0);
    EXPECT_EQ(freed, (std::set<const Tracked*>{a, b, c}));
    l.AddObject("d", Make());
  }
  EXPECT_EQ(deaths, 4);
}

TEST_F(OwningKeyedList, SetObjectDoesNotFreeTheReplacedObject) {
  auto* a = Make();
  auto* b = Make();
  TestList l;
  l.AddObject("x", a);
  l.SetObject(0, b);
  EXPECT_TRUE(freed.empty());
  EXPECT_EQ(l.GetObject(0), b);
  delete a;  // still the caller's
}

TEST_F(OwningKeyedList, NonOwningListNeverFreesButClearObjectsCan) {
  auto* a = Make();
  auto* b = Make();
  auto* c = Make();
  {
    TestList l;
    l.OwnsObjects = false;
    l.AddObject("a", a);
    l.AddObject("b", b);
    l.Delete(0);
    l.Clear();
    EXPECT_TRUE(freed.empty());
    l.AddObject("a", a);
    l.AddObject("b", b);
    l.ClearObjects(true);
    EXPECT_EQ(freed.size(), 2u);
    EXPECT_EQ(l.Count(), 0);
    l.AddObject("c", c);
    l.ClearObjects(false);
    EXPECT_EQ(freed.size(), 2u);
  }
  EXPECT_EQ(freed.size(), 2u);
  delete c;  // never the list's to free
}

TEST_F(OwningKeyedList, AnObjectEnteredTwiceIsFreedOnce) {
  auto* a = Make();
  {
    TestList l;
    l.AddObject("first", a);
    l.AddObject("second", a);
    l.Delete(0);  // still held by the other entry
    EXPECT_TRUE(freed.empty());
    l.AddObject("third", a);
  }  // destruction frees it once
  EXPECT_EQ(deaths, 1);
}

}  // namespace
