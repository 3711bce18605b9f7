// The items of the point-wise and chunked compressors of LAZ (formats 0 to
// 5, and the extra bytes of any): each decodes its field of one record
// after another from the one stream all items share, and keeps the last
// value, which its models need and which it stores, when asked, into the
// record. The colour and the wave packet are coded alike by the layered
// compressor, which shares their decoding.
#ifndef STRATUMIX_READ_LAZ_POINT_ITEMS_H_
#define STRATUMIX_READ_LAZ_POINT_ITEMS_H_

#include <array>
#include <cstdint>
#include <memory>
#include <type_traits>
#include <vector>

#include "read/laz/arithmetic_decoder.h"
#include "read/laz/arithmetic_encoder.h"
#include "read/laz/median5.h"
#include "read/laz/record_runs.h"

namespace laz {

class Item {
 public:
  virtual ~Item() = default;
  // The chunk's first record, stored as it is: `raw` holds the item's bytes.
  virtual void first(const unsigned char* raw) = 0;
  virtual void next(Decoder& decoder) = 0;
  // The item's bytes of the record last decoded.
  virtual void store(unsigned char* out) const = 0;
};

// An item's encoder, the decoder's mirror: the chunk's first record is
// stored as it is, each next one coded after the last.
class ItemEncoder {
 public:
  virtual ~ItemEncoder() = default;
  virtual void first(const unsigned char* raw) = 0;
  virtual void next(Encoder& encoder, const unsigned char* raw) = 0;
};

// A model per value of a byte that is the context, made at its first use.
class ModelPerByte {
 public:
  ModelPerByte() = default;
  // Models for encoding alone (SymbolModel::ForEncoding).
  explicit ModelPerByte(SymbolModel::ForEncoding) : for_encoding_(true) {}
  SymbolModel& operator[](unsigned char context) {
    std::unique_ptr<SymbolModel>& model = models_[context];
    if (model == nullptr) {
      model = for_encoding_ ? std::make_unique<SymbolModel>(256, SymbolModel::ForEncoding{})
                            : std::make_unique<SymbolModel>(256);
    }
    return *model;
  }

 private:
  std::array<std::unique_ptr<SymbolModel>, 256> models_;
  bool for_encoding_ = false;
};

// A model of `symbols` for `Integers`' side: the encoder's leave out the
// decoder's look-up.
template <class Integers>
SymbolModel model_for(std::uint32_t symbols) {
  if constexpr (std::is_same_v<Integers, IntegerEncoder>) {
    return SymbolModel(symbols, SymbolModel::ForEncoding{});
  } else {
    return SymbolModel(symbols);
  }
}
template <class Integers>
ModelPerByte models_per_byte_for() {
  if constexpr (std::is_same_v<Integers, IntegerEncoder>) {
    return ModelPerByte(SymbolModel::ForEncoding{});
  } else {
    return ModelPerByte();
  }
}

// Red, green and blue, 16 bits each.
struct Colour {
  std::uint32_t c[3] = {};
  void read(const unsigned char* raw);
  void store(unsigned char* out) const;
};

// The models of a colour: which of its bytes changed, and the six
// corrections (RGB12 version 2, and each context of the layered RGB14 and
// RGBNIR14), one set for the decoder and the encoder alike.
struct ColourModels {
  SymbolModel used{128};
  SymbolModel diffs[6] = {SymbolModel(256), SymbolModel(256), SymbolModel(256),
                          SymbolModel(256), SymbolModel(256), SymbolModel(256)};
};

// The next colour after `colour`; and its coding, `colour` after `last`.
void decode_colour(Decoder& decoder, ColourModels& models, Colour& colour);
void encode_colour(Encoder& encoder, ColourModels& models, const Colour& last,
                   const Colour& colour);

// Extra bytes (BYTE version 2, and BYTE14): a model a byte for its
// difference from the last one, each byte a layer of its own in BYTE14.
struct ByteModels {
  std::vector<SymbolModel> models;
  explicit ByteModels(std::size_t count) {
    models.reserve(count);
    for (std::size_t i = 0; i < count; ++i) models.emplace_back(256);
  }
  unsigned char decode(Decoder& decoder, std::size_t i, unsigned char last) {
    return static_cast<unsigned char>((last + decoder.decode_symbol(models[i])) & 0xff);
  }
  void encode(Encoder& encoder, std::size_t i, unsigned char last, unsigned char byte) {
    encoder.encode_symbol(models[i], static_cast<unsigned char>(byte - last));
  }
};

// The layered near infrared, 16 bits: which of its bytes changed, and the
// two corrections.
struct NirModels {
  SymbolModel used{4};
  SymbolModel diffs[2] = {SymbolModel(256), SymbolModel(256)};
};

void decode_nir(Decoder& decoder, NirModels& models, std::uint32_t& nir);
void encode_nir(Encoder& encoder, NirModels& models, std::uint32_t last, std::uint32_t nir);

// A wave packet's 29 bytes: its descriptor's index, its place and size,
// the return point's place in it and the ray's X, Y and Z (the floats'
// bits).
struct WavePacket {
  unsigned char index = 0;
  std::uint64_t offset = 0;
  std::uint32_t size = 0;
  std::int32_t return_point = 0, x = 0, y = 0, z = 0;
  void read(const unsigned char* raw);
  void store(unsigned char* out) const;
};

// A wave packet's models, and what the coding of the last one leaves; the
// integers' side, `Integers`, the decoder's or the encoder's.
template <class Integers>
struct WavePacketModelsOf {
  std::uint32_t last_offset_symbol = 0;
  std::int32_t last_offset_diff = 0;
  SymbolModel index{256};
  SymbolModel offset_diff[4] = {SymbolModel(4), SymbolModel(4), SymbolModel(4), SymbolModel(4)};
  Integers offset{32};
  Integers size{32};
  Integers return_point{32};
  Integers xyz{32, 3};
};
using WavePacketModels = WavePacketModelsOf<IntegerDecoder>;
using WavePacketEncoding = WavePacketModelsOf<IntegerEncoder>;

// The next wave packet after `packet`; and the coding of `packet` after
// `last`.
void decode_wave_packet(Decoder& decoder, WavePacketModels& models, WavePacket& packet);
void encode_wave_packet(Encoder& encoder, WavePacketEncoding& models, const WavePacket& last,
                        const WavePacket& packet);

// The coordinates, and the fields whose values are the models' contexts.
struct Point10State {
  std::int32_t x = 0, y = 0, z = 0;
  unsigned char bits = 0;  // return number, number of returns, two flags
  unsigned char classification = 0;
  unsigned char user_data = 0;
  std::int32_t intensity = 0;
  std::int32_t point_source = 0;
  std::int32_t scan_angle = 0;
};

// POINT10 version 2's models and the values they predict from, one set for
// the decoder and the encoder alike (`Integers`, either side's integer
// coder): the last differences of X and Y, and the last intensity, by the
// point's place among its returns; the last Z by how far it is from the
// last return.
template <class Integers>
struct Point10ModelsOf {
  Median5 last_x[16], last_y[16];
  std::int32_t last_intensity[16] = {};
  std::int32_t last_height[8] = {};
  Integers intensity{16, 4};
  Integers point_source{16};
  Integers dx{32, 2};
  Integers dy{32, 22};
  Integers z{32, 20};
  SymbolModel changed = model_for<Integers>(64);
  SymbolModel scan_angle[2] = {model_for<Integers>(256), model_for<Integers>(256)};
  ModelPerByte bit_byte = models_per_byte_for<Integers>();
  ModelPerByte classification = models_per_byte_for<Integers>();
  ModelPerByte user_data = models_per_byte_for<Integers>();
};
using Point10Models = Point10ModelsOf<IntegerDecoder>;
using Point10Encoding = Point10ModelsOf<IntegerEncoder>;

// GPSTIME11 version 2's models and four sequences of times (the doubles'
// bits), each with its last difference, shared alike.
template <class Integers>
struct GpsTime11ModelsOf {
  unsigned last = 0, next = 0;
  std::uint64_t time[4] = {};
  std::int32_t last_diff[4] = {};
  int extremes[4] = {};
  SymbolModel multi = model_for<Integers>(516);
  SymbolModel zero_diff = model_for<Integers>(6);
  Integers diffs{32, 9};

