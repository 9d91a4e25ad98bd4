// The clip list object: reads one channel's clip directory through the
// clip-directory library into the clip list window, answers single-clip
// questions for the device command layer, and remembers the channel whose
// list is open and how the list is sorted.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "device/clip_directory.h"
#include "device/records.h"

namespace tarvolen {

class cAmpcontrol;
class cSettings;
class cSyncThread;

// What the clip list needs from the layers around it. The composition root
// wires these to the device command layer, the status thread and the main
// window; any left empty does nothing (an empty address hook reads as "no
// address", so nothing is asked of the directory).
struct CliplistLinks {
    // The channel's cleaned connected address, or the empty text.
    std::function<std::string(int32_t channel)> connectedAddress;
    // Waits until the status thread is idle, then suspends it.
    std::function<void()> pauseStatusThread;
    // Lets the status thread poll again.
    std::function<void()> resumeStatusThread;
    // Loads the clip selected in the clip list window into its channel.
    std::function<void()> loadSelectedClip;
    // The main window's memory of where the clip list window was: mode 1
    // when the window has started, 0 when it closes.
    std::function<void(int32_t mode)> positionMemory;
};

// The clip list window's form, list and header.
inline constexpr const char* kClipListForm = "ClipList";
inline constexpr int32_t kClipListView = 100;
inline constexpr int32_t kClipListHeader = 101;
inline constexpr int32_t kClipListFont = 6;

// Links to the device command layer and the status thread: the address and
// pause come from cAmpcontrol, resuming clears the thread's SUSPENDSYNC.
CliplistLinks DeviceLinks(cAmpcontrol& amp, cSyncThread& sync,
                          std::function<void(int32_t mode)> positionMemory = {});

class cCliplist : public ClipDirectory {
  public:
    explicit cCliplist(cSettings& settings, CliplistLinks links = {});
    cCliplist(const cCliplist&) = delete;
    cCliplist& operator=(const cCliplist&) = delete;

    // The operations below keep their order: callers reach them by slot.
    int32_t GetChannel() override;
    virtual void SetChannel(int32_t channel);
    // Connects the directory library to every distinct shown address.
    void ConnectDirectory() override;
    void DisconnectDirectory() override;
    // Opens the clip list window for a shown channel within the bound.
    void Open(int32_t channel) override;
    // Reads the channel's directory into the open window.
    virtual void Fill();
    // Re-reads one clip and rewrites its row.
    virtual void RefreshClip(const std::string& clipName);
    // The clip's start timecode, "|", its duration; empty when not known.
    std::string GetClipTimes(const std::string& clipName) override;
    virtual void DrawRow(const std::string& form, int32_t id, int32_t drawValue, int32_t font);
    // Sorts by the column: a new column ascending, the same column flipped.
    virtual void SortByColumn(int32_t column);
    virtual void DrawHeader(const std::string& form, int32_t id, int32_t drawValue,
                            const std::string& captions, int32_t font);
    // Disconnects the directory library.
    ~cCliplist() override;

    void SetLinks(CliplistLinks links) { links_ = std::move(links); }
    const CliplistLinks& Links() const { return links_; }
    int32_t SortColumn() const { return sortColumn_; }
    int32_t SortDirection() const { return sortDirection_; }
    const ClipDirConnectTable& DirectoryConnectTable() const { return connectTable_; }

  private:
    std::string FormatName(int32_t code) const;
    std::string CodecName(int32_t code) const;
    std::string AspectName(int32_t code) const;
    void AddRow(const ClipEntry& entry, int32_t row);
    // The channel's address when it is a four-part address, else empty.
    std::string ListingAddress() const;
    // Asks the directory for one named clip; false when it has no answer.
    bool ReadNamedClip(const std::string& clipName, ClipEntry& entry);

    cSettings& settings_;
    CliplistLinks links_;
    int32_t channel_ = 0;
    ClipDirConnectTable connectTable_{};
    int32_t sortColumn_ = 0;
    int32_t sortDirection_ = 0;
};

}  // namespace tarvolen
