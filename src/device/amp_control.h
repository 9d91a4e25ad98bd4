// The device command layer: turns operator actions into device commands for
// every qualifying channel, owns the connection to the recorders and the
// per-channel loop and ping-pong flags.
//
// Everything runs on the GUI thread except IsConnected, the flag accessors and
// RecordFileNames, which the status thread calls too.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "device/records.h"
#include "shell/settings.h"

namespace tarvolen {

class cStatus;
class cSyncThread;
class cTcMath;
class ClipDirectory;
class DeviceClock;

class cAmpcontrol {
  public:
    explicit cAmpcontrol(cSettings& settings);
    // Disconnects when still connected.
    virtual ~cAmpcontrol();
    cAmpcontrol(const cAmpcontrol&) = delete;
    cAmpcontrol& operator=(const cAmpcontrol&) = delete;

    // The objects created after this one, handed in once they exist. Without
    // them the operations that need them skip that part.
    void SetSyncThread(cSyncThread* sync) { sync_ = sync; }
    void SetStatus(cStatus* status) { status_ = status; }
    void SetClipDirectory(ClipDirectory* clips) { clips_ = clips; }
    void SetTcMath(cTcMath* tc) { tc_ = tc; }
    void SetClock(DeviceClock* clock);

    // 1-7
    virtual int32_t IsConnected();
    virtual void PauseStatusThread();
    virtual std::string ConnectedAddress(int32_t ch);
    virtual int32_t LoopFlag(int32_t ch);
    virtual void SetLoopFlag(int32_t ch, int32_t value);
    virtual int32_t PingPongFlag(int32_t ch);
    virtual void SetPingPongFlag(int32_t ch, int32_t value);
    // 8-12
    virtual void Connect(int32_t ask);
    virtual void Disconnect();
    virtual void LoadSelectedClip();
    virtual void StopChannel(int32_t ch);
    virtual void StopAll();
    // 13-16
    virtual void PlayAll();
    virtual void RewindAll();
    virtual void FastForwardAll();
    virtual void PlayReverseAll();
    // 17, 18: never called
    virtual void Reserved17() {}
    virtual void Reserved18() {}
    // 19
    virtual void EjectAll();
    // 20: never called
    virtual void Reserved20() {}
    // 21-23
    virtual void EjectChannel(int32_t ch);
    virtual void RecordChannel(int32_t ch);
    virtual void RecordAll();
    // 24: never called
    virtual void Reserved24() {}
    // 25-27
    virtual void LoadLastClipAll();
    virtual void ToggleLoopAll();
    virtual void TogglePingPongAll();
    // 28-32
    virtual std::string ConfigurationDocument(int32_t ch);
    virtual void SendConfiguration(int32_t ch, const std::string& document);
    virtual int32_t SetChannelAddress(int32_t ch, const std::string& address,
                                      int32_t internal_channel);
    virtual std::string FirstFileName(const std::string& reply, const std::string& encoder_tag,
                                      const std::string& inner_tag);
    virtual std::string RecordFileNames(int32_t ch, const std::string& clip_name);
    // One channel's new address or internal channel taken at once, while the
    // other channels keep their connections.
    virtual void ConnectChannel(int32_t ch);

    // A channel within 0 to the channel bound whose state is not "Los".
    bool Usable(int32_t ch) const;
    // Its shown value in the connect table is non-zero.
    bool ChannelConnected(int32_t ch) const;
    bool ThreadLaunched() const { return thread_launched_ != 0; }
    // The channels the last RecordAll or StopAll was meant for but left out,
    // and why ("Record left out CH 03 (lost)"); empty when it reached them all.
    const std::string& GroupReport() const { return report_; }
    const ConnectTable& ConnectTableSent() const { return table_; }

  private:
    void ToggleMarkerAll(int32_t code);
    // Whether StopChannel / RecordChannel would send to the channel.
    bool StopQualifies(int32_t ch) const;
    bool RecordQualifies(int32_t ch) const;
    bool InBound(int32_t ch) const;
    void Resume();
    // The channel's connect-table slots from the channel table.
    void TakeChannel(int32_t ch);
    void ProcessEvents();
    void Sleep(int32_t ms);
    void RedrawList();
    bool AnyRecording() const;
    // Sends code with a ChannelRequest (with_value false) or a
    // ChannelValueRequest with value to every checked, usable channel not in
    // "Record", as one batch, with the status thread paused around it.
    void GroupCommand(int32_t code, bool with_value, int32_t value);
    // Meant for a group command: checked, or unchecked only because its
    // recorder went away since the operator last chose.
    bool Wanted(int32_t ch) const;
    // Why a wanted channel is not sent to: empty when it is.
    std::string SkipReason(int32_t ch) const;
    // Writes report_ from (channel, reason) pairs, and the trace.
    void Report(const std::string& command,
                const std::vector<std::pair<int32_t, std::string>>& left);
    void LoadClip(int32_t ch, const std::string& name, const std::string& start,
                  const std::string& duration, bool pause_around);

    cSettings& settings_;
    cSyncThread* sync_ = nullptr;
    cStatus* status_ = nullptr;
    ClipDirectory* clips_ = nullptr;
    cTcMath* tc_ = nullptr;
    DeviceClock* clock_;

    std::atomic<int32_t> connected_{0};
    int32_t thread_launched_ = 0;
    ConnectTable table_{};
    std::string report_;
    std::array<std::atomic<int32_t>, kChannelCount> loop_{};
    std::array<std::atomic<int32_t>, kChannelCount> ping_pong_{};
};

// The clip-name document sent with the record command.
std::string ClipNameDocument(std::string_view clip_name, int32_t ch);
// The request document of the record file list.
std::string RecordFileRequest(std::string_view clip_name, int32_t ch);
// The longest configuration document the text record carries whole for ch,
// after its channel prefix; a longer one would reach the recorder cut.
size_t MaxConfigurationSize(int32_t ch);

}  // namespace tarvolen
