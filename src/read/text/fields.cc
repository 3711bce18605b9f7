#include "read/text/fields.h"

#include <algorithm>
#include <bit>
#include <cctype>
#include <cstring>

#include "io/paths.h"
#include "num/bytes.h"
#include "num/number.h"
#include "read/text/run_loop.h"

namespace {

using bytes::kCtrlZ;
using namespace field_lines;

}  // namespace

FieldReader::FieldReader(ByteSource& source, const layout::Layout& layout, std::size_t buffer_size,
                         bool quickly, Axes axes, const point::Wanted& wanted)
    : layout_(layout),
      quickly_(quickly && layout.xyz[0] < layout.xyz[1] && layout.xyz[1] < layout.xyz[2]),
      may_be_quick_(quickly_),
      measured_(axes),
      buffer_(source, buffer_size, kTextSlack),
      to_skip_(layout.data_start),
      line_(layout.data_line) {
  std::copy(layout.xyz, layout.xyz + 3, want_);
  for (char c : {' ', '\t', '\v', '\f'}) classes_[static_cast<unsigned char>(c)] = kBlank;
  if (layout.separator == ' ') {
    for (char c : {' ', '\t', '\v', '\f'}) classes_[static_cast<unsigned char>(c)] |= kSeparator;
  } else {
    classes_[static_cast<unsigned char>(layout.separator)] = kSeparator;
  }
  classes_[static_cast<unsigned char>('\r')] = kLineEnd;
  classes_[static_cast<unsigned char>('\n')] = kLineEnd;
  classes_[static_cast<unsigned char>('"')] = kOther;
  classes_[0] = kOther;
  // Between commas a decimal comma can only be quoted: the general way.
  char mark = layout.decimal_comma && layout.separator != ',' ? ',' : '.';
  scan_ = {classes_, layout.separator, mark, layout.fields, {want_[0], want_[1], want_[2]}};
  end_text(buffer_.data());
  want(wanted);
}

void FieldReader::want(const point::Wanted& wanted) {
  wanted_dims_.clear();
  wanted_extra_.clear();
  for (const auto& [field, dim] : layout_.dims) {
    if (wanted.dims.has(dim)) wanted_dims_.emplace_back(field, dim);
  }
  for (std::size_t i = 0; i < layout_.extra.size(); ++i) {
    const auto& [field, name] = layout_.extra[i];
    // Names as a user types them, in any case.
    auto same = [&name = name](const std::string& asked) {
      return std::equal(asked.begin(), asked.end(), name.begin(), name.end(), [](char a, char b) {
        return std::tolower(static_cast<unsigned char>(a)) ==
               std::tolower(static_cast<unsigned char>(b));
      });
    };
    if (std::any_of(wanted.extra.begin(), wanted.extra.end(), same)) {
      wanted_extra_.emplace_back(field, i);
    }
  }
  attributes_ = PointAttributes{};
  attributes_.extra.assign(layout_.extra.size(), 0.0);
  extra_names_.clear();
  for (const auto& field_name : layout_.extra) extra_names_.push_back(field_name.second);
  attributes_.extra_names = &extra_names_;
  // The quick way writes X Y Z alone; once an end line was met it is left
  // for good.
  quickly_ = may_be_quick_ && wanted_dims_.empty() && wanted_extra_.empty() && end_line_ == 0;
}

point::Schema FieldReader::schema() const {
  point::Schema schema;
  for (const auto& field_dim : layout_.dims) schema.dims.add(field_dim.second);
  for (const auto& field_name : layout_.extra) schema.extra.push_back(field_name.second);
  return schema;
}

std::string FieldReader::note() const {
  std::vector<std::string> kept;
  for (const auto& field_dim : wanted_dims_) kept.emplace_back(point::name_of(field_dim.second));
  for (const auto& field_extra : wanted_extra_) {
    kept.push_back(layout_.extra[field_extra.second].second);
  }
  return layout::describe(layout_, points_, kept);
}

