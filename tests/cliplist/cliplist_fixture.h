// A clip list over the real Qt backend (offscreen), a scripted clip
// directory behind PIAMPCLIPDIRCOMMAND, and links that count pauses.
#pragma once

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QEvent>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "cliplist/cliplist.h"
#include "cliplist/cliplist_window.h"
#include "device/piamp.h"
#include "device/records.h"
#include "device/scripted_device.h"
#include "platform/qt/qt_seam.h"
#include "shell/globals.h"
#include "shell/settings.h"
#include "shell/text.h"
#include "shell/toolkit.h"
#include "timecode/tc_math.h"

namespace tarvolen::testing {

inline std::string GuidFor(int n) {
    char text[40];
    std::snprintf(text, sizeof text, "%08d-0000-4000-8000-%012d", n, n);
    return text;  // 36 characters
}

struct EntrySpec {
    std::string name;
    std::string start = "01:00:00;00";
    std::string duration = "00:00:10;00";
    int videoFormat = 7;
    int codec = 1;
    int compression = 0;
    std::string guid{};  // empty: a well-formed one
    std::string dateTime = "2024-03-05 10:11:12";
};

inline ClipEntry MakeEntry(const EntrySpec& s, int n = 0) {
    ClipEntry e{};
    StoreField(e.clipName, sizeof e.clipName, s.name);
    StoreField(e.dateTime, sizeof e.dateTime, s.dateTime);
    std::memcpy(e.start, s.start.data(), std::min(s.start.size(), sizeof e.start));
    std::memcpy(e.duration, s.duration.data(), std::min(s.duration.size(), sizeof e.duration));
    e.videoFormat = uint8_t(s.videoFormat);
    e.codec = uint8_t(s.codec);
    e.compression = uint8_t(s.compression);
    std::string guid = s.guid.empty() ? GuidFor(n) : s.guid;
    StoreField(e.guid, sizeof e.guid, guid);
    return e;
}

// The recorder's side of the directory: a listing and named clips.
struct FakeDirectory {
    std::vector<ClipEntry> entries;
    size_t next = 0;
    int32_t openResult = 0;
    int32_t firstResult = 0;
    int32_t namedResult = 0;
    std::map<std::string, ClipEntry> named;
    std::vector<std::string> listedAddresses;
    std::vector<std::string> namedRequests;
};

class ClipListTest : public ::testing::Test {
  protected:
    void SetUp() override {
        qt::EnsureApplication(0, nullptr);
        qt::SetCallbacks(
            [this](const std::string& form, int32_t id, int32_t code, int32_t value,
                   int32_t& cancel) {
                if (form != "CLIPLIST") return;
                if (code == EZ_EV_OWNERDRAW &&
                    (id == kClipListLoadButton || id == kClipListCancelButton)) {
                    PaintButton(id, value);
                    return;
                }
                ClipListEvent(id, code, value, cancel);
            },
            [](const std::string& form) {
                if (form == "CLIPLIST") DesignClipList();
            });
        EZ_DEFFONT(6, "Arial", 10, "V");
        EZ_DEFFONT(25, "Webdings", 12, "BL+SV");
        EZ_DEFCOLOR(60, 0, 213, 255);
        EZ_DEFCOLOR(61, 0, 94, 145);

        device_ = std::make_shared<ScriptedDevice>();
        previous_ = InstallClipDirLibrary(device_);
        InstallHandlers();

        settings_ = std::make_unique<cSettings>(std::string());
        for (int32_t ch = 0; ch < kChannelCount; ++ch) {
            settings_->SetShown(ch, 0);
            settings_->SetAddress(ch, "");
        }
        tc_ = std::make_unique<cTcMath>(FrameRateOf(rate_));
        cliplist_ = std::make_unique<cCliplist>(*settings_, Links());
        g_Cliplist = cliplist_.get();
        g_TcMath = tc_.get();
        EZ_COLOR(-1, -1);
        EZ_FORM("MAIN", "", "main", 0, 0, 40, 10, "");
    }

    void TearDown() override {
        qt::UnloadAll();
        Pump();
        g_Cliplist = nullptr;
        g_TcMath = nullptr;
        cliplist_.reset();
        InstallClipDirLibrary(previous_);
    }

    CliplistLinks Links() {
        CliplistLinks links;
        links.connectedAddress = [this](int32_t ch) {
            auto it = connected_.find(ch);
            return it == connected_.end() ? std::string() : it->second;
        };
        links.pauseStatusThread = [this] {
            ++pauses_;
            paused_ = true;
        };
        links.resumeStatusThread = [this] {
            ++resumes_;
            paused_ = false;
        };
        links.loadSelectedClip = [this] {
            loadedRow_ = EZ_GETLVSEL(kClipListForm, kClipListView);
            ++loads_;
        };
        links.positionMemory = [this](int32_t mode) { positionCalls_.push_back(mode); };
        return links;
    }

