// What the protocol needs of the views it feeds. The Qt views implement these; the protocol's
// tests use plain fakes. An implementation is also a platform::TComponent, so the protocol can ask
// to be told when the view goes away (FreeNotification) and drop its pointer.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "platform/Object.h"

class TModCommandList;
class TModProcessData;
class TModStatusInfoData;
class TModCtrlCommand;
class TBaseProcDataObj;
class TASCIIProcDataObj;

// Raised by the parameter list after a confirmed edit.
using TCmdSendRequestEvent = std::function<void(TObject* sender, TModCtrlCommand* cmd)>;
// Raised by the terminal for every key the user types; Response is discarded.
using TTerminalInputEvent = std::function<void(TObject* sender, char key, std::string& response)>;

// The parameter grid. Window thread only.
class IParamListView {
 public:
  virtual ~IParamListView() = default;
  // Rebuilds the table from the command list, showing the groups the access code allows.
  virtual bool Fill(TModCommandList* cmdList, std::uint16_t accessCode) = 0;
  // Rewrites every value cell from its command.
  virtual bool RefreshValues() = 0;
  virtual void SetOnCmdSendRequest(TCmdSendRequestEvent handler) = 0;
};

// The terminal on the raw line. Window thread only.
class ITerminalView {
 public:
  virtual ~ITerminalView() = default;
  virtual void PutChar(char ch) = 0;
  virtual void SetOnTerminalInput(TTerminalInputEvent handler) = 0;
};

// The monitor of process values. Window thread only (the monitor poll runs there).
class IMonitorView {
 public:
  virtual ~IMonitorView() = default;
  // The monitor copies the list and rebuilds its rows.
  virtual void SetProcessDataStructure(TModProcessData* processData) = 0;
  virtual void FireStatusInfoStrucInit(TModStatusInfoData* statusInfo) = 0;
  // The caller keeps the record and frees it after the call.
  virtual void NewProcessData(TBaseProcDataObj* obj) = 0;
  virtual void FireNewStatusInfo(std::uint16_t status) = 0;
};

// The oscilloscope. SetProcessDataStructure and SetEnabled run in the window thread; the sample
// entry points and the two readers run in the scope poll's thread and must be safe there.
class IScopeView {
 public:
  virtual ~IScopeView() = default;
  virtual void SetProcessDataStructure(TModProcessData* processData) = 0;
  virtual void SetEnabled(bool enabled) = 0;
  // Records of channels 1 to 4, nullptr for a channel without a sample; the caller frees them.
  virtual void AddScopeData(TASCIIProcDataObj* ch1, TASCIIProcDataObj* ch2, TASCIIProcDataObj* ch3,
                            TASCIIProcDataObj* ch4) = 0;
  virtual void AddProcessData(TBaseProcDataObj* obj) = 0;
  // Sampling period in milliseconds.
  virtual std::uint32_t DataSampleRate() const = 0;
  // Name of the process value bound to channel 1..4 (a snapshot; empty when unbound).
  virtual std::string ChannelSignalName(int channel) const = 0;
};
