// The operator's answers, read from standard input as the C conversions
// "%s" and "%d" read them: words between white space, several answers on
// one line taken in turn.
#ifndef STRATUMIX_APP_ANSWERS_H_
#define STRATUMIX_APP_ANSWERS_H_

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <utility>

class Answers {
 public:
  explicit Answers(std::FILE* input) : input_(input) {}
  // Answers already typed, for a job set up in memory.
  explicit Answers(std::string typed) : typed_(std::move(typed)) {}

  // The next word, or nothing when the input ends first.
  std::optional<std::string> word();

  struct Count {
    enum Kind { kNumber, kNotANumber, kEnd } kind = kEnd;
    std::int64_t value = 0;  // kNumber: saturated far outside 32 bits
    bool fits_32_bits = false;
    std::string text;  // kNumber: the sign and digits as typed; kNotANumber: the word
  };
  // An optionally signed decimal integer at the start of the next word.
  // What follows its digits stays unread; a word that does not start with
  // a number stays unread whole.
  Count count();

  // Why the answers ended, when they could not be read (standard input a
  // folder, say): the system's error number; 0 when they simply ended.
  int error() const { return error_; }

 private:
  // Moves to the next non-white character, reading lines as needed.
  bool skip_white_space();
  int next_char();  // EOF at the end

  std::FILE* input_ = nullptr;  // none: the answers typed_
  std::string typed_;
  std::size_t typed_read_ = 0;
  std::string line_;
  std::size_t position_ = 0;
  int error_ = 0;
};

#endif  // STRATUMIX_APP_ANSWERS_H_
