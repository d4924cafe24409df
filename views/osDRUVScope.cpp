#include "views/osDRUVScope.h"

#include <QEvent>
#include <QMouseEvent>
#include <QObject>
#include <QPaintEvent>
#include <QPainter>
#include <QPen>
#include <QWidget>
#include <exception>

#include "model/osDRUVModProtBase.h"

namespace {

constexpr Qt::KeyboardModifiers kModifierKeys =
    Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier;

// Cursor lines use the plain default pen: black, solid, one pixel.
QPen CursorPen() { return QPen(Qt::black, 1, Qt::SolidLine, Qt::FlatCap); }

// Pixels of the largest piece the box is painted in.
constexpr int kCopyPixels = 65536;

}  // namespace

// ---- Channel settings -------------------------------------------------------------------------

TKVXSCopeChaSettings::TKVXSCopeChaSettings(int index)
    : Name_("Cha. " + std::to_string(index)), Index_(index) {}

void TKVXSCopeChaSettings::SetColor(TColor Value) {
  if (Value == Color_) return;
  Color_ = Value;
  if (OnChange) OnChange(this);
}

void TKVXSCopeChaSettings::SetYScalePerDiv(std::uint16_t Value) {
  if (Value == YScalePerDiv_) return;
  YScalePerDiv_ = Value;
  if (OnChange) OnChange(this);
}

void TKVXSCopeChaSettings::SetYZeroOffset(std::int32_t Value) {
  if (Value == YZeroOffset_) return;
  YZeroOffset_ = Value;
  if (OnChange) OnChange(this);
}

void TKVXSCopeChaSettings::SetSignalName(const std::string& Value) {
  if (Value == SignalName_) return;
  SignalName_ = Value;
  if (OnSignalChange) OnSignalChange(this);
}

// ---- Paint box events -------------------------------------------------------------------------

// Sits on the bound paint box: paints it from the display buffer and turns its mouse events into
// cursor handling. Also the window-thread context of the box's destroyed signal.
class TKVXScope::PaintBoxFilter : public QObject {
 public:
  explicit PaintBoxFilter(TKVXScope* owner) : owner_(owner) {}

  QMetaObject::Connection destroyedConnection;

  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched != owner_->DestPaintBox_.data()) return false;
    try {
      switch (event->type()) {
        case QEvent::Paint:
          owner_->PaintBoxPaint(static_cast<QPaintEvent*>(event)->region());
          return true;
        case QEvent::MouseButtonPress: {
          const auto* m = static_cast<QMouseEvent*>(event);
          const QPoint p = m->position().toPoint();
          owner_->PaintBoxMouseDown(m->button(), m->buttons(), m->modifiers(), p.x(), p.y());
          return false;
        }
        case QEvent::MouseMove: {
          const auto* m = static_cast<QMouseEvent*>(event);
          const QPoint p = m->position().toPoint();
          owner_->PaintBoxMouseMove(m->buttons(), m->modifiers(), p.x(), p.y());
          return false;
        }
        case QEvent::MouseButtonRelease:
          owner_->PaintBoxMouseUp();
          return false;
        default:
          return false;
      }
    } catch (...) {
      // A failing handler (say, of OnCursorPosChanged) must not reach Qt's event loop.
      return event->type() == QEvent::Paint;
    }
  }

 private:
  TKVXScope* owner_;
};

// ---- Scope ------------------------------------------------------------------------------------

TKVXScope::TKVXScope(platform::TComponent* AOwner)
    : platform::TComponent(AOwner),
      PaintThread_(std::make_unique<TScopePaintThread>(true)),
      Channel2_(std::make_unique<TKVXSCopeChaSettings>(1)),
      Channel3_(std::make_unique<TKVXSCopeChaSettings>(2)),
      Channel1_(std::make_unique<TKVXSCopeChaSettings>(0)),
      Channel4_(std::make_unique<TKVXSCopeChaSettings>(3)),
      ProcessData_(std::make_unique<TModProcessData>()),
      Filter_(std::make_unique<PaintBoxFilter>(this)) {
  // Colours first, callbacks after, so building the channels notifies nobody.
  Channel1_->SetColor(clBlue);
  Channel2_->SetColor(clRed);
  Channel3_->SetColor(clGreen);
  Channel4_->SetColor(clBlack);
  for (int n = 1; n <= 4; ++n) {
    TKVXSCopeChaSettings* settings = Channel(n);
    PaintThread_->ApplyChannelSettings(settings);
    settings->OnChange = [this](TObject* sender) { ChannelSettingsChanged(sender); };
    settings->OnSignalChange = [this](TObject* sender) { ChannelSignalChanged(sender); };
  }
  Cursors_ = std::make_unique<TScopeCusors>();
  Cursors_->T2->X = Cursors_->T2->Y = 300;
  Cursors_->A2->X = Cursors_->A2->Y = 300;

  PaintThread_->OnPainted = [this](TObject* sender) { ThreadPainted(sender); };
  PaintThread_->Start();
}

