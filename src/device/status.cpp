#include "device/status.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "busy/busy.h"
#include "device/amp_control.h"
#include "device/clip_directory.h"
#include "device/device_clock.h"
#include "device/piamp.h"
#include "device/sync_thread.h"
#include "shell/settings.h"
#include "shell/shared_routines.h"
#include "shell/text.h"
#include "shell/toolkit.h"

namespace tarvolen {
namespace {

constexpr const char* kMainForm = "Main";
constexpr int32_t kList = 100;
constexpr int32_t kStopWaitMs = 5000;
constexpr size_t kStateChars = sizeof(StatusEntry::state);
constexpr size_t kTimecodeChars = sizeof(StatusEntry::timecode);

std::string Number(int32_t n) {
    return std::to_string(n);
}

std::string SpacedNumber(int32_t n) {
    return " " + std::to_string(n);
}

std::string WithoutMarkers(std::string text) {
    for (const char* marker : {"{L}", "{P}"}) {
        for (size_t p = text.find(marker); p != std::string::npos; p = text.find(marker))
            text.erase(p, 3);
    }
    return text;
}

void Box(int32_t dc, int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
    EZ_DCDRAW(dc, EZ_DRAW_BOX, x1, y1, x2, y2, 1);
}

void Print(int32_t dc, int32_t x, int32_t y, int32_t right, int32_t bottom, int32_t flags,
           const std::string& text, int32_t extra = 0) {
    EZ_SETPRINTFORMAT(2, right, bottom, flags, extra);
    EZ_DCPRINT(dc, x, y, text);
}

}  // namespace

cStatus::cStatus(cSettings& settings) : settings_(settings), clock_(&DeviceClock::Real()) {
    std::memset(static_cast<void*>(&current_), 0, sizeof current_);
    std::memset(static_cast<void*>(&current_names_), 0, sizeof current_names_);
    std::memset(static_cast<void*>(&previous_), 0, sizeof previous_);
    std::memset(static_cast<void*>(&previous_names_), 0, sizeof previous_names_);
}

void cStatus::SetClock(DeviceClock* clock) {
    clock_ = clock ? clock : &DeviceClock::Real();
}

int32_t cStatus::TrackLines() const {
    // Anything but 2 or 3 in the settings file would break the block layout
    // (and divide by zero); it is read as the nearer of the two.
    return settings_.TrackLines() <= 2 ? 2 : 3;
}

std::string cStatus::ClipNameOf(int32_t ch) {
    if (ch < 0 || ch > settings_.ChannelBound() || ch >= kDeviceChannels) return {};
    std::lock_guard lock(tables_);
    return ReadField(previous_names_.name[ch], kClipNameWidth);
}

std::string cStatus::LastStatusState(int32_t ch) {
    if (ch < 0 || ch >= kDeviceChannels) return {};
    std::lock_guard lock(tables_);
    return std::string(previous_.entry[ch].state, kStateChars);
}

int32_t cStatus::PollStatus(int32_t request) {
    std::lock_guard poll(poll_);
    current_.size = sizeof(StatusTable);
    if (PIAMPCOMMAND(amp::kStatus, request, &current_) != 0) return 0;
    // Only the poller writes the previous table, so comparing needs no lock.
    if (std::memcmp(&current_, &previous_, sizeof current_) == 0) return 0;

    const int32_t bound = std::min(settings_.ChannelBound(), kDeviceChannels - 1);
    const int32_t lines = TrackLines();
    int32_t changed = 0;
    for (int32_t ch = 0; ch <= bound; ++ch) {
        const StatusEntry& now = current_.entry[ch];
        const StatusEntry& before = previous_.entry[ch];
        const std::string_view state(now.state, kStateChars);
        if (amp_) {
            // Markers are read from all 13 characters, before the state is cut.
            const bool loop = state.find("{L}") != std::string_view::npos;
            const bool ping = state.find("{P}") != std::string_view::npos;
            amp_->SetLoopFlag(ch, loop && !ping ? 1 : 0);
            amp_->SetPingPongFlag(ch, ping ? 1 : 0);
        }
        if (std::memcmp(now.state, before.state, kStateChars) == 0 &&
            std::memcmp(now.timecode, before.timecode, kTimecodeChars) == 0)
            continue;
        // As the recorder last said: a Record button press sets the row's state before it does.
        const bool was_recording =
            StartsWith(std::string_view(before.state, kStateChars), "Record");
        const cSettings::ChannelStatus clean = settings_.SetStatus(
            ch, state.substr(0, kStateWidth), std::string_view(now.timecode, kTimecodeWidth));
        const std::string& clean_state = clean.state;
        // A new recording: the points of the clip loaded before are no longer the recorder's.
        if (StartsWith(clean_state, "Record") && !was_recording) ForgetLoadedClip(ch);
        const int32_t top = (ch / 2) * lines;
        std::string text = SpacedNumber(ch);
        text.append("|").append(clean_state).append("|").append(clean.timecode);
        EZ_POSTLVITEMTEXT("main", kList, top + 1, ch % 2, text);
        // A new state changes the whole block (background, button, labels);
        // a new timecode only its second row.
        if (std::memcmp(now.state, before.state, kStateChars) != 0) {
            for (int32_t r = 0; r < lines; ++r)
                if (r != 1) EZ_POSTLVITEMTEXT("main", kList, top + r, ch % 2, SpacedNumber(ch));
        }
        if (!StartsWith(clean_state, "Record")) settings_.SetRecordFileNames(ch, "");
        changed = 1;
    }
    std::lock_guard lock(tables_);
    std::memcpy(&previous_, &current_, sizeof current_);
    return changed;
}

int32_t cStatus::PollClipNames() {
    std::lock_guard poll(poll_);
    const int32_t lines = TrackLines();
    if (lines != remembered_track_lines_) {
        remembered_track_lines_ = lines;
        std::lock_guard lock(tables_);
        std::memset(static_cast<void*>(&previous_names_), 0, sizeof previous_names_);
    }
    current_names_.size = sizeof(ClipNameTable);
    if (PIAMPCOMMAND(amp::kClipNames, 0, &current_names_) != 0) return 0;

    const int32_t bound = std::min(settings_.ChannelBound(), kDeviceChannels - 1);
    bool recording = false;
    for (int32_t ch = 0; ch <= bound && !recording; ++ch)
        recording = StartsWith(settings_.State(ch), "Record");
    if (!recording && std::memcmp(&current_names_, &previous_names_, sizeof current_names_) == 0)
        return 0;

    int32_t changed = 0;
    for (int32_t ch = 0; ch <= bound; ++ch) {
        const std::string name = ReadField(current_names_.name[ch], kClipNameWidth);
        if (!name.empty() && settings_.State(ch) == "Record") settings_.SetLastClip(ch, name);
        if (std::memcmp(current_names_.name[ch], previous_names_.name[ch], kClipNameWidth) == 0)
            continue;
        // No clip any more (ejected): the row shows none, nor the old one's points.
        if (name.empty()) {
            if (settings_.ClipName(ch).empty()) continue;
            ForgetLoadedClip(ch);
            EZ_POSTLVITEMTEXT("main", kList, (ch / 2) * lines + 1, ch % 2, SpacedNumber(ch));
        }
        settings_.SetClipName(ch, name);
        // The state may turn "Record" a poll before the new clip's name comes:
        // files fetched meanwhile are the clip before's, fetched again now.
        settings_.SetRecordFileNames(ch, "");
        // The block has a third row only with three track lines.
        if (lines >= 3)
            EZ_POSTLVITEMTEXT("main", kList, (ch / 2) * lines + 2, ch % 2, SpacedNumber(ch));
        changed = 1;
    }
    std::lock_guard lock(tables_);
    std::memcpy(&previous_names_, &current_names_, sizeof current_names_);
    return changed;
}

void cStatus::ForgetLoadedClip(int32_t ch) {
    settings_.SetClipStart(ch, "");
    settings_.SetClipEnd(ch, "");
    settings_.SetClipDuration(ch, "");
}

bool cStatus::FetchRecordFileNames() {
    std::lock_guard poll(poll_);
    for (int32_t ch = 0; ch <= settings_.ChannelBound(); ++ch) {
        if (!StartsWith(settings_.State(ch), "Record")) {
            settings_.SetRecordFileNames(ch, "");
            continue;
        }
        const std::string clip = settings_.ClipName(ch);
        if (!settings_.RecordFileNames(ch).empty() || clip.empty()) continue;
        if (!amp_) return false;
        settings_.SetRecordFileNames(ch, amp_->RecordFileNames(ch, clip));
        // The names show on the block's third row.
        const int32_t lines = TrackLines();
        if (lines >= 3 && !settings_.RecordFileNames(ch).empty()) {
            EZ_POSTLVITEMTEXT("main", kList, (ch / 2) * lines + 2, ch % 2, SpacedNumber(ch));
            return true;
        }
        return false;
    }
    return false;
}

void cStatus::FillList() {
    EZ_SETREDRAWSTATE(kMainForm, kList, 0);
    EZ_CLEARLV(kMainForm, kList);
    const int32_t lines = TrackLines();
    const int32_t last = ((settings_.ChannelBound() + 1) / 2) * lines - 1;
    EZ_SETLVCOUNT(kMainForm, kList, last + 1);
    int32_t k = 0;
    for (int32_t r = 0; r <= last; ++r) {
        EZ_ADDLVITEM(kMainForm, kList, SpacedNumber(k), r);
        EZ_SETLVITEMTEXT(kMainForm, kList, r, 1, SpacedNumber(k + 1));
        if (r % lines == lines - 1) k += 2;
    }
    EZ_SETREDRAWSTATE(kMainForm, kList, 1);
    EZ_REDRAWCONTROL(kMainForm, kList);
}

void cStatus::SizeColumns() {
    EZ_SETREDRAWSTATE(kMainForm, kList, 0);
    double width = 0, height = 0;
    EZ_GETSIZEC(kMainForm, kList, width, height);
    const int32_t pixels = static_cast<int32_t>(width * 8 / 2) - 12;
    EZ_SETLVCOLUMNWIDTH(kMainForm, kList, 0, pixels);
    EZ_SETLVCOLUMNWIDTH(kMainForm, kList, 1, pixels);
    EZ_SETREDRAWSTATE(kMainForm, kList, 1);
}

int32_t cStatus::ColumnWidth(int32_t column) {
    return EZ_GETLVCOLUMNWIDTH(kMainForm, kList, column);
}

void cStatus::Redraw() {
    EZ_REDRAWCONTROL("main", kList);
}

void cStatus::DrawCell(const std::string& form, int32_t id, int32_t draw_value) {
    EzDrawInfo info;
    if (!EZ_STARTOWNERDRAW(draw_value, info)) return;
    EZ_DCSAVESTATE(info.dc);
    const int32_t row = info.item;
    const int32_t count = EZ_GETLVCOLUMNCOUNT(form, id);
    std::vector<int32_t> order = EZ_GETLVCOLUMNORDER(form, id);
    if (int32_t(order.size()) != count) {
        order.clear();
        for (int32_t c = 0; c < count; ++c) order.push_back(c);
    }
    EZ_USEFONT(13);
    int32_t left = 0;
    for (int32_t column : order) {
        const int32_t width = EZ_GETLVCOLUMNWIDTH(form, id, column);
        const int32_t right = left + width - 1;
        DrawColumn(form, info.dc, row, info.height, left, right, width,
                   EZ_GETLVITEMTEXT(form, id, row, column));
        left = right + 1;
    }
    EZ_ENDOWNERDRAW(draw_value);
    EZ_DCRESTORESTATE(info.dc);
}

void cStatus::DrawColumn(const std::string&, int32_t dc, int32_t row, int32_t height, int32_t left,
                         int32_t right, int32_t width, const std::string& cell) {
    const int32_t ch = LeadingNumber(cell);
    const bool valid = ch >= 0 && ch <= settings_.ChannelBound();

    EZ_COLOR(0, 0);
    if (valid && StartsWith(LastStatusState(ch), "Record")) EZ_COLOR(70, 70);
    EZ_DCDRAW(dc, EZ_DRAW_FILL, left, 0, right, height, 1);
    EZ_COLOR(60, 60);
    EZ_DCDRAW(dc, EZ_DRAW_LINE, right, 0, right, height, 1);
    if (!valid || !settings_.Shown(ch)) return;

    std::string state = settings_.State(ch);
    FollowDevice(ch, state);
    const bool checked = settings_.Checked(ch) != 0;
    const bool recording = state == "Record";
    const int32_t lines = TrackLines();
    const int32_t block_row = row % lines;
    const int32_t text_fg = checked ? 12 : 4;
    const int32_t label_box_fg = checked ? 60 : 61;

    if (block_row == 0) {
        // Name box, which is the channel's check box.
        EZ_COLOR(checked ? 12 : 62, -1);
        Box(dc, left + 5, 2, left + 100, height);
        std::string name = settings_.ChannelName(ch);
        if (lines == 2 && name.size() > 15) name.resize(15);
        Print(dc, left + 5, 5, left + 100, height, 48, name);

        const bool loop = amp_ && amp_->LoopFlag(ch);
        const bool ping = amp_ && amp_->PingPongFlag(ch);
        if (loop || ping) {
            EZ_COLOR(14, -1);
            EZ_DCSAVESTATE(dc);
            if (loop) {
                EZ_USEIFONT("Webdings", 22, "SV");
                Print(dc, left + 105, 2, left + 150, height, 48, "`");
            }
            if (ping) {
                EZ_USEIFONT("Wingdings", 10, "L+SV");
                Print(dc, left + 105, 2, left + 150, height, 48, "\xE8\r\n\xE7");
            }
            EZ_DCRESTORESTATE(dc);
            EZ_USEFONT(13);
        }

        // Record/Stop button from the middle of the cell.
        const int32_t w = width / 2;
        EZ_COLOR(checked ? 12 : 4, 0);
        Box(dc, right - w, 2, right - w + 100, height - 2);
        Print(dc, right - w, 1, right - w + 100, height, 48, recording ? "Stop" : "Record");

        if (!recording) {
            EZ_COLOR(label_box_fg, 0);
            Box(dc, right - 80, 2, right - 5, height - 2);
            EZ_COLOR(text_fg, -1);
            Print(dc, right - 70, 1, right - 5, height, 48, "Info");
        }
    } else if (block_row == 1) {
        EZ_COLOR(text_fg, -1);
        Print(dc, left + 8, 0, left + 80, height, 32, WithoutMarkers(state).substr(0, 7));
        Print(dc, left + 80, 0, left + 180, height, 32, settings_.Timecode(ch));
        const std::string start = settings_.ClipStart(ch);
        // A lost recorder reports no clip: no points from before.
        if (!recording && !start.empty() && state != "Los") {
            Print(dc, left + 180, 0, left + 310, height, 32, "In: " + start);
            Print(dc, left + 310, 0, right - 80, height, 32, "Out: " + settings_.ClipEnd(ch));
        }
    } else if (block_row == 2) {
        EZ_COLOR(label_box_fg, 0);
        bool drawn = false;
        const std::string files = settings_.RecordFileNames(ch);
        if (StartsWith(state, "Record") && !files.empty()) {
            const size_t bar = files.find('|');
            const std::string a = files.substr(0, bar);
            const std::string b = bar == std::string::npos ? std::string() : files.substr(bar + 1);
            EZ_USEFONT(30);
            if (!a.empty()) {
                Print(dc, left + 8, -3, right - 90, height, 4, "Encoder A: " + a, 16);
                drawn = true;
            }
            if (!b.empty()) {
                Print(dc, left + 8, 10, right - 90, height, 4, "Encoder B: " + b, 16);
                drawn = true;
            }
            EZ_USEFONT(13);
        }
        if (!drawn) Print(dc, left + 8, 0, right - 90, height, 32, settings_.ClipName(ch));
    }

    if (block_row == lines - 1 && !recording) {
        EZ_COLOR(label_box_fg, 0);
        Box(dc, right - 80, 2, right - 5, height - 2);
        EZ_COLOR(text_fg, -1);
        Print(dc, right - 80, 2, right - 5, height - 2, 48, "Load");
    }

    EZ_SETPRINTFORMAT(0, 0, 0, 0, 0);
    if (block_row == 0) {
        EZ_COLOR(60, 60);
        EZ_DCDRAW(dc, EZ_DRAW_LINE, left, 0, right, 0, 1);
    }
}

bool cStatus::UncheckedByDevice(int32_t ch) const {
    if (ch < 0 || ch >= kDeviceChannels) return false;
    const std::optional<uint32_t>& mark = unchecked_by_device_[static_cast<size_t>(ch)];
    return mark && *mark == settings_.CheckedWrites(ch) && !settings_.Checked(ch);
}

// The check box follows the device both ways: a channel whose device went
// "Off", "Los" or "Nop" is unchecked, and checked again when it comes back,
// unless the check box was set by anyone else meanwhile. A transient loss
// must not take a recording channel out of the group commands.
void cStatus::FollowDevice(int32_t ch, const std::string& state) {
    if (ch < 0 || ch >= kDeviceChannels) return;
    std::optional<uint32_t>& mark = unchecked_by_device_[static_cast<size_t>(ch)];
    if (StartsWith(state, "Off") || StartsWith(state, "Los") || StartsWith(state, "Nop")) {
        if (settings_.Checked(ch)) {
            settings_.SetChecked(ch, 0);
            mark = settings_.CheckedWrites(ch);
        }
        return;
    }
    if (!mark) return;
    if (*mark == settings_.CheckedWrites(ch) && !settings_.Checked(ch)) settings_.SetChecked(ch, 1);
    mark.reset();
}

void cStatus::HandleClick(int32_t click_value) {
    int32_t row = -1, column = -1, x = 0;
    EZ_GETLVCLICKINFO(click_value, row, column, x);
    if (row < 0 || column < 0) return;
    const int32_t lines = TrackLines();
    const int32_t ch = (row / lines) * 2 + column;
    if (ch < 0 || ch > settings_.ChannelBound()) return;
    const int32_t block_row = row % lines;
    const int32_t top = row - block_row;

    if (x < 100 && block_row == 0) {
        settings_.SetChecked(ch, settings_.Checked(ch) ? 0 : 1);
        for (int32_t r = 0; r < lines; ++r)
            EZ_SETLVITEMTEXT(kMainForm, kList, top + r, column, Number(ch));
    }

    const std::string state = settings_.State(ch);
    const int32_t w = ColumnWidth(column) / 2;
    if (block_row == 0 && x >= w && x <= w + 100) {
        DebugTrace(" hit record/stop button for channel " + Number(ch));
        DebugTrace(" " + state);
        if (amp_) {
            amp_->PauseStatusThread();
            if (state == "Record") {
                amp_->StopChannel(ch);
                WaitUntilStopped(ch);
            } else {
                amp_->EjectChannel(ch);
                clock_->Sleep(300);
                amp_->RecordChannel(ch);
                clock_->Sleep(30);
            }
        }
        if (sync_) sync_->SetSuspendSync(0);
        return;
    }

    const int32_t from_right = ColumnWidth(column) - x;
    if (from_right >= 10 && from_right <= 70 && block_row == lines - 1 && state != "Record" &&
        state != "Los" && clips_)
        clips_->Open(ch);
}

void cStatus::WaitUntilStopped(int32_t ch) {
    busy::ShowBusy(EZ_HANDLE("ClipList", 0), busy::kBusyPicture);
    const uint32_t start = clock_->Ticks();
    do {
        clock_->Sleep(50);
        if (sync_ && sync_->SuspendSync()) PollStatus(1);
        Redraw();
        EZ_DOEVENTS(255);
    } while (settings_.State(ch) == "Record" && clock_->Ticks() - start <= uint32_t(kStopWaitMs));
    busy::StopBusy();
}

}  // namespace tarvolen
