// What form an input takes, told by its first bytes whatever its name:
// tiles come as text, as gzip-compressed text and as LAS point clouds, and
// the dialogue names every one of them .xyz.
#ifndef STRATUMIX_READ_INPUT_FORM_H_
#define STRATUMIX_READ_INPUT_FORM_H_

#include <algorithm>
#include <cstddef>
#include <exception>
#include <memory>
#include <string>
#include <string_view>

#include "io/disk.h"

enum class InputForm { kText, kGzip, kLas };

// The bytes that decide, at most.
inline constexpr std::size_t kFormBytes = 4;

// The form that an input beginning with `first` takes (all of the input
// when it is shorter than kFormBytes).
InputForm input_form(std::string_view first);

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
  void pass_over(std::size_t count) { handed_out_ = std::min(count, first_.size()); }
  bool ended() const { return ended_; }
  std::size_t read(char* buffer, std::size_t size) override;
  std::ptrdiff_t read_at(std::uint64_t offset, char* buffer, std::size_t size) override {
    return source_->read_at(offset, buffer, size);
  }

 private:
  std::unique_ptr<ByteSource> source_;
  std::string first_;
  std::size_t handed_out_ = 0;
  bool ended_ = false;
  std::exception_ptr error_;
};

#endif  // STRATUMIX_READ_INPUT_FORM_H_