TKVXScope::~TKVXScope() {
  // The scope poll runs on another thread: its holder lets go of this scope (and waits for a
  // poll still handing over samples) while the scope is whole.
  NotifyRemoval();
  if (QWidget* box = DestPaintBox_.data()) {
    box->removeEventFilter(Filter_.get());
    QObject::disconnect(Filter_->destroyedConnection);
    box->update();
  }
  DestPaintBox_ = nullptr;
  DragCursor_ = nullptr;
  ProcessData_.reset();
  // Ends the frame loop and waits for it; frames it announced and the window thread has not
  // taken yet are dropped with it.
  PaintThread_.reset();
  Channel1_.reset();
  Channel2_.reset();
  Channel3_.reset();
  Channel4_.reset();
  Cursors_.reset();
  MemDC = QImage();
  Filter_.reset();
}

TKVXSCopeChaSettings* TKVXScope::Channel(int n) const {
  switch (n) {
    case 1:
      return Channel1_.get();
    case 2:
      return Channel2_.get();
    case 3:
      return Channel3_.get();
    case 4:
      return Channel4_.get();
    default:
      return nullptr;
  }
}

void TKVXScope::SetDestPaintBox(QWidget* Value) {
  if (Value == DestPaintBox_.data()) return;
  if (QWidget* old = DestPaintBox_.data()) {
    old->removeEventFilter(Filter_.get());
    QObject::disconnect(Filter_->destroyedConnection);
    old->update();
  }
  DragCursor_ = nullptr;
  DestPaintBox_ = Value;
  if (!Value) return;
  PaintThread_->SetWidth(Value->width());
  PaintThread_->SetHeight(Value->height());
  // Every pixel comes from the display buffer: the box need not clear itself first.
  Value->setAttribute(Qt::WA_OpaquePaintEvent);
  Value->installEventFilter(Filter_.get());
  Filter_->destroyedConnection = QObject::connect(Value, &QObject::destroyed, Filter_.get(),
                                                  [this] { PaintBoxDestroyed(); });
  PaintThread_->SetDestDC(&MemDC);
  Value->update();
}

void TKVXScope::PaintBoxDestroyed() {
  DestPaintBox_ = nullptr;
  DragCursor_ = nullptr;
}

void TKVXScope::SetGridColor(TColor Value) {
  GridColor_ = Value;
  PaintThread_->SetGridColor(Value);
}

void TKVXScope::SetDisplayColor(TColor Value) {
  DisplayColor_ = Value;
  PaintThread_->SetDisplayColor(Value);
}

void TKVXScope::SetTimeScalePerDiv(std::uint16_t Value) {
  TimeScalePerDiv_ = Value;
  PaintThread_->SetTimeScalePerDiv(Value);
}

void TKVXScope::SetRefreshRate(std::uint32_t Value) {
  RefreshRate_ = Value;
  PaintThread_->SetRefreshRate(Value);
}

void TKVXScope::SetDataSampleRate(std::uint32_t Value) {
  DataSampleRate_ = Value;
  PaintThread_->SetDataSampleRate(Value);
}

void TKVXScope::SetEnabled(bool Value) {
  if (Value == Enabled_) return;
  Enabled_ = Value;
  if (Value) PaintThread_->ClearData();
  PaintThread_->SetRunning(Value);
}

void TKVXScope::SetRunScope(bool Value) {
  RunScope_ = Value;
  PaintThread_->SetRunScope(Value);
}

void TKVXScope::SetSignalLineWidth(TSignalLineWidthKind Value) {
  SignalLineWidth_ = Value;
  PaintThread_->SetSignalLineWidth(Value);
}

