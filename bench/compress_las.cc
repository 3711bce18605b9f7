// Compresses a LAS file on standard input to LAZ on standard output, with
// the program's compressor, in chunks of 50000 points as LASzip makes them.
//   compress_las < tile.las > tile.laz
#include <cstdio>
#include <iostream>
#include <iterator>
#include <string>

#include "read/laz/laz_encoder.h"

int main() {
  std::string las((std::istreambuf_iterator<char>(std::cin)), std::istreambuf_iterator<char>());
  std::string laz = laz::compress_las(las, 50000);
  if (laz.empty()) {
    std::fputs("compress_las: not a LAS file of point format 0 to 3\n", stderr);
    return 1;
  }
  std::fwrite(laz.data(), 1, laz.size(), stdout);
  return 0;
}