    void InstallHandlers() {
        auto paused = [this] {
            if (!paused_) ++unpausedRequests_;
        };
        device_->SetHandler(clipdir::kOpen, [this, paused](const ScriptedDevice::Call& c,
                                                           void* out) {
            paused();
            auto request = ScriptedDevice::As<AddressRequest>(c);
            dir_.listedAddresses.push_back(std::string(request.address, sizeof request.address));
            auto* reply = static_cast<CountReply*>(out);
            reply->count = int32_t(dir_.entries.size());
            dir_.next = 0;
            return dir_.openResult;
        });
        device_->SetHandler(clipdir::kFirst,
                            [this, paused](const ScriptedDevice::Call&, void* out) {
                                paused();
                                if (dir_.firstResult != 0) return dir_.firstResult;
                                if (dir_.entries.empty()) return 1;
                                std::memcpy(out, &dir_.entries[0], sizeof(ClipEntry));
                                dir_.next = 1;
                                return 0;
                            });
        device_->SetHandler(clipdir::kNext, [this, paused](const ScriptedDevice::Call&, void* out) {
            paused();
            if (dir_.next >= dir_.entries.size()) return 1;
            std::memcpy(out, &dir_.entries[dir_.next++], sizeof(ClipEntry));
            return 0;
        });
        device_->SetHandler(clipdir::kNamedClip,
                            [this, paused](const ScriptedDevice::Call& c, void* out) {
                                paused();
                                auto asked = ScriptedDevice::As<ClipEntry>(c);
                                std::string name = ReadField(asked.clipName, sizeof asked.clipName);
                                dir_.namedRequests.push_back(name);
                                auto it = dir_.named.find(name);
                                if (it != dir_.named.end())
                                    std::memcpy(out, &it->second, sizeof(ClipEntry));
                                return dir_.namedResult;
                            });
    }

    // A shown channel whose connected address is the given one.
    void Channel(int32_t ch, const std::string& address, const std::string& name = "") {
        settings_->SetShown(ch, 1);
        settings_->SetAddress(ch, address);
        if (!name.empty()) settings_->SetChannelName(ch, name);
        connected_[ch] = address;
    }

    void Listing(const std::vector<EntrySpec>& specs) {
        dir_.entries.clear();
        int n = 1;
        for (const auto& s : specs) dir_.entries.push_back(MakeEntry(s, n++));
    }

    static void Pump() {
        for (int i = 0; i < 5; ++i) {
            QCoreApplication::processEvents();
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        }
    }

    void OpenList(int32_t ch) {
        cliplist_->Open(ch);
        Pump();
    }

    std::vector<std::string> Column(int32_t column) const {
        std::vector<std::string> out;
        int32_t n = EZ_GETLVCOUNT(kClipListForm, kClipListView);
        for (int32_t r = 0; r < n; ++r)
            out.push_back(EZ_GETLVITEMTEXT(kClipListForm, kClipListView, r, column));
        return out;
    }

    // The clip list window's buttons, painted as the program's painter does.
    static void PaintButton(int32_t id, int32_t value) {
        EzDrawInfo info;
        if (!EZ_STARTOWNERDRAW(value, info)) return;
        EZ_COLOR(61, info.pushed ? 60 : 0);
        EZ_DCDRAW(info.dc, EZ_DRAW_FILL, 0, 0, info.width, info.height, 1);
        EZ_USEIFONT("Segoe UI", 12, "BV");
        EZ_COLOR(60, 61);
        EZ_SETPRINTFORMAT(2, info.width, info.height, 48, 0);
        std::string caption = EZ_GETTEXT("Cliplist", id);
        std::string shown;
        for (char ch : caption)
            if (ch != '&') shown += ch;
        EZ_DCPRINT(info.dc, 0, 0, shown);
        EZ_SETPRINTFORMAT(0, 0, 0, 0, 0);
        EZ_ENDOWNERDRAW(value);
    }

    int32_t rate_ = 29;
    std::shared_ptr<ScriptedDevice> device_;
    std::shared_ptr<DeviceLibrary> previous_;
    std::unique_ptr<cSettings> settings_;
    std::unique_ptr<cTcMath> tc_;
    std::unique_ptr<cCliplist> cliplist_;
    std::map<int32_t, std::string> connected_;
    FakeDirectory dir_;
    int pauses_ = 0;
    int resumes_ = 0;
    bool paused_ = false;
    int unpausedRequests_ = 0;
    int loads_ = 0;
    int32_t loadedRow_ = -2;
    std::vector<int32_t> positionCalls_;
};

}  // namespace tarvolen::testing
