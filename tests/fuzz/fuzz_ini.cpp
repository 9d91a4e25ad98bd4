// The settings file reader on arbitrary bytes: no crash, every value read is
// clean and within its limit, and a value written reads back after the
// document is rendered and parsed again.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "shell/ini.h"

namespace {

void Check(bool ok) {
    if (!ok) __builtin_trap();
}

void CheckClean(const std::string& value) {
    Check(value.size() <= tarvolen::kProfileResultMax);
    Check(value.find('\0') == std::string::npos);
    Check(value.find('\xFF') == std::string::npos);
    Check(value.empty() || (value.front() != ' ' && value.back() != ' '));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view input(reinterpret_cast<const char*>(data), size);
    tarvolen::IniFile file = tarvolen::IniFile::Parse(input);

    static const char* const kSections[] = {"ChanNames", "IP", "Show", "Vols", "Settings", ""};
    static const char* const kKeys[] = {"0", "23", "TrackLines", "Manual Clip Naming", ""};
    for (const char* section : kSections) {
        for (const char* key : kKeys) {
            CheckClean(tarvolen::ReadProfileString(file, section, key, "  default  "));
        }
    }

    // A value taken from the input itself, written and read back.
    std::string_view value = input.substr(0, 600);
    tarvolen::WriteProfileString(file, "Fuzz", "k", value);
    std::string direct = tarvolen::ReadProfileString(file, "fuzz", "K", "");
    tarvolen::IniFile again = tarvolen::IniFile::Parse(file.Text());
    Check(tarvolen::ReadProfileString(again, "FUZZ", "k", "") == direct);
    CheckClean(direct);
    return 0;
}
