// The real LAZ files of the corpus beside the LAS files of their points:
// point-wise (version 1 items) and chunked (version 2: POINT10, GPSTIME11,
// RGB12, BYTE), LAS 1.0 to 1.4 headers, pad bytes, no points; layered
// formats 6, 8 and 10 (POINT14, RGB14, RGBNIR14, WAVEPACKET14, BYTE14)
// with an EVLR.
#ifndef STRATUMIX_TESTS_CORPUS_TWINS_H_
#define STRATUMIX_TESTS_CORPUS_TWINS_H_

#include <fstream>
#include <iterator>
#include <string>

inline constexpr const char* kCorpusTwins[][2] = {
    {"pdal-simple-laszip-compressor-version-1.2r0.laz", "pdal-simple.las"},
    {"pdal-simple.laz", "pdal-simple.las"},
    {"pdal-laszip-generated_with2bytespadding.laz", "pdal-simple.las"},
    {"pdal-autzen_trim.laz", "pdal-autzen_trim.las"},
    {"lazperf-point10.las.laz", "lazperf-point10.las"},
    {"lazperf-point-time-1.4.las.laz", "lazperf-point-time.las"},
    {"lazperf-point-color.las.laz", "lazperf-point-color.las"},
    {"lazperf-point-color-time.las.laz", "lazperf-point-color-time.las"},
    {"lazperf-1815.laz", "lazperf-1815.las"},
    {"lazperf-point10-1.0.laz", "lazperf-point10-1.0.las"},
    {"lazperf-extrabytes.laz", "lazperf-extrabytes.las"},
    {"lazperf-no-points-1.3.laz", "lazperf-no-points-1.3.las"},
    {"laspy-1_4_w_evlr.laz", "laspy-1_4_w_evlr.las"},
    {"laspy-append-bug.laz", "lastools-append-bug-fmt8.las"},
    {"laspy-fullwave.laz", "lastools-fullwave-fmt10.las"},
};

#ifdef STRATUMIX_CORPUS
// The bytes of a file of the corpus, empty where there is none.
inline std::string corpus_file(const std::string& name) {
  std::ifstream in(std::string(STRATUMIX_CORPUS) + "/" + name, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}
#endif

#endif  // STRATUMIX_TESTS_CORPUS_TWINS_H_
