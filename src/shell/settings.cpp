#include "shell/settings.h"

#include <unistd.h>

#include <climits>
#include <cstdio>
#include <filesystem>
#include <utility>
#include <vector>

#include "shell/ini.h"
#include "shell/text.h"

namespace tarvolen {

namespace {

std::string TwoDigits(int32_t n) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%02d", static_cast<int>(n));
    return buf;
}

std::string Decimal(int32_t n) {
    return std::to_string(n);
}

// Anything but the deck's name is our own protocol, so a file from before
// decks, or a value mistyped by hand, reads as it always did.
int32_t ProtocolOf(std::string_view name) {
    return ToLower(name) == ToLower(kProtocolDeckName) ? kProtocolDeck : kProtocolOurs;
}

int32_t PortOf(std::string_view text) {
    const int32_t port = LeadingNumber(text);
    return port >= 1 && port <= 65535 ? port : 0;
}

}  // namespace

std::string BuildStringFromDate(std::string_view month_day_year) {
    std::vector<std::string_view> parts;
    for (size_t pos = 0;;) {
        size_t slash = month_day_year.find('/', pos);
        parts.push_back(month_day_year.substr(pos, slash - pos));
        if (slash == std::string_view::npos) break;
        pos = slash + 1;
    }
    parts.resize(3);
    std::string_view year = parts[2];
    if (year.size() > 2) year = year.substr(year.size() - 2);
    return TwoDigits(LeadingNumber(year)) + "." + TwoDigits(LeadingNumber(parts[0])) + "." +
           TwoDigits(LeadingNumber(parts[1])) + ".1";
}

std::string BuildDate() {
    // __DATE__ is "Mmm dd yyyy".
    static constexpr std::string_view kMonths = "JanFebMarAprMayJunJulAugSepOctNovDec";
    std::string_view date = __DATE__;
    size_t month = kMonths.find(date.substr(0, 3)) / 3 + 1;
    return std::to_string(month) + "/" + std::to_string(LeadingNumber(date.substr(4, 2))) + "/" +
           std::string(date.substr(7, 4));
}

std::string cSettings::ProgramPath() {
    std::string buf(PATH_MAX, '\0');
    ssize_t n = ::readlink("/proc/self/exe", buf.data(), buf.size());
    if (n <= 0 || static_cast<size_t>(n) >= buf.size()) return {};
    buf.resize(static_cast<size_t>(n));
    return buf;
}

std::string cSettings::SettingsPathFor(std::string_view program_path) {
    size_t slash = program_path.rfind('/');
    size_t start = slash == std::string_view::npos ? 0 : slash + 1;
    std::string dir(program_path.substr(0, start));
    std::string name = ToLower(program_path.substr(start));
    static constexpr std::string_view kExe = ".exe";
    if (name.find(kExe) == std::string::npos) return dir + name + ".ini";
    std::string out;
    size_t pos = 0;
    for (size_t at = name.find(kExe); at != std::string::npos; at = name.find(kExe, pos)) {
        out.append(name, pos, at - pos);
        out += ".ini";
        pos = at + kExe.size();
    }
    out.append(name, pos, std::string::npos);
    return dir + out;
}

cSettings::cSettings() : cSettings(ProgramPath()) {}

cSettings::cSettings(std::string program_path) {
    // Without a program path there is no settings file: defaults only.
    if (!program_path.empty()) path_ = SettingsFileFor(program_path);
    for (Channel& c : channels_) c.state = FixedWidth("Off", kStateWidth);
    Load();
    build_string_ = BuildStringFromDate(BuildDate());
}

cSettings::~cSettings() {
    SaveSettings();
}

