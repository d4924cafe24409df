// A four-channel recorder-style oscilloscope of the module's process values, bound to a widget
// of the main window that serves as its paint box.
//
// The latest sample of every channel sits at the right edge of the grid and older ones run off to
// the left; ten horizontal divisions of TimeScalePerDiv ms each are visible. Samples arrive on
// the scope poll's thread; the picture is drawn on the scope's own paint thread; everything else
// (setters, binding, mouse, copies) runs in the window thread.
#pragma once

#include <QImage>
#include <QPointer>
#include <QWidget>
#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "model/MyGlobalUtils.h"
#include "platform/Component.h"
#include "protocol/ViewInterfaces.h"
#include "views/osColors.h"
#include "views/osDRUVScopeCursors.h"
#include "views/osDRUVScopePaint.h"

class QObject;
class QWidget;

// Raised in the window thread with the names of the new process-value list, in list order.
using TProcessDataChangedEvent =
    std::function<void(TObject* Sender, const TStringList& ProcessPara)>;
// Raised in the scope poll's thread for every sample set accepted by AddScopeData (nullptr for a
// channel without a sample). It has no sender. Its handler must not touch widgets directly.
using TScopeDataEvent = std::function<void(TASCIIProcDataObj* Ch1, TASCIIProcDataObj* Ch2,
                                           TASCIIProcDataObj* Ch3, TASCIIProcDataObj* Ch4)>;

// One channel's appearance and binding, edited by the main window.
class TKVXSCopeChaSettings : public TObject {
 public:
  // Index 0..3 is the channel's place in the paint thread's list; the name is "Cha. " and it.
  explicit TKVXSCopeChaSettings(int index);

  const std::string& Name() const { return Name_; }
  void SetName(const std::string&) {}  // the name is fixed
  int Index() const { return Index_; }

  TColor Color() const { return Color_; }
  void SetColor(TColor Value);
  std::uint16_t YScalePerDiv() const { return YScalePerDiv_; }  // value units per division
  void SetYScalePerDiv(std::uint16_t Value);
  std::int32_t YZeroOffset() const { return YZeroOffset_; }
  void SetYZeroOffset(std::int32_t Value);
  // Name of the process value shown; empty or unknown shows nothing.
  const std::string& SignalName() const { return SignalName_; }
  void SetSignalName(const std::string& Value);

  // After Color, YScalePerDiv or YZeroOffset changed.
  std::function<void(TObject* Sender)> OnChange;
  // After SignalName changed.
  std::function<void(TObject* Sender)> OnSignalChange;

 private:
  std::string Name_;
  int Index_;
  std::int32_t YZeroOffset_ = 100;
  TColor Color_ = clBlack;
  std::uint16_t YScalePerDiv_ = 20;
  std::string SignalName_;
};

class TKVXScope : public platform::TComponent, public IScopeView {
 public:
  explicit TKVXScope(platform::TComponent* AOwner = nullptr);
  ~TKVXScope() override;

  // ---- Properties (window thread) -----------------------------------------------------------
  QWidget* DestPaintBox() const { return DestPaintBox_.data(); }
  // Binds the paint box (not owned): takes over its painting and left-button dragging, and
  // builds the display buffer at its size. nullptr unbinds. A destroyed box is let go.
  void SetDestPaintBox(QWidget* Value);

  TColor GridColor() const { return GridColor_; }
  void SetGridColor(TColor Value);
  TColor DisplayColor() const { return DisplayColor_; }
  void SetDisplayColor(TColor Value);

  TKVXSCopeChaSettings* Channel1() const { return Channel1_.get(); }
  TKVXSCopeChaSettings* Channel2() const { return Channel2_.get(); }
  TKVXSCopeChaSettings* Channel3() const { return Channel3_.get(); }
  TKVXSCopeChaSettings* Channel4() const { return Channel4_.get(); }
  // Channel n = 1..4; nullptr otherwise.
  TKVXSCopeChaSettings* Channel(int n) const;

  std::uint16_t TimeScalePerDiv() const { return TimeScalePerDiv_; }  // ms per division
  void SetTimeScalePerDiv(std::uint16_t Value);
  std::uint32_t RefreshRate() const { return RefreshRate_; }  // ms between frames
  void SetRefreshRate(std::uint32_t Value);
  // Sampling period in ms. Any thread may read it.
  std::uint32_t DataSampleRate() const override { return DataSampleRate_; }
  void SetDataSampleRate(std::uint32_t Value);
  bool Enabled() const { return Enabled_; }
  // Switching on clears every curve, then the paint loop runs; switching off stops it.
  void SetEnabled(bool Value) override;
  // Samples are accepted only while it is on. Any thread may read it.
  bool RunScope() const { return RunScope_; }
  void SetRunScope(bool Value);
  TSignalLineWidthKind SignalLineWidth() const { return SignalLineWidth_; }
  void SetSignalLineWidth(TSignalLineWidthKind Value);
  TCursors CursorEnable() const { return CursorEnable_; }
  void SetCursorEnable(TCursors Value);
  TCursorCha CursorChannel() const { return CursorChannel_; }
  // Values outside 1..4 are ignored.
  void SetCursorChannel(TCursorCha Value);

