// The scope data log: while the scope runs, every sample set it receives becomes one text line of
// a log file, for evaluation in other tools. Each Start appends a header block naming the four
// channels; the file is only ever appended to.
//
// Threads: the file name is set on the window thread (at Start and when the log dialog closes)
// and read under a lock by whichever thread appends, so the scope's poll thread never reads a
// widget. Each line is one open-append-close under that lock, so a line never lands in a file
// after another name was set; no file handle is shared between threads.
//
// Format: lines end CR LF; texts are Windows-1252 bytes; a line starts with the local time
// "DD.MM.YYYY hh:mm:ss:zzz" followed by four fields of at least 10 characters, right-aligned.
#pragma once

#include <array>
#include <chrono>
#include <mutex>
#include <stdexcept>
#include <string>

class TASCIIProcDataObj;

// A log file that could not be created: "Datei " + name + " konnte nicht erstellt werden."
class EScopeDataFile : public std::runtime_error {
 public:
  explicit EScopeDataFile(const std::string& FileName);
  // The name as given (file-system bytes).
  const std::string& FileName() const { return FileName_; }

 private:
  std::string FileName_;
};

class TScopeDataLog {
 public:
  // Empty: no log is written.
  void SetFileName(const std::string& Name);
  std::string FileName() const;

  // Window thread, at Start: creates the named file empty when it does not exist; an existing
  // file is not changed. Raises EScopeDataFile when no regular file of that name exists then.
  void CreateScopeDataFile();
  // Window thread, at Start after CreateScopeDataFile and before the scope runs: the four header
  // lines, the third naming the channels (the texts of the four signal boxes), in one write, so
  // no sample line lands inside them.
  void WriteScopeDataHeader(const std::array<std::string, 4>& ChannelNames);
  // Any thread: one line for a sample set; nullptr stands for a channel without a sample.
  void AppendScopeData(const TASCIIProcDataObj* Ch1, const TASCIIProcDataObj* Ch2,
                       const TASCIIProcDataObj* Ch3, const TASCIIProcDataObj* Ch4);
  // Any thread: Line and CR LF appended to the file. The file is never created here, so one
  // deleted while the scope runs stays deleted; errors are not reported.
  void AppendScopeDataLine(const std::string& Line);

 private:
  mutable std::mutex Lock_;
  std::string FileName_;
};

// "%10d" of the sample's value, or "%10s" of "---" when there is no sample.
std::string FormatScopeChannelValue(const TASCIIProcDataObj* Sample);
// "DD.MM.YYYY hh:mm:ss:zzz" of a moment in local time.
std::string FormatScopeDataTimeStamp(std::chrono::system_clock::time_point Time);
// The four header lines (without line ends) for a time stamp and the channel names.
std::array<std::string, 4> ScopeDataHeaderLines(const std::string& TimeStamp,
                                                const std::array<std::string, 4>& ChannelNames);
