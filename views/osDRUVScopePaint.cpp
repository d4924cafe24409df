#include "views/osDRUVScopePaint.h"

#include <QFont>
#include <QFontMetrics>
#include <QLine>
#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <QPainter>
#include <QPen>
#include <algorithm>
#include <cmath>
#include <exception>
#include <limits>
#if defined(__SANITIZE_THREAD__)
#include <sanitizer/tsan_interface.h>
#endif

#include "model/osDRUVModProtBase.h"
#include "services/QtText.h"
#include "views/osDRUVScope.h"

namespace {

// Qt's event queue locks with primitives ThreadSanitizer does not see. These tell it that the
// posted event, built on the paint thread, is handed to the window thread by the queue.
#if defined(__SANITIZE_THREAD__)
void PostedBy(QEvent* e) { __tsan_release(e); }
void TakenOver(QEvent* e) { __tsan_acquire(e); }
#else
void PostedBy(QEvent*) {}
void TakenOver(QEvent*) {}
#endif

constexpr QImage::Format kPictureFormat = QImage::Format_RGB32;

// Lives in the window thread and runs the frame announcements posted to it there. A plain
// posted event: once posted, it belongs to the window thread's queue alone, and the queue drops
// it when the relay goes.
class FrameRelay : public QObject {
 public:
  explicit FrameRelay(std::function<void()> arrived) : arrived_(std::move(arrived)) {}

  static QEvent::Type EventType() {
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
  }

  bool event(QEvent* e) override {
    TakenOver(e);
    if (e->type() != EventType()) return QObject::event(e);
    arrived_();
    return true;
  }

 private:
  std::function<void()> arrived_;
};

// The font of every label: 12 pixels, normal weight.
QFont LabelFont(int pixelSize = 12) {
  QFont font(QStringLiteral("Arial"));
  font.setPixelSize(pixelSize);
  font.setWeight(QFont::Normal);
  font.setStyleHint(QFont::SansSerif);
  return font;
}

// Where a polyline (points left to right) lies: per column band of the picture, from its
// highest to its lowest point there, widened by Margin and kept inside Bounds. A curve covers a
// small part of the picture, so the next frame puts the background back there only.
QRegion CurveBands(const std::vector<QPoint>& pts, int Margin, const QRect& Bounds) {
  constexpr int kBand = 16;
  struct Extent {
    int top = std::numeric_limits<int>::max();
    int bottom = std::numeric_limits<int>::min();
  };
  std::vector<Extent> bands(static_cast<std::size_t>(Bounds.width() / kBand + 1));
  auto band = [&](int x) {
    return static_cast<std::size_t>(std::clamp(x - Bounds.left(), 0, Bounds.width() - 1) / kBand);
  };
  for (std::size_t i = 1; i < pts.size(); ++i) {
    const QPoint a = pts[i - 1], b = pts[i];
    const int top = std::min(a.y(), b.y()), bottom = std::max(a.y(), b.y());
    const std::size_t last = band(std::max(a.x(), b.x()));
    for (std::size_t k = band(std::min(a.x(), b.x())); k <= last; ++k) {
      bands[k].top = std::min(bands[k].top, top);
      bands[k].bottom = std::max(bands[k].bottom, bottom);
    }
  }
  QRegion area;
  for (std::size_t k = 0; k < bands.size(); ++k) {
    if (bands[k].top > bands[k].bottom) continue;
    const int left = Bounds.left() + static_cast<int>(k) * kBand;
    area += QRect(QPoint(left - Margin, bands[k].top - Margin),
                  QPoint(left + kBand - 1 + Margin, bands[k].bottom + Margin)) &
            Bounds;
  }
  return area;
}

}  // namespace

int SignalLineWidthPixels(TSignalLineWidthKind Kind) {
  switch (Kind) {
    case swMedium:
      return 2;
    case swFat:
      return 4;
    case swSmall:
    default:
      return 1;
  }
}

TScopeGeometry ScopeGeometry(int Width, int Height) {
  TScopeGeometry g;
  g.pxPerDivX = (Width - 140) / 10;
  g.pxPerDivY = Height / 12;
  g.offX = (Width - 10 * g.pxPerDivX) / 2;
  g.offY = (Height - 10 * g.pxPerDivY) / 2;
  return g;
}

