// Rebuilding a 60-item Setup page in the property list, as every edit and
// every tab change does, and reading it back.
#include <benchmark/benchmark.h>

#include <QWidget>
#include <string>
#include <vector>

#include "platform/qt/plist.h"
#include "platform/qt/qt_seam.h"
#include "shell/toolkit.h"

namespace {

using namespace tarvolen;

constexpr int32_t kList = 140;

// Four encoder sections of 15 items each: a header and 14 values.
std::vector<std::string> Page() {
    std::vector<std::string> page;
    for (int e = 0; e < 4; ++e) {
        page.push_back("ch 3 " + std::string(e % 2 ? "proxy" : "master"));
        page.push_back("Status{D}enabled[disabled;enabled]");
        page.push_back("Codec{D}ProRes 422 HQ[DNxHD;DNxHR HQX;ProRes 422;ProRes 422 HQ;H.264;]");
        page.push_back("Quality{D}high[low;medium;high;]");
        page.push_back("Wrapper{D}mov[mov;mxf;mp4;]");
        page.push_back("write{D}single[single;dual;]");
        page.push_back("primary{D}/media/raid-1[/media/raid-1;/media/ssd;]");
        page.push_back("secondary{D}none[none;/media/ssd;]");
        page.push_back("Override Primary path{D}disabled[disabled;enabled]");
        page.push_back("Primary Path{T}/media/raid-1/news");
        page.push_back("Override Secondary path{D}disabled[disabled;enabled]");
        page.push_back("Secondary Path{T}/media/ssd/news");
        page.push_back("Encoder Name{T}Studio A");
        page.push_back("Segment Duration{B}00:10:00;00");
        page.push_back("Burn In{D}disabled[disabled;Timecode;System Time;Gps;File Name]");
    }
    return page;
}

qt::PropertyList* Open() {
    static qt::PropertyList* list = nullptr;
    if (list) return list;
    qt::EnsureApplication(0, nullptr);
    qt::SetCallbacks([](const std::string&, int32_t, int32_t, int32_t, int32_t&) {},
                     [](const std::string& form) {
                         if (form == "SETUP")
                             EZ_PLISTBOX(kList, "", 65.625, 1.75, 40.75, 32, "STV");
                     });
    EZ_COLOR(0, 0);
    EZ_FORM("SETUP", "", "Setup", 0, 0, 109, 35, "");
    EZ_DOEVENTS(255);
    list = qt::FindPropertyList("SETUP", kList);
    return list;
}

void Build(const std::vector<std::string>& page) {
    EZ_SETREDRAWSTATE("setup", kList, 0);
    EZ_CLEAR("setup", kList);
    EZ_STARTCC("setup", kList);
    for (const std::string& item : page) EZ_ADDITEMS("setup", kList, item);
    EZ_ENDCC("setup", kList);
    EZ_SETREDRAWSTATE("setup", kList, 1);
}

void BM_ClearAndAdd60InBracket(benchmark::State& state) {
    Open();
    const std::vector<std::string> page = Page();
    for (auto _ : state) Build(page);
}
BENCHMARK(BM_ClearAndAdd60InBracket)->Unit(benchmark::kMicrosecond);

// The same, and the one paint it leads to.
void BM_ClearAndAdd60AndPaint(benchmark::State& state) {
    qt::PropertyList* list = Open();
    const std::vector<std::string> page = Page();
    for (auto _ : state) {
        Build(page);
        list->viewport()->repaint();
    }
}
BENCHMARK(BM_ClearAndAdd60AndPaint)->Unit(benchmark::kMicrosecond);

// Every item's text taken apart, as reading a page back does.
void BM_ReadBack60(benchmark::State& state) {
    Open();
    Build(Page());
    std::string label, value, choices, kind;
    for (auto _ : state) {
        for (int32_t i = 0; i <= EZ_FINDLAST("setup", kList); ++i) {
            EZ_GETPLINFO(EZ_GETITEMTEXT("setup", kList, i), label, value, choices, kind);
            benchmark::DoNotOptimize(value);
        }
    }
}
BENCHMARK(BM_ReadBack60)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
