#include "services/osBusyMode.h"

#include <QApplication>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QWidget>
#include <QTextCursor>
#include <QTextDocument>
#include <QWindow>
#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <mutex>
#include <system_error>
#include <thread>

#include "platform/Threads.h"
#include "services/osAdvMsgDlg.h"
#include "services/osDialogHooks.h"

namespace {

// A job that ends within this time never shows its view: no flicker for a quick command.
constexpr qint64 kShowAfterMs = 300;
// The windows paint at least this often while a job runs (and not much more often: every pump
// costs the line a little of the window thread's time).
constexpr qint64 kPumpEveryMs = 40;

bool IsUserInput(QEvent::Type Type) {
  switch (Type) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::NonClientAreaMouseButtonPress:
    case QEvent::NonClientAreaMouseButtonRelease:
    case QEvent::NonClientAreaMouseButtonDblClick:
    case QEvent::Wheel:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::Shortcut:
    case QEvent::ContextMenu:
    case QEvent::InputMethod:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::TabletPress:
    case QEvent::TabletRelease:
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::Drop:
      return true;
    default:
      return false;
  }
}

// The widget an event for Receiver belongs to: itself, or the widget that owns an action or a
// shortcut.
const QWidget* OwningWidget(const QObject* Receiver) {
  for (const QObject* o = Receiver; o; o = o->parent())
    if (o->isWidgetType()) return static_cast<const QWidget*>(o);
  return nullptr;
}

// "16 MB", "20.5 MB", "812 KB": sizes as a user reads them.
std::string SizeText(std::uint64_t Bytes) {
  char buf[32];
  if (Bytes >= 1024ull * 1024 * 1024)
    std::snprintf(buf, sizeof buf, "%.1f GB", static_cast<double>(Bytes) / (1024.0 * 1024 * 1024));
  else if (Bytes >= 1024ull * 1024)
    std::snprintf(buf, sizeof buf, "%.1f MB", static_cast<double>(Bytes) / (1024.0 * 1024));
  else
    std::snprintf(buf, sizeof buf, "%.0f KB", static_cast<double>(Bytes) / 1024.0);
  std::string s = buf;
  // Whole numbers without a decimal: "16 MB", not "16.0 MB".
  const std::size_t dot = s.find(".0 ");
  if (dot != std::string::npos) s.erase(dot, 2);
  return s;
}

// The piece of a text appended at a time: a few milliseconds of work.
constexpr qsizetype kPieceChars = 64 * 1024;

}  // namespace

TBusyMode& TBusyMode::Instance() {
  static TBusyMode* mode = new TBusyMode;  // lives as long as the program
  return *mode;
}

bool TBusyMode::CanStop() const {
  for (const TFrame& f : Frames_)
    if (f.CanStop) return true;
  return false;
}

void TBusyMode::RequestStop() {
  if (!Active() || !CanStop() || StopRequested_) return;
  StopRequested_ = true;
  ShowTop(true);
}

void TBusyMode::Begin(IBusyView* View, const QString& Text, bool CanStop) {
  if (Frames_.empty()) {
    StopRequested_ = false;
    SinceStart_.start();
    SincePump_.start();
    Blocked_.clear();
    for (QWidget* w : QApplication::topLevelWidgets())
      if (w->isVisible()) Blocked_.emplace_back(w);
    qApp->installEventFilter(this);
    QApplication::setOverrideCursor(Qt::WaitCursor);
    platform::SetWaitHook([] { TBusyMode::Instance().Pump(); });
  }
  TFrame frame;
  frame.View = View;
  frame.Text = Text;
  frame.CanStop = CanStop;
  Frames_.push_back(frame);
  ShowTop(false);
}