  // The scope's own copy of the module's process-value list.
  TModProcessData* ProcessData() const { return ProcessData_.get(); }

  TProcessDataChangedEvent OnProcessDataChanged;
  TScopeDataEvent OnScopeData;
  TCursorPosChangedEvent OnCursorPosChanged;

  // ---- Operations ---------------------------------------------------------------------------
  // Window thread: copies the list, reports its names, and binds every channel anew by its
  // signal name, so no channel keeps an index or factor of the previous module. nullptr is
  // ignored.
  void SetProcessDataStructure(TModProcessData* ProcessData) override;
  // Scope poll's thread. Only while RunScope; the caller keeps the records.
  void AddProcessData(TBaseProcDataObj* Obj) override;
  void AddScopeData(TASCIIProcDataObj* Ch1, TASCIIProcDataObj* Ch2, TASCIIProcDataObj* Ch3,
                    TASCIIProcDataObj* Ch4) override;
  // Any thread: the bound signal name of channel 1..4, empty when unbound.
  std::string ChannelSignalName(int channel) const override;

  // The picture with the enabled cursors drawn in (default pen), sized to the paint box. False,
  // and nothing done, without a bitmap or a paint box.
  bool CopyToBitmap(QImage* Bitmap);
  void GetCursorInfo(TCursorInfo& Info) const;

  // ---- Paint box handlers (window thread; the widget's events arrive here) ------------------
  // Paints Area (the box's coordinates; all of it when empty) from the display buffer.
  void PaintBoxPaint(const QRegion& Area = QRegion());
  void PaintBoxMouseDown(Qt::MouseButton Button, Qt::MouseButtons Buttons,
                         Qt::KeyboardModifiers Modifiers, int X, int Y);
  void PaintBoxMouseMove(Qt::MouseButtons Buttons, Qt::KeyboardModifiers Modifiers, int X, int Y);
  void PaintBoxMouseUp();
  // Asks the paint box to show the display buffer and the enabled cursors again.
  void DrawCursors(bool Copy);

  // For the main window's tests and measurements.
  TScopePaintThread* PaintThread() const { return PaintThread_.get(); }
  TScopeCusors* Cursors() const { return Cursors_.get(); }
  TScopeCursor* DragCursor() const { return DragCursor_; }
  int MouseX() const { return MouseX_; }
  int MouseY() const { return MouseY_; }

 private:
  class PaintBoxFilter;

  void ThreadPainted(TObject* Sender);
  void ChannelSettingsChanged(TObject* Sender);
  void ChannelSignalChanged(TObject* Sender);
  void BindChannel(const TKVXSCopeChaSettings& Settings);
  void PaintBoxDestroyed();

  std::unique_ptr<TScopePaintThread> PaintThread_;
  QImage MemDC;  // display buffer; its pixels are touched only under the paint thread's lock
  QPointer<QWidget> DestPaintBox_;
  std::unique_ptr<TScopeCusors> Cursors_;
  int MouseX_ = 0;
  int MouseY_ = 0;
  TScopeCursor* DragCursor_ = nullptr;
  TColor DisplayColor_ = clBtnFace;
  TColor GridColor_ = clBlue;
  std::unique_ptr<TKVXSCopeChaSettings> Channel2_;
  std::unique_ptr<TKVXSCopeChaSettings> Channel3_;
  std::unique_ptr<TKVXSCopeChaSettings> Channel1_;
  std::unique_ptr<TKVXSCopeChaSettings> Channel4_;
  std::uint16_t TimeScalePerDiv_ = 1000;
  std::uint32_t RefreshRate_ = 500;
  std::unique_ptr<TModProcessData> ProcessData_;
  bool Enabled_ = false;
  TCursors CursorEnable_;
  TCursorCha CursorChannel_ = 1;
  TSignalLineWidthKind SignalLineWidth_ = swSmall;
  std::atomic<bool> RunScope_{false};
  std::atomic<std::uint32_t> DataSampleRate_{100};

  // Bound signal names as the poll thread may read them.
  mutable std::mutex SignalNamesLock_;
  std::array<std::string, 4> SignalNames_;

  std::unique_ptr<PaintBoxFilter> Filter_;
};
