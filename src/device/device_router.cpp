#include "device/device_router.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <string_view>
#include <vector>

#include "shell/settings.h"
#include "shell/text.h"

namespace tarvolen {
namespace {

template <class T>
const T* Record(std::intptr_t input) {
    auto* r = reinterpret_cast<const T*>(input);
    return r && r->size >= static_cast<int32_t>(sizeof(T)) ? r : nullptr;
}

// The number in the first <Chan> element of a document. The element sits
// near the start of every document that carries one, behind at most a clip
// name, so the 64 KiB of fill after it are never read.
int32_t DocumentChannel(const TextBlock* block) {
    static constexpr std::string_view kTag = "<chan>";
    constexpr std::size_t kHead = 2048;
    const std::string_view text(block->text, strnlen(block->text, kHead));
    auto at = std::search(text.begin(), text.end(), kTag.begin(), kTag.end(), [](char a, char b) {
        return std::tolower(static_cast<unsigned char>(a)) == b;
    });
    if (at == text.end()) return -1;
    int32_t ch = 0;
    int digits = 0;
    for (auto it = at + static_cast<std::ptrdiff_t>(kTag.size()); it != text.end(); ++it) {
        if (*it == ' ') continue;
        if (*it < '0' || *it > '9' || ++digits > 3) break;
        ch = ch * 10 + (*it - '0');
    }
    return digits >= 1 && digits <= 3 && ch < kDeviceChannels ? ch : -1;
}

bool NotARequest(int32_t code) {
    return code == amp::kConnect || code == amp::kStatus || code == amp::kDisconnect ||
           code == amp::kClipNames || code == amp::kSetAddress;
}

class Adapter : public DeviceLibrary {
  public:
    Adapter(std::shared_ptr<DeviceRouter> router, bool amp)
        : router_(std::move(router)), amp_(amp) {}
    int32_t Command(int32_t code, std::intptr_t input, void* output) override {
        return amp_ ? router_->Amp(code, input, output) : router_->ClipDir(code, input, output);
    }
    void Commands(std::span<DeviceCall> calls) override {
        if (amp_)
            router_->AmpBatch(calls);
        else
            DeviceLibrary::Commands(calls);
    }
    bool WatchStatus(std::function<void()> wake) override {
        return amp_ && router_->WatchStatus(std::move(wake));
    }
    std::optional<std::chrono::steady_clock::time_point> NextPass() override {
        return amp_ ? router_->NextPass() : std::nullopt;
    }

