// Text composed piece by piece, as the program's C-style format strings
// would print it, with every number through the program's own formatter.
#ifndef STRATUMIX_TEXT_OUT_H_
#define STRATUMIX_TEXT_OUT_H_

#include <cstdint>
#include <string>
#include <string_view>

// A double printed as "%lf" prints it.
struct Fixed6 {
  double value;
};

class TextOut {
 public:
  TextOut& operator<<(std::string_view text) {
    put(text);
    return *this;
  }
  TextOut& operator<<(std::int64_t value);
  TextOut& operator<<(std::int32_t value) { return *this << static_cast<std::int64_t>(value); }
  TextOut& operator<<(Fixed6 value);

 protected:
  TextOut() = default;
  TextOut(const TextOut&) = default;
  TextOut& operator=(const TextOut&) = default;
  ~TextOut() = default;
  virtual void put(std::string_view text) = 0;
};

// Standard output, kept until flush(): the program flushes before it waits
// for an answer or a key and when it ends.
class Console : public TextOut {
 public:
  void flush();

 private:
  void put(std::string_view text) override;
  std::string pending_;
};

// Standard error: one message a call, prefixed with the program's name.
void report_error(std::string_view message);

extern Console console;

#endif  // STRATUMIX_TEXT_OUT_H_
