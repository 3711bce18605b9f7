// The baseline: pasting with one formatted read and one formatted write per
// point, the way a C program does it. Writes CR LF line ends like the
// program. Usage: scanf_loop RESULT INPUT...
#include <cstdio>

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: scanf_loop RESULT INPUT...\n");
    return 2;
  }
  std::FILE* result = std::fopen(argv[1], "wb");
  if (result == nullptr) return 1;
  for (int i = 2; i < argc; ++i) {
    std::FILE* input = std::fopen(argv[i], "rb");
    if (input == nullptr) return 1;
    double x;
    double y;
    double z;
    while (std::fscanf(input, "%lf%lf%lf", &x, &y, &z) == 3) {
      std::fprintf(result, "%lf %lf %lf\r\n", x, y, z);
    }
    std::fclose(input);
  }
  return std::fclose(result) == 0 ? 0 : 1;
}
