// The header of one deflate block, read to tell whether zlib would inflate
// its codes: ISA-L inflates a block whose Huffman code leaves some codes
// unused (an incomplete code), which zlib refuses; a file and a pipe must
// give the same result.
#ifndef STRATUMIX_READ_GZIP_DEFLATE_HEADER_H_
#define STRATUMIX_READ_GZIP_DEFLATE_HEADER_H_

#include <cstddef>
#include <cstdint>

struct BlockHeader {
  enum class Verdict {
    kShort,    // the bits end within the header
    kRefused,  // zlib refuses the block at its header
    kGood,
  };
  Verdict verdict = Verdict::kShort;
  bool final = false;  // the stream's last block
};

// The header of the block whose first bit is the lowest of `held` (`held_count`
// bits, as an inflater keeps the bits it has taken but not used) or, when
// none are held, the lowest of `data[0]`. Only what zlib checks at a header
// is checked: the rest of the block is the inflater's to judge.
BlockHeader read_block_header(std::uint64_t held, int held_count, const unsigned char* data,
                              std::size_t size);

#endif  // STRATUMIX_READ_GZIP_DEFLATE_HEADER_H_