namespace {

constexpr std::string_view kSections[] = {
    "ChanNames", "Show",   "IP",        "IntChanNum", "Checked",  "Vols", "Projects", "BaseName",
    "ProxyName", "TapeID", "SceneName", "Settings",   "Protocol", "Port", "Remote"};

bool Unreadable(const IniFile& file) {
    if (file.From() == IniFile::Source::kUnreadable) return true;
    if (file.From() != IniFile::Source::kRead) return false;
    // An empty file is a new one; text without any of our sections is not ours.
    if (CleanText(file.Text()).find_first_not_of("\r\n\t ") == std::string::npos) return false;
    return file.HasNoneOf({std::begin(kSections), std::end(kSections)});
}

// Moves the file to the first free name with ".bad" after it; empty when it
// could not be moved.
std::string KeepAside(const std::string& path, std::string& why) {
    namespace fs = std::filesystem;
    std::error_code ec;
    for (int n = 1; n < 100; ++n) {
        const std::string bad = path + ".bad" + (n == 1 ? "" : "." + std::to_string(n));
        if (fs::exists(fs::symlink_status(bad, ec))) continue;
        fs::rename(path, bad, ec);
        if (!ec) return bad;
        why = ec.message();
        return {};
    }
    why = "too many earlier ones beside it";
    return {};
}

}  // namespace

void cSettings::Load() {
    IniFile file = path_.empty() ? IniFile() : IniFile::Load(path_);
    // Defaults stand in for a file that cannot be read; the file itself is
    // put aside before a save could overwrite it.
    if (Unreadable(file) && !std::filesystem::is_directory(path_)) {
        std::string why;
        const std::string bad = KeepAside(path_, why);
        load_notice_ = "|The settings file " + path_ +
                       " could not be read.|The program starts with " + "default settings.|" +
                       (bad.empty() ? "It could not be kept aside: " + why + "."
                                    : "The file was kept as " + bad + ".");
        file = IniFile();
    }
    ReadChannelTable(file);
}

std::string cSettings::TakeLoadNotice() {
    return std::exchange(load_notice_, {});
}

void cSettings::ReadChannelTable(const IniFile& file) {
    std::lock_guard lock(mutex_);
    for (int32_t i = 0; i <= ChannelBound(); ++i) {
        Channel& c = channels_[static_cast<size_t>(i)];
        std::string key = Decimal(i);
        std::string number = TwoDigits(i + 1);
        c.name = ReadProfileString(file, "ChanNames", key, "CH " + number);
        c.shown = LeadingNumber(ReadProfileString(file, "Show", key, "1"));
        c.address = FixedWidth(
            ReadProfileString(file, "IP", key, std::string(kDefaultAddressPrefix) + number),
            kAddressWidth);
        c.internal = LeadingNumber(ReadProfileString(file, "IntChanNum", key, "1"));
        c.checked = LeadingNumber(ReadProfileString(file, "Checked", key, "1"));
        c.protocol = ProtocolOf(ReadProfileString(file, "Protocol", key, ""));
        c.port = PortOf(ReadProfileString(file, "Port", key, ""));
        if (c.shown == 0) c.checked = 0;  // a hidden channel is never selected after load
        c.volumes = FixedWidth(ReadProfileString(file, "Vols", key, ""), kVolumesWidth);
        c.project = ReadProfileString(file, "Projects", key, "");
        c.base_name = ReadProfileString(file, "BaseName", key, "");
        c.proxy_name = ReadProfileString(file, "ProxyName", key, "");
        c.tape_id = ReadProfileString(file, "TapeID", key, "");
        c.scene_name = ReadProfileString(file, "SceneName", key, "");
    }
    SetTrackLines(LeadingNumber(ReadProfileString(file, "Settings", "TrackLines", "3")));
    // Every run starts with manual naming off; the stored value is not read.
    SetManualClipNaming(0);
}

