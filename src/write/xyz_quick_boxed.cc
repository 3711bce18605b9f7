// The quick loops that keep the points within a box, for a crop: each text's
// instantiated here, apart from the loops without a box, so that adding
// them changes nothing of how those are compiled.
#include "write/xyz_quick.h"

template <class Text>
void QuickTextOf<Text>::copy_boxed_run(Run& run, const char* stop, const char* text_end,
                                       std::int64_t count, Extents& extents, Axes axes) const {
  ::copy_boxed_run(text_, run, stop, text_end, count, extents, axes);
}

template void QuickTextOf<xyz::SixDecimals<true>>::copy_boxed_run(Run&, const char*, const char*,
                                                                  std::int64_t, Extents&,
                                                                  Axes) const;
template void QuickTextOf<xyz::SixDecimals<false>>::copy_boxed_run(Run&, const char*, const char*,
                                                                   std::int64_t, Extents&,
                                                                   Axes) const;
template void QuickTextOf<xyz::FewDecimals<true>>::copy_boxed_run(Run&, const char*, const char*,
                                                                  std::int64_t, Extents&,
                                                                  Axes) const;
template void QuickTextOf<xyz::FewDecimals<false>>::copy_boxed_run(Run&, const char*, const char*,
                                                                   std::int64_t, Extents&,
                                                                   Axes) const;
