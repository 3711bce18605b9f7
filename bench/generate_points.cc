// Writes a point file for the benchmark to standard output.
//   generate_points KIND COUNT SEED
// X lies in 600000..1200000, Y in 6100000..7100000, Z in -50..450, as in a
// survey in projected coordinates. KIND is one of
//   lidar     "%.2f %.2f %.3f" lines with CR LF, as lidar tiles come
//   repr      full-precision doubles ("%.17g", the shortest text that is
//             sure to read back the same double), CR LF
//   fixed8    "%.8f", CR LF
//   integers  whole numbers only, CR LF
//   tabs      lidar numbers separated by tabs and runs of spaces, LF
//   mixed     full-precision doubles and exponents, CR LF
//   las       the lidar points as LAS 1.2, point format 1, scales 0.01 and
//             0.001 (run.sh gzips the lidar kind for lidar-gz)
//   las14     the same as LAS 1.4, point format 6, a GPS time a point
//   csv       the lidar numbers separated by commas, after an X,Y,Z header
//   semicolon-decimal-comma
//             the lidar numbers with decimal commas, separated by semicolons,
//             as spreadsheets of decimal-comma locales save them
//   xyzrgb    the lidar numbers and a colour (three integers to 255)
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <random>
#include <string>

namespace {

void put(std::uint64_t value, int size) {
  for (int i = 0; i < size; ++i) std::putchar(static_cast<int>((value >> (8 * i)) & 0xff));
}

void put_double(double value) {
  std::uint64_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  put(bits, 8);
}

// Version 1.2, format 1; or 1.4, format 6.
void write_las_header(long long count, bool modern = false) {
  std::uint64_t header_size = modern ? 375 : 227;
  std::fputs("LASF", stdout);
  put(0, 20);  // source, encoding, project
  put(1, 1);
  put(modern ? 4 : 2, 1);
  put(0, 64 + 4);  // system, software, date
  put(header_size, 2);
  put(header_size, 4);
  put(0, 4);  // no variable-length records
  put(modern ? 6 : 1, 1);
  put(modern ? 30 : 28, 2);
  put(modern ? 0 : static_cast<std::uint64_t>(count), 4);
  put(0, 20);
  for (double scale : {0.01, 0.01, 0.001}) put_double(scale);
  for (int i = 0; i < 3; ++i) put_double(0);
  for (double bound : {1200000.0, 600000.0, 7100000.0, 6100000.0, 450.0, -50.0}) put_double(bound);
  if (!modern) return;
  put(0, 8 + 8 + 4);  // no waveforms, no extended records
  put(static_cast<std::uint64_t>(count), 8);
  put(0, 15 * 8);
}

// The integer of the text that "%.2f" (or "%.3f") writes: the same points
// as the lidar kind's.
std::int32_t scaled(double value, const char* format) {
  char text[64];
  std::snprintf(text, sizeof text, format, value);
  std::string digits;
  for (const char* p = text; *p != 0; ++p) {
    if (*p != '.') digits += *p;
  }
  return static_cast<std::int32_t>(std::atol(digits.c_str()));
}

void write_las_record(double x, double y, double z) {
  put(static_cast<std::uint32_t>(scaled(x, "%.2f")), 4);
  put(static_cast<std::uint32_t>(scaled(y, "%.2f")), 4);
  put(static_cast<std::uint32_t>(scaled(z, "%.3f")), 4);
  put(0, 28 - 12);
}

// Format 6: single returns, a time 10 microseconds after the last.
void write_las14_record(double x, double y, double z, long long i) {
  put(static_cast<std::uint32_t>(scaled(x, "%.2f")), 4);
  put(static_cast<std::uint32_t>(scaled(y, "%.2f")), 4);
  put(static_cast<std::uint32_t>(scaled(z, "%.3f")), 4);
  put(0, 2);
  put(0x11, 1);
  put(0, 7);
  put_double(static_cast<double>(i) * 1e-5);
}

}  // namespace

int main(int argc, char** argv) {
  static const char* const kKinds[] = {"lidar",    "repr", "fixed8",
                                       "integers", "tabs", "mixed",
                                       "las",      "csv",  "semicolon-decimal-comma",
                                       "xyzrgb",   "las14"};
  int kind = -1;
  for (int i = 0; argc == 4 && i < static_cast<int>(std::size(kKinds)); ++i) {
    if (std::strcmp(argv[1], kKinds[i]) == 0) kind = i;
  }
  if (kind < 0) {
    std::fprintf(stderr,
                 "usage: generate_points lidar|repr|fixed8|integers|tabs|mixed|las|csv|"
                 "semicolon-decimal-comma|xyzrgb|las14 COUNT SEED\n");
    return 2;
  }
  long long count = std::atoll(argv[2]);
  std::mt19937_64 random(std::strtoull(argv[3], nullptr, 10));
  std::uniform_real_distribution<double> x(600000, 1200000);
  std::uniform_real_distribution<double> y(6100000, 7100000);
  std::uniform_real_distribution<double> z(-50, 450);
  std::uniform_real_distribution<double> exponent(-8, 12);
  static const char* const kGaps[] = {"\t", " \t", "\t  ", "   ", "\t\t"};
  static char buffer[1 << 16];
  std::setvbuf(stdout, buffer, _IOFBF, sizeof buffer);
  if (kind == 6 || kind == 10) write_las_header(count, kind == 10);
  if (kind == 7) std::printf("X,Y,Z\r\n");
  // Colours of their own, so that the points stay those of the lidar kind.
  std::mt19937 colours(7);
  for (long long i = 0; i < count; ++i) {
    // Drawn in this order, whatever order a call's arguments are evaluated in.
    double a = x(random);
    double b = y(random);
    double c = z(random);
    switch (kind) {
      case 0:
        std::printf("%.2f %.2f %.3f\r\n", a, b, c);
        break;
      case 1:
        std::printf("%.17g %.17g %.17g\r\n", a, b, c);
        break;
      case 2:
        std::printf("%.8f %.8f %.8f\r\n", a, b, c);
        break;
      case 3:
        std::printf("%.0f %.0f %.0f\r\n", std::floor(a), std::floor(b), std::floor(c));
        break;
      case 6:
        write_las_record(a, b, c);
        break;
      case 10:
        write_las14_record(a, b, c, i);
        break;
      case 7:
        std::printf("%.2f,%.2f,%.3f\r\n", a, b, c);
        break;
      case 8: {
        char line[100];
        std::snprintf(line, sizeof line, "%.2f;%.2f;%.3f\r\n", a, b, c);
        for (char* p = line; *p != 0; ++p) *p = *p == '.' ? ',' : *p;
        std::fputs(line, stdout);
        break;
      }
      case 9:
        std::printf("%.2f %.2f %.3f %u %u %u\r\n", a, b, c, unsigned(colours() % 256),
                    unsigned(colours() % 256), unsigned(colours() % 256));
        break;
      case 4:
        std::printf("%s%.2f%s%.2f%s%.3f%s\n", i % 3 == 0 ? "  " : "", a, kGaps[random() % 5], b,
                    kGaps[random() % 5], c, i % 2 == 0 ? " " : "");
        break;
      default: {
        double scale = std::pow(10.0, exponent(random));
        std::printf("%.17g %.15g %.6e\r\n", a, b / 7.0, c * scale);
        break;
      }
    }
  }
  return std::fflush(stdout) == 0 ? 0 : 1;
}
