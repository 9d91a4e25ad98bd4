// The settings object: the table of 24 channel entries, the program-wide
// values kept with it and the settings file they live in.
//
// Threads: the status thread writes states, timecodes and clip names while
// the GUI thread reads and edits the table. Every text field is read and
// written under one lock as a whole copy; the numbers are atomics. Getters of
// fixed-width fields return the field read through text cleaning.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>

#include <vector>

#include "shell/channel_config.h"
#include "shell/widths.h"

namespace tarvolen {

class IniFile;

inline constexpr int32_t kChannelCount = 24;
inline constexpr size_t kStateWidth = 10;
inline constexpr size_t kVolumesWidth = 4096;
// Default addresses are this prefix and the two-digit channel number.
inline constexpr std::string_view kDefaultAddressPrefix = "127.0.0.1";

// The protocol a channel's recorder speaks: ours, or the HyperDeck Ethernet
// Protocol of a one-channel deck.
inline constexpr int32_t kProtocolOurs = 0;
inline constexpr int32_t kProtocolDeck = 1;
inline constexpr uint16_t kDefaultDeckPort = 9993;
// The names the settings file and the address dialog use.
inline constexpr std::string_view kProtocolOursName = "TarVolen";
inline constexpr std::string_view kProtocolDeckName = "HyperDeck";

// The build string for a build date given as month/day/year text
// ("3/5/2021" or "03/05/2021" → "21.03.05.1").
std::string BuildStringFromDate(std::string_view month_day_year);
// This program's build date as month/day/year text.
std::string BuildDate();

class cSettings {
  public:
    // The settings file of this program (/proc/self/exe).
    cSettings();
    // The settings file of the program at program_path (SettingsFileFor).
    explicit cSettings(std::string program_path);
    // Saves the settings file.
    ~cSettings();
    cSettings(const cSettings&) = delete;
    cSettings& operator=(const cSettings&) = delete;

    // The program file's path, empty when it cannot be found.
    static std::string ProgramPath();
    // The directory as it is, the file name in lower case with every ".exe"
    // replaced by ".ini", or ".ini" appended when it has none.
    static std::string SettingsPathFor(std::string_view program_path);
    // The data folder of an installed program (<prefix>/bin/ beside
    // <prefix>/share/tarvolen/), empty for a copy in a folder of its own.
    static std::string InstalledDataDirFor(std::string_view program_path);
    // The settings file the program at program_path uses: beside a copy in a
    // folder of its own; $XDG_CONFIG_HOME/tarvolen/tarvolen.ini (~/.config
    // when unset) for an installed one, empty when the user has no home.
    static std::string SettingsFileFor(std::string_view program_path);
    const std::string& SettingsPath() const { return path_; }

    // Writes every key of the table in one atomic save; false when the file
    // could not be written (the file stays as it was, why says what failed).
    bool SaveSettings(std::string* why = nullptr);
    // What the operator is to hear about the file read at creation (empty:
    // nothing); given out once.
    std::string TakeLoadNotice();

    // Asked to redraw the main channel list after select or deselect all.
    void SetRedrawHook(std::function<void()> redraw);
    void SelectAllChannels();
    void DeselectAllChannels();

    int32_t ChannelBound() const { return channel_bound_.load(std::memory_order_relaxed); }
    int32_t TrackLines() const { return track_lines_.load(std::memory_order_relaxed); }
    void SetTrackLines(int32_t lines) { track_lines_.store(lines, std::memory_order_relaxed); }
    int32_t ManualClipNaming() const { return manual_naming_.load(std::memory_order_relaxed); }
    void SetManualClipNaming(int32_t on) { manual_naming_.store(on, std::memory_order_relaxed); }
    int32_t FrameRateCode() const { return frame_rate_.load(std::memory_order_relaxed); }
    void SetFrameRateCode(int32_t code) { frame_rate_.store(code, std::memory_order_relaxed); }
    const std::string& BuildString() const { return build_string_; }

