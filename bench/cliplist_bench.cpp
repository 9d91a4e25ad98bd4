// Filling the clip list window from a directory of 2,000 clips.
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "cliplist/cliplist.h"
#include "cliplist/cliplist_window.h"
#include "device/piamp.h"
#include "device/records.h"
#include "platform/qt/qt_seam.h"
#include "shell/globals.h"
#include "shell/settings.h"
#include "shell/text.h"
#include "shell/toolkit.h"

namespace {

using namespace tarvolen;

// A directory that answers from memory, as fast as a library can.
class MemoryDirectory : public DeviceLibrary {
  public:
    explicit MemoryDirectory(int clips) {
        for (int i = 0; i < clips; ++i) {
            ClipEntry e{};
            char text[64];
            std::snprintf(text, sizeof text, "CAM_A_%05d", (i * 7919) % clips);
            StoreField(e.clipName, sizeof e.clipName, text);
            std::snprintf(text, sizeof text, "%02d:%02d:%02d;%02d", i / 3600 % 24, i / 60 % 60,
                          i % 60, i % 30);
            std::memcpy(e.start, text, 11);
            std::memcpy(e.duration, "00:02:10;05", 11);
            StoreField(e.dateTime, sizeof e.dateTime, "2024-03-05 10:11:12");
            e.videoFormat = uint8_t(i % 2 ? 0 : 101);
            e.codec = uint8_t(i % 3 ? 160 : 50);
            std::snprintf(text, sizeof text, "%08d-0000-4000-8000-%012d", i, i);
            std::memcpy(e.guid, text, 36);
            entries_.push_back(e);
        }
    }
    int32_t Command(int32_t code, std::intptr_t, void* output) override {
        switch (code) {
            case clipdir::kOpen:
                static_cast<CountReply*>(output)->count = int32_t(entries_.size());
                next_ = 0;
                return 0;
            case clipdir::kFirst:
            case clipdir::kNext:
                if (next_ >= entries_.size()) return 1;
                std::memcpy(output, &entries_[next_++], sizeof(ClipEntry));
                return 0;
            default:
                return 0;
        }
    }

  private:
    std::vector<ClipEntry> entries_;
    size_t next_ = 0;
};

struct Window {
    Window() {
        qt::EnsureApplication(0, nullptr);
        qt::SetCallbacks(
            [](const std::string& form, int32_t id, int32_t code, int32_t value, int32_t& cancel) {
                if (form == "CLIPLIST") ClipListEvent(id, code, value, cancel);
            },
            [](const std::string& form) {
                if (form == "CLIPLIST") DesignClipList();
            });
        EZ_DEFFONT(6, "Arial", 10, "V");
        EZ_DEFFONT(25, "Webdings", 12, "BL+SV");
        InstallClipDirLibrary(std::make_shared<MemoryDirectory>(2000));
        settings = std::make_unique<cSettings>(std::string());
        settings->SetShown(0, 1);
        settings->SetAddress(0, "10.0.0.5");
        CliplistLinks links;
        links.connectedAddress = [](int32_t) { return std::string("10.0.0.5"); };
        cliplist = std::make_unique<cCliplist>(*settings, links);
        g_Cliplist = cliplist.get();
        EZ_FORM("MAIN", "", "main", 0, 0, 40, 10, "");
        cliplist->Open(0);
        for (int i = 0; i < 5; ++i) QCoreApplication::processEvents();
    }
    std::unique_ptr<cSettings> settings;
    std::unique_ptr<cCliplist> cliplist;
};

Window& TheWindow() {
    static Window window;
    return window;
}

void BM_Fill2000(benchmark::State& state) {
    Window& w = TheWindow();
    for (auto _ : state) {
        w.cliplist->Fill();
        benchmark::DoNotOptimize(EZ_GETLVCOUNT(kClipListForm, kClipListView));
    }
    state.counters["rows"] = EZ_GETLVCOUNT(kClipListForm, kClipListView);
}
BENCHMARK(BM_Fill2000)->Unit(benchmark::kMillisecond);

// Fill and the first paint of the window that follows it.
void BM_Fill2000AndPaint(benchmark::State& state) {
    Window& w = TheWindow();
    for (auto _ : state) {
        w.cliplist->Fill();
        benchmark::DoNotOptimize(qt::Grab("ClipList"));
    }
}
BENCHMARK(BM_Fill2000AndPaint)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
