#include "batch/pipeline.hpp"

#include <pthread.h>
#include <signal.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#include "app/command_line.hpp"
#include "app/common.hpp"
#include "batch/cached_scan.hpp"
#include "batch/file_report.hpp"
#include "batch/report_output.hpp"
#include "scan/scan_tag.hpp"

namespace id3sniff {
namespace {

// How long a stopping run waits for its readers between signals, and how many signals it sends
// before it gives up on a reader that no signal reaches (a read that cannot be interrupted).
constexpr std::chrono::milliseconds kStopWait{10};
constexpr int kStopSignals = 200;

// The signal that interrupts a reader waiting on a file (a FIFO with no writer, a read that does
// not end) when the run stops; its handler does nothing, so the wait ends with EINTR.
int InterruptSignal() { return SIGRTMIN; }
void OnInterrupt(int /*signal*/) {}

void InstallInterruptHandler() {
  struct sigaction action {};
  action.sa_handler = OnInterrupt;
  sigemptyset(&action.sa_mask);
  action.sa_flags = 0;  // no SA_RESTART: the interrupted call returns
  sigaction(InterruptSignal(), &action, nullptr);
}

class Pipeline {
 public:
  Pipeline(char* const* paths, std::size_t count, int jobs, Destination destination)
      : paths_(paths),
        count_(count),
        jobs_(static_cast<std::size_t>(jobs)),
        destination_(destination),
        slots_(jobs_ * kSlotsPerJob) {}
  Pipeline(const Pipeline&) = delete;
  Pipeline& operator=(const Pipeline&) = delete;
  ~Pipeline() { StopReaders(); }

  int Run();

 private:
  struct Slot {
    FileReport report;
    std::atomic<bool> done{false};  // report is the file's, ready to be written
  };

  Slot& SlotOf(std::size_t file) { return slots_[file % slots_.size()]; }
  void Start(std::size_t file);
  void HandOff(std::size_t file);
  void ReadFile(std::size_t file, ScanState& state);
  void ReadFiles();
  void WaitFor(const Slot& slot);
  int Fail();
  void StopReaders();

  char* const* paths_;
  std::size_t count_;
  std::size_t jobs_;
  Destination destination_;
  std::vector<Slot> slots_;  // file i's report in slot i % size, from its start to its write
  ScanState state_;          // the calling thread's, for the files it scans itself
  ReportOutput output_;
  int status_ = kExitOk;
  std::atomic<bool> stop_{false};  // the run is stopping: readers give up their waits

  std::mutex mutex_;                  // guards the members below
  std::condition_variable work_;      // a file is handed off, or the readers are to end
  std::condition_variable finished_;  // a reader finished a file, or ended
  std::deque<std::size_t> queue_;     // handed-off files not yet taken, oldest first
  std::size_t idle_ = 0;              // readers waiting for a file
  std::size_t running_ = 0;           // readers started and not ended
  bool ending_ = false;               // the readers are to end
  std::vector<std::thread> readers_;  // touched by the calling thread only
};

int Pipeline::Run() {
  std::size_t next = 0;  // the next file to start
  std::size_t head = 0;  // the next file to write
  while (head < count_) {
    if (next < count_ && next - head < slots_.size()) {
      Start(next++);
    } else {
      // Nothing more can start before the oldest report is written: first what is ready goes
      // out, so that a file that never ends holds back only the reports after it.
      if (!output_.Flush()) return Fail();
      WaitFor(SlotOf(head));
    }
    while (head < next && SlotOf(head).done.load(std::memory_order_acquire)) {
      const FileReport& report = SlotOf(head++).report;
      if (report.failed) status_ = kExitFailure;
      if (!output_.Add(report.text)) return Fail();
    }
  }
  if (!output_.Flush()) return Fail();
  return status_;
}

void Pipeline::Start(std::size_t file) {
  Slot& slot = SlotOf(file);
  slot.done.store(false, std::memory_order_relaxed);
  ResetScanState(state_);
  if (ScanIfCached(paths_[file], state_)) {
    MakeReport(paths_[file], FileScan::Complete, state_, destination_, slot.report);
    slot.done.store(true, std::memory_order_relaxed);  // no reader touches this slot
    return;
  }
  HandOff(file);
}

void Pipeline::HandOff(std::size_t file) {
  bool start_reader = false;
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    queue_.push_back(file);
    start_reader = idle_ < queue_.size() && readers_.size() < jobs_;
    if (start_reader) ++running_;
  }
  if (start_reader) {
    if (readers_.empty()) InstallInterruptHandler();
    try {
      readers_.emplace_back(&Pipeline::ReadFiles, this);
    } catch (const std::system_error&) {
      // No thread to be had: the readers there are do the work, or else this thread.
      const std::lock_guard<std::mutex> lock(mutex_);
      --running_;
    }
  }
  if (readers_.empty()) {
    {
      const std::lock_guard<std::mutex> lock(mutex_);
      queue_.pop_back();
    }
    ResetScanState(state_);
    ReadFile(file, state_);
    SlotOf(file).done.store(true, std::memory_order_relaxed);
    return;
  }
  work_.notify_one();
}

void Pipeline::ReadFile(std::size_t file, ScanState& state) {
  ResetScanState(state);
  const FileScan scan = ScanFile(paths_[file], state, {.advise_random = true, .stop = &stop_});
  MakeReport(paths_[file], scan, state, destination_, SlotOf(file).report);
}

// A reader: takes the oldest handed-off file, reads and reports it, and waits for the next.
void Pipeline::ReadFiles() {
  ScanState state;  // made once per reader, reset for each file
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    ++idle_;
    work_.wait(lock, [this] { return ending_ || !queue_.empty(); });
    --idle_;
    if (ending_) break;
    const std::size_t file = queue_.front();
    queue_.pop_front();
    lock.unlock();
    ReadFile(file, state);
    lock.lock();
    SlotOf(file).done.store(true, std::memory_order_release);
    finished_.notify_one();
  }
  --running_;
  finished_.notify_one();
}

void Pipeline::WaitFor(const Slot& slot) {
  std::unique_lock<std::mutex> lock(mutex_);
  finished_.wait(lock, [&slot] { return slot.done.load(std::memory_order_acquire); });
}

int Pipeline::Fail() {
  std::fwrite(kUnableToWrite.data(), 1, kUnableToWrite.size(), stderr);
  stop_.store(true);
  StopReaders();
  return kExitFailure;
}

void Pipeline::StopReaders() {
  if (readers_.empty()) return;
  std::unique_lock<std::mutex> lock(mutex_);
  ending_ = true;
  work_.notify_all();
  // A reader may be waiting on its file. Once the run stops, each is sent the signal, again and
  // again in case it arrived just before the wait began, until it gives up.
  for (int sent = 0; running_ > 0; ++sent) {
    if (stop_.load()) {
      if (sent == kStopSignals) std::_Exit(kExitFailure);  // a reader no signal reaches
      for (std::thread& reader : readers_) pthread_kill(reader.native_handle(), InterruptSignal());
    }
    finished_.wait_for(lock, kStopWait, [this] { return running_ == 0; });
  }
  lock.unlock();
  for (std::thread& reader : readers_) reader.join();
  readers_.clear();
}

}  // namespace

int ReportFilesInParallel(char* const* paths, std::size_t count, int jobs,
                          Destination destination) {
  Pipeline pipeline(paths, count, jobs, destination);
  return pipeline.Run();
}

}  // namespace id3sniff
