// The oscilloscope's picture, drawn off the window thread.
//
// Two layers of the paint box's size: the background (fill, grid, scale and time labels),
// redrawn only when something it shows changes, and the display buffer, which every frame
// overwrites with the background plus one polyline per bound channel. The finished frame is
// handed to the window thread without waiting for it, so the paint thread never blocks on the
// window thread, and never while it holds its lock.
#pragma once

#include <QColor>
#include <QImage>
#include <QPoint>
#include <QRegion>
#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "model/MyGlobalUtils.h"
#include "platform/Threads.h"
#include "views/osColors.h"

class QObject;
class TBaseProcDataObj;
class TASCIIProcDataObj;
class TKVXSCopeChaSettings;

// Pen width of the curves: 1, 2 and 4 pixels.
enum TSignalLineWidthKind : std::uint8_t { swSmall, swMedium, swFat };
int SignalLineWidthPixels(TSignalLineWidthKind Kind);

// Where the grid sits in a picture of Width x Height: ten divisions each way, centred, with 140
// spare pixels of width for the scale labels and two divisions of height for the time labels.
// A picture less than 150 pixels wide, or under 12 high, has no divisions (pxPerDiv <= 0).
struct TScopeGeometry {
  int pxPerDivX = 0;
  int pxPerDivY = 0;
  int offX = 0;
  int offY = 0;

  bool Usable() const { return pxPerDivX > 0 && pxPerDivY > 0; }
};
TScopeGeometry ScopeGeometry(int Width, int Height);

// One sample as it arrived.
struct TChaDataPoint {
  TDateTime TimeStamp = 0;  // kept, not drawn
  double Value = 0;         // raw value
};

// One channel as the paint thread sees it. Guarded by the paint thread's lock.
class TScopeChannel : public TObject {
 public:
  std::uint32_t YScalePerDiv = 20;
  std::int32_t YZeroOffset = 100;
  TColor Color = 0;
  std::deque<TChaDataPoint> Points;  // oldest first
  std::int32_t ProcIndex = -1;       // bound process value; -1: neither drawn nor labelled
  std::int32_t CompFactor = 1;       // divisor of every raw value before scaling

  void AddPoint(const TChaDataPoint& Point) { Points.push_back(Point); }
  void SetColor(TColor Value) { Color = Value; }
  void SetYScalePerDiv(std::uint32_t Value) { YScalePerDiv = Value; }
  void SetYZeroOffset(std::int32_t Value) { YZeroOffset = Value; }
  // A new index drops the points first, so a channel never mixes two process values.
  void SetProcIndex(std::int32_t Value);
};

// The four channels, in the order Channel1..Channel4, owned.
class TScopeChannelList : public TosBaseObjStringList {
 public:
  std::uint16_t TimeScalePerDiv = 1000;

  int AddChannel(TScopeChannel* Channel) { return AddObject(std::string(), Channel); }
  // The channel at Index; nullptr when there is none.
  TScopeChannel* GetChannel(int Index) const;
  void SetTimeScale(std::uint16_t Value) { TimeScalePerDiv = Value; }
};

// How many points a channel keeps for a time base and a sampling period: the span of ten
// divisions divided by the period, plus one. A period of 0 keeps what a period of 1 would.
std::size_t ScopeKeepCount(std::uint16_t TimeScalePerDiv, std::uint16_t SampleRate);

// One text of the background layer. Top is the top edge of the text; X is its left end, or its
// right end when RightAligned. PixelSize is the height of its font.
struct TScopeLabel {
  std::string Text;
  int X = 0;
  int Top = 0;
  bool RightAligned = false;
  TColor Color = clBlack;
  int PixelSize = 12;
};

// The texts of one channel's scale labels (top row first), each at most Width pixels wide so
// that neighbouring columns never run into each other: the plain numbers in the label font
// (12 pixels) or a pixel smaller; where they are wider, the column shortened with one unit
// letter for all its labels ("k", "M", "G": 250000 is "250k", -12500 "-12.5k", the user's
// decimal separator) to three significant digits, more where three would give two different
// rows the same text, at 12 pixels down to 9. A span too small for its size (a huge offset)
// keeps as many digits as fit, even where rows then repeat a text.
struct TScaleLabelTexts {
  std::vector<std::string> Texts;
  int PixelSize = 12;
};
TScaleLabelTexts FitScaleLabels(const std::vector<long long>& Values, int Width);

// The width of a label text in the label font of that pixel size.
int ScopeLabelWidth(const std::string& Text, int PixelSize);

// The scale labels of the bound channels (the k-th bound channel in channel order takes the k-th
// column: right of x = offX - 5, right of offX - 40, from the grid's right edge + 5, + 40; each
// fitted to its column by FitScaleLabels) and the time labels under the vertical lines, in
// drawing order.
std::vector<TScopeLabel> ScopeGridLabels(int Width, int Height, std::uint16_t TimeScalePerDiv,
                                         const TScopeChannelList& Channels);

// The text of the time label under vertical line i (1..11): seconds before the latest sample,
// one decimal, the user's decimal separator ("-10.0 s" .. "0.0 s" at 1000 ms per division).
std::string ScopeTimeLabel(int i, std::uint16_t TimeScalePerDiv);

