// XmlItemLists over the largest list a recorder can send: 1,000 items in a
// 64 KiB document. Goal: median under 20 ms.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "config/xml_text.h"

namespace {

std::string ThousandItems() {
    constexpr long kItems = 1000;
    constexpr long kTarget = 65535;
    const std::string head = "<supported_resolutions>\r\n";
    const std::string foot = "</supported_resolutions>\r\n";
    const std::string tail = "</name></resolution>\r\n";
    std::string doc = head;
    for (long i = 0; i < kItems; ++i) {
        char type[16];
        std::snprintf(type, sizeof type, "r%04ld", i);
        std::string item =
            "<resolution><type>" + std::string(type) + "</type><name>M" + std::to_string(i);
        // Labels padded so that the whole document comes to the target size.
        const long room = kTarget - static_cast<long>(doc.size() + foot.size());
        const long budget = room / (kItems - i);
        while (static_cast<long>(item.size() + tail.size()) < budget) item += 'x';
        doc += item + tail;
    }
    doc += foot;
    return doc;
}

void BM_XmlItemLists1000(benchmark::State& state) {
    const std::string doc = ThousandItems();
    size_t entries = 0;
    for (auto _ : state) {
        std::string lists = tarvolen::XmlItemLists("<resolution>", doc);
        entries = static_cast<size_t>(std::count(lists.begin(), lists.end(), ';'));
        benchmark::DoNotOptimize(lists);
    }
    state.counters["bytes"] = static_cast<double>(doc.size());
    state.counters["entries"] = static_cast<double>(entries);
}
BENCHMARK(BM_XmlItemLists1000)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(15)
    ->ReportAggregatesOnly(true)
    ->DisplayAggregatesOnly(true);

}  // namespace

BENCHMARK_MAIN();
