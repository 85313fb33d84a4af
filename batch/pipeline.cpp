#include "batch/pipeline.hpp"

#include <pthread.h>
#include <sched.h>
#include <signal.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#include "app/command_line.hpp"
#include "app/common.hpp"
#include "batch/cached_scan.hpp"
#include "batch/file_report.hpp"
#include "batch/names.hpp"
#include "batch/report_output.hpp"
#include "scan/scan_tag.hpp"

namespace id3sniff {
namespace {

// How long a stopping run waits for its readers between signals, and how many signals it sends
// before it gives up on a reader that no signal reaches (a read that cannot be interrupted).
constexpr std::chrono::milliseconds kStopWait{10};
constexpr int kStopSignals = 200;
// Files read one after another without a wait, per reader, after which the readers leave the
// files to the calling thread: handing over files that cost no wait only adds work. A read from
// a device takes longer than kWaited; one from memory, scan included, takes far less.
constexpr std::size_t kWarmRunPerReader = 2;
constexpr std::chrono::microseconds kWaited{50};
// The fewest files for which helpers start: below, starting a thread costs more than it saves.
constexpr std::size_t kHelpedFrom = 32;
// No file is being waited for.
constexpr std::size_t kNone = ~std::size_t{0};

// The signal that interrupts a reader waiting on a file (a FIFO with no writer, a read that does
// not end) when the run stops; its handler does nothing, so the wait ends with EINTR.
int InterruptSignal() { return SIGRTMIN; }
void OnInterrupt(int /*signal*/) {}

// Returns the cores this process may run on, less the calling thread's.
std::size_t SpareCores() {
  cpu_set_t cores;
  if (sched_getaffinity(0, sizeof cores, &cores) != 0) return 0;
  const int count = CPU_COUNT(&cores);
  return count > 1 ? static_cast<std::size_t>(count - 1) : 0;
}

void InstallInterruptHandler() {
  struct sigaction action {};
  action.sa_handler = OnInterrupt;
  sigemptyset(&action.sa_mask);
  action.sa_flags = 0;  // no SA_RESTART: the interrupted call returns
  sigaction(InterruptSignal(), &action, nullptr);
}

// One a run: its members are grouped by the threads that touch them, not packed.
class Pipeline {  // NOLINT(clang-analyzer-optin.performance.Padding)
 public:
  Pipeline(Names& names, int jobs, ReportStyle style, ReportOutput& output)
      : names_(names),
        readers_wanted_(static_cast<std::size_t>(jobs) - 1),
        helpers_(std::min(readers_wanted_, SpareCores())),
        style_(style),
        output_(output),
        slots_(static_cast<std::size_t>(jobs) * kSlotsPerJob) {}
  Pipeline(const Pipeline&) = delete;
  Pipeline& operator=(const Pipeline&) = delete;
  ~Pipeline() { StopReaders(); }

  int Run();

 private:
  struct Slot {
    std::string path;  // the file's name, set before the file can be claimed
    FileReport report;
    std::atomic<bool> done{false};  // report is the file's, ready to be written
  };

  Slot& SlotOf(std::size_t file) { return slots_[file % slots_.size()]; }
  bool Produce();
  bool Exhausted() const;
  std::size_t Claim();
  void NoteReadTime(std::chrono::steady_clock::duration took);
  bool ScanHere(std::size_t file);
  void ScanInReader(std::size_t file, ScanState& state);
  void Finish(std::size_t file);
  bool WriteReady();
  bool Claimable() const;
  void WaitForHead(bool or_claimable);
  void StartReaders(std::size_t total);
  void OpenGate();
  void CloseGate();
  void ReadFiles(bool helper);
  int Fail();
  void StopReaders();

  Names& names_;                // the calling thread's alone
  std::size_t readers_wanted_;  // the readers that start at the first file that would wait
  std::size_t helpers_;         // of those, the first, which take files whatever the gate says
  ReportStyle style_;
  ReportOutput& output_;        // the calling thread's alone
  std::vector<Slot> slots_;     // file i in slot i % size, from its name to its report's write
  ScanState state_;             // the calling thread's, for the files it scans itself
  std::size_t written_ = 0;     // the calling thread's count of files written
  bool output_broken_ = false;  // a write failed while names were being taken

  std::atomic<std::size_t> produced_{0};        // files named so far
  std::atomic<bool> names_ended_{false};        // every file is named
  std::atomic<std::size_t> next_{0};            // the next file to claim
  std::atomic<std::size_t> head_{0};            // the next file to write, as readers see it
  std::atomic<std::size_t> waited_for_{kNone};  // the file the calling thread sleeps on
  std::atomic<bool> gate_open_{false};          // readers take files
  std::atomic<std::size_t> warm_run_{0};        // readers' files read without a wait in a row
  std::atomic<std::size_t> sleepers_{0};        // readers asleep for want of a file to take
  std::atomic<bool> stop_{false};               // the run is stopping: readers give up their waits

