// The one clip listing a link holds (the last one fetched) and the clip
// directory calls that open and walk it.
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "device/records.h"

namespace tarvolen::link {

struct Listing {
    std::string address;
    std::vector<ClipEntry> entries;
    std::size_t next = 0;
};

// Clip directory codes 35 (open), 36 (first) and 37 (next). fetch(address,
// count) replaces listing with the recorder's, mu not held; listing is
// guarded by mu.
int32_t WalkListing(int32_t code, std::intptr_t input, void* output, std::mutex& mu,
                    Listing& listing,
                    const std::function<int32_t(const std::string&, int32_t*)>& fetch);

}  // namespace tarvolen::link
