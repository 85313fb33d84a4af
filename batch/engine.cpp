#include "batch/engine.hpp"

#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

namespace id3sniff {
namespace {

// One run of the engine. The calling thread takes the names into a ring of slots; the jobs'
// threads take them from it in order; whichever thread makes the oldest record ready writes the
// records that are ready, in order, while the others go on. Everything here is guarded by one
// mutex: a lock costs nothing next to the system calls of a file.
class Engine {
 public:
  Engine(NameSource& source, Sink& sink, int jobs)
      : source_(source), sink_(sink), slots_(static_cast<std::size_t>(jobs) * kSlotsPerJob) {}

  bool Run(const std::function<std::unique_ptr<FileJob>()>& make_job, int jobs);

 private:
  struct Slot {
    FileName name;
    Record record;
    bool file = false;  // a file for a job, not a message from the source
    bool done = false;  // the record is ready to be written
  };
  using Lock = std::unique_lock<std::mutex>;

  Slot& SlotOf(std::size_t index) { return slots_[index % slots_.size()]; }
  void TakeNames(FileJob* solo_job);
  bool RunNext(Lock& lock, FileJob& job);
  void Work(FileJob& job);
  void WriteReady(Lock& lock);
  void Fail();

  NameSource& source_;
  Sink& sink_;  // used by the writing thread alone (writing_)
  Stop stop_;
  std::vector<Slot> slots_;  // name i in slot i % size, from its name to its record's write

  std::mutex mutex_;
  std::condition_variable work_;  // a name to take, the names' end, or the stop
  std::condition_variable room_;  // a slot freed or the stop, for the calling thread
  std::size_t produced_ = 0;      // names taken so far
  std::size_t claimed_ = 0;       // names taken by a job (or messages passed over)
  std::size_t written_ = 0;       // records written
  bool names_ended_ = false;
  bool writing_ = false;  // a thread is writing records; the others leave it to it
  bool failed_ = false;   // the sink failed
  std::size_t idle_ = 0;  // jobs waiting for a name
  bool producer_waits_ = false;
};

bool Engine::Run(const std::function<std::unique_ptr<FileJob>()>& make_job, int jobs) {
  std::vector<std::jthread> threads;
  for (int i = 0; i < jobs; ++i) {
    try {
      threads.emplace_back([this, job = make_job()] { Work(*job); });
    } catch (const std::system_error&) {
      break;  // no more threads to be had: those there are do the work
    }
  }
  // With no thread at all, the calling thread runs each file as soon as it has its name.
  const std::unique_ptr<FileJob> solo_job = threads.empty() ? make_job() : nullptr;
  TakeNames(solo_job.get());
  Lock lock(mutex_);
  names_ended_ = true;
  work_.notify_all();
  while (!failed_ && written_ < produced_) {
    producer_waits_ = true;
    room_.wait(lock);
    producer_waits_ = false;
  }
  const bool written = !failed_;
  lock.unlock();
  threads.clear();  // joins: the jobs have ended or been stopped
  return written;
}

// Takes names into free slots until the source ends or the run stops; a job takes each at once.
void Engine::TakeNames(FileJob* solo_job) {
  Lock lock(mutex_);
  for (;;) {
    while (!failed_ && produced_ - written_ == slots_.size()) {
      producer_waits_ = true;
      room_.wait(lock);
      producer_waits_ = false;
    }
    if (failed_) return;
    // The slot is this thread's until it is counted in produced_: no other thread looks at it.
    Slot& slot = SlotOf(produced_);
    lock.unlock();
    const NameSource::Got got = source_.Next(slot.name, slot.record, stop_);
    lock.lock();
    if (got == NameSource::Got::End) return;
    slot.file = got == NameSource::Got::File;
    slot.done = !slot.file;
    ++produced_;
    if (!slot.file) {
      WriteReady(lock);  // a message at the head of the output goes out now
    } else if (solo_job != nullptr) {
      RunNext(lock, *solo_job);
    } else if (idle_ > 0) {
      work_.notify_one();
    }
  }
}

// Runs job on the next name not taken, if there is one; returns false when there is none.
bool Engine::RunNext(Lock& lock, FileJob& job) {
  while (claimed_ < produced_ && !SlotOf(claimed_).file) ++claimed_;
  if (failed_ || claimed_ == produced_) return false;
  const std::size_t index = claimed_++;
  Slot& slot = SlotOf(index);
  lock.unlock();
  job.Run(slot.name, stop_, slot.record);
  lock.lock();
  slot.done = true;
  if (index == written_) WriteReady(lock);
  return true;
}

// A job's thread: takes the names in order until they end or the run stops.
void Engine::Work(FileJob& job) {
  Lock lock(mutex_);
  for (;;) {
    if (RunNext(lock, job)) continue;
    if (failed_ || names_ended_) return;
    ++idle_;
    work_.wait(lock);
    --idle_;
  }
}

// Writes the records that are ready, in order, unless another thread is at it. What the sink
// holds back goes out before the writing stops, so that a file that never ends holds back only
// the records after it.
void Engine::WriteReady(Lock& lock) {
  if (writing_) return;  // the writing thread looks again before it stops
  writing_ = true;
  while (!failed_ && written_ < produced_ && SlotOf(written_).done) {
    std::size_t end = written_;
    while (end < produced_ && SlotOf(end).done) ++end;
    // The slots up to end stay this thread's until written_ moves past them.
    lock.unlock();
    bool ok = true;
    for (std::size_t i = written_; ok && i < end; ++i) ok = sink_.Put(SlotOf(i).record);
    lock.lock();
    for (std::size_t i = written_; i < end; ++i) SlotOf(i).done = false;
    written_ = end;
    if (ok && (written_ == produced_ || !SlotOf(written_).done)) {
      lock.unlock();
      ok = sink_.Flush();
      lock.lock();
    }
    if (!ok) Fail();
  }
  writing_ = false;
  // The calling thread refills the ring once half of it is free, or sees the end.
  if (producer_waits_ && (failed_ || produced_ - written_ <= slots_.size() / 2)) {
    room_.notify_one();
  }
}

// Stops the run: no name is taken and no job started after this; jobs that wait give up.
void Engine::Fail() {
  failed_ = true;
  stop_.Set();
  work_.notify_all();
  room_.notify_all();
}

}  // namespace

bool RunEngine(NameSource& source, const std::function<std::unique_ptr<FileJob>()>& make_job,
               Sink& sink, int jobs) {
  Engine engine(source, sink, jobs);
  return engine.Run(make_job, jobs);
}

}  // namespace id3sniff