  std::mutex mutex_;                   // held to sleep and to wake sleepers
  std::condition_variable head_done_;  // waited_for_ is done
  std::condition_variable may_claim_;  // the gate opened, the head moved, or the run stops
  std::size_t running_ = 0;            // readers started and not ended, guarded by mutex_
  std::vector<std::thread> readers_;   // touched by the calling thread only
  bool out_of_threads_ = false;        // a reader could not be started; the calling thread's
};

// Returns true when a file is left to claim and its slot is free.
bool Pipeline::Claimable() const {
  const std::size_t file = next_.load();
  return file < produced_.load() && file < head_.load() + slots_.size();
}

// Returns true when every file is named and claimed: a reader has nothing more to wait for.
bool Pipeline::Exhausted() const { return names_ended_.load() && next_.load() >= produced_.load(); }

// Names files into the free slots. The names may come from a walk or a pipe, which may wait:
// what is ready is written before each such wait. Returns false when the output fails.
bool Pipeline::Produce() {
  const std::size_t before = produced_.load();
  std::size_t file = before;
  while (!names_ended_.load() && file < written_ + slots_.size()) {
    if (!names_.Next(SlotOf(file).path)) {
      names_ended_.store(true);
      break;
    }
    produced_.store(++file);
  }
  if ((file != before || names_ended_.load()) && sleepers_.load() > 0) {
    const std::lock_guard<std::mutex> lock(mutex_);
    may_claim_.notify_all();
  }
  return !output_broken_;
}

// Claims the next file if its slot is free; returns kNone when every file is claimed or the
// slots are all taken.
std::size_t Pipeline::Claim() {
  std::size_t file = next_.load();
  while (file < produced_.load() && file < head_.load() + slots_.size()) {
    if (next_.compare_exchange_weak(file, file + 1)) return file;
  }
  return kNone;
}

// Counts the readers' files that took no wait, one after another; after enough of them the
// readers leave the files to the calling thread.
void Pipeline::NoteReadTime(std::chrono::steady_clock::duration took) {
  if (took >= kWaited) {
    if (warm_run_.load(std::memory_order_relaxed) != 0) warm_run_.store(0);
  } else if (warm_run_.fetch_add(1) + 1 >= kWarmRunPerReader * readers_wanted_ &&
             gate_open_.load()) {
    CloseGate();
  }
}

// The calling thread's scan of a claimed file: from memory if it is there; else the readers
// start on the files after it, and it is read here once all before it are written, so that if
// it never ends it holds back only what follows it. Returns false when the output fails.
bool Pipeline::ScanHere(std::size_t file) {
  ResetScanState(state_);
  const std::string& path = SlotOf(file).path;
  CachedFile cached(path.c_str());
  FileScan scan = FileScan::Complete;
  int error = 0;
  if (!cached.ScanFromMemory(state_)) {
    OpenGate();
    while (written_ < file) {
      if (!WriteReady() || !output_.Flush()) return false;
      if (written_ < file) WaitForHead(false);
    }
    if (!output_.Flush()) return false;
    ResetScanState(state_);
    scan = cached.ScanWaiting(state_, {.advise_random = true, .stop = &stop_, .error = &error});
  }
  MakeReport(path, scan, error, state_, style_, SlotOf(file).report);
  Finish(file);
  return true;
}

// A reader's scan of a claimed file. Readers read as usual, without first trying the memory:
// in a cold scan that try would fail for nearly every file. How long the file took tells
// whether it was in memory.
void Pipeline::ScanInReader(std::size_t file, ScanState& state) {
  ResetScanState(state);
  const auto start = std::chrono::steady_clock::now();
  const std::string& path = SlotOf(file).path;
  int error = 0;
  const FileScan scan =
      ScanFile(path.c_str(), state, {.advise_random = true, .stop = &stop_, .error = &error});
  NoteReadTime(std::chrono::steady_clock::now() - start);
  MakeReport(path, scan, error, state, style_, SlotOf(file).report);
  Finish(file);
}

// Marks a scanned file's report ready, and wakes the calling thread if it sleeps on it.
void Pipeline::Finish(std::size_t file) {
  SlotOf(file).done.store(true);
  if (waited_for_.load() == file) {
    const std::lock_guard<std::mutex> lock(mutex_);
    head_done_.notify_one();
  }
}

// Writes the reports that are ready, in order; returns false when the output fails.
bool Pipeline::WriteReady() {
  const std::size_t before = written_;
  while (written_ < produced_.load() && SlotOf(written_).done.load()) {
    Slot& slot = SlotOf(written_++);
    slot.done.store(false, std::memory_order_relaxed);
    if (!output_.Add(slot.path, slot.report)) return false;
  }
  if (written_ != before) {
    head_.store(written_);
    if (sleepers_.load() > 0) {
      const std::lock_guard<std::mutex> lock(mutex_);
      may_claim_.notify_all();
    }
  }
  return true;
}

// Sleeps until the oldest report not written is ready, or, with or_claimable, until the readers
// leave a file for this thread to claim.
void Pipeline::WaitForHead(bool or_claimable) {
  std::unique_lock<std::mutex> lock(mutex_);
  waited_for_.store(written_);
  head_done_.wait(lock, [this, or_claimable] {
    return SlotOf(written_).done.load() || (or_claimable && !gate_open_.load() && Claimable());
  });
  waited_for_.store(kNone);
}

// Starts readers until there are total, the helpers first.
void Pipeline::StartReaders(std::size_t total) {
  if (readers_.empty()) InstallInterruptHandler();
  while (readers_.size() < total && !out_of_threads_) {
    {
      const std::lock_guard<std::mutex> lock(mutex_);
      ++running_;
    }
    try {
      readers_.emplace_back(&Pipeline::ReadFiles, this, readers_.size() < helpers_);
    } catch (const std::system_error&) {
      // No more threads to be had: the readers there are do the work, or else this thread.
      const std::lock_guard<std::mutex> lock(mutex_);
      --running_;
      out_of_threads_ = true;
    }
  }
}

// Lets all the readers take files, starting those not started yet.
void Pipeline::OpenGate() {
  gate_open_ = true;
  StartReaders(readers_wanted_);
  if (sleepers_.load() > 0) {
    const std::lock_guard<std::mutex> lock(mutex_);
    may_claim_.notify_all();
  }
}

// Leaves the files to the calling thread, and wakes it if it sleeps.
void Pipeline::CloseGate() {
  gate_open_.store(false);
  if (waited_for_.load() != kNone) {
    const std::lock_guard<std::mutex> lock(mutex_);
    head_done_.notify_one();
  }
}

int Pipeline::Run() {
  // A walk or a list may wait for its names: what is ready is written first.
  names_.set_before_wait([this] {
    if (!WriteReady() || !output_.Flush()) output_broken_ = true;
  });
  bool helped = false;
  for (;;) {
    if (!WriteReady() || !Produce()) return Fail();
    // Scanning from memory keeps a core busy: the helpers scan beside this thread, on the others.
    if (!helped && produced_.load() - written_ >= kHelpedFrom) {
      StartReaders(helpers_);
      helped = true;
    }
    if (names_ended_.load() && written_ == produced_.load()) break;
    if (!gate_open_.load() || readers_.size() <= helpers_) {
      const std::size_t file = Claim();
      if (file != kNone) {
        if (!ScanHere(file)) return Fail();
        continue;
      }
    }
    // What is ready goes out before the wait, so that a file that never ends holds back only
    // the reports after it.
    if (!output_.Flush()) return Fail();
    WaitForHead(true);
  }
  if (!output_.Flush()) return Fail();
  return output_.status();
}

// A reader: while the gate is open, or always for a helper, claims the next file, scans it and
// marks its report ready.
void Pipeline::ReadFiles(bool helper) {
  ScanState state;  // made once per reader, reset for each file
  for (;;) {
    std::size_t file = kNone;
    if ((helper || gate_open_.load()) && !stop_.load()) file = Claim();
    if (file == kNone) {
      std::unique_lock<std::mutex> lock(mutex_);
      ++sleepers_;
      may_claim_.wait(lock, [this, helper] {
        return stop_.load() || Exhausted() || ((helper || gate_open_.load()) && Claimable());
      });
      --sleepers_;
      if (stop_.load() || Exhausted()) break;
      continue;
    }
    ScanInReader(file, state);
  }
  const std::lock_guard<std::mutex> lock(mutex_);
  --running_;
  head_done_.notify_one();
}

int Pipeline::Fail() {
  output_.Warn(kUnableToWrite);
  stop_.store(true);
  StopReaders();
  return kExitFailure;
}

void Pipeline::StopReaders() {
  if (readers_.empty()) return;
  std::unique_lock<std::mutex> lock(mutex_);
  may_claim_.notify_all();
  // A stopping reader may be waiting on its file. Each is sent the signal, again and again in
  // case it arrived just before the wait began, until it gives up.
  for (int sent = 0; running_ > 0; ++sent) {
    if (stop_.load()) {
      if (sent == kStopSignals) std::_Exit(kExitFailure);  // a reader no signal reaches
      for (std::thread& reader : readers_) pthread_kill(reader.native_handle(), InterruptSignal());
    }
    head_done_.wait_for(lock, kStopWait, [this] { return running_ == 0; });
  }
  lock.unlock();
  for (std::thread& reader : readers_) reader.join();
  readers_.clear();
}

}  // namespace

int ReportFilesInParallel(Names& names, int jobs, ReportStyle style, ReportOutput& output) {
  Pipeline pipeline(names, jobs, style, output);
  return pipeline.Run();
}

}  // namespace id3sniff