  // A difference far from the last one replaces it when that keeps on:
  // both coders follow the same rule to keep their models in step.
  void extreme(std::int32_t diff) {
    if (++extremes[last] > 3) {
      last_diff[last] = diff;
      extremes[last] = 0;
    }
  }
};
using GpsTime11Models = GpsTime11ModelsOf<IntegerDecoder>;
using GpsTime11Encoding = GpsTime11ModelsOf<IntegerEncoder>;

// The multiple of the last difference of times that the next one is, as
// LASzip's encoder rounds it (in single precision, half away from zero),
// INT32_MIN where no int holds it: the decoder reads what this chooses.
std::int32_t time_multiple(std::int32_t diff, std::int32_t last_diff);

// POINT10 (record format 0's 20 bytes), versions 1 and 2.
std::unique_ptr<Item> make_point10(int version, Point10State& state);
// GPSTIME11, versions 1 and 2.
std::unique_ptr<Item> make_gpstime11(int version);
// RGB12, versions 1 and 2; without `values`, version 2 keeps the models
// in step and not the colour, which store() then leaves as it began.
std::unique_ptr<Item> make_rgb12(int version, bool values = true);
// WAVEPACKET13, versions 1 and 2 (the same coding).
std::unique_ptr<Item> make_wavepacket13();
// BYTE: `count` extra bytes, versions 1 and 2; without `values`, version 2
// keeps the models in step and not the bytes, as RGB12's.
std::unique_ptr<Item> make_bytes(int version, int count, bool values = true);

// The encoders of POINT10, GPSTIME11, RGB12 and BYTE, version 2, and of
// WAVEPACKET13.
std::unique_ptr<ItemEncoder> make_point10_encoder();
std::unique_ptr<ItemEncoder> make_gpstime11_encoder();
std::unique_ptr<ItemEncoder> make_rgb12_encoder();
std::unique_ptr<ItemEncoder> make_wavepacket13_encoder();
std::unique_ptr<ItemEncoder> make_bytes_encoder(std::size_t count);

// The records of point format 0 to 3, without extra bytes: those after
// the first (which the chunk holds as it is) coded into `e` by the items'
// encoders above, called directly. False, and nothing coded, for other
// records.
bool encode_plain_records(int format, std::size_t record_length, RecordRuns records, Encoder& e);

}  // namespace laz

#endif  // STRATUMIX_READ_LAZ_POINT_ITEMS_H_
