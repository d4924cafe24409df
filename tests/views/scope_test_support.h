// What the oscilloscope tests share: process-value lists, sample records, point counts and a
// synchronously rendered picture.
#pragma once

#include <QColor>
#include <QImage>
#include <QRect>
#include <cstdint>
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

// One text-answered value of the process value at `index`.
inline std::unique_ptr<TASCIIProcDataObj> Ascii(std::int32_t value, std::int32_t index = -1,
                                                TDateTime stamp = 1.0) {
  auto obj = std::make_unique<TASCIIProcDataObj>(&value, 4, false, stamp);
  obj->Index = index;
  return obj;
}

// A binary block with the given 16-bit values (high byte first).
inline std::unique_ptr<TBINProcDataObj> Binary(const std::vector<std::uint16_t>& values,
                                               TDateTime stamp = 1.0) {
  std::vector<unsigned char> bytes = {0x50, 0x44};
  for (std::uint16_t v : values) {
    bytes.push_back(static_cast<unsigned char>(v >> 8));
    bytes.push_back(static_cast<unsigned char>(v & 0xFF));
  }
  return std::make_unique<TBINProcDataObj>(bytes.data(), static_cast<std::int32_t>(bytes.size()),
                                           true, stamp);
}

// Number of points channel `index` (0..3) holds now.
inline std::size_t PointCount(TKVXScope& scope, int index) {
  std::lock_guard<std::mutex> lock(scope.PaintThread()->Lock());
  const TScopeChannel* ch = scope.PaintThread()->Channels().GetChannel(index);
  return ch ? ch->Points.size() : 0;
}

inline TScopeChannel Snapshot(TKVXScope& scope, int index) {
  std::lock_guard<std::mutex> lock(scope.PaintThread()->Lock());
  const TScopeChannel* ch = scope.PaintThread()->Channels().GetChannel(index);
  TScopeChannel copy;
  if (ch) {
    copy.YScalePerDiv = ch->YScalePerDiv;
    copy.YZeroOffset = ch->YZeroOffset;
    copy.Color = ch->Color;
    copy.Points = ch->Points;
    copy.ProcIndex = ch->ProcIndex;
    copy.CompFactor = ch->CompFactor;
  }
  return copy;
}

// Feeds `n` samples of `value` into every channel (RunScope must be on).
inline void FeedAll(TKVXScope& scope, int n, std::int32_t value) {
  for (int i = 0; i < n; ++i) {
    auto a = Ascii(value), b = Ascii(value), c = Ascii(value), d = Ascii(value);
    scope.AddScopeData(a.get(), b.get(), c.get(), d.get());
  }
}

// Builds one frame on the calling thread and returns the picture (no cursors unless enabled).
inline QImage Render(TKVXScope& scope) {
  scope.PaintThread()->PaintFrame();
  QImage img;
  scope.CopyToBitmap(&img);
  return img;
}

inline bool SameRgb(QRgb a, const QColor& b) {
  return qRed(a) == b.red() && qGreen(a) == b.green() && qBlue(a) == b.blue();
}

// Pixels of exactly `color` inside `area`.
inline int CountColor(const QImage& img, const QColor& color, QRect area = QRect()) {
  if (!area.isValid()) area = img.rect();
  area = area.intersected(img.rect());
  int n = 0;
  for (int y = area.top(); y <= area.bottom(); ++y)
    for (int x = area.left(); x <= area.right(); ++x)
      if (SameRgb(img.pixel(x, y), color)) ++n;
  return n;
}

// Bounding box of the pixels inside `area` that differ from `background`.
inline QRect InkBox(const QImage& img, QRgb background, QRect area) {
  area = area.intersected(img.rect());
  int l = img.width(), t = img.height(), r = -1, b = -1;
  for (int y = area.top(); y <= area.bottom(); ++y)
    for (int x = area.left(); x <= area.right(); ++x)
      if ((img.pixel(x, y) & 0xFFFFFF) != (background & 0xFFFFFF)) {
        l = std::min(l, x), r = std::max(r, x), t = std::min(t, y), b = std::max(b, y);
      }
  return r < 0 ? QRect() : QRect(QPoint(l, t), QPoint(r, b));
}

}  // namespace scopetest
