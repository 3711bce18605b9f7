// The disk as the program sees it: files of bytes read and written whole,
// behind two small interfaces so that tests can stand in for them.
#ifndef STRATUMIX_DISK_H_
#define STRATUMIX_DISK_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// The size of one read or write: large enough that system calls cost
// next to nothing, small enough that the buffers stay in the processor's
// cache and the program in a few MiB of memory.
inline constexpr std::size_t kIoBlockSize = std::size_t{256} << 10;

// Bytes read in order. read() returns 0 at the end and throws Failure
// (status 1) when the system reports an error.
class ByteSource {
 public:
  virtual ~ByteSource() = default;
  virtual std::size_t read(char* buffer, std::size_t size) = 0;

  // How many '\n' bytes the reads so far returned, for a source that counts
  // them on the side; -1 for one that does not.
  virtual std::int64_t line_ends_read() const { return -1; }
};

// Bytes written in order. write() and close() throw Failure (status 1) when
// the system reports an error.
class ByteSink {
 public:
  virtual ~ByteSink() = default;
  virtual void write(const char* data, std::size_t size) = 0;
  virtual void close() = 0;

  // Writes the first `size` bytes of `buffer`. A sink may keep the buffer's
  // storage and leave other storage of any size in its place: that spares a
  // copy of every byte written.
  virtual void write_buffer(std::vector<char>& buffer, std::size_t size) {
    write(buffer.data(), size);
  }
};

// `path` is what the operator sees (the composed Windows path); it names
// the file in messages. The file itself is found at platform::native_path.
// On failure these return null and set `reason` to the system's word.
std::unique_ptr<ByteSource> open_for_reading(const std::string& path, std::string& reason);
std::unique_ptr<ByteSink> create_file(const std::string& path, std::string& reason);

// Whether two paths name one existing file (through links, other spellings).
bool same_existing_file(const std::string& path1, const std::string& path2);

// The path for messages: the composed path, and where it differs the
// native one the system was given.
std::string describe_path(const std::string& path);

#endif  // STRATUMIX_DISK_H_