// ---- Channels ---------------------------------------------------------------------------------

void TScopeChannel::SetProcIndex(std::int32_t Value) {
  if (Value != ProcIndex) Points.clear();
  ProcIndex = Value;
}

TScopeChannel* TScopeChannelList::GetChannel(int Index) const {
  return dynamic_cast<TScopeChannel*>(GetObject(Index));
}

std::size_t ScopeKeepCount(std::uint16_t TimeScalePerDiv, std::uint16_t SampleRate) {
  const unsigned rate = SampleRate == 0 ? 1u : SampleRate;
  return static_cast<std::size_t>(TimeScalePerDiv) * 10u / rate + 1u;
}

// ---- Labels -----------------------------------------------------------------------------------

std::string ScopeTimeLabel(int i, std::uint16_t TimeScalePerDiv) {
  // Whole milliseconds to tenths of a second, half up, without going through binary fractions.
  const long long ms = static_cast<long long>(11 - i) * TimeScalePerDiv;
  const long long tenths = (std::llabs(ms) + 50) / 100;
  std::string s;
  if (ms > 0 && tenths > 0) s += '-';
  s += std::to_string(tenths / 10);
  s += DecimalSeparator();
  s += std::to_string(tenths % 10);
  s += " s";
  return s;
}

namespace {

// Space kept between two columns of scale labels.
constexpr int kColumnGap = 2;

long long Pow10(int n) {
  long long p = 1;
  while (n-- > 0) p *= 10;
  return p;
}

int DigitCount(unsigned long long v) {
  int n = 1;
  while (v >= 10) v /= 10, ++n;
  return n;
}

// v / 10^(3 * power) rounded half away from zero to `decimals` places, trailing zeros dropped,
// followed by the unit letter of that power; a plain "0" where that rounds to zero.
std::string ScaledText(long long v, int power, int decimals) {
  const unsigned long long magnitude =
      v < 0 ? 0ull - static_cast<unsigned long long>(v) : static_cast<unsigned long long>(v);
  const unsigned long long div = static_cast<unsigned long long>(Pow10(3 * power - decimals));
  unsigned long long q = (magnitude + div / 2) / div;
  if (q == 0) return "0";  // nothing to scale
  const unsigned long long one = static_cast<unsigned long long>(Pow10(decimals));
  std::string frac = decimals > 0 ? std::to_string(q % one) : std::string();
  if (frac.size() < static_cast<std::size_t>(decimals))
    frac.insert(0, static_cast<std::size_t>(decimals) - frac.size(), '0');
  while (!frac.empty() && frac.back() == '0') frac.pop_back();
  std::string s = v < 0 ? "-" : "";
  s += std::to_string(q / one);
  if (!frac.empty()) s += DecimalSeparator() + frac;
  s += "kMG"[power - 1];
  return s;
}

// The column in the unit that leaves at most three integer digits, to `digits` significant
// digits; empty when no unit applies (every value below 1000).
std::vector<std::string> ShortenedTexts(const std::vector<long long>& values, int digits) {
  unsigned long long largest = 0;
  for (long long v : values)
    largest = std::max(largest, v < 0 ? 0ull - static_cast<unsigned long long>(v)
                                      : static_cast<unsigned long long>(v));
  int power = 0;
  while (power < 3 && largest >= static_cast<unsigned long long>(Pow10(3 * (power + 1)))) ++power;
  if (power == 0) return {};
  const int whole = DigitCount(largest / static_cast<unsigned long long>(Pow10(3 * power)));
  const int decimals = std::clamp(digits - whole, 0, 3 * power);
  std::vector<std::string> texts;
  for (long long v : values) texts.push_back(ScaledText(v, power, decimals));
  return texts;
}

// Two rows of different values never share a text.
bool Distinct(const std::vector<long long>& values, const std::vector<std::string>& texts) {
  for (std::size_t i = 0; i < values.size(); ++i)
    for (std::size_t k = i + 1; k < values.size(); ++k)
      if (values[i] != values[k] && texts[i] == texts[k]) return false;
  return true;
}

}  // namespace

