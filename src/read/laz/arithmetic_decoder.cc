#include "read/laz/arithmetic_decoder.h"

#include <algorithm>
#include <atomic>
#include <limits>

namespace laz {
namespace {
// The largest model whose fresh state is kept (fresh()).
constexpr std::uint32_t kMostKept = 2048;
}  // namespace

SymbolModel::SymbolModel(std::uint32_t symbols, bool lookup) : symbols_(symbols) {
  if (symbols > kMostKept) {
    build(lookup);
    return;
  }
  const SymbolModel& from = fresh(symbols, lookup);
  total_ = from.total_;
  cycle_ = from.cycle_;
  until_update_ = from.until_update_;
  table_size_ = from.table_size_;
  table_shift_ = from.table_shift_;
  place_arrays();
  std::copy_n(from.block_.get(), block_size(), block_.get());
}

SymbolModel::SymbolModel(std::uint32_t symbols, bool lookup, Built) : symbols_(symbols) {
  build(lookup);
}

// Every fresh model of a size is the same, and its first update costs
// about ten instructions a symbol: the chunks of a few points that COPC
// files and small tiles hold make dozens of models each, which then cost
// more than their points. So the first model of each size is kept, for
// the life of the program, and every thread copies it.
const SymbolModel& SymbolModel::fresh(std::uint32_t symbols, bool lookup) {
  static std::atomic<const SymbolModel*> kept[2][kMostKept + 1];
  std::atomic<const SymbolModel*>& slot = kept[lookup ? 1 : 0][symbols];
  const SymbolModel* model = slot.load(std::memory_order_acquire);
  if (model != nullptr) return *model;
  std::unique_ptr<SymbolModel> made(new SymbolModel(symbols, lookup, Built{}));
  // Two threads may make the same size at once: the first one kept wins.
  if (slot.compare_exchange_strong(model, made.get(), std::memory_order_acq_rel,
                                   std::memory_order_acquire)) {
    model = made.release();
  }
  return *model;
}

void SymbolModel::build(bool lookup) {
  if (symbols_ > 16 && lookup) {
    std::uint32_t table_bits = 3;
    while (symbols_ > 1u << (table_bits + 2)) ++table_bits;
    table_size_ = 1u << table_bits;
    table_shift_ = kSymbolShift - table_bits;
  }
  place_arrays();
  cycle_ = symbols_;
  for (std::uint32_t k = 0; k < symbols_; ++k) counts_[k] = 1;
  update();
  until_update_ = cycle_ = (symbols_ + 6) >> 1;
}

void SymbolModel::place_arrays() {
  block_.reset(new std::uint32_t[block_size()]);
  distribution_ = block_.get();
  counts_ = distribution_ + symbols_;
  table_ = table_size_ != 0 ? counts_ + symbols_ : nullptr;
}

void SymbolModel::update() {
  total_ += cycle_;
  if (total_ > kSymbolMaxCount) {
    total_ = 0;
    for (std::uint32_t k = 0; k < symbols_; ++k) total_ += counts_[k] = (counts_[k] + 1) >> 1;
  }
  std::uint32_t scale = 0x80000000u / total_;
  std::uint32_t sum = 0;
  // Through locals, in two loops: the models of 256 symbols and more
  // (a GPS time's, a class's) are updated often enough to count.
  std::uint32_t* distribution = distribution_;
  const std::uint32_t* counts = counts_;
  const std::uint32_t symbols = symbols_;
  if (table_ == nullptr) {
    for (std::uint32_t k = 0; k < symbols; ++k) {
      distribution[k] = (scale * sum) >> (31 - kSymbolShift);
      sum += counts[k];
    }
  } else {
    std::uint32_t* table = table_;
    const std::uint32_t shift = table_shift_;
    std::uint32_t s = 0;
    for (std::uint32_t k = 0; k < symbols; ++k) {
      std::uint32_t share = (scale * sum) >> (31 - kSymbolShift);
      distribution[k] = share;
      sum += counts[k];
      std::uint32_t w = share >> shift;
      while (s < w) table[++s] = k - 1;
    }
    table[0] = 0;
    while (s <= table_size_) table[++s] = symbols - 1;
  }
  cycle_ = (5 * cycle_) >> 2;
  std::uint32_t longest = (symbols_ + 6) << 3;
  if (cycle_ > longest) cycle_ = longest;
  until_update_ = cycle_;
}

void BitModel::update() {
  bits_ += cycle_;
  if (bits_ > kBitMaxCount) {
    bits_ = (bits_ + 1) >> 1;
    zeros_ = (zeros_ + 1) >> 1;
    if (zeros_ == bits_) ++bits_;
  }
  std::uint32_t scale = 0x80000000u / bits_;
  zero_share_ = (zeros_ * scale) >> (31 - kBitShift);
  cycle_ = (5 * cycle_) >> 2;
  if (cycle_ > 64) cycle_ = 64;
  until_update_ = cycle_;
}

void Decoder::set_input(const unsigned char* next, const unsigned char* end, Refill* refill) {
  begin_ = next_ = next;
  end_ = end;
  refill_ = refill;
  consumed_before_ = 0;
  past_end_ = false;
}

void Decoder::start() {
  length_ = 0xffffffffu;
  value_ = 0;
  for (int i = 0; i < 4; ++i) value_ = value_ << 8 | raw_byte();
}

unsigned char Decoder::slow_byte() {
  consumed_before_ += static_cast<std::uint64_t>(next_ - begin_);
  begin_ = next_ = end_;
  if (refill_ != nullptr && refill_->more(next_, end_) && next_ != end_) {
    begin_ = next_;
    return *next_++;
  }
  begin_ = next_ = end_;
  past_end_ = true;
  return 0;
}

std::uint32_t Decoder::read_many_bits(std::uint32_t bits) {
  std::uint32_t low = read_short();
  return read_bits(bits - 16) << 16 | low;
}

std::uint32_t Decoder::read_short() {
  length_ >>= 16;
  std::uint32_t value = value_ / length_;
  value_ -= length_ * value;
  if (length_ < kMinLength) renormalise();
  return value & 0xffffu;
}

IntegerDecoder::IntegerDecoder(std::uint32_t bits, std::uint32_t contexts) {
  if (bits != 0 && bits < 32) {
    corr_bits_ = bits;
    corr_range_ = 1u << bits;
  } else {
    corr_bits_ = 32;
    corr_range_ = 0;
  }
  corr_min_ = corr_range_ == 0 ? std::numeric_limits<std::int32_t>::min()
                               : -static_cast<std::int32_t>(corr_range_ / 2);
  k_models_.reset(new std::unique_ptr<SymbolModel>[contexts]);
  correctors_.reset(new std::unique_ptr<SymbolModel>[corr_bits_ + 1]);
}

SymbolModel& IntegerDecoder::new_model(std::unique_ptr<SymbolModel>& model, std::uint32_t symbols) {
  model = std::make_unique<SymbolModel>(symbols);
  return *model;
}

}  // namespace laz
