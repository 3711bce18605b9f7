#include "read/las/las_crs.h"

#include <algorithm>
#include <cstring>
#include <initializer_list>
#include <utility>

#include "num/number.h"
#include "read/las/last_answer.h"

namespace las {
namespace {

std::uint16_t u16(const std::uint8_t* at) { return static_cast<std::uint16_t>(at[0] | at[1] << 8); }

std::uint64_t u64(const unsigned char* at) {
  std::uint64_t value = 0;
  for (int i = 7; i >= 0; --i) value = value << 8 | at[i];
  return value;
}

std::string text(std::uint64_t value) { return number::uint_text(value); }

// The GeoTIFF records' IDs, which are also the tags their keys point into.
constexpr std::uint16_t kGeoKeys = 34735;
constexpr std::uint16_t kGeoDoubles = 34736;
constexpr std::uint16_t kGeoAscii = 34737;
constexpr std::uint16_t kWkt = 2112;

// An EPSG code as GeoTIFF keys give it: 0 says nothing, 32767 a system
// the other keys define.
int epsg_key(std::uint16_t value) { return value > 0 && value < 32767 ? value : 0; }

// What GeoTIFF keys give: their codes and their citation.
struct KeyCodes {
  int horizontal = 0;
  int vertical = 0;
  std::string name;
  std::string damage;
};

KeyCodes geokey_codes(const Crs& crs) {
  KeyCodes found;
  const std::vector<std::uint8_t>& keys = crs.geokeys;
  if (keys.empty()) return found;
  if (keys.size() < 8) {
    found.damage = "its GeoTIFF key directory is cut short, " + text(keys.size()) + " bytes";
    return found;
  }
  // A header of four shorts, the last the number of keys, then four shorts
  // a key: its ID, where its value is (0: in the key; 34737: among the
  // ASCII parameters), its count and its value or where it begins.
  std::size_t said = u16(keys.data() + 6);
  std::size_t present = (keys.size() - 8) / 8;
  if (present < said) {
    found.damage = "its GeoTIFF key directory is cut short, " + text(present) + " of its " +
                   text(said) + " keys there";
  }
  bool projected_model = false, projected_key = false;
  int projected = 0, geographic = 0;
  std::string citations[3];  // the projected system's, the whole's, the geographic one's
  for (std::size_t k = 0; k < std::min(said, present); ++k) {
    const std::uint8_t* key = keys.data() + 8 + 8 * k;
    std::uint16_t id = u16(key), where = u16(key + 2), count = u16(key + 4), value = u16(key + 6);
    if (where == 0) {
      if (id == 1024) projected_model = value == 1;
      if (id == 3072) {
        projected_key = true;
        projected = epsg_key(value);
      }
      if (id == 2048) geographic = epsg_key(value);
      if (id == 4096) found.vertical = epsg_key(value);
    } else if (where == kGeoAscii && (id == 3073 || id == 1026 || id == 2049)) {
      if (std::size_t{value} + count > crs.ascii.size()) {
        if (found.damage.empty()) found.damage = "a GeoTIFF key points past its ASCII parameters";
        continue;
      }
      std::string cited(crs.ascii.begin() + value, crs.ascii.begin() + value + count);
      // Each text ends with a bar, which the count takes in.
      while (!cited.empty() && (cited.back() == '|' || cited.back() == '\0')) cited.pop_back();
      citations[id == 3073 ? 0 : id == 1026 ? 1 : 2] = cited;
    }
  }
  // A projected system defined by its keys is not the geographic system it
  // rests on, whose code the keys also give.
  found.horizontal = projected_model || projected_key ? projected : geographic;
  for (const std::string& cited : citations) {
    if (found.name.empty()) found.name = cited;
  }
  return found;
}

// A WKT element: its keyword, its values (quoted text without its quotes,
// numbers and bare words as written), and the elements within it.
struct Element {
  std::string_view keyword;
  std::vector<std::string> values;
  std::vector<Element> children;
};

// Nesting far beyond any real system's, and a bound on the stack a WKT
// made to hurt could take.
constexpr int kDeepestWkt = 32;

class WktParser {
 public:
  explicit WktParser(std::string_view wkt) : wkt_(wkt) {}