std::int64_t FieldReader::copy_points(PointSink& sink, Extents& extents, std::int64_t count) {
  PassThrough* pass = sink.pass_through();
  const bool white = layout_.separator == ' ';
  std::int64_t copied = 0;
  while (copied < count && !stopped_) {
    if (position_ >= whole_ && !refill()) {
      stopped_ = true;
      break;
    }
    char* const data = buffer_.data();
    char* p = data + position_;
    const char* const whole = data + whole_;
    while (copied < count && p < whole) {
      if (quickly_ && pass != nullptr) {
        const std::int64_t lines = count - copied;
        const std::int64_t got =
            pass->pass_lines(scan_, white, measured_, p, whole, lines, extents, line_);
        copied += got;
        points_ += got;
        // Short of both only at a line that the quick way leaves to the
        // general one.
        if (got == lines || p >= whole) continue;
      }
      Line line = copy_line(p, sink, extents);
      if (line == Line::kPoint) {
        ++copied;
        ++points_;
      } else if (line == Line::kStopped) {
        stopped_ = true;
        break;
      }
    }
    position_ = static_cast<std::size_t>(p - data);
  }
  return copied;
}

// Keeps the line begun, moved to the front, and reads on until at least
// one whole line is there. False at the end, or at a line longer than the
// buffer, which problem() then describes.
bool FieldReader::refill() {
  for (;;) {
    std::size_t skipped = std::min(to_skip_, end_ - position_);
    position_ += skipped;
    to_skip_ -= skipped;
    if (to_skip_ == 0) {
      find_whole_lines();
      if (whole_ > position_) return true;
    }
    if (source_ended_) return false;
    if (end_ - position_ == buffer_.capacity()) {
      set_problem("a line longer than " +
                  number::int_text(static_cast<std::int64_t>(buffer_.capacity())) + " bytes");
      return false;
    }
    const std::size_t kept = end_ - position_;
    InputBuffer::Refill more = buffer_.refill(position_, end_);
    position_ = whole_ = more.first;
    end_ = more.first + kept;
    if (more.got == 0) {
      end_text(buffer_.data() + end_);
      source_ended_ = true;
    } else {
      take_read(more.got);
    }
  }
}

// Adds the `got` bytes read at end_ to the text, as far as a Ctrl-Z.
void FieldReader::take_read(std::size_t got) {
  char* first = buffer_.data() + end_;
  if (void* stop = std::memchr(first, kCtrlZ, got); stop != nullptr) {
    got = static_cast<std::size_t>(static_cast<char*>(stop) - first);
    source_ended_ = true;
  }
  end_ += got;
  end_text(buffer_.data() + end_);
}

// Sets whole_ past the last line end read; a CR at the very end only ends
// a line once no LF can follow it.
void FieldReader::find_whole_lines() {
  if (source_ended_) {
    whole_ = end_;
    return;
  }
  const char* data = buffer_.data();
  std::size_t at = end_;
  while (at > position_) {
    char c = data[at - 1];
    if (c == '\n' || (c == '\r' && at != end_)) break;
    --at;
  }
  whole_ = at;
}

// The first line end at or after `p`, or the end of the whole lines.
const char* FieldReader::line_end(const char* p) const {
  const char* last = buffer_.data() + whole_;
  while (p != last && *p != '\n' && *p != '\r') ++p;
  return p;
}

void FieldReader::set_problem(const std::string& what) {
  problem_ = "line " + number::int_text(line_) + ": " + what;
}