void TBusyMode::End() {
  if (Frames_.empty()) return;
  const TFrame done = Frames_.back();
  Frames_.pop_back();
  IBusyView* outerView = nullptr;
  for (auto it = Frames_.rbegin(); it != Frames_.rend() && !outerView; ++it) outerView = it->View;
  if (done.Shown && done.View && done.View != outerView) done.View->BusyHide();
  if (!Frames_.empty()) {
    ShowTop(false);
    return;
  }
  platform::SetWaitHook(nullptr);
  QApplication::restoreOverrideCursor();
  qApp->removeEventFilter(this);
  Blocked_.clear();
  StopRequested_ = false;
  // What waited for the end runs from the event loop, after the handler that ran the job.
  std::vector<std::pair<QPointer<QObject>, std::function<void()>>> deferred;
  deferred.swap(Deferred_);
  for (auto& [context, call] : deferred)
    if (context)
      QMetaObject::invokeMethod(
          context.data(), [ctx = context, call] { TBusyMode::Instance().WhenIdle(ctx.data(), call); },
          Qt::QueuedConnection);
  std::vector<QPointer<QWidget>> closing;
  closing.swap(PendingClose_);
  for (const QPointer<QWidget>& w : closing)
    if (w) QMetaObject::invokeMethod(w.data(), [w] { if (w) w->close(); }, Qt::QueuedConnection);
  // Calls other threads handed to the window thread meanwhile. A job begun by then (the handler
  // that ran this one may start the next) keeps them waiting: its own end hands them on again.
  if (QCoreApplication* app = QCoreApplication::instance())
    QMetaObject::invokeMethod(
        app,
        [] {
          if (!TBusyMode::Instance().Active()) platform::MainThread::CheckSynchronize();
        },
        Qt::QueuedConnection);
}

void TBusyMode::Update(const QString& Text, qint64 Position, qint64 Max) {
  if (Frames_.empty()) return;
  TFrame& f = Frames_.back();
  f.Text = Text;
  f.Position = Position;
  f.Max = Max;
  ShowTop(false);
  Pump();
}

void TBusyMode::ShowTop(bool Now) {
  if (Frames_.empty()) return;
  // The innermost job with a view of its own shows; an inner job without one speaks through it.
  TFrame* shown = nullptr;
  for (auto it = Frames_.rbegin(); it != Frames_.rend() && !shown; ++it)
    if (it->View) shown = &*it;
  if (!shown) return;
  TFrame& top = Frames_.back();
  if (!shown->Shown && !Now && SinceStart_.elapsed() < kShowAfterMs) return;
  shown->Shown = true;
  QString text = top.Text;
  if (StopRequested_) text += QStringLiteral(" - stopping after the command in flight");
  shown->View->BusyShow(text, top.Position, top.Max, CanStop() && !StopRequested_);
}

void TBusyMode::Pump(bool Force) {
  if (!Active() || Pumping_) return;
  const qint64 gap = SincePump_.elapsed();
  if (!Force && gap < kPumpEveryMs) return;
  ShowTop(false);
  Pumping_ = true;
  {
    // What the events start is no step of the job: the protocol refuses it the line.
    const platform::TPumpScope pump;
    QCoreApplication::processEvents(QEventLoop::AllEvents);
  }
  Pumping_ = false;
  SincePump_.restart();
}

void TBusyMode::WhenIdle(QObject* Context, std::function<void()> Call) {
  if (!Context) return;
  if (!Active()) {
    Call();
    return;
  }
  Deferred_.emplace_back(Context, std::move(Call));
}

void TBusyMode::RunAside(const std::function<void()>& Work) {
  if (!Active()) {
    Work();
    return;
  }
  std::mutex m;
  std::condition_variable cv;
  bool done = false;
  std::exception_ptr failure;
  std::thread worker([&] {
    try {
      Work();
    } catch (...) {
      failure = std::current_exception();
    }
    std::lock_guard<std::mutex> lock(m);
    done = true;
    cv.notify_all();
  });
  for (;;) {
    {
      std::unique_lock<std::mutex> lock(m);
      if (cv.wait_for(lock, platform::WaitHookInterval, [&] { return done; })) break;
    }
    Pump();
  }
  worker.join();
  if (failure) std::rethrow_exception(failure);
}

bool TBusyMode::TakesInput(const QObject* Receiver) const {
  for (const TFrame& f : Frames_)
    if (f.View && f.View->BusyTakesInput(Receiver)) return true;
  // A window's own event goes on to its widget, which is judged there.
  if (Receiver->isWindowType()) return true;
  // An action or a shortcut goes with the window that owns it.
  const QWidget* w = OwningWidget(Receiver);
  if (!w) return false;
  const QWidget* top = w->window();
  return std::none_of(Blocked_.begin(), Blocked_.end(),
                      [top](const QPointer<QWidget>& b) { return b.data() == top; });
}

