// Offsets and constants of the user backstore's shared ring, taken from the
// kernel's own header by a C translation unit (the header is C, not C++).
#pragma once

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

struct tcmu_ring_layout {
  size_t mb_version, mb_flags, mb_cmdr_off, mb_cmdr_size, mb_cmd_head, mb_cmd_tail, mb_size;
  size_t ent_len_op, ent_uflags, ent_iov_cnt, ent_cdb_off, ent_iov, ent_header;
  size_t ent_status, ent_read_len, ent_sense, sense_size, iov_size, iov_len;
  uint32_t op_mask, op_pad, op_cmd;
  uint16_t flag_cap_read_len;
  uint8_t uflag_read_len;
};

extern const struct tcmu_ring_layout tcmu_layout;

#ifdef __cplusplus
}
#endif
