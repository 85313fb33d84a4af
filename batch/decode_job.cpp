#include "batch/decode_job.hpp"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <string>

#include "batch/job_file.hpp"
#include "decode/render.hpp"

namespace id3sniff {
namespace {

// A job's file as the decoder reads it: a regular file at any offset, from memory where the
// bytes are there; a FIFO or a device by its first bytes alone, as many as a tag is looked for
// in.
class JobTagSource final : public TagSource {
 public:
  JobTagSource(JobFile& file, const Stop& stop) : file_(file), stop_(stop) {}
  std::uint64_t size() const override { return file_.regular() ? file_.size() : stream_.size(); }
  bool Read(std::uint64_t offset, std::size_t count, std::string& out) override {
    if (!file_.regular()) return ReadStream(offset, count, out);
    // Never more than the file holds: no size read from it decides a larger allocation.
    count = static_cast<std::size_t>(
        std::min<std::uint64_t>(count, file_.size() - std::min(offset, file_.size())));
    out.resize(count);
    const ssize_t n = file_.ReadAt(reinterpret_cast<std::uint8_t*>(out.data()), count,
                                   static_cast<off_t>(offset));
    if (n < 0) return false;
    out.resize(static_cast<std::size_t>(n));
    return true;
  }

 private:
  bool ReadStream(std::uint64_t offset, std::size_t count, std::string& out) {
    if (!streamed_) {
      streamed_ = true;
      file_.Wait();
      FileReader reader(file_.fd(), false, stop_);
      stream_.resize(kTagSearch);
      std::size_t got = 0;
      while (got < kTagSearch) {
        const ssize_t n =
            reader.Read(reinterpret_cast<std::uint8_t*>(stream_.data()) + got, kTagSearch - got);
        if (n < 0) return false;
        if (n == 0) break;
        got += static_cast<std::size_t>(n);
      }
      stream_.resize(got);
    }
    const std::size_t from =
        static_cast<std::size_t>(std::min<std::uint64_t>(offset, stream_.size()));
    out.assign(stream_, from, std::min(count, stream_.size() - from));
    return true;
  }

  JobFile& file_;
  const Stop& stop_;
  bool streamed_ = false;
  std::string stream_;
};

}  // namespace

void DecodeJob::Run(const FileName& name, const Stop& stop, Waits& waits, Record& record) {
  JobFile file(name, waits, !last_waited_);
  ScanOutcome outcome = ScanOutcome::CannotOpen;
  int error = file.error();
  if (error == 0) {
    JobTagSource source(file, stop);
    outcome = DecodeTag(source, tag_) ? ScanOutcome::Complete : ScanOutcome::CannotRead;
    if (outcome != ScanOutcome::Complete) error = errno;
  }
  last_waited_ = file.waited();
  if (outcome != ScanOutcome::Complete) {
    MakeFailure(name.path, outcome, error, style_, record);
    return;
  }
  record.text.clear();
  record.failed = false;
  record.error = 0;
  if (style_.json) {
    AppendDecodedJson(record.text, name.path, tag_);
  } else {
    AppendDecodedText(record.text, name.path, tag_, style_.destination);
  }
}

}  // namespace id3sniff
