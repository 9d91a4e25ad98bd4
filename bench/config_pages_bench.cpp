// A full build of a Setup page on the real property list (offscreen): items
// composed, list cleared and filled in one change bracket, pending events
// run. Goal: well under one frame (33 ms).
#include <benchmark/benchmark.h>

#include <string>

#include "config/pages.h"
#include "platform/qt/qt_seam.h"
#include "recorder/config_doc.h"
#include "shell/settings.h"
#include "shell/toolkit.h"

namespace {

using namespace tarvolen;

void OpenForm() {
    qt::EnsureApplication(0, nullptr);
    qt::SetCallbacks([](const std::string&, int32_t, int32_t, int32_t, int32_t&) {},
                     [](const std::string& form) {
                         if (form != "SETUP") return;
                         EZ_LISTVIEW(kSetupChannelGrid, "Num{6}|Name{15}{C}", 15.75, 0.4375, 47,
                                     29.5625, "-#STVX");
                         EZ_PLISTBOX(kSetupPropertyList, "", 65.625, 1.75, 40.75, 10.25, "STV");
                         EZ_LABEL(kSetupNamingHelp, "help", 66, 17, 39.625, 17, "HL");
                         EZ_LABEL(kSetupLastPreset, "Audio Presets", 66.5, 29.375, 38.5, 2, "CH");
                         EZ_TABCONTROL(kSetupTabs, "Inputs|Encoders|Projects|Master Aud|Proxy Aud",
                                       65, 0.4375, 41.25, 34, "T");
                     });
    EZ_FORM("SETUP", "", "Setup", 0, 0, 109, 35, "");
    EZ_DOEVENTS(255);
}

void BM_BuildPage(benchmark::State& state) {
    static bool open = false;
    if (!open) {
        OpenForm();
        open = true;
    }
    cSettings settings{std::string()};
    settings.ParseCapabilities(2, recorder::BuildConfigDocument(
                                      recorder::DefaultConfig(1, recorder::Rate::k2997DropFrame)));
    const auto page = static_cast<int32_t>(state.range(0));
    int32_t items = 0;
    for (auto _ : state) {
        BuildSetupPage(settings, page, 2);
        items = EZ_FINDLAST("setup", kSetupPropertyList) + 1;
    }
    state.counters["items"] = items;
}
BENCHMARK(BM_BuildPage)
    ->ArgName("page")
    ->DenseRange(kInputsPage, kProxyAudioPage)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(9)
    ->ReportAggregatesOnly(true)
    ->DisplayAggregatesOnly(true);

}  // namespace

BENCHMARK_MAIN();