bool TBusyMode::eventFilter(QObject* Watched, QEvent* Event) {
  if (!Active()) return false;
  if (Event->type() == QEvent::Close && Watched->isWidgetType()) {
    auto* w = static_cast<QWidget*>(Watched);
    if (!w->isWindow() || TakesInput(w)) return false;
    // A window that shows a job of its own which cannot be stopped (the firmware assistant's
    // step) refuses the close at once: carried out after the job, it would break off the work
    // the job began.
    if (std::any_of(Frames_.begin(), Frames_.end(), [w](const TFrame& f) {
          return !f.CanStop && f.View && dynamic_cast<QWidget*>(f.View) == w;
        })) {
      Event->ignore();
      return true;
    }
    // Answered when the work has ended.
    if (std::none_of(PendingClose_.begin(), PendingClose_.end(),
                     [w](const QPointer<QWidget>& p) { return p.data() == w; }))
      PendingClose_.emplace_back(w);
    Event->ignore();
    return true;
  }
  if (!IsUserInput(Event->type()) || TakesInput(Watched)) return false;
  if (Event->type() == QEvent::KeyPress &&
      static_cast<QKeyEvent*>(Event)->key() == Qt::Key_Escape)
    RequestStop();
  return true;
}

// ---- TBusyJob ------------------------------------------------------------------------------------

TBusyJob::TBusyJob(IBusyView* View, const QString& Text, bool CanStop) {
  TBusyMode::Instance().Begin(View, Text, CanStop);
}

TBusyJob::~TBusyJob() { TBusyMode::Instance().End(); }

void TBusyJob::Progress(const QString& Text, qint64 Position, qint64 Max) {
  TBusyMode::Instance().Update(Text, Position, Max);
}

// ---- TBusyPanel ----------------------------------------------------------------------------------

TBusyPanel::TBusyPanel(QWidget* Parent) : QFrame(Parent) {
  setObjectName("BusyPanel");
  setAccessibleName("Work in progress");
  setFrameShape(QFrame::StyledPanel);
  setFrameShadow(QFrame::Raised);
  TextLabel = new QLabel(this);
  TextLabel->setObjectName("BusyText");
  Bar = new QProgressBar(this);
  Bar->setObjectName("BusyProgress");
  Bar->setAccessibleName("Progress");
  Bar->setTextVisible(false);
  Bar->setFixedWidth(220);
  NoStopLabel = new QLabel("cannot be stopped", this);
  NoStopLabel->setObjectName("BusyNoStop");
  CancelButton = new QPushButton("Cancel", this);
  CancelButton->setObjectName("BusyCancel");
  CancelButton->setToolTip("Stop after the command in flight (Esc)");
  CancelButton->setAutoDefault(false);
  CancelButton->setFocusPolicy(Qt::NoFocus);
  auto* row = new QHBoxLayout(this);
  row->setContentsMargins(8, 3, 8, 3);
  row->addWidget(TextLabel, 1);
  row->addWidget(Bar);
  row->addWidget(NoStopLabel);
  row->addWidget(CancelButton);
  connect(CancelButton, &QPushButton::clicked, this, [] { TBusyMode::Instance().RequestStop(); });
  hide();
}

void TBusyPanel::BusyShow(const QString& Text, qint64 Position, qint64 Max, bool CanStop) {
  TextLabel->setText(Text);
  TextLabel->setAccessibleName(Text);
  if (Max > 0) {
    // The bar counts in a range an int holds.
    const qint64 divisor = Max / 1000000 + 1;
    Bar->setRange(0, static_cast<int>(Max / divisor));
    Bar->setValue(static_cast<int>(std::min(Position, Max) / divisor));
  } else {
    Bar->setRange(0, 0);  // busy, without a count
  }
  CancelButton->setVisible(CanStop || TBusyMode::Instance().StopRequested());
  CancelButton->setEnabled(CanStop);
  NoStopLabel->setVisible(!CanStop && !TBusyMode::Instance().StopRequested());
  show();
}

void TBusyPanel::BusyHide() { hide(); }

bool TBusyPanel::BusyTakesInput(const QObject* Receiver) const {
  return Receiver == CancelButton && CancelButton->isVisible() && CancelButton->isEnabled();
}

// ---- Big files -------------------------------------------------------------------------------------

bool FileWithinLimit(const std::string& FileName, std::uint64_t Limit) {
  std::error_code ec;
  const std::uintmax_t size = std::filesystem::file_size(FileName, ec);
  if (ec || size <= Limit) return true;
  AdvMessageDlg("The file \"" + FileNameShown(FileName) + "\" is too large to open: " + SizeText(size) +
                    " (the limit is " + SizeText(Limit) + ").",
                mtError, {mbOK}, 0);
  return false;
}

void FillDocumentInPieces(QTextDocument* Doc, const QString& Text) {
  QTextCursor cursor(Doc);
  cursor.movePosition(QTextCursor::End);
  for (qsizetype at = 0; at < Text.size(); at += kPieceChars) {
    cursor.insertText(Text.mid(at, kPieceChars));
    TBusyMode::Instance().Pump();
  }
}
