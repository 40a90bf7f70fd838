// Assembly of the NV log image from successive reads of page 0xF4.
//
// The first chunk (chunk_offset 0) gives the image size; every chunk's data
// is appended until the image is full. A chunk that does not continue the
// image being assembled ends the assembly with no image: a later chunk before
// any first one, a second first chunk, a chunk of another image size, a chunk
// without data, one longer than a read can bring, or one that would run past
// the image. Each accepted chunk adds at least one byte, so the assembly ends
// after at most image_size reads.
//
// Only the first kPageBufferSize bytes of an image are ever used, so only
// those are kept: the rest of the image is counted as it arrives, not stored.
// The memory taken no longer depends on the image_size a device declares.
#include <algorithm>
#include <cstdlib>

#include "bounded/bounded.h"
#include "common/bytes.h"
#include "common/guards.h"
#include "common/page_codes.h"
#include "logs/logs.h"
#include "sg/sg.h"

namespace {

// A read brings at most kReceiveSize bytes: 4 bytes before page_length's count.
constexpr std::uint32_t kMaxChunkPageLength = kReceiveSize - 4;

struct chunk_header {
  std::uint32_t page_length;
  std::uint32_t chunk_offset;
  std::uint32_t image_size;
};

chunk_header read_chunk_header(const_page_span page) {
  return {bytes::be16(page, nv_chunk::kPageLength), bytes::be32(page, nv_chunk::kChunkOffset),
          bytes::be32(page, nv_chunk::kImageSize)};
}

// Data bytes the chunk adds to an image of size bytes of which gathered are
// filled; 0 when the chunk carries no data, more than a read holds, or more
// than the room left.
std::uint32_t chunk_data_length(const chunk_header &chunk, std::uint32_t size,
                                std::uint32_t gathered) {
  if (chunk.page_length <= nv_chunk::kHeaderAfterLength) return 0;
  if (chunk.page_length > kMaxChunkPageLength) return 0;
  const std::uint32_t data = chunk.page_length - nv_chunk::kHeaderAfterLength;
  return data <= size - gathered ? data : 0;
}

}  // namespace

nv_image incollect_nvlog(const char *dev, page_span page) {
  guard::heap<std::uint8_t> image(nullptr);
  std::uint32_t size = 0;
  std::uint32_t kept = 0;  // bytes of the image stored: the first min(size, kPageBufferSize)
  std::uint32_t gathered = 0;
  for (;;) {
    memset_s(page.data(), page.size(), 0, page.size());
    (void)sg_query_cmd(dev, kPageNvLog, page.first<kReceiveSize>());
    const chunk_header chunk = read_chunk_header(page);
    if (chunk.image_size == 0) return {};
    if (chunk.chunk_offset == 0) {
      if (image.value != nullptr) return {};  // the image restarted part-way
      size = chunk.image_size;
      kept = static_cast<std::uint32_t>(std::min<std::size_t>(size, kPageBufferSize));
      image.value = static_cast<std::uint8_t *>(std::malloc(kept));
      if (image.value == nullptr) return {};
    } else if (image.value == nullptr) {
      return {};  // a later chunk before the first
    }
    if (chunk.image_size != size) return {};
    const std::uint32_t data = chunk_data_length(chunk, size, gathered);
    if (data == 0) return {};
    if (gathered < kept) {
      const std::uint32_t room = kept - gathered;
      memcpy_s(image.value + gathered, room, page.data() + nv_chunk::kData, std::min(data, room));
    }
    gathered += data;  // data <= size - gathered: no wrap
    if (gathered == size) return {image.release(), size, kept};
  }
}
