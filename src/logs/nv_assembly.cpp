// The rules of NV log image assembly, one chunk at a time.
//
// The first chunk (chunk_offset 0) gives the image size; every chunk's data
// is appended until the image is full. A chunk that does not continue the
// image being assembled ends the assembly with no image: a later chunk before
// any first one, a second first chunk, a chunk of another image size, a chunk
// without data, one longer than a read can bring, one that would run past the
// image, or one whose data lies past the bytes held. Each accepted chunk adds
// at least one byte, so an assembly ends after at most image_size chunks.
#include <algorithm>
#include <cstdlib>

#include "bounded/bounded.h"
#include "common/bytes.h"
#include "logs/logs.h"

namespace {

// A read brings at most kReceiveSize bytes: 4 bytes before page_length's count.
constexpr std::uint32_t kMaxChunkPageLength = kReceiveSize - 4;

struct chunk_header {
  std::uint32_t page_length;
  std::uint32_t chunk_offset;
  std::uint32_t image_size;
};

chunk_header read_chunk_header(std::span<const std::uint8_t> chunk) {
  return {bytes::be16(chunk, nv_chunk::kPageLength), bytes::be32(chunk, nv_chunk::kChunkOffset),
          bytes::be32(chunk, nv_chunk::kImageSize)};
}

// Data bytes the chunk adds to an image of size bytes of which gathered are
// filled; 0 when the chunk carries no data, more than a read holds, more than
// the room left, or more than the chunk's bytes hold.
std::uint32_t chunk_data_length(const chunk_header &chunk, std::size_t held, std::uint32_t size,
                                std::uint32_t gathered) {
  if (chunk.page_length <= nv_chunk::kHeaderAfterLength) return 0;
  if (chunk.page_length > kMaxChunkPageLength) return 0;
  const std::uint32_t data = chunk.page_length - nv_chunk::kHeaderAfterLength;
  if (held < nv_chunk::kData || data > held - nv_chunk::kData) return 0;
  return data <= size - gathered ? data : 0;
}

nv_step fail(nv_assembly &a) {
  std::free(a.image);
  a.image = nullptr;
  a.size = 0;
  a.kept = 0;
  a.gathered = 0;
  return nv_step::failed;
}

}  // namespace

nv_step nv_assembly_add(nv_assembly &a, std::span<const std::uint8_t> chunk) {
  const chunk_header h = read_chunk_header(chunk);
  if (h.image_size == 0) return fail(a);
  if (h.chunk_offset == 0) {
    if (a.image != nullptr) return fail(a);  // the image restarted part-way
    a.kept = static_cast<std::uint32_t>(std::min<std::size_t>(h.image_size, kPageBufferSize));
    a.image = static_cast<std::uint8_t *>(std::malloc(a.kept));
    if (a.image == nullptr) return fail(a);
    a.size = h.image_size;
  } else if (a.image == nullptr) {
    return fail(a);  // a later chunk before the first
  }
  if (h.image_size != a.size) return fail(a);
  const std::uint32_t data = chunk_data_length(h, chunk.size(), a.size, a.gathered);
  if (data == 0) return fail(a);
  if (a.gathered < a.kept) {
    const std::uint32_t room = a.kept - a.gathered;
    memcpy_s(a.image + a.gathered, room, chunk.data() + nv_chunk::kData, std::min(data, room));
  }
  a.gathered += data;  // data <= size - gathered: no wrap
  return a.gathered == a.size ? nv_step::complete : nv_step::more;
}

nv_image nv_assembly_take(nv_assembly &a) {
  const nv_image image{a.image, a.size, a.kept};
  a.image = nullptr;
  a.size = 0;
  a.kept = 0;
  a.gathered = 0;
  return image;
}