void TKVXScope::SetCursorEnable(TCursors Value) {
  CursorEnable_ = Value;
  if (DestPaintBox_) DrawCursors(true);
}

void TKVXScope::SetCursorChannel(TCursorCha Value) {
  if (Value < 1 || Value > 4) return;
  CursorChannel_ = Value;
}

// ---- Process values and samples ---------------------------------------------------------------

void TKVXScope::SetProcessDataStructure(TModProcessData* ProcessData) {
  if (!ProcessData) return;
  ProcessData->CopyProcCommands(ProcessData_.get());
  // A new module may hold the same names at other places and with other factors.
  for (int n = 1; n <= 4; ++n) BindChannel(*Channel(n));
  if (OnProcessDataChanged) {
    TStringList names;
    for (int i = 0; i < ProcessData_->Count(); ++i)
      if (const TModProcCommand* cmd = ProcessData_->GetProcCommand(i)) names.push_back(cmd->Name);
    OnProcessDataChanged(this, names);
  }
}

void TKVXScope::BindChannel(const TKVXSCopeChaSettings& Settings) {
  const int idx = Settings.SignalName().empty() ? -1 : ProcessData_->IndexOf(Settings.SignalName());
  const TModProcCommand* cmd = idx < 0 ? nullptr : ProcessData_->GetProcCommand(idx);
  if (!cmd) {
    PaintThread_->SetChannelSource(Settings.Index(), -1, 1);
  } else {
    PaintThread_->SetChannelSource(Settings.Index(), idx, cmd->CompFactor);
  }
  std::lock_guard<std::mutex> lock(SignalNamesLock_);
  if (Settings.Index() >= 0 && Settings.Index() < 4)
    SignalNames_[static_cast<std::size_t>(Settings.Index())] = cmd ? cmd->Name : std::string();
}

void TKVXScope::ChannelSignalChanged(TObject* Sender) {
  if (const auto* settings = dynamic_cast<TKVXSCopeChaSettings*>(Sender)) BindChannel(*settings);
}

void TKVXScope::ChannelSettingsChanged(TObject* Sender) {
  const auto* settings = dynamic_cast<TKVXSCopeChaSettings*>(Sender);
  if (!settings) return;
  PaintThread_->ApplyChannelSettings(settings);
  if (!PaintThread_->Running()) {
    PaintThread_->PaintOnce();
    if (DestPaintBox_) DrawCursors(true);
  }
}

std::string TKVXScope::ChannelSignalName(int channel) const {
  if (channel < 1 || channel > 4) return std::string();
  std::lock_guard<std::mutex> lock(SignalNamesLock_);
  return SignalNames_[static_cast<std::size_t>(channel - 1)];
}

void TKVXScope::AddProcessData(TBaseProcDataObj* Obj) {
  if (!Obj || !RunScope_) return;
  PaintThread_->AddProcessData(Obj);
}

void TKVXScope::AddScopeData(TASCIIProcDataObj* Ch1, TASCIIProcDataObj* Ch2,
                             TASCIIProcDataObj* Ch3, TASCIIProcDataObj* Ch4) {
  if (!RunScope_) return;
  const TASCIIProcDataObj* const ch[4] = {Ch1, Ch2, Ch3, Ch4};
  PaintThread_->AddScopeData(ch);
  if (!OnScopeData) return;
  try {
    OnScopeData(Ch1, Ch2, Ch3, Ch4);
  } catch (...) {
    // The log's trouble is not the poll's: the samples are in, the scope goes on.
  }
}

// ---- Picture ----------------------------------------------------------------------------------

void TKVXScope::ThreadPainted(TObject* /*Sender*/) {
  QWidget* box = DestPaintBox_.data();
  if (!box || !Enabled_) return;  // what changed meanwhile is shown with the next frame
  // Only what the frames changed is copied to the box; the cursors are drawn over it again.
  const QRegion damage = PaintThread_->TakeDamage();
  if (!damage.isEmpty()) box->update(damage);
}

void TKVXScope::DrawCursors(bool /*Copy*/) {
  // A widget paints only in its paint event: ask for one, which copies the display buffer and
  // draws the enabled cursors over it.
  if (QWidget* box = DestPaintBox_.data()) box->update();
}

