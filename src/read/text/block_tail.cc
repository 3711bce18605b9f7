#include "read/text/block_tail.h"

#include <algorithm>
#include <cstring>

#include "read/text/run_loop.h"

namespace {

using bytes::kCtrlZ;

// The room a tail is copied into, at most: twice the tail, as when
// single-digit numbers of one line each get their six decimals, is more
// than plain decimals with two or more of them need.
constexpr std::size_t kTailRoom = kIoBlockSize;

}  // namespace

void BlockTail::copy_from(const QuickText& quick, char* text, std::size_t size,
                          std::size_t block_size) {
  // Nothing to take until the points are copied, which may fail for want
  // of memory: the reading thread then goes on without.
  forget();
  // A small block, a small file or the last of a large one, is not worth
  // the storage: thousands of small files would each take their own.
  if (size < block_size / 4) return;
  // A Ctrl-Z ends the text: the reader alone knows where it stands.
  clear_of_ctrl_z = std::memchr(text, kCtrlZ, size) == nullptr;
  if (!clear_of_ctrl_z) return;
  end_text(text + size);
  std::size_t from = size - size * static_cast<std::size_t>(share) / kShares;
  const auto* line_end = static_cast<const char*>(std::memchr(text + from, '\n', size - from));
  if (line_end == nullptr) return;
  const char* first = line_end;
  while (first != text && bytes::is_white(first[-1])) --first;
  if (first == text) return;
  const std::size_t line_room = quick.line_room();
  std::size_t room = std::min(kTailRoom, 2 * (size - from) + line_room);
  if (out_room < room) {
    out.reset(new char[room]);
    out_room = room;
  }
  extents = Extents{};
  Run run{line_end + 1, out.get(), 0, 0, false};
  const char* room_end = out.get() + out_room;
  const auto longest = static_cast<std::ptrdiff_t>(line_room);
  while (!run.stopped && room_end - run.out >= longest) {
    quick.copy_run(run, text + size + 1, text + size, (room_end - run.out) / longest, extents,
                   axes);
  }
  stop = static_cast<std::size_t>(first - text);
  end = static_cast<std::size_t>(run.end - text);
  line_ends = count_line_ends(first, line_end + 1) + run.line_ends;
  out_size = static_cast<std::size_t>(run.out - out.get());
  points = run.points;
}
