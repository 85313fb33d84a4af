#pragma once

#include "batch/engine.hpp"
#include "batch/scan_job.hpp"
#include "decode/id3v2.hpp"

namespace id3sniff {

// The tag of each file read from its structure (id3sniff-batch --decode), for a person or in
// JSON.
class DecodeJob final : public FileJob {
 public:
  explicit DecodeJob(ReportStyle style) : style_(style) {}
  void Run(const FileName& name, const Stop& stop, Waits& waits, Record& record) override;

 private:
  ReportStyle style_;
  DecodedTag tag_;
  bool last_waited_ = false;  // as ScanJob's
};

}  // namespace id3sniff
