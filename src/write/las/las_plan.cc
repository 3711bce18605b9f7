#include "write/las/las_plan.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>

#include "io/failure.h"
#include "io/paths.h"
#include "num/number.h"

namespace lasout {

namespace {

using point::Dim;

constexpr std::uint32_t kFormatLength[11] = {20, 28, 26, 34, 57, 63, 30, 36, 38, 59, 67};

// A scale or offset in the fewest decimals that give it back.
std::string decimal_text(double value) {
  for (int decimals = 0; decimals <= 17; ++decimals) {
    std::string text = number::fixed_text(value, decimals);
    if (std::strtod(text.c_str(), nullptr) == value) return text;
  }
  return number::fixed_text(value, 17);
}

const char* const kAxis[3] = {"X", "Y", "Z"};

// Whether `ratio` is a whole number, as far as doubles of scales tell.
bool whole(double ratio) { return std::fabs(ratio - std::nearbyint(ratio)) <= 1e-6; }

// The smallest format that holds `dims`: of 6 to 10 where `extended`.
int format_for(point::DimSet dims, bool extended) {
  const bool gps = dims.has(Dim::kGpsTime);
  const bool rgb = dims.has(Dim::kRed) || dims.has(Dim::kGreen) || dims.has(Dim::kBlue);
  const bool nir = dims.has(Dim::kInfrared);
  const bool wave = dims.has(Dim::kWavePacketDescriptorIndex) ||
                    dims.has(Dim::kWaveformDataOffset) || dims.has(Dim::kWaveformPacketSize);
  if (extended) {
    if (wave) return rgb || nir ? 10 : 9;
    if (nir) return 8;
    return rgb ? 7 : 6;
  }
  if (wave) return rgb ? 5 : 4;
  if (rgb) return gps ? 3 : 2;
  return gps ? 1 : 0;
}

bool has_time(int format) { return format != 0 && format != 2; }

// The bytes an extra dimension of a descriptor takes in each record, of
// a dimension found by its name (types 1 to 10), or, with `any`, of the
// deprecated arrays and undocumented bytes too; 0 for another.
int extra_size(const std::string& descriptor, bool any = false) {
  const int type = static_cast<unsigned char>(descriptor[2]);
  if (type >= 1 && type <= 10) return point::extra_type_size(type);
  if (!any) return 0;
  if (type == 0) return static_cast<unsigned char>(descriptor[3]);
  if (type <= 30) return point::extra_type_size((type - 11) % 10 + 1) * ((type - 11) / 10 + 2);
  return 0;
}

std::string extra_name(const std::string& descriptor) {
  return std::string(descriptor.data() + 4, strnlen(descriptor.data() + 4, 32));
}

// Two descriptors describe the same dimension where all but their
// minimum and maximum, which each file gives for its own points, agree.
bool same_extra(const std::string& a, const std::string& b) {
  return a.compare(0, 64, b, 0, 64) == 0 && a.compare(112, 80, b, 112, 80) == 0;
}

// The offset of one axis: the first input's own where it keeps every
// input exact and every point within 32-bit integers, else one on the
// first input's grid amid the points.
double choose_offset(const std::vector<const InputHeader*>& las, int axis, double scale, double low,
                     double high) {
  auto fits = [&](double offset) {
    return (low - offset) / scale >= -2147483647.0 && (high - offset) / scale <= 2147483647.0;
  };
  auto on_grids = [&](double offset) {
    return std::all_of(las.begin(), las.end(), [&](const InputHeader* input) {
      return whole((input->offset[axis] - offset) / scale);
    });
  };
  for (const InputHeader* input : las) {
    if (fits(input->offset[axis]) && on_grids(input->offset[axis])) return input->offset[axis];
  }
  const double first = las.front()->offset[axis];
  return first + scale * std::nearbyint(((low + high) / 2 - first) / scale);
}

// Whether an input's header gives bounds its own integers can reach.
bool sane_bounds(const InputHeader& input, int axis) {
  const double low = (input.min[axis] - input.offset[axis]) / input.scale[axis];
  const double high = (input.max[axis] - input.offset[axis]) / input.scale[axis];
  return low <= high && low >= -2147483649.0 && high <= 2147483648.0;
}

void put16(std::string& out, std::size_t at, std::uint32_t value) {
  out[at] = static_cast<char>(value & 0xff);
  out[at + 1] = static_cast<char>(value >> 8 & 0xff);
}
void put32(std::string& out, std::size_t at, std::uint32_t value) {
  for (int i = 0; i < 4; ++i)
    out[at + static_cast<std::size_t>(i)] = static_cast<char>(value >> (8 * i) & 0xff);
}
void put64(std::string& out, std::size_t at, std::uint64_t value) {
  for (int i = 0; i < 8; ++i)
    out[at + static_cast<std::size_t>(i)] = static_cast<char>(value >> (8 * i) & 0xff);
}
void put_double(std::string& out, std::size_t at, double value) {
  std::uint64_t bits = 0;
  std::memcpy(&bits, &value, 8);
  put64(out, at, bits);
}
void put_text(std::string& out, std::size_t at, const std::string& text, std::size_t room) {
  out.replace(at, std::min(text.size(), room), text, 0, std::min(text.size(), room));
}

// Each system the inputs state, with the first input of it and how many
// more: a block of a thousand tiles is told in a line a system. Systems
// without an EPSG code are told apart by the records that hold them, as
// the same name may come as GeoTIFF keys in one file and WKT in another.
std::string systems_told(const std::vector<const InputHeader*>& las) {
  struct Told {
    const InputHeader* first;
    int more;
  };
  std::vector<Told> systems;
  for (const InputHeader* input : las) {
    if (input->crs.empty()) continue;
    auto same = std::find_if(systems.begin(), systems.end(),
                             [&](const Told& t) { return t.first->crs.same_as(input->crs); });
    if (same != systems.end()) {
      ++same->more;
    } else {
      systems.push_back({input, 0});
    }
  }
  std::string told;
  for (const Told& system : systems) {
    const las::Crs& crs = system.first->crs;
    told += (told.empty() ? "" : "; ") + paths::for_message(system.first->path);
    if (system.more > 0) told += " and " + number::int_text(system.more) + " more";
    told += ": " + crs.describe_with_form();
  }
  return told;
}

// A wave packet descriptor: its index is the record's ID less 99.
bool wave_descriptor(const Vlr& vlr) {
  return vlr.user == "LASF_Spec" && vlr.id >= 100 && vlr.id <= 354;
}

// Up to ten names, and how many more.
std::string some_names(const std::vector<std::string>& names) {
  std::string text;
  for (std::size_t i = 0; i < names.size() && i < 10; ++i)
    text += (i == 0 ? "" : ", ") + paths::for_message(names[i]);
  if (names.size() > 10)
    text += " and " + number::int_text(static_cast<std::int64_t>(names.size() - 10)) + " more";
  return text;
}

// The wave packet descriptors of every input with wave packets, each kind
// once, by the index its first input gives it where that is free, by the
// first free one otherwise: tiles of two sensors whose descriptors share
// an index keep both, and the packets of each input their meaning. Then
// the waveform data of every input, one input's after another's.
void plan_waves(const std::vector<const InputHeader*>& las, Plan& plan) {
  // The descriptors kept, by the result's index.
  std::array<const Vlr*, 256> kept{};
  std::vector<std::string> not_found, renumbered, lost;
  for (const InputHeader* input : las) {
    if (!point::dims_of_format(input->format).has(Dim::kWavePacketDescriptorIndex)) continue;
    WaveInput wave{input->path, input->waveform, plan.wave_bytes, false, {}};
    // An input given twice points into its data once carried.
    if (const WaveInput* before = plan.wave_of(input->path); before != nullptr) {
      plan.waves.push_back(*before);
      continue;
    }
    bool moved = false;
    bool full = false;
    for (const Vlr& vlr : input->vlrs) {
      if (!wave_descriptor(vlr)) continue;
      const auto own = static_cast<std::size_t>(vlr.id - 99);
      auto same = [&](const Vlr* other) { return other != nullptr && other->body == vlr.body; };
      std::size_t to = same(kept[own]) ? own : 0;
      for (std::size_t i = 1; to == 0 && i < kept.size(); ++i)
        if (same(kept[i])) to = i;
      if (to == 0 && kept[own] == nullptr) to = own;
      for (std::size_t i = 1; to == 0 && i < kept.size(); ++i)
        if (kept[i] == nullptr) to = i;
      if (to == 0) {
        full = true;
        continue;
      }
      if (kept[to] == nullptr) kept[to] = &vlr;
      moved = moved || to != own;
      wave.index[own] = static_cast<std::uint8_t>(to);
    }
    if (!wave.source.found()) {
      not_found.push_back(input->path);
    } else {
      wave.carried = true;
      plan.wave_bytes += wave.source.size;
      if (moved) renumbered.push_back(input->path);
      if (full) lost.push_back(input->path);
    }
    plan.waves.push_back(std::move(wave));
  }
  for (std::size_t i = 1; i < kept.size(); ++i) {
    if (kept[i] == nullptr) continue;
    Vlr descriptor = *kept[i];
    descriptor.id = static_cast<std::uint16_t>(99 + i);
    plan.vlrs.push_back(std::move(descriptor));
  }
  if (!not_found.empty())
    plan.notes.push_back(
        "the waveform data of these inputs cannot be found (no waveform record, no .wdp file "
        "beside them): their points' wave packet descriptor index is set to 0: " +
        some_names(not_found));
  if (!renumbered.empty())
    plan.notes.push_back(
        "these inputs' wave packet descriptors differ from other inputs' of the same index, and "
        "are given other indexes, their points' with them: " +
        some_names(renumbered));
  if (!lost.empty())
    plan.notes.push_back(
        "the result has no room for more than 255 wave packet descriptors: the points of these "
        "inputs whose descriptors found none have their index set to 0: " +
        some_names(lost));
}

}  // namespace

std::uint32_t standard_length(int format) { return kFormatLength[format]; }

std::uint32_t Plan::point_offset() const {
  std::size_t at = header_size();
  for (const Vlr& vlr : vlrs) at += 54 + vlr.body.size();
  return static_cast<std::uint32_t>(at);
}

point::RecordLayout Plan::layout() const {
  std::vector<point::ExtraDim> dims;
  std::string descriptors;
  for (const KeptExtra& kept : extra) descriptors += kept.descriptor;
  dims = point::read_extra_bytes(reinterpret_cast<const unsigned char*>(descriptors.data()),
                                 descriptors.size(), kFormatLength[format], record_length);
  return point::RecordLayout::of_format(format, record_length, std::move(dims));
}

Plan compose(const std::vector<InputHeader>& inputs, const Options& options) {
  Plan plan;
  plan.form = options.form;
  plan.software = options.software;
  plan.day = options.day;
  plan.year = options.year;
  plan.may_round = options.scale_given;
  std::vector<const InputHeader*> las;
  point::DimSet dims;
  bool extended = false;
  std::uint64_t points = 0;
  bool any_text = false;
  for (const InputHeader& input : inputs) {
    if (input.las) {
      las.push_back(&input);
      dims.add(point::dims_of_format(input.format));
      extended = extended || input.format >= 6;
      points += input.points;
    } else {
      any_text = true;
      dims.add(input.dims);
      // A text's classes and returns may need more bits than formats 0 to
      // 5 give them, and nothing is known of them before they are read.
      extended = extended || input.dims.has(Dim::kClassification) ||
                 input.dims.has(Dim::kReturnNumber) || input.dims.has(Dim::kNumberOfReturns) ||
                 input.dims.has(Dim::kScanChannel) || input.dims.has(Dim::kOverlap);
    }
  }
  extended = extended || points >= (std::uint64_t{1} << 32) || dims.has(Dim::kInfrared);
  plan.format = format_for(dims, extended);
  plan.version_minor = extended ? 4 : plan.format >= 4 ? 3 : 2;

  // The time's type: one meaning for every time in the result.
  const InputHeader* timed = nullptr;
  for (const InputHeader* input : las) {
    if (!has_time(input->format)) continue;
    if (timed == nullptr) {
      timed = input;
    } else if ((timed->global_encoding & 1) != (input->global_encoding & 1)) {
      auto kind = [](const InputHeader* in) {
        return std::string((in->global_encoding & 1) != 0 ? "adjusted standard GPS time"
                                                          : "GPS week time");
      };
      throw Failure{1, "The inputs' GPS times differ in kind: " + paths::for_message(timed->path) +
                           " has " + kind(timed) + ", " + paths::for_message(input->path) + " " +
                           kind(input) + "; nothing was created."};
    }
  }
  if (timed != nullptr) plan.global_encoding |= timed->global_encoding & 1;

  // Scale and offset, axis by axis.
  for (int axis = 0; axis < 3; ++axis) {
    double scale = options.scale[axis];
    if (!options.scale_given) {
      for (const InputHeader* input : las) {
        if (input == las.front() || input->scale[axis] < scale) scale = input->scale[axis];
      }
      if (!any_text && las.empty()) scale = options.scale[axis];
      if (any_text) scale = std::min(scale, options.scale[axis]);
    }
    plan.scale[axis] = scale;
    // Each input's scale a whole multiple of the result's.
    if (!options.scale_given) {
      for (const InputHeader* input : las) {
        if (whole(input->scale[axis] / scale)) continue;
        const InputHeader* finest = las.front();
        for (const InputHeader* other : las) {
          if (other->scale[axis] < finest->scale[axis]) finest = other;
        }
        throw Failure{1, "The inputs' scales cannot be joined without rounding: " +
                             paths::for_message(finest->path) + " has " + kAxis[axis] +
                             " in steps of " + decimal_text(finest->scale[axis]) + ", " +
                             paths::for_message(input->path) + " of " +
                             decimal_text(input->scale[axis]) +
                             "; give --scale to round them to one; nothing was created."};
      }
    }
    // The inputs' bounds, where their headers tell them so that their own
    // integers can hold them: some writers put other figures there, and
    // the points themselves are checked as they are written.
    double low = 0, high = 0;
    bool bounded = false;
    for (const InputHeader* input : las) {
      if (!sane_bounds(*input, axis) || input->points == 0) continue;
      if (!bounded || input->min[axis] < low) low = input->min[axis];
      if (!bounded || input->max[axis] > high) high = input->max[axis];
      bounded = true;
    }
    if (!bounded && !las.empty()) low = high = las.front()->offset[axis];
    if (options.offset_given) {
      plan.offset[axis] = options.offset[axis];
    } else if (!las.empty()) {
      plan.offset[axis] = choose_offset(las, axis, scale, low, high);
    }
    if (bounded && ((low - plan.offset[axis]) / scale < -2147483648.0 ||
                    (high - plan.offset[axis]) / scale > 2147483647.0)) {
      throw Failure{1, "The inputs reach from " + decimal_text(low) + " to " + decimal_text(high) +
                           " in " + kAxis[axis] + ", more than 32-bit integers hold in steps of " +
                           decimal_text(scale) + " from " + decimal_text(plan.offset[axis]) +
                           "; give --scale or --offset; nothing was created."};
    }
    if (!options.scale_given) {
      for (const InputHeader* input : las) {
        if (whole((input->offset[axis] - plan.offset[axis]) / scale)) continue;
        throw Failure{1, "The inputs' offsets cannot be joined without rounding: " +
                             paths::for_message(input->path) + " has " + kAxis[axis] + " offset " +
                             decimal_text(input->offset[axis]) +
                             ", not a whole number of steps of " + decimal_text(scale) + " from " +
                             decimal_text(plan.offset[axis]) +
                             "; give --scale and --offset to round them; nothing was created."};
      }
    }
  }

  // Extra bytes every input shares, in the first input's order: all of
  // them, named or not, where every input describes the same.
  std::vector<std::string> left_out;
  plan.whole_extra =
      !any_text && !las.empty() && !las.front()->extra_descriptors.empty() &&
      std::all_of(las.begin(), las.end(),
                  [&](const InputHeader* input) {
                    const auto& a = las.front()->extra_descriptors;
                    const auto& b = input->extra_descriptors;
                    return a.size() == b.size() &&
                           std::equal(a.begin(), a.end(), b.begin(), same_extra);
                  }) &&
      std::all_of(las.front()->extra_descriptors.begin(), las.front()->extra_descriptors.end(),
                  [](const std::string& d) { return extra_size(d, true) > 0; });
  if (plan.whole_extra) {
    for (const std::string& descriptor : las.front()->extra_descriptors)
      plan.extra.push_back({extra_name(descriptor), descriptor, extra_size(descriptor, true), 0});
  } else if (!las.empty()) {
    for (const std::string& descriptor : las.front()->extra_descriptors) {
      const std::string name = extra_name(descriptor);
      const bool shared =
          !any_text && extra_size(descriptor) > 0 &&
          std::all_of(las.begin(), las.end(), [&](const InputHeader* input) {
            return std::any_of(
                input->extra_descriptors.begin(), input->extra_descriptors.end(),
                [&](const std::string& other) { return same_extra(descriptor, other); });
          });
      if (shared) {
        plan.extra.push_back({name, descriptor, extra_size(descriptor), 0});
      } else if (std::find(left_out.begin(), left_out.end(), name) == left_out.end()) {
        left_out.push_back(name);
      }
    }
  }
  for (const InputHeader* input : las) {
    for (const std::string& descriptor : input->extra_descriptors) {
      const std::string name = extra_name(descriptor);
      const bool kept = std::any_of(plan.extra.begin(), plan.extra.end(),
                                    [&](const KeptExtra& k) { return k.name == name; });
      if (!kept && std::find(left_out.begin(), left_out.end(), name) == left_out.end())
        left_out.push_back(name);
    }
  }
  if (!left_out.empty()) {
    std::string names;
    for (const std::string& name : left_out)
      names += (names.empty() ? "" : ", ") + paths::for_message(name);
    plan.notes.push_back("extra bytes not every input has are left out: " + names);
  }
  plan.record_length = kFormatLength[plan.format];
  for (KeptExtra& kept : plan.extra) {
    kept.at = plan.record_length;
    plan.record_length += static_cast<std::uint32_t>(kept.size);
  }
  if (!plan.extra.empty()) {
    Vlr record{"LASF_Spec", 4, "Extra Bytes", ""};
    for (const KeptExtra& kept : plan.extra) record.body += kept.descriptor;
    plan.vlrs.push_back(std::move(record));
  }

  // The reference system: one for all, or the one --crs-from names.
  const InputHeader* system = nullptr;
  if (!options.crs_from.empty()) {
    for (const InputHeader* input : las) {
      if (input->path == options.crs_from) system = input;
    }
    if (system == nullptr)
      throw Failure{1, "--crs-from names " + paths::for_message(options.crs_from) +
                           ", which is no LAS or LAZ input of the job; nothing was created."};
  }
  std::vector<std::string> without;
  for (const InputHeader* input : las) {
    if (input->crs.empty()) {
      without.push_back(paths::for_message(input->path));
      continue;
    }
    if (!options.crs_from.empty()) continue;
    if (system == nullptr) {
      system = input;
    } else if (!input->crs.same_as(system->crs)) {
      throw Failure{1, "The inputs' reference systems differ: " + systems_told(las) +
                           "; give --crs-from FILE to take one file's; nothing was created."};
    }
  }
  if (system != nullptr && !system->crs.empty()) {
    const las::Crs& crs = system->crs;
    plan.system = crs.describe();
    if (!crs.wkt.empty()) {
      plan.vlrs.push_back({"LASF_Projection", 2112, "OGC WKT", crs.wkt + std::string(1, '\0')});
      // 1.4 tells that its system is the WKT.
      if (plan.version_minor >= 4) plan.global_encoding |= 16;
    }
    auto bytes = [](const std::vector<std::uint8_t>& v) { return std::string(v.begin(), v.end()); };
    if (!crs.geokeys.empty() && (crs.wkt.empty() || plan.format < 6)) {
      plan.vlrs.push_back({"LASF_Projection", 34735, "GeoKeyDirectoryTag", bytes(crs.geokeys)});
      if (!crs.doubles.empty())
        plan.vlrs.push_back({"LASF_Projection", 34736, "GeoDoubleParamsTag", bytes(crs.doubles)});
      if (!crs.ascii.empty())
        plan.vlrs.push_back({"LASF_Projection", 34737, "GeoAsciiParamsTag", bytes(crs.ascii)});
      if (crs.wkt.empty() && plan.format >= 6)
        plan.notes.push_back(
            "its reference system is kept as GeoTIFF keys, which point formats "
            "6 to 10 expect as WKT");
    }
  }
  if (!without.empty() && system != nullptr) {
    std::string names;
    for (std::size_t i = 0; i < without.size() && i < 10; ++i)
      names += (i == 0 ? "" : ", ") + without[i];
    plan.notes.push_back(
        "inputs that state no reference system are taken to be in the result's: " + names +
        (without.size() > 10
             ? " and " + number::int_text(static_cast<std::int64_t>(without.size() - 10)) + " more"
             : ""));
  } else if (system == nullptr && !las.empty()) {
    plan.notes.push_back("no input states its reference system");
  }
  // Other records, where every input holds the same.
  std::vector<std::string> records_left_out;
  if (!las.empty()) {
    for (const Vlr& vlr : las.front()->vlrs) {
      if (wave_descriptor(vlr)) continue;
      const bool shared = std::all_of(las.begin(), las.end(), [&](const InputHeader* input) {
        return std::find(input->vlrs.begin(), input->vlrs.end(), vlr) != input->vlrs.end();
      });
      if (shared) plan.vlrs.push_back(vlr);
    }
    for (const InputHeader* input : las) {
      for (const Vlr& vlr : input->vlrs) {
        if (wave_descriptor(vlr)) continue;
        if (std::find(plan.vlrs.begin(), plan.vlrs.end(), vlr) != plan.vlrs.end()) continue;
        std::string name = vlr.user + " " + number::int_text(vlr.id);
        if (std::find(records_left_out.begin(), records_left_out.end(), name) ==
            records_left_out.end())
          records_left_out.push_back(name);
      }
    }
  }
  if (!records_left_out.empty()) {
    std::string names;
    for (const std::string& name : records_left_out)
      names += (names.empty() ? "" : ", ") + paths::for_message(name);
    plan.notes.push_back("records not every input holds alike are left out: " + names);
  }
  plan_waves(las, plan);
  return plan;
}

const WaveInput* Plan::wave_of(const std::string& path) const {
  for (const WaveInput& wave : waves) {
    if (wave.path == path) return &wave;
  }
  return nullptr;
}

void Totals::add_run(const char* records, std::size_t count, std::size_t length, bool extended) {
  if (count == 0) return;
  Totals run;
  run.add(records, extended);
  std::int32_t low[3], high[3];
  for (int axis = 0; axis < 3; ++axis) low[axis] = high[axis] = run.min[axis];
  // Counted by the whole field, returns 0 and past 5 (or 15) included,
  // and those of the numbers 1 to 15 kept.
  std::uint64_t numbers[16] = {};
  const unsigned mask = extended ? 15 : 7;
  for (std::size_t i = 1; i < count; ++i) {
    const char* record = records + i * length;
    for (int axis = 0; axis < 3; ++axis) {
      const std::int32_t v = coordinate(record, axis);
      low[axis] = std::min(low[axis], v);
      high[axis] = std::max(high[axis], v);
    }
    ++numbers[static_cast<unsigned char>(record[14]) & mask];
  }
  for (int axis = 0; axis < 3; ++axis) {
    run.min[axis] = low[axis];
    run.max[axis] = high[axis];
  }
  for (int i = 0; i < 15; ++i) run.by_return[i] += numbers[i + 1];
  run.points = count;
  merge(run);
}

void Totals::merge(const Totals& other) {
  if (other.points == 0) return;
  for (int axis = 0; axis < 3; ++axis) {
    if (points == 0 || other.min[axis] < min[axis]) min[axis] = other.min[axis];
    if (points == 0 || other.max[axis] > max[axis]) max[axis] = other.max[axis];
  }
  for (int i = 0; i < 15; ++i) by_return[i] += other.by_return[i];
  points += other.points;
}

std::string header_bytes(const Plan& plan, const Totals& totals) {
  std::string out(plan.header_size(), '\0');
  put_text(out, 0, "LASF", 4);
  put16(out, 4, 0);  // file source ID: the points come from many
  // Waveform data inside the file is promised only once it is there.
  put16(out, 6, plan.global_encoding | (totals.waveform_at != 0 ? 2u : 0u));
  out[24] = 1;
  out[25] = static_cast<char>(plan.version_minor);
  put_text(out, 26, "MERGE", 32);
  put_text(out, 58, plan.software, 32);
  put16(out, 90, static_cast<std::uint32_t>(plan.day));
  put16(out, 92, static_cast<std::uint32_t>(plan.year));
  put16(out, 94, plan.header_size());
  put32(out, 96, plan.point_offset());
  put32(out, 100, static_cast<std::uint32_t>(plan.vlrs.size()));
  // A LAZ result says so in the format's two top bits, as LASzip does.
  out[104] = static_cast<char>(plan.format | (plan.form == Form::kLaz ? 128 : 0));
  put16(out, 105, plan.record_length);
  // The legacy counts, where the format and the count allow them.
  const bool legacy = plan.format < 6 && totals.points < (std::uint64_t{1} << 32);
  if (legacy) {
    put32(out, 107, static_cast<std::uint32_t>(totals.points));
    for (int i = 0; i < 5; ++i)
      put32(out, 111 + 4 * static_cast<std::size_t>(i),
            static_cast<std::uint32_t>(totals.by_return[i]));
  }
  for (int axis = 0; axis < 3; ++axis) {
    put_double(out, 131 + 8 * static_cast<std::size_t>(axis), plan.scale[axis]);
    put_double(out, 155 + 8 * static_cast<std::size_t>(axis), plan.offset[axis]);
    // Bounds from the integers written: nothing written, none.
    double low = 0, high = 0;
    if (totals.points > 0) {
      low = totals.min[axis] * plan.scale[axis] + plan.offset[axis];
      high = totals.max[axis] * plan.scale[axis] + plan.offset[axis];
    }
    put_double(out, 179 + 16 * static_cast<std::size_t>(axis), high);
    put_double(out, 187 + 16 * static_cast<std::size_t>(axis), low);
  }
  if (plan.version_minor >= 3) put64(out, 227, totals.waveform_at);
  if (plan.version_minor >= 4 && totals.waveform_at != 0) {
    // The waveform data packet record is the one record after the points.
    put64(out, 235, totals.waveform_at);
    put32(out, 243, 1);
  }
  if (plan.version_minor >= 4) {
    put64(out, 247, totals.points);
    for (int i = 0; i < 15; ++i)
      put64(out, 255 + 8 * static_cast<std::size_t>(i), totals.by_return[i]);
  }
  for (const Vlr& vlr : plan.vlrs) {
    std::string head(54, '\0');
    put_text(head, 2, vlr.user, 16);
    put16(head, 18, vlr.id);
    put16(head, 20, static_cast<std::uint32_t>(vlr.body.size()));
    put_text(head, 22, vlr.description, 32);
    out += head;
    out += vlr.body;
  }
  return out;
}

void add_laszip_record(Plan& plan, std::string body) {
  plan.vlrs.push_back({"laszip encoded", 22204, "by LAZ of STRATUMIX", std::move(body)});
}

}  // namespace lasout
