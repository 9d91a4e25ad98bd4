#include "cliplist/cliplist.h"

#include <algorithm>
#include <cstring>

#include "cliplist/format_tables.h"
#include "device/amp_control.h"
#include "device/piamp.h"
#include "device/sync_thread.h"
#include "shell/settings.h"
#include "shell/shared_routines.h"
#include "shell/text.h"
#include "shell/toolkit.h"

namespace tarvolen {
namespace {

constexpr size_t kDateTimeWidth = sizeof(ClipEntry::dateTime);
constexpr size_t kGuidWidth = sizeof(ClipEntry::guid);
constexpr int32_t kMaxReservedRows = 100000;
// Centred over the main window and resizable; not modal: the operator keeps
// the main window while the list is open.
constexpr const char* kClipListFormProps = "CRZ";

// Holds the status thread paused for one stretch of directory requests and
// lets it go again on every way out.
class StatusPause {
  public:
    explicit StatusPause(const CliplistLinks& links) : links_(links) {
        if (links_.pauseStatusThread) links_.pauseStatusThread();
    }
    ~StatusPause() {
        if (links_.resumeStatusThread) links_.resumeStatusThread();
    }
    StatusPause(const StatusPause&) = delete;
    StatusPause& operator=(const StatusPause&) = delete;

