#include "platform/link/listing.h"

#include "platform/link/records.h"
#include "platform/link/results.h"
#include "shell/text.h"

namespace tarvolen::link {

int32_t WalkListing(int32_t code, std::intptr_t input, void* output, std::mutex& mu,
                    Listing& listing,
                    const std::function<int32_t(const std::string&, int32_t*)>& fetch) {
    const auto* r = InputRecord<AddressRequest>(input);
    if (!r) return result::kBadInput;
    std::string address = ReadField(r->address, kAddressWidth);
    if (address.empty()) return result::kBadInput;
    if (code == clipdir::kOpen) {
        auto* out = OutputRecord<CountReply>(output);
        if (!out) return result::kBadInput;
        out->count = 0;
        return fetch(address, &out->count);
    }
    auto* out = OutputRecord<ClipEntry>(output);
    if (!out) return result::kBadInput;
    bool have = false;
    {
        std::lock_guard lock(mu);
        have = listing.address == address;
    }
    if (!have && code == clipdir::kFirst) {
        int32_t rc = fetch(address, nullptr);
        if (rc != result::kOk) return rc;
    }
    std::lock_guard lock(mu);
    if (listing.address != address) return result::kNoEntry;
    if (code == clipdir::kFirst) listing.next = 0;
    if (listing.next >= listing.entries.size()) return result::kNoEntry;
    *out = listing.entries[listing.next++];
    return result::kOk;
}

}  // namespace tarvolen::link