  bool element(Element& into, int depth) {
    if (depth > kDeepestWkt) return false;
    space();
    std::size_t start = at_;
    while (at_ < wkt_.size() && word_letter(wkt_[at_])) ++at_;
    if (at_ == start) return false;
    into.keyword = wkt_.substr(start, at_ - start);
    space();
    if (at_ >= wkt_.size() || (wkt_[at_] != '[' && wkt_[at_] != '(')) return false;
    ++at_;
    for (;;) {
      space();
      if (at_ >= wkt_.size()) return false;
      if (wkt_[at_] == '"') {
        std::string quoted;
        if (!quote(quoted)) return false;
        into.values.push_back(std::move(quoted));
      } else if (word_letter(wkt_[at_]) && !number_start(wkt_[at_])) {
        std::size_t word = at_;
        while (at_ < wkt_.size() && word_letter(wkt_[at_])) ++at_;
        space();
        if (at_ < wkt_.size() && (wkt_[at_] == '[' || wkt_[at_] == '(')) {
          at_ = word;
          into.children.emplace_back();
          if (!element(into.children.back(), depth + 1)) return false;
        } else {
          into.values.emplace_back(wkt_.substr(word, at_ - word));
        }
      } else {
        std::size_t value = at_;
        while (at_ < wkt_.size() && wkt_[at_] != ',' && wkt_[at_] != ']' && wkt_[at_] != ')') ++at_;
        into.values.emplace_back(wkt_.substr(value, at_ - value));
      }
      space();
      if (at_ >= wkt_.size()) return false;
      char c = wkt_[at_++];
      if (c == ']' || c == ')') return true;
      if (c != ',') return false;
    }
  }

 private:
  static bool word_letter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
  }
  static bool number_start(char c) { return c >= '0' && c <= '9'; }
  void space() {
    while (at_ < wkt_.size() &&
           (wkt_[at_] == ' ' || wkt_[at_] == '\t' || wkt_[at_] == '\n' || wkt_[at_] == '\r'))
      ++at_;
  }
  // A quoted text; WKT 2 writes a quote within one twice.
  bool quote(std::string& into) {
    for (++at_; at_ < wkt_.size(); ++at_) {
      if (wkt_[at_] != '"') {
        into += wkt_[at_];
      } else if (at_ + 1 < wkt_.size() && wkt_[at_ + 1] == '"') {
        into += '"';
        ++at_;
      } else {
        ++at_;
        return true;
      }
    }
    return false;
  }

  std::string_view wkt_;
  std::size_t at_ = 0;
};

bool is_one_of(std::string_view keyword, std::initializer_list<std::string_view> names) {
  return std::find(names.begin(), names.end(), keyword) != names.end();
}

bool horizontal_system(std::string_view keyword) {
  return is_one_of(keyword, {"PROJCS", "GEOGCS", "GEOCCS", "PROJCRS", "PROJECTEDCRS", "GEOGCRS",
                             "GEOGRAPHICCRS", "GEODCRS", "GEODETICCRS"});
}

bool vertical_system(std::string_view keyword) {
  return is_one_of(keyword, {"VERT_CS", "VERTCS", "VERTCRS", "VERTICALCRS"});
}

// The code of an element's last AUTHORITY["EPSG","n"] (WKT 1) or
// ID["EPSG",n] (WKT 2) among its own children, not those deeper in.
int element_epsg(const Element& element) {
  int code = 0;
  for (const Element& child : element.children) {
    if (child.keyword != "AUTHORITY" && child.keyword != "ID") continue;
    if (child.values.size() < 2 || child.values[0] != "EPSG") continue;
    const std::string& digits = child.values[1];
    if (digits.empty() || digits.size() > 9 ||
        !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }))
      continue;
    code = std::stoi(digits);
  }
  return code;
}

// Spaces and line ends outside quoted text left out.
std::string without_spaces(std::string_view wkt) {
  std::string kept;
  bool quoted = false;
  for (char c : wkt) {
    if (c == '"') quoted = !quoted;
    if (!quoted && (c == ' ' || c == '\t' || c == '\n' || c == '\r')) continue;
    kept += c;
  }
  return kept;
}

}  // namespace

