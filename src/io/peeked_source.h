// A source whose first bytes are looked at before it is read, to tell what
// it holds, and then read as if they never were.
#ifndef STRATUMIX_IO_PEEKED_SOURCE_H_
#define STRATUMIX_IO_PEEKED_SOURCE_H_

#include <algorithm>
#include <cstddef>
#include <exception>
#include <memory>
#include <string>
#include <string_view>

#include "io/disk.h"

// The bytes a magic number takes, at most: what is looked at first.
inline constexpr std::size_t kFormBytes = 4;

// A source whose first bytes have been read to see its form: they are
// handed out first, then the rest, as if never read. A read error met
// while looking is put off until the bytes before it are handed out, so
// that they are pasted as they would be without the look.
class PeekedSource : public ByteSource {
 public:
  explicit PeekedSource(std::unique_ptr<ByteSource> source, std::size_t size = kFormBytes);
  // Reads on until the first bytes are `size`, or hold `line_ends` LFs, or
  // the source ends; only before anything is handed out.
  void look_further(std::size_t size, std::size_t line_ends);
  // The first bytes read, all of the source when ended() says so.
  const std::string& first() const { return first_; }
  // Hands out the first bytes from `count` on: what the look found to be
  // no part of the text (a byte order mark).
  void pass_over(std::size_t count) {
    handed_out_ = std::min(count, first_.size());
    passed_over_ = handed_out_;
  }
  bool ended() const { return ended_; }
  std::size_t read(char* buffer, std::size_t size) override;
  std::ptrdiff_t read_at(std::uint64_t offset, char* buffer, std::size_t size) override {
    return source_->read_at(offset, buffer, size);
  }
  std::int64_t plain_size() const override { return source_->plain_size(); }
  // The source's, as the first bytes handed out are its own first ones;
  // none once a read failed.
  std::string_view lasting_bytes() const override {
    std::string_view all = error_ == nullptr ? source_->lasting_bytes() : std::string_view{};
    return passed_over_ <= all.size() ? all.substr(passed_over_) : std::string_view{};
  }

 private:
  std::size_t read_source(char* buffer, std::size_t size);

  std::unique_ptr<ByteSource> source_;
  std::string first_;
  std::size_t handed_out_ = 0;
  std::size_t passed_over_ = 0;  // first bytes that are no part of what it gives
  bool ended_ = false;           // while looking: first_ is all there is
  bool source_ended_ = false;    // after: the source gave its end
  std::exception_ptr error_;
};

#endif  // STRATUMIX_IO_PEEKED_SOURCE_H_
