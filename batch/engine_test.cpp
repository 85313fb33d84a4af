// The engine driven in-process with fake names, jobs and sinks.
#include "batch/engine.hpp"

#include <gtest/gtest.h>
#include <poll.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace id3sniff {
namespace {

using namespace std::chrono_literals;

// Every -j the tests try: none (the calling thread alone, as when no thread can be had), one,
// fewer than the cores, as many, and many more.
const std::vector<int> kJobs = {0, 1, 2, 3, 8, 32, 64};

// What the sink got, shared with the source and the jobs.
struct Seen {
  std::mutex mutex;
  std::condition_variable changed;
  std::string out;          // the records' texts, in order
  std::string err;          // each failed record's path, in order
  std::size_t records = 0;  // records flushed
  std::size_t puts = 0;     // records put
  std::size_t nexts = 0;    // names asked for
  std::size_t nexts_after_failure = 0;
  bool failed = false;        // the sink has failed
  bool released = false;      // a job that waits for the test may end
  std::set<std::string> ran;  // the names a job has run: each once

  // Waits until pred holds, for at most 10 s; returns whether it does.
  template <class Pred>
  bool WaitFor(Pred pred) {
    std::unique_lock<std::mutex> lock(mutex);
    return changed.wait_for(lock, 10s, pred);
  }
};

// Names "0".."count-1"; every seventh a message in the place of a file. With lockstep, each
// name is given only once the record before it is out: a program that sends a name and waits
// for its report.
class FakeSource final : public NameSource {
 public:
  FakeSource(std::vector<std::string> names, Seen& seen, bool lockstep = false)
      : names_(std::move(names)), seen_(seen), lockstep_(lockstep) {}
  Got Next(FileName& name, Record& message, const Stop& /*stop*/) override {
    {
      std::unique_lock<std::mutex> lock(seen_.mutex);
      ++seen_.nexts;
      if (seen_.failed) ++seen_.nexts_after_failure;
    }
    if (next_ == names_.size()) return Got::End;
    if (lockstep_ && !seen_.WaitFor([&] { return seen_.records == next_; })) {
      ADD_FAILURE() << "the record of name " << next_ - 1 << " was not out before name " << next_;
    }
    const std::string& given = names_[next_++];
    if (given.starts_with("message")) {
      message = Record{};
      message.failed = true;
      message.path = given;
      return Got::Message;
    }
    name.path = given;
    return Got::File;
  }

 private:
  std::vector<std::string> names_;
  std::size_t next_ = 0;
  Seen& seen_;
  bool lockstep_;
};

// A record of the name, after a random short wait, said to the engine as a wait on a device is;
// "wait" ends only once the test releases it or the run stops, "never" only when the run stops.
class FakeJob final : public FileJob {
 public:
  FakeJob(Seen& seen, unsigned seed) : seen_(seen), random_(seed) {}
  void Run(const FileName& name, const Stop& stop, Waits& waits, Record& record) override {
    {
      const std::lock_guard<std::mutex> lock(seen_.mutex);
      EXPECT_TRUE(seen_.ran.insert(name.path).second) << name.path << " run twice";
    }
    waits.Begin();
    if (name.path == "never") {
      pollfd stopped = {stop.fd(), POLLIN, 0};
      EXPECT_EQ(poll(&stopped, 1, 10000), 1) << "a job waiting on a file was not stopped";
    } else if (name.path == "wait") {
      EXPECT_TRUE(seen_.WaitFor([&] { return seen_.released || stop.IsSet(); }));
    } else if (random_() % 4 == 0) {
      std::this_thread::sleep_for(std::chrono::microseconds(random_() % 200));
    }
    waits.End();
    record = Record{};
    record.text = name.path + "\n";
  }

 private:
  Seen& seen_;
  std::minstd_rand random_;
};

// Keeps what it is given, seen only once flushed; fails at the record numbered fail_at.
class FakeSink final : public Sink {
 public:
  explicit FakeSink(Seen& seen, std::size_t fail_at = ~std::size_t{0})
      : seen_(seen), fail_at_(fail_at) {}
  bool Put(const Record& record) override {
    const std::lock_guard<std::mutex> lock(seen_.mutex);
    EXPECT_FALSE(seen_.failed) << "a record put after the sink failed";
    if (seen_.puts == fail_at_) {
      seen_.failed = true;
      return false;
    }
    ++held_;
    ++seen_.puts;
    if (record.failed) err_ += record.path + "\n";
    out_ += record.text;
    return true;
  }
  bool Flush() override {
    const std::lock_guard<std::mutex> lock(seen_.mutex);
    seen_.records += held_;
    seen_.out += out_;
    seen_.err += err_;
    held_ = 0;
    out_.clear();
    err_.clear();
    seen_.changed.notify_all();
    return !seen_.failed;
  }

