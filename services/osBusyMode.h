// The window's one busy mode. Long work started from a window (connecting, identifying, the
// module data commands, parameter files, firmware, big files) runs on the window thread inside a
// busy job. While one runs:
// - every wait of the window thread on the line or in a pause lets the windows paint (about
//   every 40 ms), and the job's progress reaches the window that started it;
// - no key, click, shortcut, menu or close request of the user reaches a window that was open
//   when the job began, except the job's own Cancel (its button, and Esc where it can stop);
//   windows the job itself opens (a question, a file choice) take input as usual;
// - a close request is kept and carried out when the job has ended (refused at once by a window
//   that is itself the view of a job that cannot be stopped);
// - calls handed to the window thread by other threads (a poll timer's tick, received
//   characters) and calls deferred with WhenIdle wait until the job has ended.
// Jobs nest: an inner job shares the outer one's stop request and shows on its own view.
#pragma once

#include <QElapsedTimer>
#include <QFrame>
#include <QObject>
#include <QPointer>
#include <QString>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class QLabel;
class QProgressBar;
class QPushButton;
class QTextDocument;
class QWidget;

// Where a window shows that it is busy.
class IBusyView {
 public:
  virtual ~IBusyView() = default;
  // What runs and how far (Max 0: not countable); CanStop: whether a Cancel is offered.
  virtual void BusyShow(const QString& Text, qint64 Position, qint64 Max, bool CanStop) = 0;
  virtual void BusyHide() = 0;
  // True for the view's own controls, whose input passes while busy.
  virtual bool BusyTakesInput(const QObject* Receiver) const = 0;
};

class TBusyMode : public QObject {
 public:
  static TBusyMode& Instance();

  bool Active() const { return !Frames_.empty(); }
  // The running job may be stopped, and the user asked for it.
  bool CanStop() const;
  bool StopRequested() const { return StopRequested_; }
  // Asks the running job to stop (its Cancel, Esc). Nothing when it cannot be stopped.
  void RequestStop();
  // Lets the windows paint and the job's own controls work. Between two calls at least 40 ms
  // pass unless Force.
  void Pump(bool Force = false);
  // New text and progress of the innermost job; lets the windows paint when it is time.
  void Update(const QString& Text, qint64 Position, qint64 Max);
  // Runs Call at once when no job runs, else (queued) when the jobs have ended. Nothing when
  // Context has gone by then.
  void WhenIdle(QObject* Context, std::function<void()> Call);
  // Runs Work on a thread of its own while the window thread keeps pumping; Work must touch no
  // widget and nothing the windows read. Outside a job it runs in place. An exception of Work
  // is raised again here.
  void RunAside(const std::function<void()>& Work);

 protected:
  bool eventFilter(QObject* Watched, QEvent* Event) override;

 private:
  friend class TBusyJob;
  struct TFrame {
    IBusyView* View = nullptr;
    QString Text;
    qint64 Position = 0;
    qint64 Max = 0;
    bool CanStop = false;
    bool Shown = false;
  };
  TBusyMode() = default;
  void Begin(IBusyView* View, const QString& Text, bool CanStop);
  void End();
  // Shows the top frame once the job has run for a moment, and keeps it up to date.
  void ShowTop(bool Now);
  bool TakesInput(const QObject* Receiver) const;

  std::vector<TFrame> Frames_;
  bool StopRequested_ = false;
  bool Pumping_ = false;
  QElapsedTimer SinceStart_;
  QElapsedTimer SincePump_;
  // Windows visible when the outermost job began: their input waits.
  std::vector<QPointer<QWidget>> Blocked_;
  std::vector<QPointer<QWidget>> PendingClose_;
  std::vector<std::pair<QPointer<QObject>, std::function<void()>>> Deferred_;
};

// One job of the busy mode, for the life of a scope: the busy cursor, the blocked input and the
// view's progress display begin with it and end with it, whichever way the scope is left.
class TBusyJob {
 public:
  // View may be null (an inner job then shows on the outer job's view).
  TBusyJob(IBusyView* View, const QString& Text, bool CanStop = false);
  ~TBusyJob();
  TBusyJob(const TBusyJob&) = delete;
  TBusyJob& operator=(const TBusyJob&) = delete;

  // New text and progress; lets the windows paint when it is time.
  void Progress(const QString& Text, qint64 Position = 0, qint64 Max = 0);
};

// The strip a window shows at its bottom while busy: what runs, a progress bar and Cancel.
class TBusyPanel : public QFrame, public IBusyView {
 public:
  explicit TBusyPanel(QWidget* Parent = nullptr);
  void BusyShow(const QString& Text, qint64 Position, qint64 Max, bool CanStop) override;
  void BusyHide() override;
  bool BusyTakesInput(const QObject* Receiver) const override;

  QLabel* TextLabel = nullptr;
  QProgressBar* Bar = nullptr;
  QPushButton* CancelButton = nullptr;
  QLabel* NoStopLabel = nullptr;
};

// The limit of the text files a window reads whole (terminal files, the document viewer).
constexpr std::uint64_t TextFileLimit = 16ull * 1024 * 1024;
// A file a window reads whole: false, after a message naming its size and the limit, when it is
// larger than Limit bytes. A file that cannot be sized passes (its reader names the reason).
bool FileWithinLimit(const std::string& FileName, std::uint64_t Limit);
// Appends Text to Doc piece by piece, letting the windows paint between the pieces (inside a
// busy job; at once outside one). Doc should not be shown yet: it is laid out when it is.
void FillDocumentInPieces(QTextDocument* Doc, const QString& Text);
