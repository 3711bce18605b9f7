#include "input_form.h"

#include <algorithm>

InputForm input_form(std::string_view first) {
  if (first.starts_with("\x1f\x8b")) return InputForm::kGzip;
  if (first.starts_with("LASF")) return InputForm::kLas;
  return InputForm::kText;
}

bool has_laz_name(std::string_view path) {
  if (path.size() < 4) return false;
  std::string_view end = path.substr(path.size() - 4);
  return end[0] == '.' && (end[1] | 0x20) == 'l' && (end[2] | 0x20) == 'a' &&
         (end[3] | 0x20) == 'z';
}

PeekedSource::PeekedSource(std::unique_ptr<ByteSource> source) : source_(std::move(source)) {
  // A pipe may give fewer bytes a read.
  char bytes[kFormBytes];
  std::size_t got = 0;
  while (got < kFormBytes) {
    std::size_t more = source_->read(bytes + got, kFormBytes - got);
    if (more == 0) break;
    got += more;
  }
  first_.assign(bytes, got);
}

std::size_t PeekedSource::read(char* buffer, std::size_t size) {
  if (handed_out_ == first_.size()) return source_->read(buffer, size);
  std::size_t count = std::min(size, first_.size() - handed_out_);
  std::copy_n(first_.data() + handed_out_, count, buffer);
  handed_out_ += count;
  // The rest of the read from the source, so that blocks stay whole.
  if (count < size && handed_out_ == first_.size())
    count += source_->read(buffer + count, size - count);
  return count;
}
