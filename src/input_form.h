// What form an input takes, told by its first bytes whatever its name:
// tiles come as text, as gzip-compressed text and as LAS point clouds, and
// the dialogue names every one of them .xyz.
#ifndef STRATUMIX_INPUT_FORM_H_
#define STRATUMIX_INPUT_FORM_H_

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

#include "disk.h"

enum class InputForm { kText, kGzip, kLas };

// The bytes that decide, at most.
inline constexpr std::size_t kFormBytes = 4;

// The form that an input beginning with `first` takes (all of the input
// when it is shorter than kFormBytes).
InputForm input_form(std::string_view first);

// Whether `path` names a compressed LAS file (.laz, in any case), which is
// refused whatever it holds.
bool has_laz_name(std::string_view path);

// A source whose first bytes have been read to see its form: they are
// handed out first, then the rest, as if never read.
class PeekedSource : public ByteSource {
 public:
  explicit PeekedSource(std::unique_ptr<ByteSource> source);
  // The first kFormBytes bytes, or all when fewer.
  const std::string& first() const { return first_; }
  std::size_t read(char* buffer, std::size_t size) override;

 private:
  std::unique_ptr<ByteSource> source_;
  std::string first_;
  std::size_t handed_out_ = 0;
};

#endif  // STRATUMIX_INPUT_FORM_H_
