// Shared helpers of the view tests: commands, answering messages, driving modal forms.
#pragma once

#include <QApplication>
#include <QColor>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "model/osDRUVModProtBase.h"
#include "services/osAdvMsgDlg.h"
#include "views/osDRUVParamListEditDlg.h"

namespace viewtest {

// Records every message and answers it with OK, for as long as it lives.
class MessageRecorder {
 public:
  MessageRecorder() {
    SetAdvMessageDlgHandler([this](const std::string& msg, TMsgDlgType type, TMsgDlgButtons) {
      messages.push_back(msg);
      types.push_back(type);
      return mrOk;
    });
  }
  ~MessageRecorder() { SetAdvMessageDlgHandler({}); }
  std::string Last() const { return messages.empty() ? std::string() : messages.back(); }

  std::vector<std::string> messages;
  std::vector<TMsgDlgType> types;
};

// Runs dlg.Execute(cmd) and calls `act` once the form is shown. A form still open after a
// generous bound is cancelled, so a test can fail but never hang.
inline bool ExecuteWith(TParamListEditDlg& dlg, TModCtrlCommand* cmd,
                        const std::function<void(TParamListEditDlgForm&)>& act) {
  TParamListEditDlgForm& form = *dlg.Form;
  QTimer start, safety;
  start.setSingleShot(true);
  safety.setSingleShot(true);
  QObject::connect(&start, &QTimer::timeout, [&] { act(form); });
  QObject::connect(&safety, &QTimer::timeout, [&] {
    if (form.isVisible()) form.reject();
  });
  start.start(0);
  safety.start(30000);
  return dlg.Execute(cmd);
}

// Contrast as the accessibility guidelines define it (1 to 21), written out here on its own.
inline double Contrast(const QColor& a, const QColor& b) {
  auto lin = [](double c) { return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4); };
  auto lum = [&](const QColor& c) {
    return 0.2126 * lin(c.redF()) + 0.7152 * lin(c.greenF()) + 0.0722 * lin(c.blueF());
  };
  const double x = lum(a), y = lum(b);
  return (std::max(x, y) + 0.05) / (std::min(x, y) + 0.05);
}

// Lets queued work (deferred checks, repaints) run.
inline void Settle() {
  for (int i = 0; i < 5; ++i) QApplication::processEvents();
}

inline std::unique_ptr<TModNumParaCmd> NumCmd(const std::string& name, int value, int min,
                                              int max, int vtype = 1) {
  auto c = std::make_unique<TModNumParaCmd>();
  c->Name = name;
  c->Value = value;
  c->Min = min;
  c->Max = max;
  c->VType = static_cast<std::uint8_t>(vtype);
  c->AType = 3;
  c->GCode = DefaultGCode;
  return c;
}

inline std::unique_ptr<TModTextParaCmd> TextCmd(const std::string& name,
                                                const std::vector<std::string>& values,
                                                const std::string& text) {
  auto c = std::make_unique<TModTextParaCmd>();
  c->Name = name;
  c->VList = values;
  c->SetText(text);
  c->AType = 3;
  c->GCode = DefaultGCode;
  return c;
}

inline std::unique_ptr<TModAinParaCmd> AinCmd(const std::string& name, int a, int b, int c,
                                              TModAinUnit unit) {
  auto cmd = std::make_unique<TModAinParaCmd>();
  cmd->Name = name;
  cmd->A = a, cmd->B = b, cmd->C = c, cmd->Unit = unit;
  cmd->AType = 3;
  cmd->GCode = DefaultGCode;
  return cmd;
}

// A falling curve that is not the identity: X = 10000 - 1000 i, Y = X / 2.
inline std::unique_ptr<TModCCParaCmd> CurveCmd(const std::string& name) {
  auto cmd = std::make_unique<TModCCParaCmd>();
  cmd->Name = name;
  cmd->AType = 3;
  cmd->GCode = DefaultGCode;
  for (int idx = -10; idx <= 10; ++idx) cmd->SetPoint(idx, TModCCPoint{idx * 1000, idx * 500});
  return cmd;
}

}  // namespace viewtest
