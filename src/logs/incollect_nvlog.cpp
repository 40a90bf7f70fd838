// Assembly of the NV log image from successive reads of page 0xF4; the
// rules for each chunk are nv_assembly_add's.
#include "bounded/bounded.h"
#include "common/page_codes.h"
#include "logs/logs.h"
#include "sg/sg.h"

nv_image incollect_nvlog(const char *dev, page_span page) {
  nv_assembly assembly;
  for (;;) {
    memset_s(page.data(), page.size(), 0, page.size());
    (void)sg_query_cmd(dev, kPageNvLog, page.first<kReceiveSize>());
    const nv_step step = nv_assembly_add(assembly, page.first<kReceiveSize>());
    if (step == nv_step::failed) return {};
    if (step == nv_step::complete) return nv_assembly_take(assembly);
  }
}
