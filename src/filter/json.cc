#include "filter/json.h"

#include "num/number.h"

namespace {

// Deeper nesting than a polygon's coordinates needs is refused before it
// could use up the stack.
constexpr int kDeepest = 64;

class Reader {
 public:
  explicit Reader(std::string_view text) : text_(text) {}

  Json document() {
    skip_space();
    Json value = read_value(0);
    skip_space();
    if (at_ < text_.size()) fail("more text after the JSON value");
    return value;
  }

 private:
  [[noreturn]] void fail(const std::string& what) const { throw JsonError{line_, what}; }

  void skip_space() {
    while (at_ < text_.size()) {
      const char c = text_[at_];
      if (c == '\n') {
        ++line_;
      } else if (c != ' ' && c != '\t' && c != '\r') {
        return;
      }
      ++at_;
    }
  }

  bool take(char c) {
    if (at_ < text_.size() && text_[at_] == c) {
      ++at_;
      return true;
    }
    return false;
  }

  std::string found() const {
    if (at_ >= text_.size()) return "the end of the file";
    const char c = text_[at_];
    if (c >= 0x20 && c < 0x7f) return std::string("'") + c + "'";
    return "a byte " + number::int_text(static_cast<unsigned char>(c));
  }

  Json read_value(int depth) {
    if (depth > kDeepest) fail("arrays and objects nested too deep");
    Json value;
    value.line = line_;
    if (at_ >= text_.size()) fail("a value was expected, not the end of the file");
    const char c = text_[at_];
    if (c == '{') {
      value.kind = Json::Kind::kObject;
      read_object(value, depth);
    } else if (c == '[') {
      value.kind = Json::Kind::kArray;
      read_array(value, depth);
    } else if (c == '"') {
      value.kind = Json::Kind::kString;
      value.text = read_string();
    } else if (c == '-' || (c >= '0' && c <= '9')) {
      value.kind = Json::Kind::kNumber;
      value.number = read_number();
    } else if (word("true") || word("false")) {
      value.kind = Json::Kind::kBool;
      value.flag = c == 't';
    } else if (word("null")) {
      value.kind = Json::Kind::kNull;
    } else {
      fail("a value was expected, not " + found());
    }
    return value;
  }

  bool word(std::string_view w) {
    if (text_.substr(at_, w.size()) != w) return false;
    at_ += w.size();
    return true;
  }

  void read_object(Json& object, int depth) {
    ++at_;
    skip_space();
    if (take('}')) return;
    for (;;) {
      skip_space();
      if (at_ >= text_.size() || text_[at_] != '"')
        fail("a member's name was expected, not " + found());
      std::string name = read_string();
      skip_space();
      if (!take(':')) fail("':' was expected after \"" + name + "\", not " + found());
      skip_space();
      object.names.push_back(std::move(name));
      object.values.push_back(read_value(depth + 1));
      skip_space();
      if (take('}')) return;
      if (!take(',')) fail("',' or '}' was expected, not " + found());
    }
  }

  void read_array(Json& array, int depth) {
    ++at_;
    skip_space();
    if (take(']')) return;
    for (;;) {
      skip_space();
      array.items.push_back(read_value(depth + 1));
      skip_space();
      if (take(']')) return;
      if (!take(',')) fail("',' or ']' was expected, not " + found());
    }
  }

  // Names and strings are compared, never shown as they are: escapes are
  // kept as their characters where they are ASCII, and others as '?'.
  std::string read_string() {
    ++at_;
    std::string text;
    for (;;) {
      if (at_ >= text_.size()) fail("a string is not ended");
      const char c = text_[at_++];
      if (c == '"') return text;
      if (static_cast<unsigned char>(c) < 0x20)
        fail("a string holds a control character or line end");
      if (c != '\\') {
        text += c;
        continue;
      }
      if (at_ >= text_.size()) fail("a string is not ended");
      const char e = text_[at_++];
      switch (e) {
        case '"':
        case '\\':
        case '/':
          text += e;
          break;
        case 'b':
        case 'f':
        case 'n':
        case 'r':
        case 't':
          text += ' ';
          break;
        case 'u': {
          unsigned code = 0;
          for (int i = 0; i < 4; ++i, ++at_) {
            const char h = at_ < text_.size() ? text_[at_] : '\0';
            const int digit = h >= '0' && h <= '9'   ? h - '0'
                              : h >= 'a' && h <= 'f' ? h - 'a' + 10
                              : h >= 'A' && h <= 'F' ? h - 'A' + 10
                                                     : -1;
            if (digit < 0) fail("\\u in a string takes four hexadecimal digits");
            code = code * 16 + static_cast<unsigned>(digit);
          }
          text += code < 0x80 ? static_cast<char>(code) : '?';
          break;
        }
        default:
          fail(std::string("a string holds an unknown escape \\") + e);
      }
    }
  }

  double read_number() {
    const std::size_t first = at_;
    auto digits = [this] {
      const std::size_t from = at_;
      while (at_ < text_.size() && text_[at_] >= '0' && text_[at_] <= '9') ++at_;
      return at_ > from;
    };
    take('-');
    const std::size_t integer = at_;
    if (!digits()) fail("a number is missing its digits");
    if (text_[integer] == '0' && at_ - integer > 1) fail("a number begins with 0");
    if (take('.') && !digits()) fail("a number has no digits after its '.'");
    if (take('e') || take('E')) {
      if (!take('+')) take('-');
      if (!digits()) fail("a number has no digits in its exponent");
    }
    const number::Parsed parsed = number::parse_token(text_.data() + first, text_.data() + at_);
    if (!parsed.ok) fail("a number cannot be read");
    return parsed.value;
  }

  std::string_view text_;
  std::size_t at_ = 0;
  int line_ = 1;
};

}  // namespace

const Json* Json::member(std::string_view name) const {
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (names[i] == name) return &values[i];
  }
  return nullptr;
}

Json parse_json(std::string_view text) {
  // A byte order mark is no JSON, but some tools write one.
  if (text.starts_with("\xef\xbb\xbf")) text.remove_prefix(3);
  return Reader(text).document();
}

const char* kind_name(Json::Kind kind) {
  switch (kind) {
    case Json::Kind::kNull:
      return "null";
    case Json::Kind::kBool:
      return "true or false";
    case Json::Kind::kNumber:
      return "a number";
    case Json::Kind::kString:
      return "a string";
    case Json::Kind::kArray:
      return "an array";
    case Json::Kind::kObject:
      break;
  }
  return "an object";
}