namespace {

struct WktCodes {
  int horizontal = 0;
  int vertical = 0;
  std::string name;
};

WktCodes parse_wkt_codes(std::string_view wkt) {
  WktCodes codes;
  int& horizontal = codes.horizontal;
  int& vertical = codes.vertical;
  std::string& name = codes.name;
  Element outer;
  if (!WktParser(wkt).element(outer, 0)) return codes;
  // A system bound to another for its transformation is its source.
  const Element* system = &outer;
  if (outer.keyword == "BOUNDCRS") {
    for (const Element& child : outer.children) {
      if (child.keyword == "SOURCECRS" && !child.children.empty()) system = &child.children[0];
    }
  }
  if (!system->values.empty()) name = system->values[0];
  if (system->keyword == "COMPD_CS" || system->keyword == "COMPOUNDCRS") {
    for (const Element& part : system->children) {
      if (horizontal_system(part.keyword) && horizontal == 0) horizontal = element_epsg(part);
      if (vertical_system(part.keyword) && vertical == 0) vertical = element_epsg(part);
    }
  } else if (vertical_system(system->keyword)) {
    vertical = element_epsg(*system);
  } else if (horizontal_system(system->keyword)) {
    horizontal = element_epsg(*system);
    // Some writers put the vertical system inside the horizontal one.
    for (const Element& part : system->children) {
      if (vertical_system(part.keyword) && vertical == 0) vertical = element_epsg(part);
    }
  }
  return codes;
}

}  // namespace

void wkt_codes(std::string_view wkt, int& horizontal, int& vertical, std::string& name) {
  static LastAnswer<WktCodes> last;
  WktCodes codes = last(wkt, [wkt] { return parse_wkt_codes(wkt); });
  horizontal = codes.horizontal;
  vertical = codes.vertical;
  name = std::move(codes.name);
}

std::string Crs::describe() const {
  if (empty()) return "";
  if (horizontal_epsg != 0) {
    std::string told = "EPSG:" + text(static_cast<std::uint64_t>(horizontal_epsg));
    if (vertical_epsg != 0) {
      told += '+';
      told += text(static_cast<std::uint64_t>(vertical_epsg));
    }
    return told;
  }
  if (!name.empty()) return name;
  if (vertical_epsg != 0) return "vertical EPSG:" + text(static_cast<std::uint64_t>(vertical_epsg));
  return "unnamed";
}

std::string Crs::describe_with_form() const {
  std::string told = describe();
  if (horizontal_epsg != 0 || empty()) return told;
  const bool has_keys = !geokeys.empty();
  const bool has_wkt = !wkt.empty();
  return told + (has_keys && has_wkt ? " (GeoTIFF keys and WKT)"
                 : has_keys          ? " (GeoTIFF keys)"
                                     : " (WKT)");
}

bool Crs::same_as(const Crs& other) const {
  if (horizontal_epsg != 0 && other.horizontal_epsg != 0)
    return horizontal_epsg == other.horizontal_epsg && vertical_epsg == other.vertical_epsg;
  // Tiles of one survey carry the same text, byte for byte: compared as it
  // is before it is compared without its spaces.
  return geokeys == other.geokeys && doubles == other.doubles && ascii == other.ascii &&
         (wkt == other.wkt || without_spaces(wkt) == without_spaces(other.wkt));
}

void add_projection_record(Crs& crs, std::uint16_t id, const unsigned char* body,
                           std::size_t length) {
  auto keep = [&](std::vector<std::uint8_t>& raw) {
    if (raw.empty()) raw.assign(body, body + length);
  };
  if (id == kGeoKeys) keep(crs.geokeys);
  if (id == kGeoDoubles) keep(crs.doubles);
  if (id == kGeoAscii) keep(crs.ascii);
  if (id == kWkt && crs.wkt.empty()) {
    std::string_view wkt(reinterpret_cast<const char*>(body), length);
    wkt = wkt.substr(0, wkt.find('\0'));
    // Some writers leave the record with nothing in it, or two quotes.
    if (wkt.find_first_of("[(") != std::string_view::npos) crs.wkt = std::string(wkt);
  }
}