int ScopeLabelWidth(const std::string& Text, int PixelSize) {
  return QFontMetrics(LabelFont(PixelSize)).horizontalAdvance(FromAnsi(Text));
}

TScaleLabelTexts FitScaleLabels(const std::vector<long long>& Values, int Width) {
  auto fits = [Width](const std::vector<std::string>& texts, int size) {
    const QFontMetrics fm(LabelFont(size));
    for (const std::string& t : texts)
      if (fm.horizontalAdvance(FromAnsi(t)) > Width) return false;
    return true;
  };
  std::vector<std::string> plain;
  for (long long v : Values) plain.push_back(std::to_string(v));
  for (int size : {12, 11})
    if (fits(plain, size)) return {plain, size};
  for (int digits = 3; digits <= 9; ++digits) {
    std::vector<std::string> shortened = ShortenedTexts(Values, digits);
    if (shortened.empty()) break;
    if (!Distinct(Values, shortened)) continue;
    for (int size : {12, 11, 10, 9})
      if (fits(shortened, size)) return {shortened, size};
  }
  // A span too narrow for its size (a huge offset): as many digits as fit, rather than texts
  // that run into the next column.
  for (int digits = 9; digits >= 3; --digits) {
    std::vector<std::string> shortened = ShortenedTexts(Values, digits);
    if (shortened.empty()) break;
    for (int size : {12, 11, 10, 9})
      if (fits(shortened, size)) return {shortened, size};
  }
  return {plain, 9};
}

std::vector<TScopeLabel> ScopeGridLabels(int Width, int Height, std::uint16_t TimeScalePerDiv,
                                         const TScopeChannelList& Channels) {
  const TScopeGeometry g = ScopeGeometry(Width, Height);
  const int gridRight = g.offX + 10 * g.pxPerDivX;
  // Column k of the bound channels: where its labels stand, and the room they have.
  struct Column {
    int X;
    bool RightAligned;
    int Room;
  };
  const Column columns[4] = {{g.offX - 5, true, 35 - kColumnGap},
                             {g.offX - 40, true, g.offX - 40 - 1},
                             {gridRight + 5, false, 35 - kColumnGap},
                             {gridRight + 40, false, Width - 1 - (gridRight + 40)}};
  std::vector<const TScopeChannel*> bound;
  for (int c = 0; c < Channels.Count() && bound.size() < 4; ++c) {
    const TScopeChannel* ch = Channels.GetChannel(c);
    if (ch && ch->ProcIndex > -1) bound.push_back(ch);
  }
  std::vector<TScaleLabelTexts> texts;
  for (std::size_t k = 0; k < bound.size(); ++k) {
    std::vector<long long> values;
    for (int i = 1; i <= 11; ++i)
      values.push_back(static_cast<long long>(11 - i) * bound[k]->YScalePerDiv -
                       static_cast<long long>(bound[k]->YZeroOffset));
    texts.push_back(FitScaleLabels(values, columns[k].Room));
  }

  std::vector<TScopeLabel> labels;
  for (int i = 1; i <= 11; ++i) {
    const int y = (i - 1) * g.pxPerDivY + g.offY;
    for (std::size_t k = 0; k < bound.size(); ++k) {
      TScopeLabel l;
      l.Text = texts[k].Texts[static_cast<std::size_t>(i - 1)];
      l.Color = bound[k]->Color;
      l.PixelSize = texts[k].PixelSize;
      // A smaller font keeps the middle of the 12-pixel label.
      l.Top = y - 10 + (12 - l.PixelSize) / 2;
      l.X = columns[k].X;
      l.RightAligned = columns[k].RightAligned;
      labels.push_back(std::move(l));
    }
  }
  for (int i = 1; i <= 11; ++i) {
    TScopeLabel l;
    l.Text = ScopeTimeLabel(i, TimeScalePerDiv);
    l.X = (i - 1) * g.pxPerDivX + g.offX - 16;
    l.Top = g.offY + 10 * g.pxPerDivY + 5;
    l.Color = clBlack;
    labels.push_back(std::move(l));
  }
  return labels;
}

