// The status poll and the channel list redraw.
// Goals: a poll with nothing changed under 10 us and no thread event; a full
// redraw of the 24-channel list under 3 ms.
#include <benchmark/benchmark.h>

#include <QAbstractScrollArea>
#include <QImage>
#include <QPainter>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>

#include "device/amp_control.h"
#include "device/piamp.h"
#include "device/records.h"
#include "device/status.h"
#include "device/sync_thread.h"
#include "platform/qt/qt_seam.h"
#include "shell/settings.h"
#include "shell/text.h"
#include "shell/toolkit.h"

namespace tarvolen {
namespace {

// A library that answers the status request from a table kept in memory, as
// the recorder link answers from its status cache.
class TableDevice : public DeviceLibrary {
  public:
    TableDevice() { Fill(0); }
    void Fill(int frame) {
        std::memset(static_cast<void*>(&table), 0, sizeof table);
        table.size = sizeof table;
        for (int ch = 0; ch < kDeviceChannels; ++ch) {
            std::string tc = "00:00:" + std::string(frame % 60 < 10 ? "0" : "") +
                             std::to_string(frame % 60) + ";" + std::to_string(10 + ch);
            StoreField(table.entry[ch].timecode, sizeof table.entry[ch].timecode, tc);
            StoreField(table.entry[ch].state, sizeof table.entry[ch].state,
                       ch % 3 == 0 ? "Record" : "Play");
        }
    }
    int32_t Command(int32_t code, std::intptr_t, void* output) override {
        if (code == amp::kStatus && output) std::memcpy(output, &table, sizeof table);
        return 0;
    }
    StatusTable table;
};

struct World {
    World()
        : settings((std::filesystem::temp_directory_path() / "tarvolen-bench").string()),
          status(settings),
          amp(settings),
          sync(status, amp, settings) {
        ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
        qt::EnsureApplication(0, nullptr);
        InstallAmpLibrary(device);
        status.SetAmpcontrol(&amp);
        status.SetSyncThread(&sync);
        sync.SetWakeUp([this] { ++wakes; });
    }
    std::shared_ptr<TableDevice> device = std::make_shared<TableDevice>();
    cSettings settings;
    cStatus status;
    cAmpcontrol amp;
    cSyncThread sync;
    long wakes = 0;
};

World& TheWorld() {
    static World world;
    return world;
}

void BM_PollStatusUnchanged(benchmark::State& state) {
    World& w = TheWorld();
    w.status.PollStatus(0);
    int64_t changed = 0;
    for (auto _ : state) changed += w.status.PollStatus(0);
    state.counters["changed"] = double(changed);
}
BENCHMARK(BM_PollStatusUnchanged);

// One whole pass of the polling thread on an idle system: the thread event
// count must stay 0.
void BM_PassUnchanged(benchmark::State& state) {
    World& w = TheWorld();
    w.amp.Connect(0);
    w.status.PollStatus(0);
    w.wakes = 0;
    w.settings.SetTrackLines(2);
    for (auto _ : state) w.sync.Pass();
    state.counters["thread_events"] = double(w.wakes);
}
BENCHMARK(BM_PassUnchanged);

void BM_PollStatusAllChanged(benchmark::State& state) {
    World& w = TheWorld();
    int frame = 0;
    for (auto _ : state) {
        state.PauseTiming();
        w.device->Fill(++frame);
        state.ResumeTiming();
        benchmark::DoNotOptimize(w.status.PollStatus(0));
    }
    EZ_DOEVENTS(255);
}
BENCHMARK(BM_PollStatusAllChanged);

void BM_FullRedraw(benchmark::State& state) {
    World& w = TheWorld();
    qt::SetCallbacks(
        [&w](const std::string& form, int32_t id, int32_t code, int32_t value, int32_t&) {
            if (form == "MAIN" && id == 100 && code == EZ_EV_OWNERDRAW)
                w.status.DrawCell("Main", id, value);
        },
        [](const std::string& form) {
            if (form == "MAIN")
                EZ_LISTVIEW(100, "Column 1{66}|Column 2{66}{L}", 0, 0, 135, 60, "NOSV");
        });
    EZ_DEFFONT(13, "Arial", 13, "BV");
    EZ_DEFFONT(30, "Arial", 10, "V");
    EZ_FORM("MAIN", "", "tarvolen controller", 0, 0, 136, 62, "^_CZ");
    EZ_SETLVROWHEIGHT("main", 100, 26);
    w.settings.SetTrackLines(3);
    w.status.FillList();
    auto* list = static_cast<QAbstractScrollArea*>(qt::ControlWidget("main", 100));
    QWidget* viewport = list->viewport();
    QImage image(viewport->size(), QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        // Every row of the list, as a repaint after a thread event does.
        viewport->render(&image);
    }
    state.counters["rows"] = double(EZ_GETLVCOUNT("main", 100));
    state.counters["height_px"] = double(viewport->height());
}
BENCHMARK(BM_FullRedraw)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace tarvolen

BENCHMARK_MAIN();
