// The channel list of the main window (control 100 of form "main") and the
// two status polls that keep the channel table current.
//
// The polls run on the status thread, or on the GUI thread while that thread
// is paused; they are serialised by a lock of their own. The drawing reads
// the last tables received under a second, short lock.
#pragma once

#include <array>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>

#include "device/records.h"

namespace tarvolen {

class cSettings;
class cAmpcontrol;
class cSyncThread;
class ClipDirectory;
class DeviceClock;

class cStatus {
  public:
    explicit cStatus(cSettings& settings);
    virtual ~cStatus() = default;
    cStatus(const cStatus&) = delete;
    cStatus& operator=(const cStatus&) = delete;

    void SetAmpcontrol(cAmpcontrol* amp) { amp_ = amp; }
    void SetSyncThread(cSyncThread* sync) { sync_ = sync; }
    void SetClipDirectory(ClipDirectory* clips) { clips_ = clips; }
    void SetClock(DeviceClock* clock);

    virtual std::string ClipNameOf(int32_t ch);
    virtual void FillList();
    virtual void WaitUntilStopped(int32_t ch);
    virtual void HandleClick(int32_t click_value);
    virtual void DrawCell(const std::string& form, int32_t id, int32_t draw_value);
    virtual void SizeColumns();
    virtual int32_t ColumnWidth(int32_t column);
    virtual int32_t PollStatus(int32_t request);
    virtual int32_t PollClipNames();

    // The record-file fetch: asks the file names of at most one recording
    // channel that has none yet. Returns whether names came that the list
    // shows.
    bool FetchRecordFileNames();

    // The state text of channel ch in the last status table received, all 13
    // characters as sent.
    std::string LastStatusState(int32_t ch);
    // Rows per channel block as the list is laid out: the track-lines setting,
    // held to 2 or 3.
    int32_t TrackLines() const;
    // The row's check box was cleared because the recorder went away, and the
    // operator has not touched it since.
    bool UncheckedByDevice(int32_t ch) const;

  private:
    void DrawColumn(const std::string& form, int32_t dc, int32_t row, int32_t height, int32_t left,
                    int32_t right, int32_t width, const std::string& cell);
    void Redraw();
    void FollowDevice(int32_t ch, const std::string& state);
    void ForgetLoadedClip(int32_t ch);

    cSettings& settings_;
    cAmpcontrol* amp_ = nullptr;
    cSyncThread* sync_ = nullptr;
    ClipDirectory* clips_ = nullptr;
    DeviceClock* clock_;

    std::mutex poll_;  // one poll at a time, whoever calls
    StatusTable current_{};
    ClipNameTable current_names_{};
    int32_t remembered_track_lines_ = 0;

    // Per channel, set when the drawing unchecked it because its device went
    // away: the check box's write count right after. GUI thread only.
    std::array<std::optional<uint32_t>, kDeviceChannels> unchecked_by_device_{};

    mutable std::mutex tables_;  // the last tables received, read by the drawing
    StatusTable previous_{};
    ClipNameTable previous_names_{};
};

}  // namespace tarvolen
