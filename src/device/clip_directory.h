// What the device layer asks of the clip list object. The clip list sits
// above this folder, so it implements this interface and is handed to
// cAmpcontrol and cStatus through their setters.
#pragma once

#include <cstdint>
#include <string>

namespace tarvolen {

class ClipDirectory {
  public:
    virtual ~ClipDirectory() = default;
    // The channel whose clip list is open or was last opened.
    virtual int32_t GetChannel() = 0;
    // Connects the clip-directory library to every distinct shown address.
    virtual void ConnectDirectory() = 0;
    // Disconnects the clip-directory library (directory code 33).
    virtual void DisconnectDirectory() = 0;
    // Opens the clip list window for a shown channel; anything else is ignored.
    virtual void Open(int32_t ch) = 0;
    // Start timecode "|" duration of the named clip on the open channel's
    // recorder; empty when it cannot be asked.
    virtual std::string GetClipTimes(const std::string& clip_name) = 0;
};

}  // namespace tarvolen