// ---- Paint thread -----------------------------------------------------------------------------

TScopePaintThread::TScopePaintThread(bool CreateSuspended)
    : TosBaseThread(true),
      Channels_(std::make_unique<TScopeChannelList>()),
      DisplayQColor(ColorToQColor(clBtnFace)),
      Relay_(std::make_unique<FrameRelay>([this] { FrameArrived(); })) {
  for (int i = 0; i < 4; ++i) Channels_->AddChannel(new TScopeChannel);
  if (!CreateSuspended) Start();
}

TScopePaintThread::~TScopePaintThread() {
  // Wakes a frame loop waiting between frames, then ends the thread and waits for it.
  RefreshEvent.Set();
  Shutdown();
  {
    std::lock_guard<std::mutex> lock(Lock_);
    Channels_->Clear();
    DestDC = nullptr;
  }
  // Announcements still queued for the window thread go with the relay.
  Relay_.reset();
}

void TScopePaintThread::SetDestDC(QImage* DC) {
  std::lock_guard<std::mutex> lock(Lock_);
  DestDC = DC;
  GridDC = QImage();
  DestHoldsGrid_ = false;
  CurveArea_ = QRegion();
  if (!DC) return;
  if (Width_ > 0 && Height_ > 0) {
    if (DC->size() != QSize(Width_, Height_) || DC->format() != kPictureFormat)
      *DC = QImage(Width_, Height_, kPictureFormat);
    GridDC = QImage(Width_, Height_, kPictureFormat);
  } else {
    *DC = QImage();
  }
  if (DC->isNull() || GridDC.isNull()) {
    // Nothing to draw on (an empty box, or no memory for a huge one): frames draw nothing.
    *DC = QImage();
    GridDC = QImage();
    return;
  }
  DrawGrid();
  QPainter p(DC);
  p.setCompositionMode(QPainter::CompositionMode_Source);
  p.drawImage(0, 0, GridDC);
  DestHoldsGrid_ = true;
  CurveArea_ = QRegion();
  Damage_ = QRegion(DC->rect());
}

void TScopePaintThread::SetWidth(int W) {
  std::lock_guard<std::mutex> lock(Lock_);
  if (W == Width_) return;
  Width_ = W;
  DrawGrid();
}

void TScopePaintThread::SetHeight(int H) {
  std::lock_guard<std::mutex> lock(Lock_);
  if (H == Height_) return;
  Height_ = H;
  DrawGrid();
}

int TScopePaintThread::Width() const {
  std::lock_guard<std::mutex> lock(Lock_);
  return Width_;
}

int TScopePaintThread::Height() const {
  std::lock_guard<std::mutex> lock(Lock_);
  return Height_;
}

void TScopePaintThread::SetGridColor(TColor Value) {
  std::lock_guard<std::mutex> lock(Lock_);
  if (Value == GridColor) return;
  GridColor = Value;
  DrawGrid();
}

void TScopePaintThread::SetDisplayColor(TColor Value) {
  const QColor resolved = ColorToQColor(Value);
  std::lock_guard<std::mutex> lock(Lock_);
  if (Value == DisplayColor) return;
  DisplayColor = Value;
  DisplayQColor = resolved;
  DrawGrid();
}

void TScopePaintThread::SetSignalLineWidth(TSignalLineWidthKind Value) {
  std::lock_guard<std::mutex> lock(Lock_);
  if (Value == SignalLineWidth) return;
  SignalLineWidth = Value;
  DrawGrid();
}

void TScopePaintThread::SetTimeScalePerDiv(std::uint16_t Value) {
  std::lock_guard<std::mutex> lock(Lock_);
  if (Value == TimeScalePerDiv) return;
  TimeScalePerDiv = Value;
  Channels_->SetTimeScale(Value);
  DrawGrid();
}

void TScopePaintThread::SetRunScope(bool Value) {
  std::lock_guard<std::mutex> lock(Lock_);
  RunScope_ = Value;
}

