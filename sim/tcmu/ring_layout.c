// The ring layout as the kernel's header defines it.
#include "tcmu/ring_layout.h"

#include <linux/target_core_user.h>

const struct tcmu_ring_layout tcmu_layout = {
    .mb_version = offsetof(struct tcmu_mailbox, version),
    .mb_flags = offsetof(struct tcmu_mailbox, flags),
    .mb_cmdr_off = offsetof(struct tcmu_mailbox, cmdr_off),
    .mb_cmdr_size = offsetof(struct tcmu_mailbox, cmdr_size),
    .mb_cmd_head = offsetof(struct tcmu_mailbox, cmd_head),
    .mb_cmd_tail = offsetof(struct tcmu_mailbox, cmd_tail),
    .mb_size = sizeof(struct tcmu_mailbox),
    .ent_len_op = offsetof(struct tcmu_cmd_entry, hdr.len_op),
    .ent_uflags = offsetof(struct tcmu_cmd_entry, hdr.uflags),
    .ent_iov_cnt = offsetof(struct tcmu_cmd_entry, req.iov_cnt),
    .ent_cdb_off = offsetof(struct tcmu_cmd_entry, req.cdb_off),
    .ent_iov = offsetof(struct tcmu_cmd_entry, req.iov),
    .ent_header = sizeof(struct tcmu_cmd_entry_hdr),
    .ent_status = offsetof(struct tcmu_cmd_entry, rsp.scsi_status),
    .ent_read_len = offsetof(struct tcmu_cmd_entry, rsp.read_len),
    .ent_sense = offsetof(struct tcmu_cmd_entry, rsp.sense_buffer),
    .sense_size = TCMU_SENSE_BUFFERSIZE,
    .iov_size = sizeof(struct iovec),
    .iov_len = offsetof(struct iovec, iov_len),
    .op_mask = TCMU_OP_MASK,
    .op_pad = TCMU_OP_PAD,
    .op_cmd = TCMU_OP_CMD,
    .flag_cap_read_len = TCMU_MAILBOX_FLAG_CAP_READ_LEN,
    .uflag_read_len = TCMU_UFLAG_READ_LEN,
};
