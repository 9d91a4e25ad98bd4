// Fixed-layout records exchanged with the device libraries. Every record
// starts with its own size in bytes; texts are space-filled, single-byte.
#pragma once

#include <cstddef>
#include <cstdint>

#include "shell/widths.h"

namespace tarvolen {

inline constexpr int kDeviceChannels = 48;  // the libraries address 0-47; the table uses 0-23
inline constexpr int kClipNameWidth = 255;
inline constexpr int kTextBlockWidth = 65535;

#pragma pack(push, 1)

struct ChannelRequest {
    int32_t size = sizeof(ChannelRequest);
    int32_t channel = 0;
};

struct ChannelValueRequest {
    int32_t size = sizeof(ChannelValueRequest);
    int32_t channel = 0;
    int32_t value = 0;
};

struct TextBlock {
    int32_t size = sizeof(TextBlock);
    char text[kTextBlockWidth];
};

struct ConnectTable {
    int32_t size = sizeof(ConnectTable);
    int32_t shown[kDeviceChannels];
    int32_t internalChannel[kDeviceChannels];  // 1-4
    char address[kDeviceChannels][kAddressWidth];
};

struct StatusEntry {
    int32_t unused;
    char timecode[15];
    char state[13];
};

struct StatusTable {
    int32_t size = sizeof(StatusTable);
    StatusEntry entry[kDeviceChannels];
};

struct ClipNameTable {
    int32_t size = sizeof(ClipNameTable);
    char name[kDeviceChannels][kClipNameWidth];
};

struct LoadClipRequest {
    int32_t size = sizeof(LoadClipRequest);
    int32_t channel = 0;
    char clipName[kClipNameWidth];
    char start[kTimecodeWidth];
    char duration[kTimecodeWidth];
};

struct ClipDirConnectTable {
    int32_t size = sizeof(ClipDirConnectTable);
    char address[kDeviceChannels][kAddressWidth];
};

struct AddressRequest {
    int32_t size = sizeof(AddressRequest);
    char address[kAddressWidth];
};

struct CountReply {
    int32_t size = sizeof(CountReply);
    int32_t count = 0;
};

struct ClipEntry {
    int32_t size = sizeof(ClipEntry);
    char reserved0[8];
    char clipName[kClipNameWidth];  // 12
    char reserved1[11];
    char dateTime[20];  // 278
    char reserved2[8];
    char start[kTimecodeWidth];     // 306
    char duration[kTimecodeWidth];  // 317
    char reserved3[6];
    uint8_t videoFormat;  // 334
    uint8_t codec;        // 335
    uint8_t compression;  // 336
    char reserved4[41];
    char guid[36];                // 378
    char address[kAddressWidth];  // 414
};

#pragma pack(pop)

static_assert(sizeof(ChannelRequest) == 8);
static_assert(sizeof(ChannelValueRequest) == 12);
static_assert(sizeof(TextBlock) == 65539);
static_assert(sizeof(ConnectTable) == 1108);
static_assert(sizeof(StatusEntry) == 32);
static_assert(sizeof(StatusTable) == 1540);
static_assert(sizeof(ClipNameTable) == 12244);
static_assert(sizeof(LoadClipRequest) == 285);
static_assert(sizeof(ClipDirConnectTable) == 724);
static_assert(sizeof(AddressRequest) == 19);
static_assert(sizeof(CountReply) == 8);
static_assert(sizeof(ClipEntry) == 429);
static_assert(offsetof(ClipEntry, clipName) == 12);
static_assert(offsetof(ClipEntry, dateTime) == 278);
static_assert(offsetof(ClipEntry, start) == 306);
static_assert(offsetof(ClipEntry, duration) == 317);
static_assert(offsetof(ClipEntry, videoFormat) == 334);
static_assert(offsetof(ClipEntry, codec) == 335);
static_assert(offsetof(ClipEntry, compression) == 336);
static_assert(offsetof(ClipEntry, guid) == 378);
static_assert(offsetof(ClipEntry, address) == 414);

// PIAMPCOMMAND codes.
namespace amp {
inline constexpr int32_t kConnect = 1;
inline constexpr int32_t kStop = 3;
inline constexpr int32_t kPlay = 4;
inline constexpr int32_t kWind = 5;  // value -1 rewind, +1 forward
inline constexpr int32_t kStep = 6;  // value -1 / +1 frame
inline constexpr int32_t kEject = 7;
inline constexpr int32_t kRecord = 9;
inline constexpr int32_t kPlaySpeed = 10;  // value -100: play reverse
inline constexpr int32_t kStatus = 30;
inline constexpr int32_t kDisconnect = 33;
inline constexpr int32_t kClipNames = 34;
inline constexpr int32_t kLoadClip = 38;
inline constexpr int32_t kLoop = 47;
inline constexpr int32_t kPingPong = 50;
inline constexpr int32_t kVolumes = 78;
inline constexpr int32_t kRecordFileList = 81;
inline constexpr int32_t kGetConfig = 83;
inline constexpr int32_t kSendConfig = 84;
inline constexpr int32_t kSetAddress = 85;
inline constexpr int32_t kResultReconnect = 5;  // answer of kSetAddress: caller must reconnect
}  // namespace amp

// PIAMPCLIPDIRCOMMAND codes.
namespace clipdir {
inline constexpr int32_t kConnect = 1;
inline constexpr int32_t kDisconnect = 33;
inline constexpr int32_t kOpen = 35;
inline constexpr int32_t kFirst = 36;
inline constexpr int32_t kNext = 37;
inline constexpr int32_t kNamedClip = 49;
}  // namespace clipdir

}  // namespace tarvolen