    // Channel fields. An index outside 0 to the channel bound reads as 0 or
    // empty text and is ignored by setters.
    int32_t Checked(int32_t ch) const;
    void SetChecked(int32_t ch, int32_t checked);
    // Counts every write of the checked value, so that a reader can tell
    // whether anyone set it since it last looked.
    uint32_t CheckedWrites(int32_t ch) const;
    int32_t Shown(int32_t ch) const;
    void SetShown(int32_t ch, int32_t shown);
    int32_t InternalChannel(int32_t ch) const;
    void SetInternalChannel(int32_t ch, int32_t number);
    // kProtocolOurs or kProtocolDeck, and the port; 0 is the protocol's own.
    int32_t Protocol(int32_t ch) const;
    void SetProtocol(int32_t ch, int32_t protocol);
    int32_t Port(int32_t ch) const;
    void SetPort(int32_t ch, int32_t port);

    std::string Address(int32_t ch) const;
    void SetAddress(int32_t ch, std::string_view address);
    std::string Timecode(int32_t ch) const;
    void SetTimecode(int32_t ch, std::string_view timecode);
    std::string State(int32_t ch) const;
    void SetState(int32_t ch, std::string_view state);
    std::string ClipStart(int32_t ch) const;
    void SetClipStart(int32_t ch, std::string_view timecode);
    std::string ClipEnd(int32_t ch) const;
    void SetClipEnd(int32_t ch, std::string_view timecode);
    std::string ClipDuration(int32_t ch) const;
    void SetClipDuration(int32_t ch, std::string_view timecode);
    std::string Volumes(int32_t ch) const;
    void SetVolumes(int32_t ch, std::string_view volumes);

    std::string ChannelName(int32_t ch) const;
    void SetChannelName(int32_t ch, std::string_view name);
    std::string Project(int32_t ch) const;
    void SetProject(int32_t ch, std::string_view project);
    std::string BaseName(int32_t ch) const;
    void SetBaseName(int32_t ch, std::string_view name);
    std::string ProxyName(int32_t ch) const;
    void SetProxyName(int32_t ch, std::string_view name);
    std::string TapeId(int32_t ch) const;
    void SetTapeId(int32_t ch, std::string_view id);
    std::string SceneName(int32_t ch) const;
    void SetSceneName(int32_t ch, std::string_view name);

    // Status texts, not stored in the settings file.
    std::string ClipName(int32_t ch) const;
    void SetClipName(int32_t ch, std::string_view name);
    std::string LastClip(int32_t ch) const;
    void SetLastClip(int32_t ch, std::string_view name);
    std::string RecordFileNames(int32_t ch) const;
    void SetRecordFileNames(int32_t ch, std::string_view names);

    // ---- Recorder configuration and the Setup pages (src/config). They act on
    // the channel selected in the Setup window's channel grid and the page of
    // its selected tab; without a selection they do nothing.
    void CommitEdit();
    void SetSegmentDuration(const std::string& timecode);
    void PollConfiguration(int32_t prime);
    void RefreshPage(int32_t channel);  // -1: the selected channel
    void ApplyPage(const std::string& item_name, int32_t item_index);
    void ApplyToChecked(int32_t ask);
    void BuildInputsPage();
    void BuildEncodersPage();
    void BuildProjectsPage();
    void BuildMasterAudioPage();
    void BuildProxyAudioPage();
    void AddTrack();
    void RemoveTrack();
    void SetTrackCount(int32_t count);

    // ---- The Setup window's channel grid and the address dialog (src/windows).
    // Fills the grid; refresh_page also refreshes the page for the row it selects.
    void FillChannelGrid(bool refresh_page = true);
    void ShowChannelsWithAddress();
    void ShowNoChannels();
    void ApplyChannelGrid();
    void LoadAddressDialog();
    void ApplyAddressDialog();
    void ClearChannel();
    void IncrementChannel();
    // 1 while the grid is being filled: RefreshPage then does nothing.
    int32_t FillFlag() const { return fill_flag_; }
    void SetFillFlag(int32_t on) { fill_flag_ = on; }

