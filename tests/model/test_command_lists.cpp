#include <gtest/gtest.h>

#include "model/osDRUVModProtBase.h"

namespace {

template <class T>
T* Named(const std::string& name) {
  auto* c = new T();
  c->Name = name;
  return c;
}

TEST(CommandList, AddKeepsOrderAllowsDuplicatesAndRejectsNull) {
  TModCommandList l;
  EXPECT_EQ(l.Add(nullptr), -1);
  EXPECT_EQ(l.Count(), 0);
  EXPECT_EQ(l.Add(Named<TModNumParaCmd>("GAIN")), 0);
  EXPECT_EQ(l.Add(Named<TModTextParaCmd>("gain")), 1);
  EXPECT_EQ(l.IndexOf("Gain"), 0);
  EXPECT_EQ(l.GetCommand(1)->Kind, TextPara);
  EXPECT_EQ(l.GetCommand(2), nullptr);
  EXPECT_EQ(l.GetCommand(-1), nullptr);
}

// A stranger object in a list (put there through SetObject) is never taken for a command.
class Stranger : public TObject {};

TEST(CommandList, TypedGetReturnsNullForObjectsOfAnotherClass) {
  Stranger stranger;
  TModCommandList l;
  l.Add(Named<TModNumParaCmd>("A"));
  TObject* cmd = l.GetObject(0);
  l.SetObject(0, &stranger);
  EXPECT_EQ(l.GetCommand(0), nullptr);
  l.SetObject(0, cmd);

  TModProcessData p;
  p.Add(Named<TModProcCommand>("P"));
  TModStatusInfoData s;
  s.Add(Named<TModStatusBitCommand>("S"));
  // Each list's typed read checks the class, not the list it sits in.
  TObject* proc = p.GetObject(0);
  p.SetObject(0, s.GetObject(0));
  EXPECT_EQ(p.GetProcCommand(0), nullptr);
  p.SetObject(0, proc);
  EXPECT_NE(p.GetProcCommand(0), nullptr);
  EXPECT_NE(s.GetStatusBit(0), nullptr);
  EXPECT_EQ(s.GetStatusBit(1), nullptr);
}

TEST(ProcessData, CopyProcCommandsReplacesDestWithValuelessCopies) {
  TModProcessData src;
  auto* a = Named<TModProcCommand>("I1");
  a->CompFactor = 10;
  a->PhysUnit = "A";
  a->Value = 123;
  a->Help = "current";
  a->GCode = 7;
  a->VType = 3;
  a->AType = 1;
  src.Add(a);
  src.Add(Named<TModProcCommand>("U1"));

  TModProcessData dst;
  dst.Add(Named<TModProcCommand>("old"));  // freed by the copy (the sanitizer would see a leak)
  src.CopyProcCommands(&dst);
  ASSERT_EQ(dst.Count(), 2);
  EXPECT_EQ(dst.IndexOf("old"), -1);
  const TModProcCommand* c = dst.GetProcCommand(0);
  EXPECT_NE(c, a);
  EXPECT_EQ(c->Name, "I1");
  EXPECT_EQ(c->CompFactor, 10);
  EXPECT_EQ(c->PhysUnit, "A");
  EXPECT_EQ(c->Help, "current");
  EXPECT_EQ(c->GCode, 7);
  EXPECT_EQ(c->VType, 3);
  EXPECT_EQ(c->AType, 1);
  EXPECT_EQ(c->Value, 0);
  EXPECT_EQ(dst.GetName(1), "U1");

  src.CopyProcCommands(nullptr);
  src.CopyProcCommands(&src);  // onto itself: left as it is
  EXPECT_EQ(src.Count(), 2);
  EXPECT_EQ(src.GetProcCommand(0), a);
}

TEST(StatusInfo, UpdateStatusSpreadsTheWordAndBuildsTheMask) {
  TModStatusInfoData l;
  std::uint16_t mask = 0xFFFF;
  EXPECT_FALSE(l.UpdateStatus(0x1234, mask));
  EXPECT_EQ(mask, 0);

  for (int i = 0; i < 3; ++i) {
    auto* b = Named<TModStatusBitCommand>("B" + std::to_string(i));
    b->BIndex = static_cast<std::uint8_t>(i);
    b->BInvers = i == 1;
    l.Add(b);
  }
  EXPECT_TRUE(l.UpdateStatus(0x0005, mask));
  EXPECT_EQ(mask, 0x0007);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(l.GetStatusBit(i)->Status, 0x0005);
  EXPECT_TRUE(l.UpdateStatus(0x0002, mask));
  EXPECT_EQ(mask, 0x0000);
}

TEST(StatusInfo, MaskFollowsListPositionNotBitIndexAndStopsAt16) {
  TModStatusInfoData l;
  // Position 0 reads bit 15, then 19 more bits reading bit 0; positions from 16 on have no mask bit.
  auto* high = Named<TModStatusBitCommand>("H");
  high->BIndex = 15;
  l.Add(high);
  for (int i = 1; i < 20; ++i) l.Add(Named<TModStatusBitCommand>("L" + std::to_string(i)));
  std::uint16_t mask = 0;
  EXPECT_TRUE(l.UpdateStatus(0x8001, mask));
  EXPECT_EQ(mask, 0xFFFF);
  EXPECT_EQ(l.GetStatusBit(19)->Status, 0x8001);
  EXPECT_TRUE(l.UpdateStatus(0x8000, mask));
  EXPECT_EQ(mask, 0x0001);
}

TEST(RemoteCtrlList, FindsPinsAndRangesWithoutOwningItsCommands) {
  auto* a = Named<TModRemoteCtrlCmd>("RC:910");
  auto* b = Named<TModRemoteCtrlCmd>("RC:6");
  b->Min = -100;
  b->Max = 100;
  auto* b2 = Named<TModRemoteCtrlCmd>("RC:6");
  b2->Min = 1;
  {
    TModRemoteCtrlCommandList l;
    EXPECT_FALSE(l.OwnsObjects);
    EXPECT_EQ(l.Add(nullptr), -1);
    l.Add(a);
    l.Add(b);
    l.Add(b2);
    EXPECT_EQ(l.FindByPin(2), b);
    EXPECT_EQ(l.FindByPin(1), a);
    EXPECT_EQ(l.FindByPin(5), nullptr);
    std::int32_t mn = 7, mx = 8;
    EXPECT_TRUE(l.GetPinRange(2, mn, mx));
    EXPECT_EQ(mn, -100);
    EXPECT_EQ(mx, 100);
    mn = 7;
    mx = 8;
    EXPECT_FALSE(l.GetPinRange(3, mn, mx));
    EXPECT_EQ(mn, 7);
    EXPECT_EQ(mx, 8);
    EXPECT_EQ(l.GetRemoteCtrlCmd(0), a);
    l.Delete(0);
    l.Clear();
  }
  // The list left them alive: their owner frees them.
  TModRemoteCtrlCommandList owner;
  owner.Add(a);
  owner.Add(b);
  owner.Add(b2);
  owner.FreeCommands();
  EXPECT_EQ(owner.Count(), 0);
}

}  // namespace
