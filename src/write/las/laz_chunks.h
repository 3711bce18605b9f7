// The LAZ face of a result: its records compressed in chunks of 50 000
// points on every core, written in order, and the chunk table at the end.
#ifndef STRATUMIX_WRITE_LAS_LAZ_CHUNKS_H_
#define STRATUMIX_WRITE_LAS_LAZ_CHUNKS_H_

#include <memory>

#include "io/output_file.h"
#include "write/las/las_plan.h"
#include "write/las/las_writer.h"

namespace lasout {

// The LASzip record's body for the result's plan, which goes among its
// records before the header is first written.
std::string laszip_record_for(const Plan& plan);

std::unique_ptr<ChunkWriter> make_laz_chunks(const Plan& plan, OutputFile& file);

}  // namespace lasout

#endif  // STRATUMIX_WRITE_LAS_LAZ_CHUNKS_H_