 private:
  std::size_t held_ = 0;
  std::string out_;
  std::string err_;
  Seen& seen_;
  std::size_t fail_at_;
};

std::vector<std::string> Numbered(std::size_t count) {
  std::vector<std::string> names;
  for (std::size_t i = 0; i < count; ++i) {
    names.push_back(i % 7 == 3 ? "message " + std::to_string(i) : std::to_string(i));
  }
  return names;
}

bool RunFakes(NameSource& source, Seen& seen, Sink& sink, int jobs) {
  std::atomic<unsigned> seed{1};
  return RunEngine(
      source, [&] { return std::make_unique<FakeJob>(seen, seed++); }, sink, jobs);
}

// Random delays over thousands of names: every record out, in the names' order, messages in
// their place, for every -j.
TEST(Engine, WritesEveryRecordInOrderWhateverFinishesFirst) {
  const std::vector<std::string> names = Numbered(3000);
  std::string out;
  std::string err;
  for (const std::string& name : names) {
    (name.starts_with("message") ? err : out) += name + "\n";
  }
  for (const int jobs : kJobs) {
    Seen seen;
    FakeSource source(names, seen);
    FakeSink sink(seen);
    EXPECT_TRUE(RunFakes(source, seen, sink, jobs)) << jobs;
    EXPECT_EQ(seen.out, out) << jobs;
    EXPECT_EQ(seen.err, err) << jobs;
    EXPECT_EQ(seen.records, names.size()) << jobs;
  }
}

// A source that gives each name only once the record before it is out: nothing waits for names
// after its own. Among the names, more messages in a row than the ring holds, given while every
// job waits for a name: the slot of the next name not taken then holds a later one.
TEST(Engine, WritesEachRecordBeforeTheNextNameArrives) {
  for (const int jobs : kJobs) {
    Seen seen;
    std::vector<std::string> names = Numbered(40);
    const std::size_t ring = static_cast<std::size_t>(std::max(jobs, 1)) * kSlotsPerJob;
    names.insert(names.begin() + 5, ring + 1, "message");
    FakeSource source(names, seen, /*lockstep=*/true);
    FakeSink sink(seen);
    EXPECT_TRUE(RunFakes(source, seen, sink, jobs)) << jobs;
    EXPECT_EQ(seen.records, names.size()) << jobs;
    EXPECT_EQ(seen.ran.size(), 40 - 6) << jobs;  // each file once, every seventh is a message
  }
}

// A file that does not end holds back only the records after it; once it ends, all follow.
TEST(Engine, HoldsBackOnlyWhatFollowsAFileThatWaits) {
  for (const int jobs : kJobs) {
    Seen seen;
    std::vector<std::string> names = {"a", "b", "wait", "c", "d"};
    for (int i = 0; i < 100; ++i) names.push_back(std::to_string(i));
    FakeSource source(names, seen);
    FakeSink sink(seen);
    std::jthread run([&] { EXPECT_TRUE(RunFakes(source, seen, sink, jobs)); });
    EXPECT_TRUE(seen.WaitFor([&] { return seen.records >= 2; })) << jobs;
    std::this_thread::sleep_for(20ms);  // time for anything after the wait to come out wrongly
    {
      std::unique_lock<std::mutex> lock(seen.mutex);
      EXPECT_EQ(seen.out, "a\nb\n") << jobs;
      seen.released = true;
      seen.changed.notify_all();
    }
    run.join();
    EXPECT_EQ(seen.records, names.size()) << jobs;
  }
}

// A sink that fails stops the run: no record after it, no more names asked for than the slots
// hold (the engine learns of the failure when the write returns), and a job waiting on a file
// that never ends is stopped.
TEST(Engine, StopsAtTheFirstFailedWrite) {
  for (const int jobs : kJobs) {
    for (const std::size_t fail_at : {0, 1, 500}) {
      Seen seen;
      std::vector<std::string> names = Numbered(2000);
      names.insert(names.begin() + static_cast<long>(fail_at) + 1, "never");
      FakeSource source(names, seen);
      FakeSink sink(seen, fail_at);
      EXPECT_FALSE(RunFakes(source, seen, sink, jobs)) << jobs << " " << fail_at;
      EXPECT_EQ(seen.puts, fail_at) << jobs;
      const std::size_t slots = static_cast<std::size_t>(jobs) * kSlotsPerJob;
      EXPECT_LE(seen.nexts_after_failure, slots + 1) << jobs;
      EXPECT_LT(seen.nexts, fail_at + 2 * slots + 2) << jobs;
    }
  }
}

}  // namespace
}  // namespace id3sniff
