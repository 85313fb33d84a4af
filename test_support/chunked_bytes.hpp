#pragma once

#include <sys/types.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <utility>
#include <vector>

#include "scan/scan_tag.hpp"

namespace id3sniff::testing {

// Delivers bytes in reads of the given sizes in turn, as a pipe or a socket may cut them. When
// interrupt_every is not 0, every so many reads fail as if a signal had interrupted them; once
// fail_after bytes are delivered, every read fails as a failing disk's would.
class ChunkedBytes final : public ByteSource {
 public:
  ChunkedBytes(std::string_view bytes, std::vector<std::size_t> sizes, unsigned interrupt_every,
               std::size_t fail_after = ~std::size_t{0})
      : bytes_(bytes),
        sizes_(std::move(sizes)),
        interrupt_every_(interrupt_every),
        fail_after_(fail_after) {}

  ssize_t Read(std::uint8_t* buffer, std::size_t size) override {
    if (interrupt_every_ != 0 && ++calls_ % interrupt_every_ == 0) {
      errno = EINTR;
      return -1;
    }
    if (delivered_ >= fail_after_) {
      errno = EIO;
      return -1;
    }
    std::size_t n =
        std::min({size, sizes_[next_++ % sizes_.size()], bytes_.size(), fail_after_ - delivered_});
    std::memcpy(buffer, bytes_.data(), n);
    bytes_.remove_prefix(n);
    delivered_ += n;
    return static_cast<ssize_t>(n);
  }
  std::size_t delivered() const { return delivered_; }

 private:
  std::string_view bytes_;
  std::vector<std::size_t> sizes_;
  unsigned interrupt_every_;
  std::size_t fail_after_;
  unsigned calls_ = 0;
  std::size_t next_ = 0;
  std::size_t delivered_ = 0;
};

}  // namespace id3sniff::testing