std::string settle_codes(Crs& crs, bool wkt_first) {
  KeyCodes keys = geokey_codes(crs);
  KeyCodes wkt;
  if (!crs.wkt.empty()) {
    wkt_codes(crs.wkt, wkt.horizontal, wkt.vertical, wkt.name);
    if (wkt.name.empty()) wkt.damage = "its WKT is not read";
  }
  const KeyCodes& first = wkt_first ? wkt : keys;
  const KeyCodes& second = wkt_first ? keys : wkt;
  crs.horizontal_epsg = first.horizontal != 0 ? first.horizontal : second.horizontal;
  crs.vertical_epsg = first.vertical != 0 ? first.vertical : second.vertical;
  crs.name = !first.name.empty() ? first.name : second.name;
  if (keys.damage.empty()) return wkt.damage;
  return wkt.damage.empty() ? keys.damage : keys.damage + "; " + wkt.damage;
}

namespace {

// The extended records after the points (60-byte headers: 2 reserved
// bytes, a user ID of 16, the record ID, an 8-byte length and a
// description of 32), read apart from the points. Returns a note.
std::string read_extended(const Header& header, ByteSource& file, Crs& crs) {
  constexpr std::size_t kRecordHeader = 60;
  // More than any writer makes; a bound on the reads a damaged count costs.
  constexpr std::uint32_t kMostRecords = 1u << 16;
  std::uint64_t at = header.extended_at;
  unsigned char head[kRecordHeader];
  for (std::uint32_t r = 0; r < header.extended_records; ++r) {
    if (r == kMostRecords)
      return "its extended records past the first " + text(r) + " are not read";
    std::ptrdiff_t got = file.read_at(at, reinterpret_cast<char*>(head), kRecordHeader);
    if (got < 0) return "its extended records are not read, as the input is read in one pass";
    if (static_cast<std::size_t>(got) < kRecordHeader)
      return "its extended records run past the end of the file";
    const auto* user = reinterpret_cast<const char*>(head + 2);
    std::string_view user_id(user, strnlen(user, 16));
    std::uint16_t id = u16(head + 18);
    std::uint64_t length = u64(head + 20);
    if (length > (std::uint64_t{1} << 62) - at) return "an extended record's length is unusable";
    if (user_id == "LASF_Projection" &&
        (id == kWkt || id == kGeoKeys || id == kGeoDoubles || id == kGeoAscii)) {
      if (length > kMostCrsRecordBytes) {
        return "its extended record LASF_Projection " + text(id) + " of " + text(length) +
               " bytes is passed over";
      }
      std::vector<unsigned char> body(static_cast<std::size_t>(length));
      got = file.read_at(at + kRecordHeader, reinterpret_cast<char*>(body.data()), body.size());
      if (got < 0 || static_cast<std::size_t>(got) < body.size())
        return "its extended records run past the end of the file";
      add_projection_record(crs, id, body.data(), body.size());
    }
    at += kRecordHeader + length;
  }
  // The other records are passed over unread: the last of them cut short
  // still tells a damaged file.
  if (at > header.extended_at) {
    char last = 0;
    std::ptrdiff_t got = file.read_at(at - 1, &last, 1);
    if (got == 0) return "its extended records run past the end of the file";
  }
  return "";
}

}  // namespace

Crs read_crs(const Header& header, const unsigned char* records, std::size_t size, ByteSource* file,
             std::string& note) {
  Crs crs;
  for (const VariableRecord& record : variable_records(records, size, header.records)) {
    if (record.user == "LASF_Projection")
      add_projection_record(crs, record.id, record.body, record.length);
  }
  std::string notes;
  if (header.extended_records != 0 && header.extended_at != 0 && file != nullptr)
    notes = read_extended(header, *file, crs);
  std::string damage = settle_codes(crs, header.wkt);
  if (!damage.empty()) notes += (notes.empty() ? "" : "; ") + damage;
  note = notes;
  return crs;
}

}  // namespace las
