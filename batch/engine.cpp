#include "batch/engine.hpp"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <semaphore>
#include <system_error>
#include <thread>
#include <vector>

namespace id3sniff {
namespace {

// One run of the engine, and why each of its parts is there:
// - the ring of slots, name i in slot i % size, bounds the memory and how far the names run
//   ahead of the output; the calling thread fills it, so that a list or a walk that waits never
//   keeps a ready record from being written;
// - the jobs' threads take the names in order; whichever makes the oldest record ready writes
//   what is ready, in order, so no thread is woken per file to write;
// - one mutex guards the ring's indices: a lock costs nothing next to a file's system calls;
// - the cores: only as many jobs work at once as there are cores, and only that many threads
//   start until a file waits on a device. Measured warm, 32 threads taking turns on two cores
//   took 1.7x as long, the oldest file's thread often off its core while the others filled the
//   ring. A job gives its core back while it waits, so that cold, every thread has a read in
//   flight. A semaphore, so that a wait costs no lock: counted under the mutex, a cold scan made
//   six futex calls a file;
// - the stop (a flag and an eventfd) ends the waits of a FIFO's or a list's bytes when the
//   output fails; nothing else stops a thread.
class Engine {
 public:
  Engine(NameSource& source, Sink& sink, int jobs)
      : source_(source),
        sink_(sink),
        slots_(static_cast<std::size_t>(std::max(jobs, 1)) * kSlotsPerJob) {}

  bool Run(const std::function<std::unique_ptr<FileJob>()>& make_job, int jobs);

 private:
  // What a job's waits tell the engine: which file waits.
  class JobWaits final : public Waits {
   public:
    explicit JobWaits(Engine& engine) : engine_(engine) {}
    void Begin() override { engine_.BeginWait(*this); }
    void End() override {}  // the job finishes its file, and takes its turn before the next
    std::size_t index = 0;  // the file the job is at
    bool has_core = false;  // holds one of the cores

   private:
    Engine& engine_;
  };

 private:
  struct Slot {
    FileName name;
    Record record;
    bool file = false;  // a file for a job, not a message from the source
    bool done = false;  // the record is ready to be written
    // Its job waits on a device: what is ready must not wait for it. Set without the mutex.
    std::atomic<bool> waits{false};
  };
  using Lock = std::unique_lock<std::mutex>;

  Slot& SlotOf(std::size_t index) { return slots_[index % slots_.size()]; }
  void TakeNames(FileJob* solo_job);
  bool RunNext(Lock& lock, FileJob& job, JobWaits& waits);
  void BeginWait(JobWaits& waits);
  bool HeadStalls();
  void Work(FileJob& job);
  void TakeCore(Lock& lock, JobWaits& waits);
  void LeaveCore(JobWaits& waits);
  void WriteReady(Lock& lock);
  void Fail();
  void StartThreads(std::size_t count);

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
  bool writing_ = false;    // a thread is writing records; the others leave it to it
  bool sink_held_ = false;  // records were put since the sink's last flush
  bool failed_ = false;     // the sink failed
  const std::function<std::unique_ptr<FileJob>()>* make_job_ = nullptr;
  std::vector<std::jthread> threads_;  // the jobs' threads
  std::size_t wanted_ = 0;             // the threads asked for
  bool closing_ = false;               // the threads are being joined: no more start
  // One for each job that may be at work at once: the cores, or fewer threads. A job holds one
  // while it works, not while it waits on a device nor for a name.
  std::optional<std::counting_semaphore<>> cores_;
  std::atomic<bool> all_started_{false};  // every thread asked for has been started
  std::atomic<bool> solo_{false};         // no thread could be started: the calling thread works
  std::atomic<std::size_t> written_seen_{0};  // written_, for a job about to wait
  std::size_t idle_ = 0;                      // jobs waiting for a name
  bool producer_waits_ = false;
};

bool Engine::Run(const std::function<std::unique_ptr<FileJob>()>& make_job, int jobs) {
  make_job_ = &make_job;
  Lock lock(mutex_);
  wanted_ = static_cast<std::size_t>(jobs);
  const std::size_t cores =
      std::max<std::size_t>(1, std::min<std::size_t>(wanted_, std::thread::hardware_concurrency()));
  cores_.emplace(static_cast<std::ptrdiff_t>(cores));
  // As many threads as cores to begin with: while the files are in memory, more would only
  // take turns. The others start when a job first waits on a device.
  StartThreads(std::min(cores, wanted_));
  // With no thread at all, the calling thread runs each file as soon as it has its name.
  const std::unique_ptr<FileJob> solo_job = threads_.empty() ? make_job() : nullptr;
  solo_.store(solo_job != nullptr);
  lock.unlock();
  TakeNames(solo_job.get());
  lock.lock();
  names_ended_ = true;
  work_.notify_all();
  while (!failed_ && written_ < produced_) {
    producer_waits_ = true;
    room_.wait(lock);
    producer_waits_ = false;
  }
  const bool written = !failed_;
  closing_ = true;
  std::vector<std::jthread> threads = std::move(threads_);
  lock.unlock();
  threads.clear();  // joins: the jobs have ended or been stopped
  return written;
}

// Starts threads until there are count; the mutex is held.
void Engine::StartThreads(std::size_t count) {
  while (threads_.size() < count) {
    try {
      threads_.emplace_back([this, job = (*make_job_)()] { Work(*job); });
    } catch (const std::system_error&) {
      wanted_ = threads_.size();  // no more threads to be had: those there are do the work
      break;
    }
  }
  if (threads_.size() == wanted_) all_started_.store(true);
}

// Takes names into free slots until the source ends or the run stops; a job takes each at once.
void Engine::TakeNames(FileJob* solo_job) {
  JobWaits solo_waits(*this);
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
      RunNext(lock, *solo_job, solo_waits);
    } else if (idle_ > 0 && produced_ - claimed_ > threads_.size() - idle_) {
      // Only when the jobs at work have more than a name each waiting: waking a thread costs
      // more than a file in memory, and those at work come back for the next name anyway.
      work_.notify_one();
    }
  }
}

