// The LAZ face of a result: its records compressed in chunks of 50 000
// points (fewer of long records) on every core, written in order, and the
// chunk table at the end.
#ifndef STRATUMIX_WRITE_LAS_LAZ_CHUNKS_H_
#define STRATUMIX_WRITE_LAS_LAZ_CHUNKS_H_

#include <memory>
#include <vector>

#include "io/output_file.h"
#include "read/laz/laz_encoder.h"
#include "write/las/las_plan.h"
#include "write/las/las_writer.h"

namespace lasout {

// The LASzip record's body for the result's plan, which goes among its
// records before the header is first written.
std::string laszip_record_for(const Plan& plan);

// How a chunk is compressed: laz::compress_chunk, or what a test puts in
// its place.
using ChunkCompress = void (*)(const laz::ChunkFormat& format, laz::RecordRuns records,
                               std::vector<unsigned char>& out);

std::unique_ptr<ChunkWriter> make_laz_chunks(const Plan& plan, OutputFile& file,
                                             ChunkCompress compress = laz::compress_chunk);

}  // namespace lasout

#endif  // STRATUMIX_WRITE_LAS_LAZ_CHUNKS_H_
