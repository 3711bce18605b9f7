#include "treatment.h"

#include <cstdint>
#include <string>

#include "failure.h"
#include "platform.h"
#include "points.h"
#include "stratumix.h"
#include "text_out.h"

namespace {

constexpr std::int64_t kProgressInterval = 100000;

// The smallest and largest value met on one axis. Until a value is met the
// report shows the traditional starting values.
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
};

[[noreturn]] void stop_on_unknown_file(const std::string& nomim3) {
  console << "\n\tFile " << nomim3 << " unknown \n";
  console.flush();
  platform::getch();
  throw Failure{0, ""};
}

void open_input(const std::string& nomim3) {
  std::string reason;
  f3 = open_for_reading(nomim3, reason);
  if (f3 == nullptr) stop_on_unknown_file(nomim3);
}

void warn_incomplete(const std::string& nomim3, const std::string& problem) {
  input_incomplete = true;
  report_error("warning: " + nomim3 + ", " + problem +
               "; the rest of this file is not pasted.");
}

}  // namespace

void treatment() {
  console << "\n\n";
  for (std::int32_t m = 1; m <= numlay; ++m) {
    std::string nomim3 = files[static_cast<std::size_t>(m)].nombre;
    open_input(nomim3);
    console << "\n\n\tFile number " << m << " named " << nomim3;
    Extent X;
    Extent Y;
    std::int64_t ico = 0;
    console << "\n\n";

    PointReader reader(*f3);
    Point point;
    while (reader.next(point)) {
      if (++ico % kProgressInterval == 0) {
        console << "\t\trecord " << ico << "            \r    ";
        console.flush();
      }
      X.add(point.xyz[0].value);
      Y.add(point.xyz[1].value);
      write_point(f2, point);
    }
    f3.reset();
    if (!reader.problem().empty()) warn_incomplete(nomim3, reader.problem());

    console << "\n\n\tlayer " << m << " ";
    console << "\n\t\tX_min = " << Fixed6{X.min} << " X_max = " << Fixed6{X.max} << " ";
    console << "\n\t\tY_min = " << Fixed6{Y.min} << " Y_max = " << Fixed6{Y.max} << " ";
  }
  f2.close();
}