// Runs job on the next name not taken, if there is one; returns false when there is none.
bool Engine::RunNext(Lock& lock, FileJob& job, JobWaits& waits) {
  while (claimed_ < produced_ && !SlotOf(claimed_).file) ++claimed_;
  if (failed_ || claimed_ == produced_) return false;
  const std::size_t index = claimed_++;
  Slot& slot = SlotOf(index);
  waits.index = index;
  lock.unlock();
  job.Run(slot.name, stop_, waits, slot.record);
  lock.lock();
  slot.done = true;
  slot.waits.store(false);
  if (index == written_) WriteReady(lock);
  return true;
}

// A job's thread: takes the names in order until they end or the run stops.
void Engine::Work(FileJob& job) {
  JobWaits waits(*this);
  Lock lock(mutex_);
  TakeCore(lock, waits);
  for (;;) {
    if (RunNext(lock, job, waits)) {
      // A job back from a wait finished its file at once; it takes its turn before the next.
      if (!waits.has_core) TakeCore(lock, waits);
      continue;
    }
    LeaveCore(waits);
    if (failed_ || names_ended_) return;
    ++idle_;
    work_.wait(lock);
    --idle_;
    TakeCore(lock, waits);
  }
}

// Waits for a core to work on; the mutex is held, but not while waiting.
void Engine::TakeCore(Lock& lock, JobWaits& waits) {
  lock.unlock();
  cores_->acquire();
  lock.lock();
  waits.has_core = true;
}

// Leaves a core to another job.
void Engine::LeaveCore(JobWaits& waits) {
  if (waits.has_core) cores_->release();
  waits.has_core = false;
}

// The job's file waits on a device: what is ready goes out now, and another job may work. Only
// the first wait of a run, which starts the other threads, and a wait of the oldest file, which
// must not hold back what is ready, take the mutex.
void Engine::BeginWait(JobWaits& waits) {
  SlotOf(waits.index).waits.store(true);
  if (solo_.load()) {
    // The calling thread alone: nobody to let on.
    Lock lock(mutex_);
    if (waits.index == written_) WriteReady(lock);
    return;
  }
  if (!all_started_.load() || waits.index == written_seen_.load()) {
    Lock lock(mutex_);
    if (!all_started_.load() && !closing_ && !failed_) StartThreads(wanted_);
    if (waits.index == written_) WriteReady(lock);
  }
  LeaveCore(waits);
}

// Writes the records that are ready, in order, unless another thread is at it. What the sink
// holds back goes out before the writing stops, so that a file that never ends holds back only
// the records after it.
void Engine::WriteReady(Lock& lock) {
  if (writing_) return;  // the writing thread looks again before it stops
  writing_ = true;
  while (!failed_) {
    if (written_ < produced_ && SlotOf(written_).done) {
      std::size_t end = written_;
      while (end < produced_ && SlotOf(end).done) ++end;
      // The slots up to end stay this thread's until written_ moves past them.
      lock.unlock();
      bool ok = true;
      for (std::size_t i = written_; ok && i < end; ++i) ok = sink_.Put(SlotOf(i).record);
      lock.lock();
      sink_held_ = true;
      for (std::size_t i = written_; i < end; ++i) SlotOf(i).done = false;
      written_ = end;
      written_seen_.store(end);
      // Messages are written without a job passing over them: a slot behind written_ may hold
      // a later name already.
      claimed_ = std::max(claimed_, written_);
      if (!ok) Fail();
    } else if (sink_held_ && HeadStalls()) {
      // What the sink holds goes out before the oldest file keeps it waiting; while that file
      // is scanned from memory, the next writer takes it along.
      sink_held_ = false;
      lock.unlock();
      const bool ok = sink_.Flush();
      lock.lock();
      if (!ok) Fail();
    } else {
      break;
    }
  }
  writing_ = false;
  // The calling thread refills the ring once half of it is free, or sees the end.
  if (producer_waits_ && (failed_ || produced_ - written_ <= slots_.size() / 2)) {
    room_.notify_one();
  }
}

// Returns true when the oldest record not written may be long in coming: its name is not
// taken yet (the names wait, or have ended), or its file waits on a device.
bool Engine::HeadStalls() { return written_ >= claimed_ || SlotOf(written_).waits; }

// Stops the run: no name is taken and no job started after this; jobs that wait give up.
void Engine::Fail() {
  failed_ = true;
  stop_.Set();
  work_.notify_all();
  room_.notify_all();
  // Jobs waiting for a core are let go; they find the run stopped.
  cores_->release(static_cast<std::ptrdiff_t>(threads_.size()) + 1);
}

}  // namespace

bool RunEngine(NameSource& source, const std::function<std::unique_ptr<FileJob>()>& make_job,
               Sink& sink, int jobs) {
  Engine engine(source, sink, jobs);
  return engine.Run(make_job, jobs);
}

}  // namespace id3sniff