bool TScopePaintThread::RunScope() const {
  std::lock_guard<std::mutex> lock(Lock_);
  return RunScope_;
}

void TScopePaintThread::SetChannelSource(int Channel, std::int32_t ProcIndex,
                                         std::int32_t CompFactor) {
  std::lock_guard<std::mutex> lock(Lock_);
  TScopeChannel* ch = Channels_->GetChannel(Channel);
  if (!ch) return;
  ch->SetProcIndex(ProcIndex);
  ch->CompFactor = CompFactor;
  DrawGrid();
}

bool TScopePaintThread::ApplyChannelSettings(const TKVXSCopeChaSettings* Settings) {
  if (!Settings) return false;
  std::lock_guard<std::mutex> lock(Lock_);
  if (TScopeChannel* ch = Channels_->GetChannel(Settings->Index())) {
    ch->SetYScalePerDiv(Settings->YScalePerDiv());
    ch->SetYZeroOffset(Settings->YZeroOffset());
    ch->SetColor(Settings->Color());
    DrawGrid();
  }
  return true;
}

void TScopePaintThread::SetRunning(bool Enabled) {
  PostMessage(ScopeMsgRunStop, Enabled ? 1u : 0u, 0);
}

void TScopePaintThread::PaintOnce() { PostMessage(ScopeMsgPaintOnce, 0, 0); }

void TScopePaintThread::AddProcessData(const TBaseProcDataObj* Obj) {
  if (!Obj) return;
  const auto* bin = dynamic_cast<const TBINProcDataObj*>(Obj);
  const auto* ascii = dynamic_cast<const TASCIIProcDataObj*>(Obj);
  if (!bin && !ascii) return;
  std::lock_guard<std::mutex> lock(Lock_);
  for (int c = 0; c < Channels_->Count(); ++c) {
    TScopeChannel* ch = Channels_->GetChannel(c);
    if (!ch || ch->ProcIndex <= -1) continue;
    if (bin) {
      ch->AddPoint(TChaDataPoint{bin->TimeStamp, static_cast<double>(bin->GetValue(ch->ProcIndex))});
    } else if (ch->ProcIndex == ascii->Index) {
      ch->AddPoint(TChaDataPoint{ascii->TimeStamp, static_cast<double>(ascii->Value)});
    }
  }
}

void TScopePaintThread::AddScopeData(const TASCIIProcDataObj* const Ch[4]) {
  std::lock_guard<std::mutex> lock(Lock_);
  for (int k = 0; k < 4; ++k) {
    if (!Ch[k]) continue;
    TScopeChannel* ch = Channels_->GetChannel(k);
    if (!ch) continue;
    // The poll reads the bindings before it talks to the module; a channel bound to another
    // value meanwhile must not start its new curve with a sample of the old one.
    if (ch->ProcIndex > -1 && Ch[k]->Index > -1 && Ch[k]->Index != ch->ProcIndex) continue;
    ch->AddPoint(TChaDataPoint{Ch[k]->TimeStamp, static_cast<double>(Ch[k]->Value)});
  }
}

void TScopePaintThread::ClearData() {
  std::lock_guard<std::mutex> lock(Lock_);
  for (int c = 0; c < Channels_->Count(); ++c)
    if (TScopeChannel* ch = Channels_->GetChannel(c)) ch->Points.clear();
}

// ---- Drawing ----------------------------------------------------------------------------------

