#include "cliplist/cliplist_window.h"

#include "cliplist/cliplist.h"
#include "shell/globals.h"
#include "shell/toolkit.h"
#include "timecode/tc_math.h"

namespace tarvolen {
namespace {

constexpr const char* kColumns =
    "Clip Name{20}{O}|Start Timecode{11}{C}{O}|Duration{11}{C}{O}|Date/Time{25}{C}{O}|"
    "Video Format{15}{O}{C}|Aspect{7}{O}{C}|Codec{10}{O}{C}|Comp{5}{O}{C}|Guid{36}{O}{C}";
constexpr const char* kHeaderCaptions =
    "Clip Name|Start Timecode|Duration|Date/Time|Video Format|Aspect|Codec|Comp|Guid";

constexpr int32_t kFormClosingQuery = 59;
constexpr int32_t kClipNameColumn = 0;
constexpr int32_t kDurationColumn = 2;

void RememberPosition(int32_t mode) {
    if (g_Cliplist && g_Cliplist->Links().positionMemory) g_Cliplist->Links().positionMemory(mode);
}

void CloseWindow() {
    // Unloading does not raise the close event, so the place is kept here.
    RememberPosition(0);
    EZ_UNLOADFORM(kClipListForm);
}

void LoadAndClose() {
    if (g_Cliplist && g_Cliplist->Links().loadSelectedClip) g_Cliplist->Links().loadSelectedClip();
    CloseWindow();
}

void SizeRows() {
    // "XXX" in font 6, and a quarter more.
    EZ_SETLVROWHEIGHT(kClipListForm, kClipListView, EZ_FONTHEIGHT(kClipListFont) * 5 / 4);
}

void RowChosen(int32_t row) {
    if (row == -1 || !g_Cliplist) return;
    EZ_DOEVENTS(255);
    std::string name = EZ_GETLVITEMTEXT(kClipListForm, kClipListView, row, kClipNameColumn);
    std::string duration = EZ_GETLVITEMTEXT(kClipListForm, kClipListView, row, kDurationColumn);
    // A clip still being written shows no length yet: ask the recorder again.
    if (g_TcMath && g_TcMath->TcToFrames(duration) == 0) g_Cliplist->RefreshClip(name);
}

void FormEvent(int32_t code, int32_t& cancel) {
    switch (code) {
        case EZ_EV_STARTED:
            EZ_SETFORMLIMITS(kClipListForm, 70.25, 17.125, 100, 30);
            RememberPosition(1);
            // Esc leaves as "&Cancel" does; Return on a row loads it (the list's own activation).
            EZ_DEFACCEL(kClipListForm, "ESC," + std::to_string(kClipListCancelButton));
            EZ_SETACCELFORM(kClipListForm, 1);
            break;
        case EZ_EV_SHOWN: {
            EzBusyPointer busy;
            if (g_Cliplist) g_Cliplist->Fill();
            break;
        }
        case EZ_EV_CLOSE:
            RememberPosition(0);
            break;
        case kFormClosingQuery:
            cancel = 1;
            break;
        default:
            break;
    }
}

void ListEvent(int32_t code, int32_t value) {
    switch (code) {
        case EZ_EV_LVROWCHOSEN:
            RowChosen(value);
            break;
        case EZ_EV_HEADERCLICK:
            if (g_Cliplist) g_Cliplist->SortByColumn(value);
            break;
        case EZ_EV_LVACTIVATE:  // Return or a double click on a row
            LoadAndClose();
            break;
        case EZ_EV_HEADERDRAW:
            // The header's sections arrive as control 101.
            EZ_SETEVENTVALUE(kClipListHeader);
            break;
        case EZ_EV_STARTED:
        case EZ_EV_OWNERSIZE:
            SizeRows();
            break;
        case EZ_EV_OWNERDRAW:
            if (g_Cliplist) g_Cliplist->DrawRow(kClipListForm, kClipListView, value, kClipListFont);
            break;
        default:
            break;
    }
}

}  // namespace

void DesignClipList() {
    EZ_COLOR(15, 8);
    EZ_USEFONT(kClipListFont);
    EZ_SETAUTOSIZE("VH");
    EZ_SUBCLASS(2);
    EZ_LISTVIEW(kClipListView, kColumns, 2, 0.6875, 100, 17.125, "-#OSTV");
    EZ_SUBCLASS(0);

    EZ_COLOR(15, 0);
    EZ_USEIFONT("Segoe UI", 10, "BV");
    EZ_SETTHEME(0);
    EZ_SETAUTOSIZE("VH");
    EZ_ODBUTTON(kClipListLoadButton, "&Load", 2, 18.8125, 8.625, 2.25, "2T");
    EZ_ODBUTTON(kClipListCancelButton, "&Cancel", 93, 18.8125, 8.625, 2.25, "2T");
    EZ_SETTHEME(1);
}

void ClipListEvent(int32_t id, int32_t code, int32_t value, int32_t& cancel) {
    switch (id) {
        case 0:
            FormEvent(code, cancel);
            break;
        case kClipListView:
            ListEvent(code, value);
            break;
        case kClipListHeader:
            if (code == EZ_EV_OWNERDRAW && g_Cliplist)
                g_Cliplist->DrawHeader(kClipListForm, kClipListView, value, kHeaderCaptions,
                                       kClipListFont);
            break;
        case kClipListLoadButton:
            if (code == EZ_EV_CLICK) LoadAndClose();
            break;
        case kClipListCancelButton:
            if (code == EZ_EV_CLICK) CloseWindow();
            break;
        default:
            break;
    }
}

}  // namespace tarvolen