void cSettings::WriteChannelTable(IniFile& file) const {
    std::lock_guard lock(mutex_);
    for (int32_t i = 0; i <= ChannelBound(); ++i) {
        const Channel& c = channels_[static_cast<size_t>(i)];
        std::string key = Decimal(i);
        WriteProfileString(file, "ChanNames", key, c.name);
        WriteProfileString(file, "Show", key, Decimal(c.shown));
        WriteProfileString(file, "IP", key, c.address);
        WriteProfileString(file, "IntChanNum", key, Decimal(c.internal));
        WriteProfileString(file, "Checked", key, Decimal(c.checked));
        // Written once a channel has been a deck, so files without decks
        // keep exactly the keys they always had.
        if (c.protocol != kProtocolOurs || file.Find("Protocol", key))
            WriteProfileString(file, "Protocol", key,
                               c.protocol == kProtocolDeck ? kProtocolDeckName : kProtocolOursName);
        if (c.port != 0 || file.Find("Port", key))
            WriteProfileString(file, "Port", key, c.port != 0 ? Decimal(c.port) : "");
        WriteProfileString(file, "Vols", key, CleanText(c.volumes));
        WriteProfileString(file, "Projects", key, c.project);
        WriteProfileString(file, "BaseName", key, c.base_name);
        WriteProfileString(file, "ProxyName", key, c.proxy_name);
        WriteProfileString(file, "TapeID", key, c.tape_id);
        WriteProfileString(file, "SceneName", key, c.scene_name);
    }
    WriteProfileString(file, "Settings", "TrackLines", Decimal(TrackLines()));
    WriteProfileString(file, "Settings", "Manual Clip Naming", Decimal(ManualClipNaming()));
}

bool cSettings::SaveSettings(std::string* why) {
    if (path_.empty()) {
        if (why) *why = "no file name";
        return false;
    }
    // Load what is there so keys this program does not own survive.
    IniFile file = IniFile::Load(path_);
    WriteChannelTable(file);
    return file.Save(why);
}

void cSettings::SetRedrawHook(std::function<void()> redraw) {
    redraw_ = std::move(redraw);
}

void cSettings::SelectAllChannels() {
    for (int32_t i = 0; i <= ChannelBound(); ++i) SetChecked(i, 1);
    if (redraw_) redraw_();
}

void cSettings::DeselectAllChannels() {
    for (int32_t i = 0; i <= ChannelBound(); ++i) SetChecked(i, 0);
    if (redraw_) redraw_();
}

int32_t cSettings::Checked(int32_t ch) const {
    return InRange(ch) ? channels_[static_cast<size_t>(ch)].checked.load() : 0;
}
void cSettings::SetChecked(int32_t ch, int32_t checked) {
    if (!InRange(ch)) return;
    channels_[static_cast<size_t>(ch)].checked = checked;
    ++channels_[static_cast<size_t>(ch)].checked_writes;
}
uint32_t cSettings::CheckedWrites(int32_t ch) const {
    return InRange(ch) ? channels_[static_cast<size_t>(ch)].checked_writes.load() : 0;
}
int32_t cSettings::Shown(int32_t ch) const {
    return InRange(ch) ? channels_[static_cast<size_t>(ch)].shown.load() : 0;
}
void cSettings::SetShown(int32_t ch, int32_t shown) {
    if (InRange(ch)) channels_[static_cast<size_t>(ch)].shown = shown;
}
int32_t cSettings::InternalChannel(int32_t ch) const {
    return InRange(ch) ? channels_[static_cast<size_t>(ch)].internal.load() : 0;
}
void cSettings::SetInternalChannel(int32_t ch, int32_t number) {
    if (InRange(ch)) channels_[static_cast<size_t>(ch)].internal = number;
}
int32_t cSettings::Protocol(int32_t ch) const {
    return InRange(ch) ? channels_[static_cast<size_t>(ch)].protocol.load() : kProtocolOurs;
}
void cSettings::SetProtocol(int32_t ch, int32_t protocol) {
    if (InRange(ch))
        channels_[static_cast<size_t>(ch)].protocol =
            protocol == kProtocolDeck ? kProtocolDeck : kProtocolOurs;
}
int32_t cSettings::Port(int32_t ch) const {
    return InRange(ch) ? channels_[static_cast<size_t>(ch)].port.load() : 0;
}
void cSettings::SetPort(int32_t ch, int32_t port) {
    if (InRange(ch))
        channels_[static_cast<size_t>(ch)].port = port >= 1 && port <= 65535 ? port : 0;
}

