// The running median of the last five values, which LASzip takes as the
// prediction of a coordinate's next difference.
#ifndef STRATUMIX_READ_LAZ_MEDIAN5_H_
#define STRATUMIX_READ_LAZ_MEDIAN5_H_

#include <cstdint>

namespace laz {

// Five values kept in order; a new one pushes out the lowest or the
// highest by turns, as LASzip's does, so that the median is its.
class Median5 {
 public:
  std::int32_t get() const { return v_[2]; }
  void add(std::int32_t x) {
    if (high_) {
      if (x < v_[2]) {
        v_[4] = v_[3];
        v_[3] = v_[2];
        if (x < v_[0]) {
          v_[2] = v_[1];
          v_[1] = v_[0];
          v_[0] = x;
        } else if (x < v_[1]) {
          v_[2] = v_[1];
          v_[1] = x;
        } else {
          v_[2] = x;
        }
      } else {
        if (x < v_[3]) {
          v_[4] = v_[3];
          v_[3] = x;
        } else {
          v_[4] = x;
        }
        high_ = false;
      }
    } else if (v_[2] < x) {
      v_[0] = v_[1];
      v_[1] = v_[2];
      if (v_[4] < x) {
        v_[2] = v_[3];
        v_[3] = v_[4];
        v_[4] = x;
      } else if (v_[3] < x) {
        v_[2] = v_[3];
        v_[3] = x;
      } else {
        v_[2] = x;
      }
    } else {
      if (v_[1] < x) {
        v_[0] = v_[1];
        v_[1] = x;
      } else {
        v_[0] = x;
      }
      high_ = true;
    }
  }

 private:
  std::int32_t v_[5] = {};
  bool high_ = true;
};

}  // namespace laz

#endif  // STRATUMIX_READ_LAZ_MEDIAN5_H_
