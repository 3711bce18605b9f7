#include "read/gzip/gzip_source.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <map>
#include <random>
#include <string>
#include <vector>

#include "fake_disk.h"
#include "io/failure.h"
#include "read/gzip/deflate_header.h"
#include "tiles.h"

namespace {

struct Unpacked {
  std::string text;
  std::string failure;   // the message, when reading failed
  bool damaged = false;  // the failure says that the text given may be garbled
};

// Reads `packed`, served `piece` bytes at a time, in reads of `size`.
Unpacked unpack(const std::string& packed, std::size_t piece = 97, std::size_t size = 1000,
                GzipSource::Inflater inflater = GzipSource::Inflater::kFastest) {
  GzipSource source(std::make_unique<TextSource>(packed, piece), "tile.xyz.gz", inflater);
  Unpacked unpacked;
  std::string buffer(size, '\0');
  try {
    while (std::size_t got = source.read(buffer.data(), size)) unpacked.text.append(buffer, 0, got);
  } catch (const Failure& failure) {
    EXPECT_EQ(failure.status, 1);
    unpacked.failure = failure.message;
    unpacked.damaged = failure.input_damaged;
  }
  return unpacked;
}

std::string some_points(int count, unsigned seed) {
  std::mt19937 random(seed);
  std::string text;
  for (int i = 0; i < count; ++i) {
    text += std::to_string(random() % 1000000) + "." + std::to_string(random() % 100) + " " +
            std::to_string(random() % 10000000) + ".5 " + std::to_string(random() % 500) + "\r\n";
  }
  return text;
}

// Deflate data written a bit at a time, as no compressor would write it.
class Deflate {
 public:
  // `count` bits of `value`, lowest first, as deflate's numbers go.
  void put(unsigned value, int count) {
    for (int i = 0; i < count; ++i, ++at_) {
      if (at_ % 8 == 0) bytes_ += '\0';
      if ((value >> i & 1) != 0) bytes_.back() = static_cast<char>(bytes_.back() | 1 << at_ % 8);
    }
  }
  // A Huffman code, highest bit first.
  void put_code(unsigned code, int length) {
    for (int i = length - 1; i >= 0; --i) put(code >> i & 1, 1);
  }
  // A block of fixed codes holding `text` as literals.
  void fixed_block(const std::string& text, bool last) {
    put(last ? 1 : 0, 1);
    put(1, 2);
    for (unsigned char c : text) {
      if (c < 144)
        put_code(0x30 + c, 8);
      else
        put_code(0x190 + c - 144, 9);
    }
    put_code(0, 7);
  }
  // A block of dynamic codes of the given lengths (symbol: length), its
  // symbols given as literal/length symbols, each length symbol followed by
  // the distance symbol and its extra bits.
  struct Match {
    unsigned distance_symbol;
    unsigned extra;
    int extra_count;
  };
  void dynamic_block(const std::map<unsigned, int>& literals,
                     const std::map<unsigned, int>& distances,
                     const std::vector<std::pair<unsigned, Match>>& symbols, bool last) {
    put(last ? 1 : 0, 1);
    put(2, 2);
    unsigned literal_count = std::max(257u, literals.rbegin()->first + 1);
    unsigned distance_count = distances.empty() ? 1 : distances.rbegin()->first + 1;
    put(literal_count - 257, 5);
    put(distance_count - 1, 5);
    put(15, 4);  // all 19 lengths of the code of lengths
    // Lengths 0 to 15 all 4 bits long (a whole code), no repeats.
    for (int symbol : {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15}) {
      put(symbol < 16 ? 4 : 0, 3);
    }
    std::vector<int> lengths(literal_count + distance_count, 0);
    for (auto [symbol, length] : literals) lengths[symbol] = length;
    for (auto [symbol, length] : distances) lengths[literal_count + symbol] = length;
    for (int length : lengths) put_code(static_cast<unsigned>(length), 4);
    std::map<unsigned, std::pair<unsigned, int>> literal_codes = canonical(literals);
    std::map<unsigned, std::pair<unsigned, int>> distance_codes = canonical(distances);
    for (const auto& [symbol, match] : symbols) {
      put_code(literal_codes[symbol].first, literal_codes[symbol].second);
      if (symbol > 256) {
        put_code(distance_codes[match.distance_symbol].first,
                 distance_codes[match.distance_symbol].second);
        put(match.extra, match.extra_count);
      }
    }
    put_code(literal_codes[256].first, literal_codes[256].second);
  }
  const std::string& bytes() const { return bytes_; }