    // ---- Configuration model and document (src/config); the Setup pages'
    // helpers, open to tests and fuzzers.
    // The channel selected in the Setup window's grid, -1 for none.
    static int32_t SelectedSetupChannel();
    // Null outside 0 to the channel bound.
    ChannelConfig* Config(int32_t ch);
    const ChannelConfig* Config(int32_t ch) const;
    ChoiceTable& Choices() { return choices_; }
    const ChoiceTable& Choices() const { return choices_; }
    void ParseCapabilities(int32_t channel, std::string_view document);
    std::string TranslateChoice(std::string_view value, int32_t slot, int32_t kind) const;
    std::string BuildConfigXml();  // the selected channel
    std::string BuildConfigXml(int32_t channel) const;
    void ParseRouting(int32_t channel, int32_t slot, std::string_view routing);
    std::string BuildRoutingXml(int32_t channel, int32_t slot) const;
    int32_t LastTrackIndex(int32_t slot);  // the selected channel
    int32_t LastTrackIndex(int32_t channel, int32_t slot) const;
    int32_t AudioPageIndex();

    // State and timecode of one channel taken together.
    struct ChannelStatus {
        std::string state;
        std::string timecode;
    };
    ChannelStatus Status(int32_t ch) const;
    // Sets both as SetState and SetTimecode do and gives them back as Status.
    ChannelStatus SetStatus(int32_t ch, std::string_view state, std::string_view timecode);

  private:
    struct Channel {
        std::atomic<int32_t> checked{0};
        std::atomic<uint32_t> checked_writes{0};
        std::atomic<int32_t> shown{0};
        std::atomic<int32_t> internal{0};
        std::atomic<int32_t> protocol{kProtocolOurs};
        std::atomic<int32_t> port{0};
        // Fixed-width fields, held cut or filled out with spaces.
        std::string address = std::string(kAddressWidth, ' ');
        std::string timecode = std::string(kTimecodeWidth, ' ');
        std::string state = std::string(kStateWidth, ' ');
        std::string clip_start = std::string(kTimecodeWidth, ' ');
        std::string clip_end = std::string(kTimecodeWidth, ' ');
        std::string clip_duration = std::string(kTimecodeWidth, ' ');
        std::string volumes = std::string(kVolumesWidth, ' ');
        std::string name, project, base_name, proxy_name, tape_id, scene_name;
        std::string clip_name, last_clip, record_files;
    };

    static bool InRange(int32_t ch) { return ch >= 0 && ch < kChannelCount; }
    std::string Get(int32_t ch, std::string Channel::*field, bool clean) const;
    void Put(int32_t ch, std::string Channel::*field, std::string_view text, size_t width = 0);

    void Load();
    void ReadChannelTable(const IniFile& file);
    void WriteChannelTable(IniFile& file) const;

    std::string path_;
    std::atomic<int32_t> channel_bound_{kChannelCount - 1};
    std::atomic<int32_t> track_lines_{3};
    std::atomic<int32_t> manual_naming_{0};
    std::atomic<int32_t> frame_rate_{29};
    std::string build_string_;
    std::function<void()> redraw_;
    std::string load_notice_;

    // GUI thread only.
    std::vector<ChannelConfig> config_ = std::vector<ChannelConfig>(kChannelCount);
    ChoiceTable choices_{};
    int32_t fill_flag_ = 0;
    std::string last_configuration_;  // the last document PollConfiguration saw
    int32_t last_polled_channel_ = 0;

    mutable std::mutex mutex_;  // every text field of every channel
    std::array<Channel, kChannelCount> channels_;
};

}  // namespace tarvolen