bool TScopePaintThread::DrawGrid() {
  if (GridDC.isNull()) return false;
  DestHoldsGrid_ = false;  // the next frame takes the new background whole
  const TScopeGeometry g = ScopeGeometry(Width_, Height_);
  const QColor gridColor = PlainColorToQColor(GridColor);
  // Square caps close the corners of the frame.
  QPen solid(gridColor, 1, Qt::SolidLine, Qt::SquareCap);
  QPen dotted(gridColor, 1, Qt::DotLine, Qt::FlatCap);
  const QFont font = LabelFont();

  QPainter p(&GridDC);
  p.setCompositionMode(QPainter::CompositionMode_Source);
  p.fillRect(0, 0, Width_, Height_, DisplayQColor);
  p.setCompositionMode(QPainter::CompositionMode_SourceOver);
  p.setBackgroundMode(Qt::TransparentMode);
  p.setFont(font);

  const int gridRight = g.offX + 10 * g.pxPerDivX;
  const int gridBottom = g.offY + 10 * g.pxPerDivY;
  for (int i = 1; i <= 11; ++i) {
    p.setPen(i == 1 || i == 11 ? solid : dotted);
    const int y = (i - 1) * g.pxPerDivY + g.offY;
    p.drawLine(g.offX, y, gridRight, y);
  }
  for (int i = 1; i <= 11; ++i) {
    p.setPen(i == 1 || i == 11 ? solid : dotted);
    const int x = (i - 1) * g.pxPerDivX + g.offX;
    p.drawLine(x, g.offY, x, gridBottom);
  }

  for (const TScopeLabel& l : ScopeGridLabels(Width_, Height_, TimeScalePerDiv, *Channels_)) {
    const QFont labelFont = l.PixelSize == font.pixelSize() ? font : LabelFont(l.PixelSize);
    p.setFont(labelFont);
    const QFontMetrics fm(labelFont, &GridDC);
    const QString text = FromAnsi(l.Text);
    const int w = fm.horizontalAdvance(text);
    const int left = l.RightAligned ? l.X - w : l.X;
    p.setPen(PlainColorToQColor(l.Color));
    p.drawText(QRect(left, l.Top, w + 1, fm.height()), Qt::AlignLeft | Qt::AlignTop, text);
  }
  return true;
}

std::vector<QPoint> TScopePaintThread::ChannelPoints(int Channel, std::uint16_t SampleRate,
                                                     int Width, int Height) {
  TScopeChannel* ch = Channels_->GetChannel(Channel);
  if (!ch) return {};
  const std::uint16_t timeScale = Channels_->TimeScalePerDiv;
  const std::size_t keep = ScopeKeepCount(timeScale, SampleRate);
  if (ch->Points.size() > keep)
    ch->Points.erase(ch->Points.begin(),
                     ch->Points.begin() + static_cast<std::ptrdiff_t>(ch->Points.size() - keep));

  const TScopeGeometry g = ScopeGeometry(Width, Height);
  // Without a time scale or a grid there is nowhere meaningful to put a point.
  if (SampleRate == 0 || timeScale == 0 || !g.Usable()) return {};

  const std::size_t count = ch->Points.size();
  std::vector<QPoint> pts;
  pts.reserve(count);
  // A value that cannot be scaled (factor or scale 0) is drawn at the top of the picture.
  const bool scalable = ch->CompFactor != 0 && ch->YScalePerDiv != 0;
  const double yTop = g.offY, yBottom = Height - g.offY;
  const double xLeft = g.offX, xRight = Width - g.offX;
  for (std::size_t j = 0; j < count; ++j) {
    int y = 0;
    if (scalable) {
      const double v = (ch->Points[j].Value / ch->CompFactor + ch->YZeroOffset) / ch->YScalePerDiv *
                       g.pxPerDivY;
      double yy = 10.0 * g.pxPerDivY - std::trunc(v + 0.5) + g.offY;
      yy = std::min(std::max(yy, yTop), yBottom);
      y = static_cast<int>(yy);
    }
    const long long steps = static_cast<long long>(count - (j + 1));
    const double u = static_cast<double>(steps * SampleRate * g.pxPerDivX) / timeScale;
    double xx = 10.0 * g.pxPerDivX - std::trunc(u + 0.5) + g.offX;
    xx = std::min(std::max(xx, xLeft), xRight);
    pts.emplace_back(static_cast<int>(xx), y);
  }
  return pts;
}

