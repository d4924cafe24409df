#include "views/osDRUVScopeCursors.h"

#include <QPainter>
#include <cmath>

#include "views/osDRUVScopePaint.h"

TScopeCusors::TScopeCusors()
    : T1(new TScopeCursor(ckTime)),
      A1(new TScopeCursor(ckAmplitude)),
      T2(new TScopeCursor(ckTime)),
      A2(new TScopeCursor(ckAmplitude)) {
  T1->X = 200, T1->Y = 200;
  A1->X = 200, A1->Y = 200;
  T2->X = 1000, T2->Y = 1000;
  A2->X = 1000, A2->Y = 1000;
}

TScopeCusors::~TScopeCusors() {
  delete T1;
  delete A1;
  delete T2;
  delete A2;
}

TScopeCursor* TScopeCusors::HitTest(int X, int Y) const {
  auto nearRow = [Y](const TScopeCursor* c) { return Y - 5 <= c->Y && c->Y <= Y + 5; };
  auto nearColumn = [X](const TScopeCursor* c) { return X - 5 <= c->X && c->X <= X + 5; };
  if (nearRow(A1)) return A1;
  if (nearRow(A2)) return A2;
  if (nearColumn(T1)) return T1;
  if (nearColumn(T2)) return T2;
  return nullptr;
}

TCursorInfo ScopeCursorInfo(const TScopeCusors& Cursors, int Width, int Height,
                            std::uint16_t TimeScalePerDiv, std::uint32_t YScalePerDiv,
                            std::int32_t YZeroOffset) {
  TCursorInfo info;  // the no-value read-out
  const TScopeGeometry g = ScopeGeometry(Width, Height);
  if (g.pxPerDivY > 0) {
    auto amplitude = [&](const TScopeCursor* c) {
      const long long units =
          (10LL * g.pxPerDivY - (static_cast<long long>(c->Y) - g.offY)) * YScalePerDiv;
      return static_cast<double>(units) / g.pxPerDivY - YZeroOffset;
    };
    info.A1 = amplitude(Cursors.A1);
    info.A2 = amplitude(Cursors.A2);
    info.DA = std::fabs(info.A2 - info.A1);
  }
  if (g.pxPerDivX > 0) {
    auto time = [&](const TScopeCursor* c) {
      const long long units =
          (10LL * g.pxPerDivX + g.offX - static_cast<long long>(c->X)) * TimeScalePerDiv;
      return static_cast<double>(units) / g.pxPerDivX;
    };
    info.T1 = time(Cursors.T1);
    info.T2 = time(Cursors.T2);
    info.DT = std::fabs(info.T2 - info.T1);
  }
  return info;
}

void DrawScopeCursors(QPainter& Canvas, const TScopeCusors& Cursors, TCursors Enabled, int Width,
                      int Height) {
  if (Enabled.Contains(ckAmplitude)) {
    Canvas.drawLine(0, Cursors.A1->Y, Width, Cursors.A1->Y);
    Canvas.drawLine(0, Cursors.A2->Y, Width, Cursors.A2->Y);
  }
  if (Enabled.Contains(ckTime)) {
    Canvas.drawLine(Cursors.T1->X, 0, Cursors.T1->X, Height);
    Canvas.drawLine(Cursors.T2->X, 0, Cursors.T2->X, Height);
  }
}