  private:
    std::shared_ptr<DeviceRouter> router_;
    bool amp_;
};

}  // namespace

int32_t ChannelOfCall(int32_t code, std::intptr_t input) {
    switch (code) {
        case amp::kStop:
        case amp::kPlay:
        case amp::kEject:
        case amp::kVolumes:
        case amp::kGetConfig:
            if (auto* r = Record<ChannelRequest>(input)) return r->channel;
            return -1;
        case amp::kWind:
        case amp::kStep:
        case amp::kPlaySpeed:
        case amp::kLoop:
        case amp::kPingPong:
            if (auto* r = Record<ChannelValueRequest>(input)) return r->channel;
            return -1;
        case amp::kLoadClip:
            if (auto* r = Record<LoadClipRequest>(input)) return r->channel;
            return -1;
        case amp::kRecord:
        case amp::kRecordFileList:
        case amp::kSendConfig:
        case amp::kSetAddress:
            if (auto* r = Record<TextBlock>(input)) return DocumentChannel(r);
            return -1;
        default:
            return -1;
    }
}

DeviceRouter::DeviceRouter(Libraries ours, Libraries deck,
                           std::function<int32_t(int32_t ch)> protocol_of)
    : libs_{std::move(ours), std::move(deck)}, protocol_of_(std::move(protocol_of)) {}

std::shared_ptr<DeviceLibrary> DeviceRouter::AmpLibrary() {
    return std::make_shared<Adapter>(shared_from_this(), true);
}
std::shared_ptr<DeviceLibrary> DeviceRouter::ClipDirLibrary() {
    return std::make_shared<Adapter>(shared_from_this(), false);
}

DeviceLibrary& DeviceRouter::AmpOf(int32_t ch) const {
    if (ch < 0 || ch >= kDeviceChannels) return *libs_[kProtocolOurs].amp;
    std::lock_guard lock(mu_);
    return *libs_[static_cast<std::size_t>(protocol_[static_cast<std::size_t>(ch)])].amp;
}

// An address that only decks use is a deck's; one that our recorders use too
// stays ours, as it was before decks.
DeviceLibrary& DeviceRouter::DirOf(const std::string& address) const {
    bool deck = false;
    std::lock_guard lock(mu_);
    for (std::size_t ch = 0; ch < address_.size(); ++ch) {
        if (address_[ch] != address) continue;
        if (protocol_[ch] == kProtocolOurs) return *libs_[kProtocolOurs].clipDir;
        deck = true;
    }
    return *libs_[deck ? kProtocolDeck : kProtocolOurs].clipDir;
}

bool DeviceRouter::AnyDeck() const {
    std::lock_guard lock(mu_);
    return AnyDeckLocked();
}

bool DeviceRouter::AnyDeckLocked() const {
    return std::any_of(protocol_.begin(), protocol_.end(),
                       [](int32_t p) { return p == kProtocolDeck; });
}

int32_t DeviceRouter::Connect(std::intptr_t input, void* output) {
    const auto* table = Record<ConnectTable>(input);
    if (!table) return libs_[kProtocolOurs].amp->Command(amp::kConnect, input, output);
    std::array<ConnectTable, 2> split{};
    {
        std::lock_guard lock(mu_);
        for (int ch = 0; ch < kDeviceChannels; ++ch) {
            const auto i = static_cast<std::size_t>(ch);
            protocol_[i] = ch < kChannelCount && protocol_of_ && protocol_of_(ch) == kProtocolDeck
                               ? kProtocolDeck
                               : kProtocolOurs;
            address_[i] = table->shown[ch] ? ReadField(table->address[ch], kAddressWidth) : "";
        }
    }
    for (int p = 0; p < 2; ++p) {
        ConnectTable& t = split[static_cast<std::size_t>(p)];
        std::memcpy(&t, table, sizeof t);
        for (int ch = 0; ch < kDeviceChannels; ++ch)
            if (protocol_[static_cast<std::size_t>(ch)] != p) t.shown[ch] = 0;
    }
    // The decks first: ours may wait a moment for greetings, during which
    // the decks' own dialling goes on.
    libs_[kProtocolDeck].amp->Command(amp::kConnect, RecordArg(&split[1]), &split[1]);
    const int32_t rc =
        libs_[kProtocolOurs].amp->Command(amp::kConnect, RecordArg(&split[0]), &split[0]);
    // The libraries behind the polls may be others now.
    std::function<void()> wake;
    {
        std::lock_guard lock(mu_);
        wake = status_wake_;
    }
    if (wake) wake();
    return rc;
}

bool DeviceRouter::WatchStatus(std::function<void()> wake) {
    DeviceLibrary& ours = *libs_[kProtocolOurs].amp;
    DeviceLibrary& deck = *libs_[kProtocolDeck].amp;
    bool decks;
    {
        std::lock_guard lock(mu_);
        status_wake_ = wake;
        decks = AnyDeckLocked();
    }
    if (!wake) {
        ours.WatchStatus({});
        deck.WatchStatus({});
        return false;
    }
    const bool ours_tells = ours.WatchStatus(wake);
    const bool deck_tells = deck.WatchStatus(wake);
    // Without a deck channel the deck link's answers are never asked.
    if (ours_tells && (deck_tells || !decks)) return true;
    // The caller polls: no library goes on waking it.
    if (ours_tells) ours.WatchStatus({});
    if (deck_tells) deck.WatchStatus({});
    return false;
}

std::optional<std::chrono::steady_clock::time_point> DeviceRouter::NextPass() {
    if (AnyDeck()) return std::nullopt;
    return libs_[kProtocolOurs].amp->NextPass();
}

int32_t DeviceRouter::SetAddress(std::intptr_t input, void* output) {
    const int32_t ch = ChannelOfCall(amp::kSetAddress, input);
    if (ch < 0) return libs_[kProtocolOurs].amp->Command(amp::kSetAddress, input, output);
    const int32_t now = ch < kChannelCount && protocol_of_ && protocol_of_(ch) == kProtocolDeck
                            ? kProtocolDeck
                            : kProtocolOurs;
    int32_t was;
    {
        std::lock_guard lock(mu_);
        was = protocol_[static_cast<std::size_t>(ch)];
    }
    const int32_t rc =
        libs_[static_cast<std::size_t>(now)].amp->Command(amp::kSetAddress, input, output);
    // A channel that changed protocol is only taken over by a reconnect.
    return now != was && rc == 0 ? amp::kResultReconnect : rc;
}

int32_t DeviceRouter::Amp(int32_t code, std::intptr_t input, void* output) {
    switch (code) {
        case amp::kConnect:
            return Connect(input, output);
        case amp::kSetAddress:
            return SetAddress(input, output);
        case amp::kDisconnect:
            libs_[kProtocolDeck].amp->Command(code, input, output);
            return libs_[kProtocolOurs].amp->Command(code, input, output);
        case amp::kStatus:
        case amp::kClipNames: {
            DeviceLibrary& ours = *libs_[kProtocolOurs].amp;
            if (!AnyDeck()) return ours.Command(code, input, output);
            const int32_t rc = ours.Command(code, input, output);
            if (rc != 0) return rc;
            std::array<int32_t, kDeviceChannels> protocol;
            {
                std::lock_guard lock(mu_);
                protocol = protocol_;
            }
            auto overlay = [&](auto* table) -> int32_t {
                using Table = std::remove_pointer_t<decltype(table)>;
                if (!table || table->size < static_cast<int32_t>(sizeof(Table))) return rc;
                auto deck = std::make_unique<Table>();
                const int32_t drc = libs_[kProtocolDeck].amp->Command(code, input, deck.get());
                for (std::size_t ch = 0; ch < protocol.size(); ++ch) {
                    if (protocol[ch] != kProtocolDeck) continue;
                    if constexpr (std::is_same_v<Table, StatusTable>) {
                        if (drc == 0) {
                            table->entry[ch] = deck->entry[ch];
                        } else {  // a deck link that cannot answer has lost its decks
                            StoreField(table->entry[ch].timecode, 15, "--:--:--:--");
                            StoreField(table->entry[ch].state, 13, "Los");
                        }
                    } else {
                        std::memcpy(table->name[ch], deck->name[ch], kClipNameWidth);
                        if (drc != 0) std::memset(table->name[ch], ' ', kClipNameWidth);
                    }
                }
                return rc;
            };
            if (code == amp::kStatus) return overlay(static_cast<StatusTable*>(output));
            return overlay(static_cast<ClipNameTable*>(output));
        }
        default:
            return AmpOf(ChannelOfCall(code, input)).Command(code, input, output);
    }
}

void DeviceRouter::AmpBatch(std::span<DeviceCall> calls) {
    if (std::any_of(calls.begin(), calls.end(), [](auto& c) { return NotARequest(c.code); })) {
        for (DeviceCall& c : calls) c.result = Amp(c.code, c.input, c.output);
        return;
    }
    if (!AnyDeck()) {
        libs_[kProtocolOurs].amp->Commands(calls);
        return;
    }
    std::array<std::vector<DeviceCall>, 2> part;
    std::array<std::vector<std::size_t>, 2> index;
    {
        std::lock_guard lock(mu_);
        for (std::size_t i = 0; i < calls.size(); ++i) {
            const int32_t ch = ChannelOfCall(calls[i].code, calls[i].input);
            const std::size_t p =
                ch >= 0 && ch < kDeviceChannels ? static_cast<std::size_t>(protocol_[ch]) : 0;
            part[p].push_back(calls[i]);
            index[p].push_back(i);
        }
    }
    // Both halves on the wire before either is awaited: the spread over a
    // mixed bank is that of one library.
    std::array<std::unique_ptr<PendingCalls>, 2> sent;
    for (std::size_t p = 0; p < 2; ++p)
        if (!part[p].empty()) sent[p] = libs_[p].amp->Start(part[p]);
    for (std::size_t p = 0; p < 2; ++p) {
        if (!sent[p]) continue;
        sent[p]->Finish();
        for (std::size_t k = 0; k < part[p].size(); ++k)
            calls[index[p][k]].result = part[p][k].result;
    }
}

int32_t DeviceRouter::ClipDir(int32_t code, std::intptr_t input, void* output) {
    DeviceLibrary& ours = *libs_[kProtocolOurs].clipDir;
    DeviceLibrary& deck = *libs_[kProtocolDeck].clipDir;
    switch (code) {
        case clipdir::kConnect: {
            const auto* table = Record<ClipDirConnectTable>(input);
            if (!table) return ours.Command(code, input, output);
            std::array<ClipDirConnectTable, 2> split{};
            std::array<int, 2> used{};
            for (auto& t : split) std::memset(t.address, ' ', sizeof t.address);
            // The table ends at its first blank slot.
            for (int i = 0; i < kDeviceChannels; ++i) {
                const std::string address = ReadField(table->address[i], kAddressWidth);
                if (address.empty()) break;
                const std::size_t p = &DirOf(address) == &deck ? 1 : 0;
                std::memcpy(split[p].address[used[p]++], table->address[i], kAddressWidth);
            }
            deck.Command(code, RecordArg(&split[1]), &split[1]);
            return ours.Command(code, RecordArg(&split[0]), &split[0]);
        }
        case clipdir::kDisconnect:
            deck.Command(code, input, output);
            return ours.Command(code, input, output);
        case clipdir::kOpen:
        case clipdir::kFirst:
        case clipdir::kNext:
            if (auto* r = Record<AddressRequest>(input))
                return DirOf(ReadField(r->address, kAddressWidth)).Command(code, input, output);
            return ours.Command(code, input, output);
        case clipdir::kNamedClip:
            if (auto* r = Record<ClipEntry>(input))
                return DirOf(ReadField(r->address, kAddressWidth)).Command(code, input, output);
            return ours.Command(code, input, output);
        default:
            return ours.Command(code, input, output);
    }
}

std::shared_ptr<DeviceRouter> InstallDeviceRouter(DeviceRouter::Libraries ours,
                                                  DeviceRouter::Libraries deck,
                                                  std::function<int32_t(int32_t ch)> protocol_of) {
    auto router =
        std::make_shared<DeviceRouter>(std::move(ours), std::move(deck), std::move(protocol_of));
    InstallAmpLibrary(router->AmpLibrary());
    InstallClipDirLibrary(router->ClipDirLibrary());
    return router;
}

}  // namespace tarvolen