  // A gzip member around the data, its check sum and length those of `text`.
  std::string member(const std::string& text) const {
    std::string packed("\x1f\x8b\x08\x00\x00\x00\x00\x00\x00\x03", 10);
    packed += bytes_;
    auto put32 = [&](std::uint32_t value) {
      for (int i = 0; i < 4; ++i) packed += static_cast<char>(value >> 8 * i & 0xff);
    };
    put32(static_cast<std::uint32_t>(
        crc32(0, reinterpret_cast<const Bytef*>(text.data()), static_cast<uInt>(text.size()))));
    put32(static_cast<std::uint32_t>(text.size()));
    return packed;
  }

 private:
  static std::map<unsigned, std::pair<unsigned, int>> canonical(
      const std::map<unsigned, int>& lengths) {
    std::map<unsigned, std::pair<unsigned, int>> codes;
    unsigned code = 0;
    for (int length = 1; length <= 15; ++length) {
      for (auto [symbol, of] : lengths) {
        if (of == length) codes[symbol] = {code++, length};
      }
      code <<= 1;
    }
    return codes;
  }

  std::string bytes_;
  int at_ = 0;
};

TEST(GzipSource, GivesTheTextOfOneMemberWhateverTheSizesOfReads) {
  std::string text = some_points(20000, 1);
  std::string packed = gzip_member(text);
  for (std::size_t piece : {std::size_t{1}, std::size_t{97}, std::size_t{1} << 20}) {
    for (std::size_t size : {std::size_t{1}, std::size_t{4096}, std::size_t{1} << 20}) {
      if (piece == 1 && size == 1) continue;  // slow, and nothing new
      Unpacked unpacked = unpack(packed, piece, size);
      EXPECT_EQ(unpacked.failure, "");
      EXPECT_TRUE(unpacked.text == text) << piece << " " << size;
    }
  }
}

TEST(GzipSource, ReadsMembersOneAfterAnotherAsOneText) {
  std::string first = some_points(3000, 2);
  std::string second = some_points(5, 3);
  // An empty member between two, as `cat` of an empty .gz leaves.
  Unpacked unpacked = unpack(gzip_member(first) + gzip_member("") + gzip_member(second));
  EXPECT_EQ(unpacked.failure, "");
  EXPECT_TRUE(unpacked.text == first + second);
}

TEST(GzipSource, AMemberOfNoTextIsAnEmptyText) {
  Unpacked unpacked = unpack(gzip_member(""));
  EXPECT_EQ(unpacked.failure, "");
  EXPECT_EQ(unpacked.text, "");
}

TEST(GzipSource, DataCutShortFailsAfterTheTextBeforeTheCut) {
  std::string text = some_points(20000, 4);
  std::string packed = gzip_member(text);
  // Within the header, the data and the trailer.
  for (std::size_t cut : {std::size_t{1}, std::size_t{5}, packed.size() / 2, packed.size() - 3}) {
    Unpacked unpacked = unpack(packed.substr(0, cut));
    EXPECT_EQ(text.compare(0, unpacked.text.size(), unpacked.text), 0) << cut;
    EXPECT_EQ(
        unpacked.failure.rfind("Cannot read tile.xyz.gz: the gzip data is cut short, after ", 0), 0)
        << unpacked.failure;
    EXPECT_FALSE(unpacked.damaged) << cut;  // what came before the cut is as written
  }
  // Cut in the second member: the whole first member's text comes first.
  std::string first = some_points(100, 5);
  Unpacked unpacked = unpack(gzip_member(first) + packed.substr(0, packed.size() / 3));
  EXPECT_GT(unpacked.text.size(), first.size());
  EXPECT_NE(unpacked.failure, "");
}

TEST(GzipSource, CorruptDataFailsSayingWhatIsWrong) {
  std::string text = some_points(20000, 6);
  std::string packed = gzip_member(text);
  std::string damaged = packed;
  damaged[damaged.size() - 6] ^= 0x55;  // the check sum of the text
  Unpacked unpacked = unpack(damaged);
  EXPECT_EQ(unpacked.failure,
            "Cannot read tile.xyz.gz: the gzip data is corrupt (incorrect data "
            "check), after " +
                std::to_string(text.size()) + " bytes of text");
  // Deflate checks nothing before the member's end: all its text is suspect.
  EXPECT_TRUE(unpacked.damaged);

  // Bytes that are no gzip member after one.
  unpacked = unpack(packed + "12 34 56\r\n");
  EXPECT_TRUE(unpacked.text == text);
  EXPECT_NE(unpacked.failure.find("corrupt (incorrect header check)"), std::string::npos);
  EXPECT_FALSE(unpacked.damaged);  // the text before them was checked whole

  // Damage in the middle of the data: never a silent end, whatever it hits.
  std::mt19937 random(7);
  for (int i = 0; i < 50; ++i) {
    damaged = packed;
    std::size_t at = 20 + random() % (packed.size() - 30);
    damaged[at] = static_cast<char>(damaged[at] ^ (1 + random() % 255));
    unpacked = unpack(damaged, 4096, 65536);
    EXPECT_NE(unpacked.failure, "") << at;
    // Unless it hit the header before any text, or cut the data short.
    EXPECT_TRUE(unpacked.damaged || unpacked.text.empty() ||
                unpacked.failure.find("cut short") != std::string::npos)
        << at << " " << unpacked.failure;
  }
}

// ISA-L, where the build has it, gives zlib's text and zlib's failures to
// the byte: on damaged data, data cut short, trailing bytes and members of
// every kind.
TEST(GzipSource, BothInflatersGiveTheSameTextAndFailures) {
  std::string text = some_points(20000, 8);
  std::string packed = gzip_member(text);
  // Stored blocks (level 0) and the shortest and longest blocks zlib makes,
  // followed one after another.
  std::vector<std::string> cases = {packed, gzip_member(text, 1) + gzip_member("") + packed,
                                    gzip_member(text, 0) + gzip_member(text, 9),
                                    packed + "12 34 56\r\n", packed + std::string(8, '\0')};
  std::string wrong_size = packed;
  wrong_size[wrong_size.size() - 2] ^= 1;  // the length in the trailer
  cases.push_back(wrong_size);
  std::mt19937 random(9);
  for (int i = 0; i < 40; ++i) {
    std::string damaged = packed;
    std::size_t at = random() % packed.size();
    damaged[at] = static_cast<char>(damaged[at] ^ (1 + random() % 255));
    cases.push_back(damaged);
    cases.push_back(packed.substr(0, random() % packed.size()));
  }
  for (const std::string& data : cases) {
    for (std::size_t piece : {std::size_t{65536}}) {
      Unpacked fastest = unpack(data, piece, 4096, GzipSource::Inflater::kFastest);
      Unpacked zlib = unpack(data, piece, 4096, GzipSource::Inflater::kZlib);
      EXPECT_TRUE(fastest.text == zlib.text) << data.size() << " " << piece;
      EXPECT_EQ(fastest.failure, zlib.failure);
      EXPECT_EQ(fastest.damaged, zlib.damaged);
    }
  }
  // Whole data goes through ISA-L itself; a pipe's, which cannot be read
  // again, through zlib.
  GzipSource file(std::make_unique<TextSource>(packed), "t");
  auto in_order = std::make_unique<TextSource>(packed);
  in_order->in_order_only();
  GzipSource pipe(std::move(in_order), "t");
  std::string buffer(4096, '\0');
  while (file.read(buffer.data(), buffer.size()) != 0) {
  }
  EXPECT_EQ(file.uses_isal(), GzipSource::has_isal());
  EXPECT_FALSE(pipe.uses_isal());
}

// What zlib refuses, ISA-L's way refuses too, and data cut short gives the
// same text before the cut however the reads fall: from a file as from a
// pipe, read as the program reads (a quarter of a MiB at a time).
TEST(GzipSource, BothInflatersRefuseReservedFlagsAndCountTextAlikeBeforeACut) {
  const std::string small = gzip_member("1 2 3\n");
  for (int bit : {0x20, 0x40, 0x80}) {
    std::string flagged = small;
    flagged[3] = static_cast<char>(flagged[3] | bit);
    for (const std::string& data : {flagged, small + flagged}) {
      Unpacked fastest = unpack(data, 1 << 20, kIoBlockSize);
      Unpacked zlib = unpack(data, 1 << 20, kIoBlockSize, GzipSource::Inflater::kZlib);
      EXPECT_EQ(fastest.failure,
                "Cannot read tile.xyz.gz: the gzip data is corrupt (unknown header flags set), "
                "after " +
                    std::to_string(data.size() == flagged.size() ? 0 : 6) + " bytes of text")
          << bit;
      EXPECT_EQ(fastest.failure, zlib.failure);
      EXPECT_TRUE(fastest.text == zlib.text);
    }
  }
  const std::string packed = gzip_member(some_points(60000, 21));
  std::mt19937 random(3);
  for (int i = 0; i < 40; ++i) {
    const std::string cut = packed.substr(0, 20 + random() % (packed.size() - 20));
    Unpacked zlib = unpack(cut, 65536, 4096, GzipSource::Inflater::kZlib);
    for (std::size_t size : {std::size_t{4096}, kIoBlockSize}) {
      Unpacked fastest = unpack(cut, std::size_t{1} << 30, size);
      EXPECT_EQ(fastest.failure, zlib.failure) << cut.size() << " " << size;
      EXPECT_TRUE(fastest.text == zlib.text) << cut.size() << " " << size;
    }
  }
}

// A block whose code leaves codes unused is refused from a file as from a
// pipe, with zlib's words; codes whole, or the one distance code zlib takes
// alone, are read. After a block of fixed codes that ends within a byte, and
// in a second member, so that blocks are followed from one to the next.
TEST(GzipSource, BothInflatersRefuseIncompleteCodesAndReadWholeOnes) {
  const std::string line = "1 2 3\n";
  const Deflate::Match none{0, 0, 0};
  const std::vector<std::pair<unsigned, Deflate::Match>> literals_only = {
      {'1', none}, {' ', none}, {'2', none}, {' ', none}, {'3', none}, {'\n', none}};
  // The line again: length 6 (symbol 260), distance 6 (symbol 4, extra bit 1).
  std::vector<std::pair<unsigned, Deflate::Match>> repeated = literals_only;
  repeated.push_back({260, Deflate::Match{4, 1, 1}});
  struct Case {
    std::string name;
    std::map<unsigned, int> literals;
    std::map<unsigned, int> distances;
    const std::vector<std::pair<unsigned, Deflate::Match>>* symbols;
    std::string text;
    std::string refusal;  // zlib's words, or "" when read
  };
  const std::vector<Case> cases = {
      {"literal code with room left",
       {{'1', 3}, {'2', 3}, {'3', 3}, {' ', 3}, {'\n', 3}, {256, 3}},
       {},
       &literals_only,
       line,
       "invalid literal/lengths set"},
      {"whole literal code",
       {{'1', 3}, {'2', 3}, {'3', 3}, {' ', 2}, {'\n', 3}, {256, 2}},
       {},
       &literals_only,
       line,
       ""},
      {"two distance codes with room left",
       {{'1', 3}, {'2', 3}, {'3', 3}, {' ', 2}, {'\n', 3}, {256, 3}, {260, 3}},
       {{0, 2}, {4, 2}},
       &repeated,
       line + line,
       "invalid distances set"},
      {"one distance code of one bit",
       {{'1', 3}, {'2', 3}, {'3', 3}, {' ', 2}, {'\n', 3}, {256, 3}, {260, 3}},
       {{4, 1}},
       &repeated,
       line + line,
       ""},
      {"whole distance code",
       {{'1', 3}, {'2', 3}, {'3', 3}, {' ', 2}, {'\n', 3}, {256, 3}, {260, 3}},
       {{0, 1}, {4, 1}},
       &repeated,
       line + line,
       ""},
  };
  const std::string before = "9 8 7\n";
  for (const Case& c : cases) {
    Deflate alone;
    alone.dynamic_block(c.literals, c.distances, *c.symbols, true);
    Deflate after_fixed;
    after_fixed.fixed_block(before, false);
    after_fixed.dynamic_block(c.literals, c.distances, *c.symbols, true);
    const std::string first = gzip_member(some_points(3000, 30));
    for (const std::string& data : {alone.member(c.text), after_fixed.member(before + c.text),
                                    first + alone.member(c.text)}) {
      for (std::size_t piece : {std::size_t{1}, std::size_t{1} << 20}) {
        Unpacked fastest = unpack(data, piece, kIoBlockSize);
        Unpacked zlib = unpack(data, piece, kIoBlockSize, GzipSource::Inflater::kZlib);
        EXPECT_EQ(fastest.failure, zlib.failure) << c.name;
        EXPECT_TRUE(fastest.text == zlib.text) << c.name;
        if (c.refusal.empty()) {
          EXPECT_EQ(zlib.failure, "") << c.name;
          EXPECT_EQ(zlib.text.substr(zlib.text.size() - c.text.size()), c.text) << c.name;
        } else {
          EXPECT_NE(zlib.failure.find("corrupt (" + c.refusal + ")"), std::string::npos)
              << c.name << ": " << zlib.failure;
        }
      }
    }
  }
}

// Data flushed every few bytes (blocks of a line or less) would cost ISA-L a
// dictionary a block: zlib takes over, with the same text.
TEST(GzipSource, BlocksOfAFewBytesGoToZlib) {
  const std::string text = some_points(2000, 31);
  z_stream z{};
  ASSERT_EQ(deflateInit2(&z, 6, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY), Z_OK);
  std::string packed;
  char out[4096];
  for (std::size_t at = 0; at <= text.size(); at += 10) {
    std::string piece = text.substr(std::min(at, text.size()), 10);
    z.next_in = reinterpret_cast<Bytef*>(piece.data());
    z.avail_in = static_cast<uInt>(piece.size());
    const bool last = at + 10 > text.size();
    do {
      z.next_out = reinterpret_cast<Bytef*>(out);
      z.avail_out = sizeof out;
      deflate(&z, last ? Z_FINISH : Z_SYNC_FLUSH);
      packed.append(out, sizeof out - z.avail_out);
    } while (z.avail_out == 0);
  }
  deflateEnd(&z);
  for (const std::string& data : {packed, gzip_member(text)}) {
    GzipSource source(std::make_unique<TextSource>(data), "t");
    std::string read;
    std::string buffer(4096, '\0');
    while (std::size_t got = source.read(buffer.data(), buffer.size())) read.append(buffer, 0, got);
    EXPECT_TRUE(read == text);
    EXPECT_EQ(source.uses_isal(), GzipSource::has_isal() && data != packed);
  }
}

// What zlib refuses at a dynamic header besides: a code of lengths with room
// left, a repeat with nothing before it, more symbols than deflate has.
TEST(DeflateHeader, RefusesWhatZlibRefusesAtTheHeader) {
  auto verdict = [](const Deflate& bits) {
    const std::string& bytes = bits.bytes();
    return read_block_header(0, 0, reinterpret_cast<const unsigned char*>(bytes.data()),
                             bytes.size())
        .verdict;
  };
  Deflate lengths_with_room;    // 0 to 15 three bits long: more room than codes
  lengths_with_room.put(4, 3);  // not the last, dynamic codes
  lengths_with_room.put(0, 5);
  lengths_with_room.put(0, 5);
  lengths_with_room.put(15, 4);
  for (int symbol : {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15}) {
    lengths_with_room.put(symbol < 16 ? 5 : 0, 3);
  }
  lengths_with_room.put(0, 32);
  EXPECT_EQ(verdict(lengths_with_room), BlockHeader::Verdict::kRefused);

  Deflate repeat_first;
  repeat_first.put(4, 3);
  repeat_first.put(0, 14);
  // 16, 17, 18 and 0 all two bits long, a whole code: 0 is 00, 16 is 01.
  for (int length : {2, 2, 2, 2}) repeat_first.put(static_cast<unsigned>(length), 3);
  repeat_first.put_code(1, 2);  // 16 first: a repeat of nothing
  repeat_first.put(0, 16);
  EXPECT_EQ(verdict(repeat_first), BlockHeader::Verdict::kRefused);

  Deflate too_many;
  too_many.put(4, 3);
  too_many.put(30, 5);  // 287 literal/length symbols
  too_many.put(0, 24);
  EXPECT_EQ(verdict(too_many), BlockHeader::Verdict::kRefused);

  // Cut within the header; and a stored or fixed block, which has no code.
  Deflate cut;
  cut.put(5, 3);
  cut.put(0, 5);
  EXPECT_EQ(verdict(cut), BlockHeader::Verdict::kShort);
  Deflate fixed;
  fixed.fixed_block("x", true);
  BlockHeader header = read_block_header(
      0, 0, reinterpret_cast<const unsigned char*>(fixed.bytes().data()), fixed.bytes().size());
  EXPECT_EQ(header.verdict, BlockHeader::Verdict::kGood);
  EXPECT_TRUE(header.final);
  // The bits an inflater holds come first: the same block from them.
  std::uint64_t held = static_cast<unsigned char>(fixed.bytes()[0]);
  header = read_block_header(held, 8, nullptr, 0);
  EXPECT_EQ(header.verdict, BlockHeader::Verdict::kGood);
  EXPECT_TRUE(header.final);
}

TEST(GzipSource, AFaultStaysAFault) {
  GzipSource source(std::make_unique<TextSource>(gzip_member("1 2 3\n").substr(0, 12)), "t");
  char buffer[64];
  EXPECT_THROW(while (source.read(buffer, sizeof buffer) != 0){}, Failure);
  EXPECT_THROW(source.read(buffer, sizeof buffer), Failure);
}

}  // namespace