std::string cSettings::Get(int32_t ch, std::string Channel::*field, bool clean) const {
    if (!InRange(ch)) return {};
    std::lock_guard lock(mutex_);
    const std::string& value = channels_[static_cast<size_t>(ch)].*field;
    return clean ? CleanText(value) : value;
}

void cSettings::Put(int32_t ch, std::string Channel::*field, std::string_view text, size_t width) {
    if (!InRange(ch)) return;
    std::string value = width > 0 ? FixedWidth(text, width) : std::string(text);
    std::lock_guard lock(mutex_);
    (channels_[static_cast<size_t>(ch)].*field).swap(value);
}

#define TARVOLEN_TEXT_FIELD(Getter, Setter, member, width)      \
    std::string cSettings::Getter(int32_t ch) const {           \
        return Get(ch, &Channel::member, (width) > 0);          \
    }                                                           \
    void cSettings::Setter(int32_t ch, std::string_view text) { \
        Put(ch, &Channel::member, text, width);                 \
    }

TARVOLEN_TEXT_FIELD(Address, SetAddress, address, kAddressWidth)
TARVOLEN_TEXT_FIELD(Timecode, SetTimecode, timecode, kTimecodeWidth)
TARVOLEN_TEXT_FIELD(State, SetState, state, kStateWidth)
TARVOLEN_TEXT_FIELD(ClipStart, SetClipStart, clip_start, kTimecodeWidth)
TARVOLEN_TEXT_FIELD(ClipEnd, SetClipEnd, clip_end, kTimecodeWidth)
TARVOLEN_TEXT_FIELD(ClipDuration, SetClipDuration, clip_duration, kTimecodeWidth)
TARVOLEN_TEXT_FIELD(Volumes, SetVolumes, volumes, kVolumesWidth)
TARVOLEN_TEXT_FIELD(ChannelName, SetChannelName, name, 0)
TARVOLEN_TEXT_FIELD(Project, SetProject, project, 0)
TARVOLEN_TEXT_FIELD(BaseName, SetBaseName, base_name, 0)
TARVOLEN_TEXT_FIELD(ProxyName, SetProxyName, proxy_name, 0)
TARVOLEN_TEXT_FIELD(TapeId, SetTapeId, tape_id, 0)
TARVOLEN_TEXT_FIELD(SceneName, SetSceneName, scene_name, 0)
TARVOLEN_TEXT_FIELD(ClipName, SetClipName, clip_name, 0)
TARVOLEN_TEXT_FIELD(LastClip, SetLastClip, last_clip, 0)
TARVOLEN_TEXT_FIELD(RecordFileNames, SetRecordFileNames, record_files, 0)

#undef TARVOLEN_TEXT_FIELD

cSettings::ChannelStatus cSettings::Status(int32_t ch) const {
    if (!InRange(ch)) return {};
    std::lock_guard lock(mutex_);
    const Channel& c = channels_[static_cast<size_t>(ch)];
    return {CleanText(c.state), CleanText(c.timecode)};
}

cSettings::ChannelStatus cSettings::SetStatus(int32_t ch, std::string_view state,
                                              std::string_view timecode) {
    if (!InRange(ch)) return {};
    // Into the fields' own room, under one lock: the status pass sets every
    // recording channel's thirty times a second.
    std::lock_guard lock(mutex_);
    Channel& c = channels_[static_cast<size_t>(ch)];
    AssignFixedWidth(c.state, state, kStateWidth);
    AssignFixedWidth(c.timecode, timecode, kTimecodeWidth);
    return {CleanText(c.state), CleanText(c.timecode)};
}

}  // namespace tarvolen

namespace tarvolen {

ChannelConfig* cSettings::Config(int32_t ch) {
    return InRange(ch) ? &config_[static_cast<size_t>(ch)] : nullptr;
}

const ChannelConfig* cSettings::Config(int32_t ch) const {
    return InRange(ch) ? &config_[static_cast<size_t>(ch)] : nullptr;
}

}  // namespace tarvolen
