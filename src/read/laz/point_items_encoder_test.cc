#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>
#include <random>
#include <thread>
#include <vector>

#include "read/laz/arithmetic_decoder.h"
#include "read/laz/arithmetic_encoder.h"
#include "read/laz/point_items.h"

namespace laz {
namespace {

void put(unsigned char* to, std::uint64_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) to[i] = static_cast<unsigned char>(value >> (8 * i));
}

// Records of POINT10 then GPSTIME11 (28 bytes, format 1) that try the
// corners of both items: coordinates that jump across the whole range,
// every return's context, each field changing alone, and times that leave
// and come back to up to five sequences, stand still, step back, or move
// by multiples too great to code.
std::vector<std::vector<unsigned char>> hard_records() {
  std::mt19937 random(7);
  std::vector<std::vector<unsigned char>> records;
  std::uint64_t bases[5] = {0x41d0000000000000ull, 0x41d0000100000000ull, 0x4100000000000000ull,
                            0x0000000000000001ull, 0xfff0000000000000ull};
  std::uint64_t time = bases[0];
  std::int32_t x = 0, y = 0, z = 0;
  for (int i = 0; i < 4000; ++i) {
    std::vector<unsigned char> r(28);
    unsigned kind = random() % 8;
    if (kind == 0) {
      x = static_cast<std::int32_t>(random());
      y = static_cast<std::int32_t>(random());
      z = static_cast<std::int32_t>(random());
    } else {
      x += static_cast<std::int32_t>(random() % 2001) - 1000;
      y += static_cast<std::int32_t>(random() % 201) - 100;
      z += static_cast<std::int32_t>(random() % 21) - 10;
    }
    put(r.data(), static_cast<std::uint32_t>(x), 4);
    put(r.data() + 4, static_cast<std::uint32_t>(y), 4);
    put(r.data() + 8, static_cast<std::uint32_t>(z), 4);
    put(r.data() + 12, kind == 1 ? random() : 100 + i % 3, 2);
    unsigned returns = 1 + random() % 7, number = 1 + random() % returns;
    r[14] = static_cast<unsigned char>(number | returns << 3 | (kind == 2 ? 0xc0 : 0));
    r[15] = static_cast<unsigned char>(kind == 3 ? random() : 2);
    r[16] = static_cast<unsigned char>(kind == 4 ? random() : 0);
    r[17] = static_cast<unsigned char>(kind == 5 ? random() : 7);
    put(r.data() + 18, kind == 6 ? random() : 12, 2);
    switch (random() % 10) {
      case 0:
        time = bases[random() % 5] + random() % 1000;  // another sequence
        break;
      case 1:
        break;  // the same time
      case 2:
        time -= random() % 5000;
        break;
      case 3:
        time += std::uint64_t{random()} * 4;  // past 32 bits
        break;
      default:
        time += 1000 + random() % 3;
        break;
    }
    put(r.data() + 20, time, 8);
    records.push_back(r);
  }
  return records;
}

TEST(PointItemsEncoder, Point10AndGpsTime11ComeBackThroughTheirDecoders) {
  std::vector<std::vector<unsigned char>> records = hard_records();
  std::vector<unsigned char> stream;
  {
    auto point = make_point10_encoder();
    auto time = make_gpstime11_encoder();
    point->first(records[0].data());
    time->first(records[0].data() + 20);
    Encoder e(stream);
    for (std::size_t i = 1; i < records.size(); ++i) {
      point->next(e, records[i].data());
      time->next(e, records[i].data() + 20);
    }
    e.done();
  }
  Point10State state;
  auto point = make_point10(2, state);
  auto time = make_gpstime11(2);
  point->first(records[0].data());
  time->first(records[0].data() + 20);
  Decoder d;
  d.set_input(stream.data(), stream.data() + stream.size());
  d.start();
  for (std::size_t i = 1; i < records.size(); ++i) {
    point->next(d);
    time->next(d);
    std::vector<unsigned char> out(28);
    point->store(out.data());
    time->store(out.data() + 20);
    ASSERT_EQ(out, records[i]) << "record " << i;
  }
  EXPECT_FALSE(d.past_end());
}

// Records in which one byte of the intensity and the fields after it
// changes at a time, each in turn (the point source's high byte alone
// too), then several at once: the encoder finds what changed in one
// comparison of eight bytes, and a field it missed, or took for another,
// decodes to another record.
TEST(PointItemsEncoder, Point10CodesEachByteAfterTheCoordinatesChangingAlone) {
  std::mt19937 random(5);
  std::vector<std::vector<unsigned char>> records;
  std::vector<unsigned char> r(20, 0);
  put(r.data(), 1000, 4);
  r[14] = 1 | 1 << 3;
  for (int i = 0; i < 600; ++i) {
    int byte = 12 + i % 8;
    if (i % 8 == 2) {
      // The return's number and count keep to what a record can hold.
      unsigned returns = 1 + random() % 7;
      r[14] =
          static_cast<unsigned char>((1 + random() % returns) | returns << 3 | (random() % 4) << 6);
    } else {
      r[static_cast<std::size_t>(byte)] = static_cast<unsigned char>(random());
    }
    if (i % 50 == 49) {
      for (int b = 15; b < 20; ++b) r[static_cast<std::size_t>(b)] ^= 0x5a;
    }
    records.push_back(r);
  }
  std::vector<unsigned char> stream;
  {
    auto point = make_point10_encoder();
    point->first(records[0].data());
    Encoder e(stream);
    for (std::size_t i = 1; i < records.size(); ++i) point->next(e, records[i].data());
    e.done();
  }
  Point10State state;
  auto point = make_point10(2, state);
  point->first(records[0].data());
  Decoder d;
  d.set_input(stream.data(), stream.data() + stream.size());
  d.start();
  for (std::size_t i = 1; i < records.size(); ++i) {
    point->next(d);
    std::vector<unsigned char> out(20);
    point->store(out.data());
    ASSERT_EQ(out, records[i]) << "record " << i;
  }
  EXPECT_FALSE(d.past_end());
}

// Shorts, ints and 64-bit values written as they are, between symbols
// skewed enough that carries run back over the bytes a short has just
// put out; the first coding of the stream a short, which makes its room.
TEST(ArithmeticEncoder, ShortsAndIntsComeBackBetweenSymbolsAndCarries) {
  std::mt19937 random(3);
  const std::uint32_t corners[] = {0, 1, 0xffff, 0x10000, 0xfffffffe, 0xffffffff};
  std::vector<std::uint64_t> values;
  std::vector<std::uint32_t> symbols;
  for (int i = 0; i < 30000; ++i) {
    values.push_back(i % 7 == 0 ? corners[random() % 6] : std::uint64_t{random()} << 32 | random());
    symbols.push_back(random() % 10 == 0 ? random() % 16 : 15);
  }
  std::vector<unsigned char> stream;
  {
    SymbolModel model(16);
    Encoder e(stream);
    for (std::size_t i = 0; i < values.size(); ++i) {
      switch (i % 3) {
        case 0:
          e.write_short(static_cast<std::uint32_t>(values[i] & 0xffff));
          break;
        case 1:
          e.write_int(static_cast<std::uint32_t>(values[i]));
          break;
        default:
          e.write_int64(values[i]);
          break;
      }
      e.encode_symbol(model, symbols[i]);
    }
    e.done();
  }
  SymbolModel model(16);
  Decoder d;
  d.set_input(stream.data(), stream.data() + stream.size());
  d.start();
  for (std::size_t i = 0; i < values.size(); ++i) {
    switch (i % 3) {
      case 0:
        ASSERT_EQ(d.read_bits(16), values[i] & 0xffff) << i;
        break;
      case 1:
        ASSERT_EQ(d.read_int(), static_cast<std::uint32_t>(values[i])) << i;
        break;
      default:
        ASSERT_EQ(d.read_int64(), values[i]) << i;
        break;
    }
    ASSERT_EQ(d.decode_symbol(model), symbols[i]) << i;
  }
  EXPECT_FALSE(d.past_end());
}

// What the coder is given, from a seed: skewed symbols (long runs of one,
// so that carries run back over bytes of 0xff), bits, and raw values of 1
// to 32 bits.
struct Coded {
  std::uint32_t symbol, bit, bits, value;
};
std::vector<Coded> to_code(std::size_t count) {
  std::mt19937 random(11);
  std::vector<Coded> all;
  for (std::size_t i = 0; i < count; ++i) {
    Coded c;
    c.symbol = random() % 8 == 0 ? random() % 256 : 255;
    c.bit = random() % 5 == 0;
    c.bits = 1 + random() % 32;
    c.value = static_cast<std::uint32_t>(random() & ((std::uint64_t{1} << c.bits) - 1));
    all.push_back(c);
  }
  return all;
}

void encode_all(const std::vector<Coded>& all, std::vector<unsigned char>& out) {
  SymbolModel symbols(256);
  BitModel bit;
  Encoder e(out);
  for (const Coded& c : all) {
    e.encode_symbol(symbols, c.symbol);
    e.encode_bit(bit, c.bit);
    e.write_bits(c.bits, c.value);
  }
  e.done();
}

TEST(ArithmeticEncoder, AStreamAfterOtherBytesLeavesThemAsTheyWereAndDecodes) {
  // Written in place past bytes already in the vector, as a chunk after
  // those before it, and far past the room first made for it.
  std::vector<Coded> all = to_code(40000);
  std::vector<unsigned char> alone;
  encode_all(all, alone);
  ASSERT_GT(alone.size(), 50000u);
  std::vector<unsigned char> after(3000, 0xff);
  encode_all(all, after);
  ASSERT_EQ(after.size(), 3000 + alone.size());
  EXPECT_TRUE(
      std::all_of(after.begin(), after.begin() + 3000, [](unsigned char b) { return b == 0xff; }));
  EXPECT_TRUE(std::equal(alone.begin(), alone.end(), after.begin() + 3000));

  SymbolModel symbols(256);
  BitModel bit;
  Decoder d;
  d.set_input(alone.data(), alone.data() + alone.size());
  d.start();
  for (std::size_t i = 0; i < all.size(); ++i) {
    ASSERT_EQ(d.decode_symbol(symbols), all[i].symbol) << i;
    ASSERT_EQ(d.decode_bit(bit), all[i].bit) << i;
    ASSERT_EQ(d.read_bits(all[i].bits), all[i].value) << i;
  }
  EXPECT_FALSE(d.past_end());
}

// A model made for encoding alone skips the decoder's look-up: its
// updates must still give the same shares, and so the same stream, for
// models of few symbols and of many.
TEST(ArithmeticEncoder, AModelForEncodingAloneCodesAsTheDecodersModel) {
  for (std::uint32_t symbols : {17u, 33u, 256u, 516u}) {
    std::mt19937 random(symbols);
    std::vector<std::uint32_t> coded;
    for (int i = 0; i < 20000; ++i)
      coded.push_back(random() % 4 == 0 ? random() % symbols : random() % 3);
    std::vector<unsigned char> with_lookup, without;
    {
      SymbolModel model(symbols);
      Encoder e(with_lookup);
      for (std::uint32_t s : coded) e.encode_symbol(model, s);
      e.done();
    }
    {
      SymbolModel model(symbols, SymbolModel::ForEncoding{});
      Encoder e(without);
      for (std::uint32_t s : coded) e.encode_symbol(model, s);
      e.done();
    }
    EXPECT_EQ(without, with_lookup) << symbols << " symbols";
    SymbolModel model(symbols);
    Decoder d;
    d.set_input(without.data(), without.data() + without.size());
    d.start();
    for (std::size_t i = 0; i < coded.size(); ++i)
      ASSERT_EQ(d.decode_symbol(model), coded[i]) << symbols << " symbols, " << i;
  }
}

// A fresh model is a copy of the first one made of its size, which
// several threads may ask for at once: each of them must get a whole one,
// and the first made must stay. Sizes no other test makes, so that these
// threads are the first to ask.
TEST(ArithmeticEncoder, ModelsFirstMadeOnSeveralThreadsAtOnceCodeAsOneMadeAlone) {
  std::vector<std::uint32_t> sizes;
  for (std::uint32_t symbols = 1700; symbols < 1764; ++symbols) sizes.push_back(symbols);
  std::vector<std::uint32_t> coded;
  std::mt19937 random(7);
  for (int i = 0; i < 3000; ++i) coded.push_back(random());
  auto code_all = [&](unsigned seed, std::vector<std::string>& failures) {
    std::vector<std::uint32_t> order = sizes;
    std::shuffle(order.begin(), order.end(), std::mt19937(seed));
    for (std::uint32_t symbols : order) {
      std::vector<unsigned char> bytes;
      {
        SymbolModel model(symbols, SymbolModel::ForEncoding{});
        Encoder e(bytes);
        for (std::uint32_t s : coded) e.encode_symbol(model, s % (s % 5 == 0 ? symbols : 4));
        e.done();
      }
      SymbolModel model(symbols);
      Decoder d;
      d.set_input(bytes.data(), bytes.data() + bytes.size());
      d.start();
      for (std::uint32_t s : coded) {
        if (d.decode_symbol(model) != s % (s % 5 == 0 ? symbols : 4)) {
          failures.push_back(std::to_string(symbols) + " symbols");
          break;
        }
      }
    }
  };
  std::vector<std::vector<std::string>> failures(4);
  std::vector<std::thread> threads;
  for (unsigned t = 0; t < failures.size(); ++t)
    threads.emplace_back(code_all, t, std::ref(failures[t]));
  for (std::thread& thread : threads) thread.join();
  for (const auto& failed : failures) EXPECT_TRUE(failed.empty()) << failed.front();
  // And once more alone, from the models kept.
  std::vector<std::string> again;
  code_all(99, again);
  EXPECT_TRUE(again.empty());
}

TEST(PointItemsEncoder, TheMultipleOfTimesRoundsAsLasZipAndGivesUpPastAnInt) {
  EXPECT_EQ(time_multiple(3, 2), 2);  // 1.5, half away from zero
  EXPECT_EQ(time_multiple(-3, 2), -2);
  EXPECT_EQ(time_multiple(5, 2), 3);
  EXPECT_EQ(time_multiple(7, 3), 2);
  EXPECT_EQ(time_multiple(1000, 1), 1000);
  // Single precision: the ratio of these is 2^31 once rounded to a float.
  EXPECT_EQ(time_multiple(INT_MAX, 1), INT_MIN);
  EXPECT_EQ(time_multiple(INT_MIN, -1), INT_MIN);
  EXPECT_EQ(time_multiple(INT_MIN, 1), INT_MIN);
}

}  // namespace
}  // namespace laz