void TKVXScope::PaintBoxPaint(const QRegion& Area) {
  QWidget* box = DestPaintBox_.data();
  if (!box) return;
  const int w = box->width(), h = box->height();
  if (w != PaintThread_->Width() || h != PaintThread_->Height()) {
    PaintThread_->SetWidth(w);
    PaintThread_->SetHeight(h);
    // Resizes the display buffer under the paint lock; the next frame fills in the curves.
    PaintThread_->SetDestDC(&MemDC);
  }
  QPainter p(box);
  {
    std::lock_guard<std::mutex> lock(PaintThread_->Lock());
    if (MemDC.isNull()) {
      p.fillRect(box->rect(), ColorToQColor(DisplayColor_));
    } else {
      // Piece by piece, each a plain copy on this thread: the toolkit hands a large copy to
      // helper threads, and waking them for every frame costs more than the copy itself.
      const QRegion area = Area.isEmpty() ? QRegion(box->rect()) : Area;
      for (const QRect& r : area) {
        const int rows = std::max(1, kCopyPixels / std::max(1, r.width()));
        for (int y = r.top(); y <= r.bottom(); y += rows) {
          const QRect piece(r.left(), y, r.width(), std::min(rows, r.bottom() - y + 1));
          p.setClipRect(piece);
          p.drawImage(piece.topLeft(), MemDC, piece);
        }
      }
      p.setClipping(false);
    }
  }
  p.setPen(CursorPen());
  DrawScopeCursors(p, *Cursors_, CursorEnable_, w, h);
}

bool TKVXScope::CopyToBitmap(QImage* Bitmap) {
  QWidget* box = DestPaintBox_.data();
  if (!Bitmap || !box) return false;
  *Bitmap = QImage(box->width(), box->height(), QImage::Format_RGB32);
  if (Bitmap->isNull()) return false;
  Bitmap->fill(ColorToQColor(DisplayColor_));
  QPainter p(Bitmap);
  {
    std::lock_guard<std::mutex> lock(PaintThread_->Lock());
    if (!MemDC.isNull()) {
      p.setCompositionMode(QPainter::CompositionMode_Source);
      p.drawImage(0, 0, MemDC);
      p.setCompositionMode(QPainter::CompositionMode_SourceOver);
    }
  }
  p.setPen(CursorPen());
  DrawScopeCursors(p, *Cursors_, CursorEnable_, Bitmap->width(), Bitmap->height());
  return true;
}

// ---- Cursors ----------------------------------------------------------------------------------

void TKVXScope::GetCursorInfo(TCursorInfo& Info) const {
  const QWidget* box = DestPaintBox_.data();
  if (!box) {
    Info = TCursorInfo();
    return;
  }
  const TKVXSCopeChaSettings* settings = Channel(CursorChannel_);
  if (!settings) settings = Channel1_.get();
  Info = ScopeCursorInfo(*Cursors_, box->width(), box->height(), TimeScalePerDiv_,
                         settings->YScalePerDiv(), settings->YZeroOffset());
}

void TKVXScope::PaintBoxMouseDown(Qt::MouseButton Button, Qt::MouseButtons Buttons,
                                  Qt::KeyboardModifiers Modifiers, int X, int Y) {
  if (!DestPaintBox_) return;
  // Left button alone, no modifier key: the right button stays free for the pop-up menu.
  if (Button != Qt::LeftButton || Buttons != Qt::LeftButton || (Modifiers & kModifierKeys))
    return;
  DragCursor_ = Cursors_->HitTest(X, Y);
  MouseX_ = X;
  MouseY_ = Y;
}

void TKVXScope::PaintBoxMouseMove(Qt::MouseButtons Buttons, Qt::KeyboardModifiers Modifiers,
                                  int X, int Y) {
  if (!DestPaintBox_ || !DragCursor_) return;
  if (Buttons != Qt::LeftButton || (Modifiers & kModifierKeys)) return;
  DragCursor_->Y = Y;
  DragCursor_->X = X;
  MouseX_ = X;
  MouseY_ = Y;
  DrawCursors(true);
  if (OnCursorPosChanged) {
    TCursorInfo info;
    GetCursorInfo(info);
    OnCursorPosChanged(this, info);
  }
}

void TKVXScope::PaintBoxMouseUp() { DragCursor_ = nullptr; }
