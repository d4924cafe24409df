// Shared set-up of the monitor tests: a process-value list and a monitor, embedded or not.
#pragma once

#include <QComboBox>
#include <QLabel>
#include <QString>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "model/osDRUVModProtBase.h"
#include "views/osDRUVMonitor.h"
#include "views/osDRUVMonitorForm.h"
#include "views/osDruvMonitorInfoPanel.h"

namespace monitortest {

// Entries "PV1".."PVn", help "Value i", unit "U<i>", factor 100.
inline void FillList(TModProcessData& list, int n) {
  for (int i = 1; i <= n; ++i) {
    auto* cmd = new TModProcCommand;
    cmd->Name = "PV" + std::to_string(i);
    cmd->Help = "Value " + std::to_string(i);
    cmd->PhysUnit = "U" + std::to_string(i);
    cmd->CompFactor = 100;
    list.Add(cmd);
  }
}

// The four texts of a read-out: name, value, unit, help.
struct Readout {
  QString para, data, unit, info;
  bool operator==(const Readout&) const = default;
};

inline Readout ReadoutOf(const TKVXMonitorInfoPanel* panel) {
  return {panel->Para()->text(), panel->Data()->text(), panel->PUnit()->text(),
          panel->Info()->text()};
}

inline std::vector<QString> ItemsOf(const QComboBox* combo) {
  std::vector<QString> items;
  for (int i = 0; i < combo->count(); ++i) items.push_back(combo->itemText(i));
  return items;
}

// A binary block as the module answers "PD": two header bytes, then big-endian 16-bit words.
inline std::vector<unsigned char> Block(const std::vector<std::uint16_t>& values) {
  std::vector<unsigned char> bytes = {0x12, 0x34};
  for (std::uint16_t v : values) {
    bytes.push_back(static_cast<unsigned char>(v >> 8));
    bytes.push_back(static_cast<unsigned char>(v & 0xFF));
  }
  return bytes;
}

inline void FeedBlock(TKVXMonitor& monitor, const std::vector<std::uint16_t>& values) {
  const std::vector<unsigned char> bytes = Block(values);
  TBINProcDataObj obj(bytes.data(), static_cast<std::int32_t>(bytes.size()), true, 0);
  monitor.NewProcessData(&obj);
}

inline void FeedText(TKVXMonitor& monitor, int index, std::int32_t value) {
  TASCIIProcDataObj obj(&value, 4, false, 0);
  obj.Index = index;
  monitor.NewProcessData(&obj);
}

inline std::vector<bool> RowsShown(const TMonitorForm* form) {
  std::vector<bool> shown;
  for (std::size_t i = 0; i < form->Combos.size(); ++i) {
    // A row is either shown whole or not at all.
    EXPECT_EQ(form->Combos[i]->isHidden(), form->Panels[i]->isHidden()) << "row " << i;
    shown.push_back(!form->Combos[i]->isHidden());
  }
  return shown;
}

}  // namespace monitortest