  private:
    const CliplistLinks& links_;
};

std::string Raw(const char* field, size_t width) {
    return std::string(field, width);
}

ClipEntry EmptyEntry() {
    return ClipEntry{};  // size set, everything else zero
}

// Field "index" (1-based) of a "|"-separated text; empty past the end.
std::string Field(const std::string& text, int32_t index) {
    size_t start = 0;
    for (int32_t i = 1; i < index; ++i) {
        size_t bar = text.find('|', start);
        if (bar == std::string::npos) return {};
        start = bar + 1;
    }
    size_t bar = text.find('|', start);
    return text.substr(start, bar == std::string::npos ? std::string::npos : bar - start);
}

}  // namespace

CliplistLinks DeviceLinks(cAmpcontrol& amp, cSyncThread& sync,
                          std::function<void(int32_t mode)> positionMemory) {
    CliplistLinks links;
    links.connectedAddress = [&amp](int32_t ch) { return amp.ConnectedAddress(ch); };
    links.pauseStatusThread = [&amp] { amp.PauseStatusThread(); };
    links.resumeStatusThread = [&sync] { sync.SetSuspendSync(0); };
    links.loadSelectedClip = [&amp] { amp.LoadSelectedClip(); };
    links.positionMemory = std::move(positionMemory);
    return links;
}

cCliplist::cCliplist(cSettings& settings, CliplistLinks links)
    : settings_(settings), links_(std::move(links)) {
    connectTable_.size = sizeof(ClipDirConnectTable);
}

cCliplist::~cCliplist() {
    PIAMPCLIPDIRCOMMAND(clipdir::kDisconnect, 0, nullptr);
}

int32_t cCliplist::GetChannel() {
    return channel_;
}

void cCliplist::SetChannel(int32_t channel) {
    channel_ = channel;
}

void cCliplist::ConnectDirectory() {
    // Every slot is cleared first: the library reads up to the first blank
    // slot, and an address removed since the last connect must not linger.
    std::memset(connectTable_.address, 0, sizeof connectTable_.address);
    connectTable_.size = sizeof(ClipDirConnectTable);
    int32_t written = 0;
    const int32_t bound = settings_.ChannelBound();
    for (int32_t i = 0; i <= bound && written < kDeviceChannels; ++i) {
        if (!settings_.Shown(i)) continue;
        std::string address = CleanText(settings_.Address(i));
        if (NoRecorderAddress(address)) continue;
        bool seen = false;
        for (int32_t j = i - 1; j >= 0 && !seen; --j) {
            if (!settings_.Shown(j)) continue;
            std::string earlier = CleanText(settings_.Address(j));
            seen = !earlier.empty() && earlier == address;
        }
        if (seen) continue;
        StoreField(connectTable_.address[written], kAddressWidth, address);
        ++written;
    }
    PIAMPCLIPDIRCOMMAND(clipdir::kConnect, RecordArg(&connectTable_), &connectTable_);
}

void cCliplist::DisconnectDirectory() {
    int32_t result = PIAMPCLIPDIRCOMMAND(clipdir::kDisconnect, 0, nullptr);
    DebugTrace("Clip directory disconnect " + std::to_string(result));
}

void cCliplist::Open(int32_t channel) {
    if (channel < 0 || channel > settings_.ChannelBound() || !settings_.Shown(channel)) return;
    channel_ = channel;
    EZ_COLOR(0, 0);
    EZ_ALLOWLOADINGEVENT(2);
    EZ_FORM("CLIPLIST", "MAIN", "Clip List", 0, 0, 104, 22, kClipListFormProps);
}

std::string cCliplist::ListingAddress() const {
    std::string address =
        links_.connectedAddress ? CleanText(links_.connectedAddress(channel_)) : std::string();
    return IsFourPartAddress(address) ? address : std::string();
}

void cCliplist::Fill() {
    const int32_t c = channel_;
    EZ_SETCAPTION(kClipListForm, "Cliplist for Chan: " + std::to_string(c + 1) + "  \"" +
                                     CleanText(settings_.ChannelName(c)) + "\"");
    EZ_CLEARLV(kClipListForm, kClipListView);
    std::string address = ListingAddress();
    if (address.empty()) return;

    {
        StatusPause pause(links_);
        AddressRequest request;
        StoreField(request.address, kAddressWidth, address);
        CountReply count;
        if (PIAMPCLIPDIRCOMMAND(clipdir::kOpen, RecordArg(&request), &count) != 0) return;
        // The count only reserves rows; a wild one must not reserve memory.
        if (count.count > 0 && count.count <= kMaxReservedRows)
            EZ_SETLVCOUNT(kClipListForm, kClipListView, count.count);

        ClipEntry entry = EmptyEntry();
        if (PIAMPCLIPDIRCOMMAND(clipdir::kFirst, RecordArg(&request), &entry) != 0) return;

        EZ_SETREDRAWSTATE(kClipListForm, kClipListView, 0);
        int32_t row = -1;
        // The first entry is taken without the identifier test.
        if (!ReadField(entry.clipName, kClipNameWidth).empty()) AddRow(entry, ++row);
        for (;;) {
            entry.size = sizeof(ClipEntry);
            if (PIAMPCLIPDIRCOMMAND(clipdir::kNext, RecordArg(&request), &entry) != 0) break;
            if (ReadField(entry.guid, kGuidWidth).size() != kGuidWidth) break;
            if (ReadField(entry.clipName, kClipNameWidth).empty()) break;
            AddRow(entry, ++row);
        }
    }

    const int32_t columns = EZ_GETLVCOLUMNCOUNT(kClipListForm, kClipListView);
    for (int32_t col = 1; col < columns; ++col) EZ_SIZELVCOLUMN(kClipListForm, kClipListView, col);
    EZ_SETREDRAWSTATE(kClipListForm, kClipListView, 1);
    EZ_SORTLV(kClipListForm, kClipListView, sortColumn_, sortDirection_);
    EZ_REDRAWCONTROL(kClipListForm, kClipListView);

    std::string current = CleanText(settings_.ClipName(c));
    if (current.empty()) return;
    int32_t found = EZ_FINDLVITEM(kClipListForm, kClipListView, 0, current, 0);
    if (found >= 0) EZ_SETLVSEL(kClipListForm, kClipListView, found);
}

void cCliplist::AddRow(const ClipEntry& entry, int32_t row) {
    const char* form = kClipListForm;
    EZ_ADDLVITEM(form, kClipListView, ReadField(entry.clipName, kClipNameWidth), row);
    std::string format = FormatName(entry.videoFormat);
    std::string start = Raw(entry.start, kTimecodeWidth);
    std::string duration = Raw(entry.duration, kTimecodeWidth);
    if (char separator = FrameSeparatorFor(format)) {
        start[8] = separator;
        duration[8] = separator;
    }
    EZ_SETLVITEMTEXT(form, kClipListView, row, 1, start);
    EZ_SETLVITEMTEXT(form, kClipListView, row, 2, duration);
    EZ_SETLVITEMTEXT(form, kClipListView, row, 3, ReadField(entry.dateTime, kDateTimeWidth));
    EZ_SETLVITEMTEXT(form, kClipListView, row, 4, format);
    EZ_SETLVITEMTEXT(form, kClipListView, row, 5, AspectName(entry.videoFormat));
    EZ_SETLVITEMTEXT(form, kClipListView, row, 6, CodecColumn(entry.codec));
    EZ_SETLVITEMTEXT(form, kClipListView, row, 7, std::to_string(entry.compression));
    EZ_SETLVITEMTEXT(form, kClipListView, row, 8, Raw(entry.guid, kGuidWidth));
}

bool cCliplist::ReadNamedClip(const std::string& clipName, ClipEntry& entry) {
    std::string address = ListingAddress();
    if (address.empty()) return false;
    entry = EmptyEntry();
    StoreField(entry.clipName, kClipNameWidth, clipName);
    StoreField(entry.address, kAddressWidth, address);
    StatusPause pause(links_);
    // A failed request leaves nothing worth showing: the entry would be zeros.
    return PIAMPCLIPDIRCOMMAND(clipdir::kNamedClip, RecordArg(&entry), &entry) == 0;
}

void cCliplist::RefreshClip(const std::string& clipName) {
    ClipEntry entry;
    if (!ReadNamedClip(clipName, entry)) return;
    int32_t row = EZ_FINDLVITEM(kClipListForm, kClipListView, 0, clipName, 0);
    if (row < 0) return;
    const char* form = kClipListForm;
    EZ_SETLVITEMTEXT(form, kClipListView, row, 1, Raw(entry.start, kTimecodeWidth));
    EZ_SETLVITEMTEXT(form, kClipListView, row, 2, Raw(entry.duration, kTimecodeWidth));
    EZ_SETLVITEMTEXT(form, kClipListView, row, 3, ReadField(entry.dateTime, kDateTimeWidth));
    EZ_SETLVITEMTEXT(form, kClipListView, row, 4, FormatName(entry.videoFormat));
    EZ_SETLVITEMTEXT(form, kClipListView, row, 5, AspectName(entry.videoFormat));
    EZ_SETLVITEMTEXT(form, kClipListView, row, 6, CodecColumn(entry.codec));
    EZ_SETLVITEMTEXT(form, kClipListView, row, 7, std::to_string(entry.compression));
}

std::string cCliplist::GetClipTimes(const std::string& clipName) {
    ClipEntry entry;
    if (!ReadNamedClip(clipName, entry)) return {};
    return Raw(entry.start, kTimecodeWidth) + "|" + Raw(entry.duration, kTimecodeWidth);
}

void cCliplist::DrawRow(const std::string& form, int32_t id, int32_t drawValue, int32_t font) {
    EzDrawInfo info;
    if (!EZ_STARTOWNERDRAW(drawValue, info)) return;
    EZ_COLOR(15, 8);
    const int32_t item = info.item;
    const int32_t textRow = 0;  // item coordinates: the row starts at the top
    const int32_t count = EZ_GETLVCOLUMNCOUNT(form, id);
    const std::vector<int32_t> order = EZ_GETLVCOLUMNORDER(form, id);
    if (item < 0) {
        EZ_ENDOWNERDRAW(drawValue);
        return;
    }
    const int32_t dc = info.dc;
    const int32_t height = info.height;
    EZ_DCSAVESTATE(dc);
    int32_t x = 0;
    for (int32_t c = 0; c < count; ++c) {
        const int32_t column = size_t(c) < order.size() ? order[size_t(c)] : c;
        // The width of the column shown at this place, so dragged columns
        // keep their own widths.
        const int32_t width = EZ_GETLVCOLUMNWIDTH(form, id, column);
        const int32_t right = x + width - 1;
        if (info.selected) {
            // Plainly apart from the grey rows: the buttons' blue, edged in their light blue.
            EZ_COLOR(61, 61);
            EZ_DCDRAW(dc, EZ_DRAW_FILL, x, 0, right, height, 1);
            EZ_COLOR(60, 61);
            EZ_DCDRAW(dc, EZ_DRAW_LINE, x, 0, right, 0, 1);
            EZ_DCDRAW(dc, EZ_DRAW_LINE, x, height - 1, right, height - 1, 1);
        }
        EZ_USEFONT(font);
        // A text wider than its column keeps its beginning and its end: the
        // end is what tells clips of the same minute apart.
        EZ_SETPRINTFORMAT(2, right, height, 48, 64);
        std::string text = EZ_GETLVITEMTEXT(form, id, item, column);
        EZ_COLOR(15, -1);
        EZ_DCPRINT(dc, x, textRow, text);
        EZ_SETPRINTFORMAT(0, 0, 0, 0, 0);
        x = right + 1;
    }
    EZ_DCRESTORESTATE(dc);
    EZ_ENDOWNERDRAW(drawValue);
}

void cCliplist::SortByColumn(int32_t column) {
    sortDirection_ = column != sortColumn_ ? 0 : (sortDirection_ == 0 ? 1 : 0);
    sortColumn_ = column;
    EZ_SORTLV(kClipListForm, kClipListView, sortColumn_, sortDirection_);
    EZ_REDRAWCONTROL(kClipListForm, kClipListView);
}

void cCliplist::DrawHeader(const std::string& form, int32_t id, int32_t drawValue,
                           const std::string& captions, int32_t font) {
    (void)form;
    (void)id;
    EzDrawInfo info;
    if (!EZ_STARTOWNERDRAW(drawValue, info)) return;
    const int32_t index = info.item;
    const int32_t left = 0, top = 0;  // item coordinates
    if (index <= -1) {
        EZ_ENDOWNERDRAW(drawValue);
        return;
    }
    const int32_t dc = info.dc;
    const int32_t right = info.width - 1, bottom = info.height - 1;
    EZ_DCGRADIENT(dc, 0, 0, right, bottom, 31, 15, 6);
    EZ_COLOR(7, -1);
    EZ_DCDRAW(dc, EZ_DRAW_LINE, right, 0, right, bottom, 1);
    constexpr int32_t kMarkTop = 11;
    if (index == sortColumn_) {
        EZ_COLOR(17, -1);
        EZ_USEFONT(25);
        EZ_DCPRINT(dc, info.width / 2 - 4, kMarkTop, sortDirection_ != 0 ? "6" : "5");
    }
    EZ_COLOR(0, -1);
    EZ_USEFONT(font);
    // The caption keeps to the band above the mark's triangle, which is
    // inked from a few pixels below the top of its glyph.
    EZ_SETPRINTFORMAT(2, right, std::min(bottom, kMarkTop + 2), 48, 0);
    EZ_DCPRINT(dc, left, top - 2, Field(captions, index + 1));
    EZ_SETPRINTFORMAT(0, 0, 0, 0, 0);
    EZ_ENDOWNERDRAW(drawValue);
}

std::string cCliplist::FormatName(int32_t code) const {
    return VideoFormatName(code);
}

std::string cCliplist::CodecName(int32_t code) const {
    return tarvolen::CodecName(code);
}

std::string cCliplist::AspectName(int32_t code) const {
    return tarvolen::AspectName(code);
}

}  // namespace tarvolen
