#include "connect/share_enum.h"

#include "platform/seam.h"

namespace qv::connect {

void EnumerateDiskShares(std::vector<String>& names, std::vector<String>& paths) {
  names.clear();
  paths.clear();
  auto& p = platform::Current();
  std::uint32_t resume = 0;
  // A batch without progress would otherwise repeat for ever.
  for (int batches = 0; batches < 100000; ++batches) {
    std::vector<platform::ShareEntry> batch;
    const std::uint32_t before = resume;
    const std::uint32_t rc = p.NetShareEnum(resume, batch);
    if (rc != platform::kOk && rc != platform::kErrMoreData) return;
    for (const platform::ShareEntry& share : batch) {
      if (share.type != platform::kShareTypeDisk || share.name.find(u'$') != String::npos) continue;
      names.push_back(AsciiUpper(share.name));
      paths.push_back(share.path);
    }
    if (rc != platform::kErrMoreData || (batch.empty() && resume == before)) return;
  }
}

}  // namespace qv::connect
