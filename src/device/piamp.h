// The two device library entries. Each takes a command code, an input (a
// record's address, or a plain integer for the status and clip-name polls)
// and an output record, and answers 0 for success.
#pragma once

#include <cstdint>
#include <memory>

namespace tarvolen {

class DeviceLibrary {
  public:
    virtual ~DeviceLibrary() = default;
    virtual int32_t Command(int32_t code, std::intptr_t input, void* output) = 0;
};

// Installs the implementation behind PIAMPCOMMAND / PIAMPCLIPDIRCOMMAND and
// returns the previous one. With none installed every call answers -1.
std::shared_ptr<DeviceLibrary> InstallAmpLibrary(std::shared_ptr<DeviceLibrary> lib);
std::shared_ptr<DeviceLibrary> InstallClipDirLibrary(std::shared_ptr<DeviceLibrary> lib);

int32_t PIAMPCOMMAND(int32_t code, std::intptr_t input, void* output);
int32_t PIAMPCLIPDIRCOMMAND(int32_t code, std::intptr_t input, void* output);

inline std::intptr_t RecordArg(const void* record) {
    return reinterpret_cast<std::intptr_t>(record);
}

}  // namespace tarvolen
