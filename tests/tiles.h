// Tiles as they are delivered, made by the tests themselves: gzip members
// and LAS files of given points.
#ifndef STRATUMIX_TESTS_TILES_H_
#define STRATUMIX_TESTS_TILES_H_

#include <zlib.h>

#include <string>

// What gzip makes of `text`, as one member.
inline std::string gzip_member(const std::string& text, int level = 6) {
  z_stream z{};
  if (deflateInit2(&z, level, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY) != Z_OK) return "";
  std::string packed(deflateBound(&z, static_cast<uLong>(text.size())), '\0');
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
  z.avail_in = static_cast<uInt>(text.size());
  z.next_out = reinterpret_cast<Bytef*>(packed.data());
  z.avail_out = static_cast<uInt>(packed.size());
  int result = deflate(&z, Z_FINISH);
  packed.resize(z.total_out);
  deflateEnd(&z);
  return result == Z_STREAM_END ? packed : "";
}

#endif  // STRATUMIX_TESTS_TILES_H_
