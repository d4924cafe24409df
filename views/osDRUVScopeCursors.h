// The oscilloscope's measuring cursors: two time cursors (vertical lines, read in milliseconds
// before the latest sample) and two amplitude cursors (horizontal lines, read in the scale of
// one chosen channel).
#pragma once

#include <cstdint>
#include <functional>
#include <initializer_list>

#include "platform/Object.h"

class QPainter;
struct TScopeGeometry;

enum TCursorKind : std::uint8_t { ckAmplitude, ckTime };

// A set of cursor kinds.
class TCursors {
 public:
  constexpr TCursors() = default;
  constexpr TCursors(std::initializer_list<TCursorKind> kinds) {
    for (TCursorKind k : kinds) Bits = static_cast<std::uint8_t>(Bits | (1u << k));
  }
  constexpr bool Contains(TCursorKind K) const { return (Bits >> K) & 1u; }
  void Include(TCursorKind K) { Bits = static_cast<std::uint8_t>(Bits | (1u << K)); }
  void Exclude(TCursorKind K) { Bits = static_cast<std::uint8_t>(Bits & ~(1u << K)); }
  constexpr bool Empty() const { return Bits == 0; }
  bool operator==(const TCursors&) const = default;

  std::uint8_t Bits = 0;
};

// Channel 1..4 whose scale the amplitude cursors use.
using TCursorCha = std::uint8_t;

// The four cursor read-outs and their differences. Without a picture to measure in, T1, T2, A1
// and A2 are -1 and DT, DA 0.
struct TCursorInfo {
  double T1 = -1.0;  // ms before the latest sample
  double T2 = -1.0;
  double A1 = -1.0;  // in the cursor channel's scale
  double A2 = -1.0;
  double DT = 0.0;   // abs(T2 - T1)
  double DA = 0.0;   // abs(A2 - A1)
};

using TCursorPosChangedEvent = std::function<void(TObject* Sender, const TCursorInfo& CursorInfo)>;

class TScopeCursor : public TObject {
 public:
  explicit TScopeCursor(TCursorKind kind) : Kind(kind) {}

  int Y = 0;  // pixel row (amplitude cursors)
  int X = 0;  // pixel column (time cursors)
  const TCursorKind Kind;
};

// The scope's four cursors.
class TScopeCusors : public TObject {
 public:
  TScopeCusors();
  ~TScopeCusors() override;
  TScopeCusors(const TScopeCusors&) = delete;
  TScopeCusors& operator=(const TScopeCusors&) = delete;

  TScopeCursor* T1;
  TScopeCursor* A1;
  TScopeCursor* T2;
  TScopeCursor* A2;

  // The cursor within 5 pixels of the point, in the order A1, A2, T1, T2 (an amplitude cursor
  // wins over a time cursor); nullptr when none. Hidden cursors are found too.
  TScopeCursor* HitTest(int X, int Y) const;
};

// The read-out of the cursors in a picture of Width x Height, with the time base and the cursor
// channel's scale. A picture without divisions gives the no-value read-out of that axis.
TCursorInfo ScopeCursorInfo(const TScopeCusors& Cursors, int Width, int Height,
                            std::uint16_t TimeScalePerDiv, std::uint32_t YScalePerDiv,
                            std::int32_t YZeroOffset);

// Draws the enabled cursors across the whole Width x Height with the painter's current pen.
void DrawScopeCursors(QPainter& Canvas, const TScopeCusors& Cursors, TCursors Enabled, int Width,
                      int Height);