// Reads a field as strtod reads it, into `parsed`, from `token`, the
// field's text made a number's: white space inside quotes before the
// number is skipped, as strtod skips it (a field outside quotes comes
// trimmed), and a decimal comma is made a point.
bool FieldReader::read_number(const layout::Field& field, std::string& token,
                              number::Parsed& parsed) const {
  token.assign(field.text);
  std::size_t blanks = 0;
  while (blanks < token.size() && bytes::is_white(token[blanks])) ++blanks;
  token.erase(0, blanks);
  if (layout_.decimal_comma) std::replace(token.begin(), token.end(), ',', '.');
  parsed = number::parse_token(token.data(), token.data() + token.size());
  return parsed.ok;
}

// The wanted attributes of the line split into fields_, into attributes_;
// false, with the problem set, at a field that is empty or no number: a
// value made up for it would be a wrong point.
bool FieldReader::read_attributes() {
  number::Parsed parsed;
  auto read = [&](int field, std::string_view name, double& value) {
    const layout::Field& text = fields_[static_cast<std::size_t>(field)];
    if (read_number(text, token_, parsed)) {
      value = parsed.value;
      return true;
    }
    const std::string what =
        "field " + number::int_text(field + 1) + " (" + std::string(name) + ")";
    set_problem(text.text.empty() ? what + " is empty"
                                  : paths::quoted(text.text) + " in " + what + " is not a number");
    return false;
  };
  for (const auto& [field, dim] : wanted_dims_) {
    if (!read(field, point::name_of(dim), attributes_.value[static_cast<int>(dim)])) return false;
  }
  for (const auto& [field, index] : wanted_extra_) {
    if (!read(field, layout_.extra[index].second, attributes_.extra[index])) return false;
  }
  return true;
}

// Any line: split into fields, each of X Y Z read as strtod reads it.
FieldReader::Line FieldReader::copy_line(char*& line, PointSink& sink, Extents& extents) {
  const char* last = line_end(line);
  std::string_view text(line, static_cast<std::size_t>(last - line));
  layout::split_fields(text, layout_.separator, fields_);
  if (fields_.size() == 1 && !fields_[0].quoted && layout::is_end_line(fields_[0].text)) {
    // The points end here: the quick way, which would take any line of
    // numbers after it, is left for good.
    if (end_line_ == 0) end_line_ = line_;
    quickly_ = false;
    fields_.clear();
  } else if (end_line_ != 0 && !fields_.empty()) {
    set_problem(paths::quoted(text) + " comes after line " + number::int_text(end_line_) +
                ", which ends the points");
    return Line::kStopped;
  }
  if (!fields_.empty() && static_cast<int>(fields_.size()) != layout_.fields) {
    set_problem(paths::quoted(text) + " holds " +
                number::int_text(static_cast<std::int64_t>(fields_.size())) +
                " fields where the file's lines hold " + number::int_text(layout_.fields));
    return Line::kStopped;
  }
  // The fields of X Y Z, decimal commas turned into points.
  std::string tokens[3];
  number::Parsed xyz[3];
  for (int axis = 0; axis < 3 && !fields_.empty(); ++axis) {
    const layout::Field& field = fields_[static_cast<std::size_t>(want_[axis])];
    if (!read_number(field, tokens[axis], xyz[axis])) {
      set_problem(paths::quoted(field.text) + " is not a number");
      return Line::kStopped;
    }
  }
  const bool attributes = !wanted_dims_.empty() || !wanted_extra_.empty();
  if (attributes && !fields_.empty() && !read_attributes()) return Line::kStopped;
  const char* next = last;
  if (next != buffer_.data() + end_) {
    next += next[0] == '\r' && next[1] == '\n' ? 2 : 1;
    ++line_;
  }
  line = const_cast<char*>(next);
  if (fields_.empty()) return Line::kBlank;
  Point point;
  for (int axis = 0; axis < 3; ++axis) {
    point.xyz[axis].value = xyz[axis].value;
    point.xyz[axis].keep_text(tokens[axis].data(), tokens[axis].data() + tokens[axis].size());
  }
  if (attributes) point.attributes = &attributes_;
  sink.point(point, extents, measured_);
  return Line::kPoint;
}
