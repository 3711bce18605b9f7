// The models of the layered POINT14 item (versions 3 and 4), one set for
// the decoder (layered_chunk.cc) and the encoder (laz_encoder.cc) alike,
// `Integers` being either side's integer coder. Each scanner channel has its
// own; the sizes and contexts are LASzip's.
#ifndef STRATUMIX_READ_LAZ_POINT14_MODELS_H_
#define STRATUMIX_READ_LAZ_POINT14_MODELS_H_

#include <cstdint>
#include <memory>

#include "read/laz/arithmetic_decoder.h"
#include "read/laz/arithmetic_encoder.h"
#include "read/laz/median5.h"

namespace laz {

// The layer of the returns, X and Y, and that of Z: what changed (by the
// last point's place among its returns and whether its time changed), the
// channel's step, the returns, and the coordinates with what predicts them.
template <class Integers>
struct Point14ModelsOf {
  std::unique_ptr<SymbolModel> changed[8];
  SymbolModel channel{3};
  std::unique_ptr<SymbolModel> number_of_returns[16];
  std::unique_ptr<SymbolModel> return_number_model[16];
  SymbolModel same_time_return{13};
  Integers dx{32, 2};
  Integers dy{32, 22};
  Integers dz{32, 20};
  std::int32_t last_z[8] = {};
  Median5 x_diffs[12], y_diffs[12];
};

// The layers past Z: classification, flags, intensity, scan angle, user
// data, point source and GPS time (which, unlike GPSTIME11, has no symbol
// for an unchanged time: the returns' layer says it).
template <class Integers>
struct Point14FieldModelsOf {
  std::unique_ptr<SymbolModel> classification[64];
  std::unique_ptr<SymbolModel> flags[64];
  std::unique_ptr<SymbolModel> user_data[64];
  Integers intensity{16, 4};
  Integers scan_angle{16, 2};
  Integers point_source{16};
  SymbolModel gps_multi{515};
  SymbolModel gps_zero_diff{5};
  Integers gps{32, 9};
};

}  // namespace laz

#endif  // STRATUMIX_READ_LAZ_POINT14_MODELS_H_
