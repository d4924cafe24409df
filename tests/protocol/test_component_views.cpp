// The component's ties to the views: handlers installed on attaching, references forgotten when
// a view goes away, handlers removed when the component goes first; a closed port.
#include "ProtocolTestUtil.h"

namespace prottest {
namespace {

class FakeTerminal : public platform::TComponent, public ITerminalView {
 public:
  void PutChar(char ch) override { text.push_back(ch); }
  void SetOnTerminalInput(TTerminalInputEvent handler) override { input = std::move(handler); }
  std::string text;
  TTerminalInputEvent input;
};

TEST(ComponentViews, AttachingInstallsHandlersAndAGoneViewIsForgotten) {
  TKVXModCommProt prot;
  auto grid = std::make_unique<FakeParamList>();
  auto terminal = std::make_unique<FakeTerminal>();
  auto scope = std::make_unique<FakeScope>();
  prot.SetParameterList(grid.get());
  prot.SetTerminal(terminal.get());
  prot.SetScope(scope.get());
  EXPECT_TRUE(grid->sendRequest);
  EXPECT_TRUE(terminal->input);
  std::string response;
  terminal->input(terminal.get(), 'x', response);  // not in terminal mode: nothing is sent

  terminal.reset();
  scope.reset();
  EXPECT_EQ(prot.Terminal(), nullptr);
  EXPECT_EQ(prot.Scope(), nullptr);
  EXPECT_EQ(prot.ParameterList(), grid.get());

  // Replacing the grid takes the handler off the old one.
  FakeParamList other;
  prot.SetParameterList(&other);
  EXPECT_FALSE(grid->sendRequest);
  EXPECT_TRUE(other.sendRequest);
  grid.reset();  // an old view going away changes nothing
  EXPECT_EQ(prot.ParameterList(), &other);
  prot.SetParameterList(nullptr);
  EXPECT_FALSE(other.sendRequest);
}

TEST(ComponentViews, ComponentGoingFirstLeavesNoHandlerBehind) {
  FakeParamList grid;
  FakeTerminal terminal;
  FakeMonitor monitor;
  {
    TKVXModCommProt prot;
    prot.SetParameterList(&grid);
    prot.SetTerminal(&terminal);
    prot.SetMonitor(&monitor);
  }
  EXPECT_FALSE(grid.sendRequest);
  EXPECT_FALSE(terminal.input);
}

TEST(ComponentViews, OwnedByItsOwnerAndFreedWithIt) {
  auto owner = std::make_unique<platform::TComponent>();
  FakeParamList grid;
  auto* prot = new TKVXModCommProt(owner.get());
  prot->SetParameterList(&grid);
  EXPECT_EQ(owner->ComponentCount(), 1);
  owner.reset();
  EXPECT_FALSE(grid.sendRequest);
}

TEST(ComponentState, ClosedPortOperationsFailQuietly) {
  TKVXModCommProt prot;
  prot.SetPortName("/nonexistent/tty-of-nobody");
  std::string id;
  EXPECT_FALSE(prot.IdentifyModule(id));
  EXPECT_FALSE(prot.CheckModuleId());
  EXPECT_FALSE(prot.QueryPasswordSupport());
  EXPECT_FALSE(prot.ReadAllParameters());
  EXPECT_FALSE(prot.WriteAllParameters(nullptr));
  EXPECT_THROW(prot.SetPortOpen(true), EComPort);  // the port's own error, for the caller
  EXPECT_FALSE(prot.PortOpen());
  prot.ResetModuleData();
}

}  // namespace
}  // namespace prottest