void TScopePaintThread::PaintFrame() {
  std::lock_guard<std::mutex> lock(Lock_);
  ++FrameCount_;
  const auto rate = static_cast<std::uint16_t>(DataSampleRate_ & 0xFFFFu);
  if (!DestDC || DestDC->isNull()) {
    // Nothing to show yet, but samples must not pile up meanwhile.
    for (int c = 0; c < Channels_->Count(); ++c) ChannelPoints(c, rate, Width_, Height_);
    return;
  }
  QPainter p(DestDC);
  p.setCompositionMode(QPainter::CompositionMode_Source);
  const QRect all = DestDC->rect();
  if (GridDC.isNull()) {
    p.fillRect(all, DisplayQColor);
    Damage_ = QRegion(all);
  } else if (!DestHoldsGrid_ || GridDC.size() != DestDC->size()) {
    p.drawImage(0, 0, GridDC);
    DestHoldsGrid_ = true;
    Damage_ = QRegion(all);
  } else {
    // Elsewhere the buffer holds the background already.
    for (const QRect& r : CurveArea_) p.drawImage(r.topLeft(), GridDC, r);
    Damage_ += CurveArea_;
  }
  CurveArea_ = QRegion();
  p.setCompositionMode(QPainter::CompositionMode_SourceOver);

  const int penWidth = SignalLineWidthPixels(SignalLineWidth);
  std::vector<QLine> segments;
  for (int c = 0; c < Channels_->Count() && !Terminated(); ++c) {
    TScopeChannel* ch = Channels_->GetChannel(c);
    if (!ch) continue;
    // Unbound channels are trimmed too, so samples of no curve cannot pile up.
    const std::vector<QPoint> pts = ChannelPoints(c, rate, Width_, Height_);
    if (ch->ProcIndex <= -1 || pts.size() < 2) continue;
    // Caps, joins and the pen's width reach at most a pen's width past the points.
    CurveArea_ += CurveBands(pts, penWidth + 2, all);
    const QColor color = PlainColorToQColor(ch->Color);
    if (penWidth == 1) {
      p.setPen(QPen(color, 1, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
      p.drawPolyline(pts.data(), static_cast<int>(pts.size()));
      continue;
    }
    // Wide pens: separate segments with square caps look the same as a joined polyline and
    // cost a tenth of it, as no joins have to be computed.
    segments.clear();
    for (std::size_t i = 1; i < pts.size(); ++i) segments.emplace_back(pts[i - 1], pts[i]);
    p.setPen(QPen(color, penWidth, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
    p.drawLines(segments.data(), static_cast<int>(segments.size()));
  }
  Damage_ += CurveArea_;
}

QRegion TScopePaintThread::TakeDamage() {
  std::lock_guard<std::mutex> lock(Lock_);
  QRegion taken;
  taken.swap(Damage_);
  return taken;
}

void TScopePaintThread::HandOver() {
  // One announcement at a time: a window thread that falls behind sees the newest frame once.
  if (HandOverPending_.exchange(true)) return;
  auto* e = new QEvent(FrameRelay::EventType());
  PostedBy(e);
  QCoreApplication::postEvent(Relay_.get(), e);
}

void TScopePaintThread::FrameArrived() {
  HandOverPending_ = false;
  if (!OnPainted) return;
  try {
    OnPainted(this);
  } catch (...) {
    // A failing handler must not end the window thread's event loop.
  }
}

void TScopePaintThread::Execute() {
  using platform::TMsg;
  while (!Terminated()) {
    TMsg msg;
    if (!MessageQueue().Get(msg, 0, ScopeMsgLast)) continue;  // quit: back to the check
    if (msg.message == ScopeMsgRunStop) Running_ = msg.wParam > 0;
    bool leave = false;
    do {
      try {
        PaintFrame();
      } catch (...) {
        // Out of memory for one frame: skip it, the next one may succeed.
      }
      if (!Terminated()) HandOver();
      bool paintOnce = false;
      if (MessageQueue().Peek(msg, 0, ScopeMsgLast, true)) {
        if (msg.message == ScopeMsgPaintOnce)
          paintOnce = true;
        else if (msg.message == ScopeMsgRunStop)
          Running_ = msg.wParam > 0;
      }
      if (!paintOnce && RefreshEvent.WaitFor(std::chrono::milliseconds(RefreshRate_.load()))) {
        std::lock_guard<std::mutex> lock(Lock_);
        Running_ = false;
      }
      if (Terminated()) {
        leave = true;
        break;
      }
    } while (Running_);
    if (leave) break;
  }
}
