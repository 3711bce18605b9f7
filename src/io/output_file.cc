#include "io/output_file.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "io/write_behind.h"

void OutputFile::open(std::unique_ptr<ByteSink> sink) {
  sink_ = std::move(sink);
  handed_over_ = 0;
  failed_ = false;
  if (buffer_ == nullptr) buffer_.reset(new char[kBufferSize]);
  used_ = 0;
}

void OutputFile::put(std::string_view text) {
  while (!text.empty()) {
    std::size_t line = std::min(text.find('\n'), text.size());
    std::size_t piece = std::min(line, kBufferSize / 2);
    bool ends_line = piece == line && line < text.size();
    char* out = reserve(piece + 2);
    std::memcpy(out, text.data(), piece);
    out += piece;
    if (ends_line) {
      *out++ = '\r';
      *out++ = '\n';
    }
    commit(out);
    text.remove_prefix(piece + (ends_line ? 1 : 0));
  }
}

void OutputFile::flush() {
  const std::size_t size = std::exchange(used_, 0);
  hand_over(size, [&] { sink_->take(buffer_, size, kBufferSize); });
}

void OutputFile::write_block(const char* data, std::size_t size) {
  flush();
  hand_over(size, [&] { sink_->write(data, size); });
}

void OutputFile::write_block(std::unique_ptr<char[]>& block, std::size_t size, std::size_t room) {
  flush();
  hand_over(size, [&] { sink_->take(block, size, room); });
}

template <typename Write>
void OutputFile::hand_over(std::size_t size, Write write) {
  // Never write through a file that failed.
  if (sink_ == nullptr || failed_ || size == 0) return;
  try {
    write();
    handed_over_ += static_cast<std::int64_t>(size);
  } catch (...) {
    // A full disk may have taken part of it.
    handed_over_ = static_cast<std::int64_t>(sink_->kept());
    failed_ = true;
    throw;
  }
}

bool OutputFile::cut_to(std::int64_t position) {
  // What was written behind is known before anything is cut: a write of
  // it that failed makes the file a failed one, which a cut may follow.
  drain(false);
  if (position >= handed_over_ && !failed_) {
    used_ = std::min(used_, static_cast<std::size_t>(position - handed_over_));
    return true;
  }
  if (sink_ == nullptr || position > handed_over_ ||
      !sink_->cut(static_cast<std::uint64_t>(position))) {
    return false;
  }
  handed_over_ = position;
  used_ = 0;
  return true;
}

std::size_t OutputFile::read_back(std::int64_t offset, char* buffer, std::size_t size) const {
  if (sink_ == nullptr || offset < 0 || offset >= handed_over_) return 0;
  return sink_->read_back(static_cast<std::uint64_t>(offset), buffer, size);
}

bool OutputFile::write_at(std::int64_t offset, const char* data, std::size_t size) {
  if (sink_ == nullptr || offset < 0) return false;
  // After a failed write what is buffered is dropped, and the file keeps
  // what it took.
  if (!failed_) {
    flush();
    drain();
  }
  return sink_->write_at(static_cast<std::uint64_t>(offset), data, size);
}

void OutputFile::write_behind() {
  if (sink_ != nullptr) sink_ = std::make_unique<WriteBehind>(std::move(sink_));
}

void OutputFile::drain(bool tell) {
  if (sink_ == nullptr || failed_) return;
  try {
    sink_->drain();
  } catch (...) {
    handed_over_ = static_cast<std::int64_t>(sink_->kept());
    failed_ = true;
    if (tell) throw;
  }
}

void OutputFile::close() {
  if (sink_ == nullptr || failed_) return;
  // Told once; where what it writes fails, the file stays open to be
  // settled.
  if (ending_ != nullptr) {
    ending_->finish(*this);
    ending_ = nullptr;
  }
  flush();
  // A block written behind that failed leaves the file open to be settled,
  // as a write that failed here would.
  drain();
  std::unique_ptr<ByteSink> sink = std::move(sink_);
  sink->close();
}
