#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>

#include "batch/file_name.hpp"
#include "batch/stop.hpp"

namespace id3sniff {

// What the output gets for each name, in the order of the names: a file's report, or a message
// from the source (a folder that cannot be read, an empty name) in the place of a file.
struct Record {
  std::string text;  // for standard output: a report, or what stands in its place
  // The entry failed: standard error gets a line, "PROGRAM: PATH: reason" (or without PATH when
  // the entry has none), and the exit status is 1.
  bool failed = false;
  bool names_path = true;
  std::string path;
  std::string reason;
  int error = 0;  // the errno behind reason, or 0
};

// Where the names come from, in order. Next may wait (a pipe, a folder on a slow disk); it
// gives up when stop is set.
class NameSource {
 public:
  enum class Got { File, Message, End };
  // Sets name to the next file, or message to a failure in its place; returns which, or End.
  virtual Got Next(FileName& name, Record& message, const Stop& stop) = 0;

 protected:
  ~NameSource() = default;
};

// What a job tells the engine around a wait on a device: only as many jobs as there are cores
// run at once, and one that waits lets another run meanwhile. A file in memory costs far less
// than waking a thread, and more threads than cores at work on files in memory only take turns,
// leaving the oldest file's thread off its core while the others fill the slots.
class Waits {
 public:
  virtual void Begin() = 0;
  virtual void End() = 0;

 protected:
  ~Waits() = default;
};

// The work done for each file, into record (cleared first by the job). One job a thread; a job
// that waits on a file's bytes says so to waits, and gives up when stop is set.
class FileJob {
 public:
  virtual ~FileJob() = default;
  virtual void Run(const FileName& name, const Stop& stop, Waits& waits, Record& record) = 0;
};

// Where the records go, one at a time, in order; never called from two threads at once.
class Sink {
 public:
  // Takes a record; returns false when the output has failed.
  virtual bool Put(const Record& record) = 0;
  // Writes out what Put holds back; returns false when the output has failed.
  virtual bool Flush() = 0;

 protected:
  ~Sink() = default;
};

// The records held at once, per job: enough that a reader rarely waits for a slow oldest file
// while later files could be read.
inline constexpr std::size_t kSlotsPerJob = 16;

// Runs make_job() on each of jobs threads; they take the names in order, run the job and hand
// the records to sink in the names' order; the calling thread takes the names from source.
// With jobs 0, or where no thread can be started, the calling thread runs each file as soon as
// it has its name.
// Returns false when the sink failed: then nothing after the failed record is started, and the
// source and every job waiting on a file are stopped. Ends when every record is out.
bool RunEngine(NameSource& source, const std::function<std::unique_ptr<FileJob>()>& make_job,
               Sink& sink, int jobs);

}  // namespace id3sniff
