// Writes a point file for the benchmark to standard output.
//   generate_points lidar COUNT SEED   "%.2f %.2f %.3f" lines with CR LF,
//                                      X 600000..1200000, Y 6100000..7100000
//   generate_points mixed COUNT SEED   full-precision doubles and exponents
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>

int main(int argc, char** argv) {
  if (argc != 4 || (std::strcmp(argv[1], "lidar") != 0 && std::strcmp(argv[1], "mixed") != 0)) {
    std::fprintf(stderr, "usage: generate_points lidar|mixed COUNT SEED\n");
    return 2;
  }
  bool lidar = std::strcmp(argv[1], "lidar") == 0;
  long long count = std::atoll(argv[2]);
  std::mt19937_64 random(std::strtoull(argv[3], nullptr, 10));
  std::uniform_real_distribution<double> x(600000, 1200000);
  std::uniform_real_distribution<double> y(6100000, 7100000);
  std::uniform_real_distribution<double> z(-50, 450);
  std::uniform_real_distribution<double> exponent(-8, 12);
  static char buffer[1 << 16];
  std::setvbuf(stdout, buffer, _IOFBF, sizeof buffer);
  for (long long i = 0; i < count; ++i) {
    if (lidar) {
      std::printf("%.2f %.2f %.3f\r\n", x(random), y(random), z(random));
    } else {
      double scale = std::pow(10.0, exponent(random));
      std::printf("%.17g %.15g %.6e\r\n", x(random), y(random) / 7.0, z(random) * scale);
    }
  }
  return std::fflush(stdout) == 0 ? 0 : 1;
}
