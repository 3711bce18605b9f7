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
  // `at_terminal`: a person types them, who can be asked again.
  explicit Answers(std::FILE* input, bool at_terminal = false)
      : input_(input), at_terminal_(at_terminal) {}
  // Answers already typed, for a job set up in memory; `at_terminal` as if
  // a person typed them.
  explicit Answers(std::string typed, bool at_terminal = false)
      : typed_(std::move(typed)), at_terminal_(at_terminal) {}

  // The next word, or nothing when the input ends first.
  std::optional<std::string> word();

  struct Count {
    enum Kind { kNumber, kNotANumber, kEnd } kind = kEnd;
    std::int64_t value = 0;  // kNumber: saturated far outside 32 bits
    bool fits_32_bits = false;
    std::string text;  // kNumber: the sign and digits as typed; kNotANumber: the word
    std::string word;  // the whole word the count begins, as typed
    // kNumber: the number is the whole word (not "2.5", nor "2abc").
    bool whole() const { return kind == kNumber && text.size() == word.size(); }
  };
  // An optionally signed decimal integer at the start of the next word.
  // What follows its digits stays unread; a word that does not start with
  // a number stays unread whole.
  Count count();

  // Drops what is left of the line being read: the rest of an answer
  // typed in error, before the question is asked again.
  void skip_line() {
    line_.clear();
    position_ = 0;
  }
  bool at_terminal() const { return at_terminal_; }

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
  bool at_terminal_ = false;
};

#endif  // STRATUMIX_APP_ANSWERS_H_