// Thread messages (the thread takes those from 0 to ScopeMsgLast).
constexpr platform::MessageId ScopeMsgRunStop = 0x8167;    // wParam 1 run, 0 stop
constexpr platform::MessageId ScopeMsgPaintOnce = 0x8168;
constexpr platform::MessageId ScopeMsgLast = 0x818F;

class TScopePaintThread : public TosBaseThread, public TObject {
 public:
  explicit TScopePaintThread(bool CreateSuspended);
  ~TScopePaintThread() override;

  // Called in the window thread after a finished frame. Frames finished while one hand-over is
  // still waiting for the window thread are not announced again: the display buffer always
  // holds the newest frame. Set it before the thread starts.
  std::function<void(TObject* Sender)> OnPainted;

  // ---- Window-thread operations -------------------------------------------------------------
  // The display buffer (not owned). Under the lock it is sized to Width x Height, the
  // background layer is rebuilt and copied into it, so it never shows undefined pixels.
  void SetDestDC(QImage* DC);
  void SetWidth(int W);
  void SetHeight(int H);
  int Width() const;
  int Height() const;
  void SetGridColor(TColor Value);
  // A system colour is resolved here, on the window thread.
  void SetDisplayColor(TColor Value);
  void SetSignalLineWidth(TSignalLineWidthKind Value);
  void SetTimeScalePerDiv(std::uint16_t Value);
  void SetRunScope(bool Value);
  bool RunScope() const;
  void SetRefreshRate(std::uint32_t Value) { RefreshRate_ = Value; }
  std::uint32_t RefreshRate() const { return RefreshRate_; }
  void SetDataSampleRate(std::uint32_t Value) { DataSampleRate_ = Value; }
  std::uint32_t DataSampleRate() const { return DataSampleRate_; }
  // Binds a channel to a process value (its points go when the index changes) and redraws.
  void SetChannelSource(int Channel, std::int32_t ProcIndex, std::int32_t CompFactor);
  // Copies scale, offset and colour of the settings into their channel and redraws; false for
  // nullptr.
  bool ApplyChannelSettings(const TKVXSCopeChaSettings* Settings);
  void SetRunning(bool Enabled);
  void PaintOnce();
  bool Running() const { return Running_; }

  // ---- Sample entry points (any thread) -----------------------------------------------------
  // A binary block gives every bound channel its value; a single value goes to the channels
  // bound to its process value.
  void AddProcessData(const TBaseProcDataObj* Obj);
  // Ch[k] (may be nullptr) is appended to channel k, bound or not; but not to a channel bound to
  // another process value than the record names (a sample polled before a rebinding).
  void AddScopeData(const TASCIIProcDataObj* const Ch[4]);
  void ClearData();

  // ---- Drawing ------------------------------------------------------------------------------
  // One frame into the display buffer: the background, then the curves. Takes the lock. The
  // background is put back only where the last frame's curves were, unless the buffer or the
  // background changed since: the frame's pixels are copied once, to the window.
  void PaintFrame();
  // Window thread: the part of the display buffer that frames changed since the last call
  // (all of it when the background went in whole), and nothing from then on.
  QRegion TakeDamage();
  // Frames painted so far (for waits and measurements).
  std::uint64_t FrameCount() const { return FrameCount_; }

  // Guards everything below and all channel data.
  std::mutex& Lock() { return Lock_; }
  // Under Lock():
  TScopeChannelList& Channels() { return *Channels_; }
  // Trims channel `Channel` to its keep count, then returns its polyline in the picture,
  // oldest point first; empty for a missing channel, or when the time axis has no scale (time
  // base or sampling period 0).
  std::vector<QPoint> ChannelPoints(int Channel, std::uint16_t SampleRate, int Width, int Height);
  // Rebuilds the background layer; false while there is none (no display buffer yet).
  bool DrawGrid();
  const QImage& GridImage() const { return GridDC; }

 protected:
  void Execute() override;

 private:
  void HandOver();
  void FrameArrived();

  QImage GridDC;
  // Under the lock: the display buffer holds the background except in CurveArea_ (the last
  // frame's curves); false when it must take the background whole.
  bool DestHoldsGrid_ = false;
  QRegion CurveArea_;
  QRegion Damage_;
  mutable std::mutex Lock_;
  platform::TEvent RefreshEvent{false, false};
  std::atomic<std::uint32_t> RefreshRate_{250};
  std::unique_ptr<TScopeChannelList> Channels_;
  TColor GridColor = clBlue;
  TColor DisplayColor = clBtnFace;
  QColor DisplayQColor;
  std::uint16_t TimeScalePerDiv = 1000;
  QImage* DestDC = nullptr;
  std::atomic<bool> Running_{false};
  TSignalLineWidthKind SignalLineWidth = swSmall;
  int Width_ = 1200;
  int Height_ = 1200;
  bool RunScope_ = false;
  std::atomic<std::uint32_t> DataSampleRate_{100};

  std::atomic<std::uint64_t> FrameCount_{0};
  std::atomic<bool> HandOverPending_{false};
  // Lives in the window thread; frames are announced through its event queue.
  std::unique_ptr<QObject> Relay_;
};
