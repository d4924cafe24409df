// What the oscilloscope tests share: process-value lists, sample records, channel state and a
// synchronously rendered picture.
#pragma once

#include <QColor>
#include <QImage>
#include <QRect>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "model/osDRUVModProtBase.h"
#include "views/osDRUVScope.h"

namespace scopetest {

// A process-value list of (name, CompFactor) pairs, in order.
inline std::unique_ptr<TModProcessData> MakeProcessData(
    const std::vector<std::pair<std::string, int>>& values) {
  auto list = std::make_unique<TModProcessData>();
  for (const auto& [name, factor] : values) {
    auto* cmd = new TModProcCommand;
    cmd->Name = name;
    cmd->CompFactor = factor;
    list->Add(cmd);
  }
  return list;
}

inline std::unique_ptr<TASCIIProcDataObj> Ascii(std::int32_t value, std::int32_t index = -1) {
  auto obj = std::make_unique<TASCIIProcDataObj>(&value, 4, false, 1.0);
  obj->Index = index;
  return obj;
}

// A binary block with the given 16-bit values (high byte first).
inline std::unique_ptr<TBINProcDataObj> Binary(const std::vector<std::uint16_t>& values) {
  std::vector<unsigned char> bytes = {0x50, 0x44};
  for (std::uint16_t v : values) bytes.insert(bytes.end(), {static_cast<unsigned char>(v >> 8), static_cast<unsigned char>(v)});
  return std::make_unique<TBINProcDataObj>(bytes.data(), static_cast<std::int32_t>(bytes.size()), true, 1.0);
}

// Binding and points of channel `index` (0..3) as the paint thread holds them now.
struct ChannelState {
  std::int32_t ProcIndex, CompFactor;
  std::vector<double> Values;
};
inline ChannelState State(TKVXScope& scope, int index) {
  std::lock_guard<std::mutex> lock(scope.PaintThread()->Lock());
  const TScopeChannel* ch = scope.PaintThread()->Channels().GetChannel(index);
  ChannelState s{ch->ProcIndex, ch->CompFactor, {}};
  for (const auto& p : ch->Points) s.Values.push_back(p.Value);
  return s;
}
inline std::size_t PointCount(TKVXScope& scope, int index) { return State(scope, index).Values.size(); }

// Feeds `n` samples of `value` into channel `only` (1..4), or into all four when it is 0.
inline void Feed(TKVXScope& scope, int n, std::int32_t value, int only = 0) {
  for (int i = 0; i < n; ++i) {
    auto v = Ascii(value);
    TASCIIProcDataObj* ch[4] = {};
    for (int k = 0; k < 4; ++k)
      if (only == 0 || only == k + 1) ch[k] = v.get();
    scope.AddScopeData(ch[0], ch[1], ch[2], ch[3]);
  }
}

// Builds one frame on the calling thread and returns the picture (cursors only when enabled).
inline QImage Render(TKVXScope& scope) {
  scope.PaintThread()->PaintFrame();
  QImage img;
  scope.CopyToBitmap(&img);
  return img;
}

inline bool SameRgb(QRgb a, const QColor& b) {
  return qRed(a) == b.red() && qGreen(a) == b.green() && qBlue(a) == b.blue();
}

// Pixels of exactly `color` inside `area` (default: all).
inline int CountColor(const QImage& img, const QColor& color, QRect area = QRect()) {
  area = area.isValid() ? area.intersected(img.rect()) : img.rect();
  int n = 0;
  for (int y = area.top(); y <= area.bottom(); ++y)
    for (int x = area.left(); x <= area.right(); ++x) n += SameRgb(img.pixel(x, y), color);
  return n;
}

// Bounding box of the pixels inside `area` that differ from `background`.
inline QRect InkBox(const QImage& img, const QColor& background, QRect area) {
  area = area.intersected(img.rect());
  QRect box;
  for (int y = area.top(); y <= area.bottom(); ++y)
    for (int x = area.left(); x <= area.right(); ++x)
      if (!SameRgb(img.pixel(x, y), background)) box |= QRect(x, y, 1, 1);
  return box;
}

}  // namespace scopetest
