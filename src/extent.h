// How far the points of one file reach on one axis.
#ifndef STRATUMIX_EXTENT_H_
#define STRATUMIX_EXTENT_H_

// The smallest and largest value met. Until a value is met the report shows
// the traditional starting values.
struct Extent {
  double min = 6000000.0;
  double max = 0.0;
  bool met = false;

  void add(double value) {
    if (value != value) return;  // a NaN has no place on an axis
    if (!met) {
      min = max = value;
      met = true;
    } else if (value < min) {
      min = value;
    } else if (value > max) {
      max = value;
    }
  }

  // Whether a value known to lie in [low, high] could change the extent:
  // most points of a file cannot, and need not be converted exactly.
  bool could_change(double low, double high) const { return !met || low < min || high > max; }
};

#endif  // STRATUMIX_EXTENT_H_
