// Reading a recorder's configuration document of the largest size a
// recorder can send (64 KiB) and building the document sent back.
// Goal: each well under one frame (33 ms).
#include <benchmark/benchmark.h>

#include <string>

#include "shell/settings.h"

namespace {

std::string Items(const std::string& tag, int count, int serial) {
    std::string out;
    for (int k = 0; k < count; ++k) {
        const std::string n = std::to_string(serial) + "_" + std::to_string(k);
        out +=
            "<" + tag + "><type>value_" + n + "</type><name>Label " + n + "</name></" + tag + ">";
    }
    return out;
}

// Four inputs and four encoders with long choice lists, filled up to 64 KiB.
std::string LargestDocument() {
    const char* inputLists[][2] = {{"supported_video_inputs", "video_input"},
                                   {"supported_resolutions", "resolution"},
                                   {"supported_frame_rates", "frame_rate"},
                                   {"supported_pixel_fmts", "pixel_fmt"},
                                   {"supported_audio_inputs", "audio_input"}};
    const char* encoderLists[][2] = {{"supported_codecs", "codec"},
                                     {"supported_qualities", "quality"},
                                     {"supported_wrappers", "wrapper"},
                                     {"supported_audio", "audio"},
                                     {"supported_write_modes", "write_mode"},
                                     {"supported_primary_disks", "primary_disk"},
                                     {"supported_secondary_disks", "secondary_disk"}};
    for (int items = 40;; --items) {
        std::string d = "<tarvolen>\r\n<drives><drive><path>/media/primary</path></drive></drives>";
        for (int i = 0; i < 4; ++i) {
            d += "<input><index>" + std::to_string(i) + "</index>";
            for (auto& l : inputLists) {
                d += std::string("<") + l[0] + ">" + Items(l[1], items, i) + "</" + l[0] + ">";
            }
            d += "<video_input>value_" + std::to_string(i) +
                 "_1</video_input><resolution>value_0_2</resolution><frame_rate>2997"
                 "</frame_rate><pixel_fmt>p</pixel_fmt><audio_input>a</audio_input></input>\r\n";
        }
        for (int e = 0; e < 4; ++e) {
            d += "<encoder><index>" + std::to_string(e) + "</index>";
            for (auto& l : encoderLists) {
                d += std::string("<") + l[0] + ">" + Items(l[1], items, e) + "</" + l[0] + ">";
            }
            d += "<codec>value_1_1</codec><status>enabled</status><name>Enc</name><audio>pcm"
                 "<routing>";
            for (int k = 0; k < 16; ++k) {
                d += "<routing_element><key>digital</key><value>" + std::to_string(k) +
                     "</value></routing_element>";
            }
            d += "</routing></audio><segment_duration>1800</segment_duration></encoder>\r\n";
        }
        d += "<project><project_name>news-am</project_name><scene>S</scene></project>\r\n"
             "</tarvolen>";
        if (d.size() <= 65535) return d;
    }
}

void BM_ParseConfiguration64K(benchmark::State& state) {
    tarvolen::cSettings settings{std::string()};
    const std::string doc = LargestDocument();
    for (auto _ : state) {
        settings.ParseCapabilities(1, doc);
        benchmark::DoNotOptimize(settings.Choices());
    }
    state.counters["bytes"] = static_cast<double>(doc.size());
}
BENCHMARK(BM_ParseConfiguration64K)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(15)
    ->ReportAggregatesOnly(true)
    ->DisplayAggregatesOnly(true);

void BM_BuildConfigDocument(benchmark::State& state) {
    tarvolen::cSettings settings{std::string()};
    settings.ParseCapabilities(1, LargestDocument());
    for (auto _ : state) benchmark::DoNotOptimize(settings.BuildConfigXml(1));
}
BENCHMARK(BM_BuildConfigDocument)
    ->Unit(benchmark::kMicrosecond)
    ->Repetitions(15)
    ->ReportAggregatesOnly(true)
    ->DisplayAggregatesOnly(true);

}  // namespace
BENCHMARK_MAIN();
