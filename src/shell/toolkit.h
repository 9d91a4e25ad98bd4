// The GUI toolkit contract. Every window is written against these operations
// only; src/platform/qt implements them over Qt Widgets.
//
// Units: positions and sizes of forms and controls are form units, a column
// being 8 pixels and a row 16 pixels. Timer intervals are seconds. Colours
// and fonts are slot numbers: colours 0-15 are the classic 16-colour palette,
// 16-31 lighter tints of them, higher slots are defined by the program; -1
// means "the default". Form names compare without regard to letter case.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// Event codes.
inline constexpr int32_t EZ_EV_CLOSE = 0;
inline constexpr int32_t EZ_EV_CLICK = 1;
inline constexpr int32_t EZ_EV_CHANGE = 2;  // text or selection of a control changed
inline constexpr int32_t EZ_EV_TIMER = 7;   // control id = timer id
inline constexpr int32_t EZ_EV_TOOLTIP = 8;
inline constexpr int32_t EZ_EV_NOTIFY = 10;
inline constexpr int32_t EZ_EV_KEY = 20;  // value: key code
inline constexpr int32_t EZ_EV_CREATED = 85;
inline constexpr int32_t EZ_EV_SHOWN = 86;
inline constexpr int32_t EZ_EV_STARTED = 87;
inline constexpr int32_t EZ_EV_RIGHTCLICK = 95;
inline constexpr int32_t EZ_EV_SUBCLASS = 99;
inline constexpr int32_t EZ_EV_RESIZED = 102;
inline constexpr int32_t EZ_EV_OWNERDRAW = 300;
inline constexpr int32_t EZ_EV_OWNERSIZE = 310;
inline constexpr int32_t EZ_EV_ERASE = 320;  // list background about to be erased
inline constexpr int32_t EZ_EV_THREAD = 400;
inline constexpr int32_t EZ_EV_POSTED = 410;
inline constexpr int32_t EZ_EV_LVCLICK = 900;
inline constexpr int32_t EZ_EV_HEADERDRAW = 920;  // owner-drawn list header; value: draw item

// Control id of the thread event the status thread sends to the main form.
inline constexpr int32_t EZ_THREADEVENT_ID = 10000;

using EzStartProc = std::function<void(int32_t)>;
using EzEventProc = std::function<void(const std::string& form, int32_t id, int32_t code,
                                       int32_t value, int32_t& cancel)>;
using EzDesignProc = std::function<void(const std::string& form)>;

// ---- Run and events
// Runs start, then the message loop while any form exists; returns at once if
// start created no form.
int EZ_GUIRUN(int argc, char** argv, EzStartProc start, EzEventProc event, EzDesignProc design);
// Processes at most maxEvents pending events (always at least those queued now).
void EZ_DOEVENTS(int32_t maxEvents);
void EZ_ALLOWCOMMANDEVENTS(int32_t on);
void EZ_ALLOWNOTIFYEVENTS(int32_t on);
void EZ_ALLOWKEYEVENTS(int32_t mode);
void EZ_ALLOWMOUSEMOVEEVENTS(int32_t on);
void EZ_ALLOWCURSOREVENTS(int32_t on);
void EZ_ALLOWLOADINGEVENT(int32_t mode);
void EZ_DEFIMAGEFOLDER(const std::string& folder);

// ---- Forms
// Properties: "M" modal (returns when the form is unloaded), "Z" resizable,
// "C" centred over its parent (over the screen without one). Controls are
// added by the design callback, which runs inside this call.
void EZ_FORM(const std::string& name, const std::string& parent, const std::string& caption,
             double column, double row, double width, double height, const std::string& props);
void EZ_UNLOADFORM(const std::string& name);
bool EZ_FORMEXISTS(const std::string& name);
// Size and position in form units. Size modes: 0/2/3 outer size, 1 client size.
void EZ_GETSIZE(const std::string& form, double& width, double& height, int32_t mode);
void EZ_GETPOS(const std::string& form, double& column, double& row, int32_t mode);
void EZ_RESIZEFORM(const std::string& form, double column, double row, double width, double height,
                   int32_t mode);
// Form size limits in form units (0 = no limit).
void EZ_SETFORMLIMITS(const std::string& form, double minWidth, double minHeight, double maxWidth,
                      double maxHeight);
// Handle of a form (id 0) or one of its controls; 0 when there is none.
int32_t EZ_HANDLE(const std::string& form, int32_t id);
// Screen rectangle of a handle in pixels; false for 0 or an unknown handle.
bool EZ_HANDLERECT(int32_t handle, int32_t& x, int32_t& y, int32_t& width, int32_t& height);
void EZ_SETFORMICON(const std::string& form, const std::string& icon);
std::string EZ_GETAPPPATHNAME();
void EZ_SETCAPTION(const std::string& form, const std::string& caption);

// ---- Creation settings for the controls that follow (on the form being designed)
void EZ_COLOR(int32_t foreground, int32_t background);
void EZ_USEFONT(int32_t slot);
void EZ_USEIFONT(const std::string& face, double points, const std::string& props);
// Auto-size: "V" grows vertically, "H" horizontally with the form; "C"/"T" keep
// the control fixed at its place; "" none.
void EZ_SETAUTOSIZE(const std::string& mode);
void EZ_SETTHEME(int32_t on);
// Subclass mode 1 or 2: the controls that follow also report event 99.
void EZ_SUBCLASS(int32_t mode);

// ---- Controls (added to the form being designed)
void EZ_ODBUTTON(int32_t id, const std::string& caption, double column, double row, double width,
                 double height, const std::string& props);
void EZ_BUTTON(int32_t id, const std::string& caption, double column, double row, double width,
               double height, const std::string& props);
void EZ_LABEL(int32_t id, const std::string& text, double column, double row, double width,
              double height, const std::string& props);
void EZ_TEXT(int32_t id, const std::string& text, double column, double row, double width,
             double height, const std::string& props);
void EZ_CHECKBOX(int32_t id, const std::string& text, double column, double row, double width,
                 double height, const std::string& props);
// Items separated by "|".
void EZ_COMBOBOX(int32_t id, const std::string& items, double column, double row, double width,
                 double height, const std::string& props);
// Columns "Title{width in characters}{alignment}|..."; alignment {L}, {C}, {R}.
// Properties: "O" owner-drawn rows, "#" owner-drawn header ... see docs/toolkit.md.
void EZ_LISTVIEW(int32_t id, const std::string& columns, double column, double row, double width,
                 double height, const std::string& props);
// A picture drawn from turtle commands (see docs/toolkit.md).
void EZ_TURTLEPICTURE(int32_t id, const std::string& commands, double column, double row,
                      double width, double height, const std::string& props);

std::string EZ_GETTEXT(const std::string& form, int32_t id);
void EZ_SETTEXT(const std::string& form, int32_t id, const std::string& text);
void EZ_SETFONT(const std::string& form, int32_t id, int32_t slot);
void EZ_SHOWC(const std::string& form, int32_t firstId, int32_t lastId);
void EZ_HIDEC(const std::string& form, int32_t firstId, int32_t lastId);
bool EZ_ISVISIBLE(const std::string& form, int32_t id);
void EZ_ENABLEC(const std::string& form, int32_t firstId, int32_t lastId);
void EZ_DISABLEC(const std::string& form, int32_t firstId, int32_t lastId);
void EZ_REDRAWCONTROL(const std::string& form, int32_t id);
void EZ_SETFOCUS(const std::string& form, int32_t id);
void EZ_GETSIZEC(const std::string& form, int32_t id, double& width, double& height);
void EZ_RESIZEC(const std::string& form, int32_t id, double column, double row, double width,
                double height);
int32_t EZ_GETCHECKED(const std::string& form, int32_t id);
void EZ_SETCHECKED(const std::string& form, int32_t id, int32_t checked);
// Tooltips: the toolkit asks with event 8 when one is wanted; the handler answers
// with EZ_SETTOOLTIP.
void EZ_ADDTOOLTIP(const std::string& form, int32_t id);
void EZ_SETTOOLTIP(const std::string& text);
bool EZ_ISHOT(const std::string& form, int32_t id);
// Key 1 left, 2 right, 4 middle mouse button, other values virtual key codes;
// true while held.
bool EZ_GETKEYSTATE(int32_t key, int32_t mode);

// ---- Colours and fonts
void EZ_DEFCOLOR(int32_t slot, int32_t red, int32_t green, int32_t blue);
void EZ_DEFCOLORL(int32_t slot, int32_t rgb);  // 0x00BBGGRR
void EZ_DEFSYSTEMCOLOR(int32_t slot, int32_t systemColor);
void EZ_DEFFONT(int32_t slot, const std::string& face, double points, const std::string& props);
void EZ_FREEFONT(int32_t slot);

// ---- Menus
void EZ_DEFMAINMENU(int32_t id, const std::string& caption, int32_t menu);
int32_t EZ_DEFSUBMENU(int32_t id, const std::string& caption, int32_t props);
void EZ_ADDMENUITEM(int32_t submenu, int32_t id, const std::string& caption, int32_t props);
void EZ_SETSUBMENU(int32_t menu, int32_t id, int32_t submenu);

// ---- Timers and cross-thread events
void EZ_STARTTIMER(const std::string& form, int32_t id, int32_t seconds);
void EZ_STOPTIMER(const std::string& form, int32_t id);
// Queued; arrives as event 410 on the control.
void EZ_POSTEVENT(const std::string& form, int32_t id, int32_t value);
// Callable from any thread; arrives on the GUI thread as event 400.
void EZ_SENDTHREADEVENT(const std::string& form, int32_t id, int32_t value);

// ---- Pointers
// 1 shows the busy pointer, 0 the normal one again.
void EZ_WAITCURSOR(int32_t on);
// The busy pointer for the life of a scope: the normal pointer comes back on
// every way out of it.
class EzBusyPointer {
  public:
    EzBusyPointer() { EZ_WAITCURSOR(1); }
    ~EzBusyPointer() { EZ_WAITCURSOR(0); }
    EzBusyPointer(const EzBusyPointer&) = delete;
    EzBusyPointer& operator=(const EzBusyPointer&) = delete;
};

// ---- Message boxes
// Buttons separated by "|"; "|" in text starts a new line. Returns 1 for the
// first button, 2 for the second ..., 0 when closed without one. Uses the
// colours of the last EZ_COLOR; font1 is the text's font slot, font2 the
// buttons'.
int32_t EZ_MSGBOXEX(const std::string& form, const std::string& text, const std::string& caption,
                    const std::string& buttons, const std::string& style, int32_t font1,
                    int32_t font2);

// ---- List views
void EZ_CLEARLV(const std::string& form, int32_t id);
// Tells the list how many rows are coming, so it can reserve them.
void EZ_SETLVCOUNT(const std::string& form, int32_t id, int32_t count);
// Adds a row at index (-1: at the end) with the text of column 0; returns its index.
int32_t EZ_ADDLVITEM(const std::string& form, int32_t id, const std::string& text, int32_t index);
void EZ_SETLVITEMTEXT(const std::string& form, int32_t id, int32_t row, int32_t column,
                      const std::string& text);
std::string EZ_GETLVITEMTEXT(const std::string& form, int32_t id, int32_t row, int32_t column);
int32_t EZ_GETLVCOUNT(const std::string& form, int32_t id);
int32_t EZ_GETLVSEL(const std::string& form, int32_t id);            // first selected row or -1
void EZ_SETLVSEL(const std::string& form, int32_t id, int32_t row);  // -1 clears
void EZ_SETREDRAWSTATE(const std::string& form, int32_t id, int32_t on);
// Click information of an event 900 value.
void EZ_GETLVCLICKINFO(int32_t value, int32_t& row, int32_t& column, int32_t& x);
int32_t EZ_GETLVCOLUMNCOUNT(const std::string& form, int32_t id);
int32_t EZ_GETLVCOLUMNWIDTH(const std::string& form, int32_t id, int32_t column);  // pixels
void EZ_SETLVCOLUMNWIDTH(const std::string& form, int32_t id, int32_t column, int32_t pixels);
// Columns in display order, as the operator arranged them.
std::vector<int32_t> EZ_GETLVCOLUMNORDER(const std::string& form, int32_t id);
// Row height in pixels for owner-drawn lists (answer to event 310).
void EZ_SETLVROWHEIGHT(const std::string& form, int32_t id, int32_t pixels);
int32_t EZ_FONTHEIGHT(int32_t slot);  // pixels of a line in the font

// ---- Owner drawing (inside an event 300 or 920 handler)
struct EzDrawInfo {
    int32_t dc = 0;     // drawing context for the EZ_DC* calls
    int32_t item = 0;   // row of a list, column of a header, 0 for a button
    int32_t width = 0;  // pixels of the item
    int32_t height = 0;
    bool pushed = false;    // button held down
    bool focused = false;   // button has the keyboard focus
    bool selected = false;  // list row selected
};
// False when there is nothing to draw.
bool EZ_STARTOWNERDRAW(int32_t value, EzDrawInfo& info);
void EZ_ENDOWNERDRAW(int32_t value);
inline constexpr int32_t EZ_DRAW_FILL =
    1;  // filled in the background colour, edged in the foreground
inline constexpr int32_t EZ_DRAW_BOX = 2;   // unfilled rectangle in the foreground colour
inline constexpr int32_t EZ_DRAW_LINE = 3;  // line in the foreground colour
// Coordinates are inclusive pixels of the item; colours and font as last set
// with EZ_COLOR / EZ_USEFONT / EZ_USEIFONT.
void EZ_DCDRAW(int32_t dc, int32_t type, int32_t x1, int32_t y1, int32_t x2, int32_t y2,
               int32_t lineWidth);
void EZ_DCPRINT(int32_t dc, int32_t x, int32_t y, const std::string& text);
// Print format for EZ_DCPRINT: mode 2 clips the text to the box from (x, y) to
// (right, bottom). Flags: 16 centre horizontally, 32 one line centred
// vertically, 4 top-aligned lines; extra 16 ends a text that does not fit
// with an ellipsis, extra 32 makes "|" start a new line, extra 64 keeps the
// beginning and the end of a line that does not fit with an ellipsis
// between them. Mode 0 resets.
void EZ_SETPRINTFORMAT(int32_t mode, int32_t right, int32_t bottom, int32_t flags, int32_t extra);
void EZ_DCSAVESTATE(int32_t dc);
void EZ_DCRESTORESTATE(int32_t dc);

// ---- List view sorting and searching
// A list's column header was clicked; value: the column. (A tab control
// reports a change of tab with the same code, EZ_EV_TABCHANGED.)
inline constexpr int32_t EZ_EV_HEADERCLICK = 6;
void EZ_SORTLV(const std::string& form, int32_t id, int32_t column, int32_t descending);
// First row from 'from' whose cell in column equals text (any letter case), or -1.
int32_t EZ_FINDLVITEM(const std::string& form, int32_t id, int32_t column, const std::string& text,
                      int32_t from);
// Sizes every column to its widest cell, header included.
void EZ_SIZELISTVIEW(const std::string& form, int32_t id);

// ---- Clip list: owner-drawn list header, row choice, column sizing, gradients
// A list with owner-drawn rows and the "#" property has an owner-drawn header.
// Before each header section is painted the list is asked with event 920
// (value: the section's draw item); the handler may draw it there, or answer
// with EZ_SETEVENTVALUE(id) to have the section arrive as event 300 on
// control id instead (the header's own id, by convention the list's + 1).
// The draw item's item field is the column index, its origin the section's.
// Answers the event being delivered with a value (used by event 920).
void EZ_SETEVENTVALUE(int32_t value);
// The operator chose a list row (mouse or keys); value: the row, -1 for none.
inline constexpr int32_t EZ_EV_LVROWCHOSEN = 520;
// Sizes one column to the larger of its header caption and its widest cell.
void EZ_SIZELVCOLUMN(const std::string& form, int32_t id, int32_t column);
// Fills the box from (x1, y1) to (x2, y2) with a gradient between two colour
// slots: style 6 runs top to bottom, any other style left to right.
void EZ_DCGRADIENT(int32_t dc, int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t color1,
                   int32_t color2, int32_t style);

// ---- Device layer: list cell texts from the status thread, form enabling
// Sets a list cell text from any thread: at once on the GUI thread, otherwise
// queued to it, in order with EZ_SENDTHREADEVENT.
void EZ_POSTLVITEMTEXT(const std::string& form, int32_t id, int32_t row, int32_t column,
                       const std::string& text);
// Holds the calling thread's EZ_POSTLVITEMTEXT and EZ_SENDTHREADEVENT while
// on (calls nest): the GUI thread then takes a status pass's texts in one go
// instead of waking, and repainting, for each as it comes.
void EZ_HOLDPOSTS(int32_t on);
// Redraws what changed in the list rows whose cell texts were written since
// they were last looked at, and nothing else: the answer to the status
// thread's event, which rewrites the rows of the channels that changed.
void EZ_REDRAWLVWRITTEN(const std::string& form, int32_t id);
// Enables or disables a whole form (its controls stop taking input).
void EZ_ENABLEFORM(const std::string& form, int32_t on);

// ---- Setup window: list check boxes, tabs, the address editor, accelerators
// A list activated a row (double click, Return); value: the row.
inline constexpr int32_t EZ_EV_LVACTIVATE = 910;
// A tab control's tab changed; value: the new tab, counted from 1.
inline constexpr int32_t EZ_EV_TABCHANGED = 6;
// A list without owner-drawn rows asks with 315 before it paints whether the
// program colours its rows: cancel 1 means yes. Then each row painted is
// announced with 316 (value: the row) and the handler sets its colours with
// EZ_COLOR.
inline constexpr int32_t EZ_EV_CUSTOMDRAW = 316;
inline constexpr int32_t EZ_EV_CUSTOMDRAWNOTIFY = 315;
// An owner-drawn button is about to erase its background before event 300;
// cancel 1 leaves the background alone (the painter covers it).
inline constexpr int32_t EZ_EV_BUTTONERASE = 320;

// List item states (EZ_LVSETITEMSTATE): the state image lives in bits 12-15;
// image 1 is an unticked check box, 2 a ticked one.
inline constexpr int32_t EZ_LVIS_FOCUSED = 1;
inline constexpr int32_t EZ_LVIS_SELECTED = 2;
inline constexpr int32_t EZ_LVIS_STATEIMAGEMASK = 0xF000;
constexpr int32_t EZ_STATEIMAGE(int32_t image) {
    return image << 12;
}

// A list with the property "X" has a check box on every row.
// The state image of a row: 2 ticked, 1 unticked, 0 without check boxes.
int32_t EZ_LVGETITEMSTATEIMG(const std::string& form, int32_t id, int32_t row);
// Sets the bits of mask in a row's state to those of state (selected,
// focused, state image); row -1 means every row.
void EZ_LVSETITEMSTATE(const std::string& form, int32_t id, int32_t row, int32_t state,
                       int32_t mask);
int32_t EZ_LVGETITEMSTATE(const std::string& form, int32_t id, int32_t row, int32_t mask);
// Bounds of a row in list pixels (code 0 whole row, 1 icon, 2 label); false
// when the row does not exist.
bool EZ_LVGETITEMRECT(const std::string& form, int32_t id, int32_t row, int32_t code, int32_t& left,
                      int32_t& top, int32_t& right, int32_t& bottom);
bool EZ_LVGETITEMPOSITION(const std::string& form, int32_t id, int32_t row, int32_t& x, int32_t& y);
// Scrolls the rows by pixels.
void EZ_LVSCROLL(const std::string& form, int32_t id, int32_t dx, int32_t dy);
// Rows that fit in the visible part of the list.
int32_t EZ_LVCOUNTPERPAGE(const std::string& form, int32_t id);
// Scrolls a row into view.
void EZ_LVENSUREVISIBLE(const std::string& form, int32_t id, int32_t row);
// The next selected item after 'after' (-1: from the first) of a list view or
// a property list, or -1.
int32_t EZ_FINDNEXTSEL(const std::string& form, int32_t id, int32_t after);

// Tabs separated by "|". Reports EZ_EV_TABCHANGED when the operator changes tab.
void EZ_TABCONTROL(int32_t id, const std::string& tabs, double column, double row, double width,
                   double height, const std::string& props);
// The selected tab counted from 1; 0 when there is none.
int32_t EZ_GETTABSEL(const std::string& form, int32_t id);
void EZ_SETTABSEL(const std::string& form, int32_t id, int32_t tab);

// Combo box: chooses the item at index (from 0; -1 none); the chosen index.
void EZ_SETCOMBOINDEX(const std::string& form, int32_t id, int32_t index);
int32_t EZ_GETCOMBOINDEX(const std::string& form, int32_t id);

// Position of a control in form units.
void EZ_GETPOSC(const std::string& form, int32_t id, double& column, double& row);
// Removes a control from its form.
void EZ_REMOVECONTROL(const std::string& form, int32_t id);
// Creates a control of a platform window class on an existing form.
// "SysIPAddress32" is the four-octet address editor. False for an unknown class.
bool EZ_CREATECONTROL(const std::string& form, int32_t id, const std::string& windowClass,
                      double column, double row, double width, double height);

// Messages understood by EZ_SENDMESSAGE.
inline constexpr int32_t EZ_IPM_SETADDRESS = 1125;  // lparam: the packed address
// lparam: a uint32_t* that receives the packed address; the result is the
// number of octets filled in (0-4). Blank octets read as 0.
inline constexpr int32_t EZ_IPM_GETADDRESS = 1126;
inline constexpr int32_t EZ_IPM_CLEARADDRESS = 1124;
// To a property list with wparam 8: finish the edit in progress.
inline constexpr int32_t EZ_WM_VSCROLL = 277;
inline constexpr int32_t EZ_SB_ENDSCROLL = 8;
intptr_t EZ_SENDMESSAGE(const std::string& form, int32_t id, int32_t message, intptr_t wparam,
                        intptr_t lparam);

// Accelerators: "key,id|key,id|...", a key being a name ("Return", "ESC",
// "Space", "Tab", "BS", "Del", "F1".."F12", any letter case) or "#" and a
// virtual-key code in decimal. A key presses the control: it arrives as a
// click (event 1) on that id. Defining replaces the form's table.
void EZ_DEFACCEL(const std::string& form, const std::string& table);
// 1: the form's table is used while the form is active; 0: not used.
void EZ_SETACCELFORM(const std::string& form, int32_t on);

// ---- Property list (the Setup pages)
// Item texts: "label" alone is a header line; "label{D}value[a;b;c]" a drop-down;
// "label{T}value" free text; "label{B}value" a value with a button (event 82);
// "{C}" colour and "{F}" file items ("label{F}value[filters]") are accepted.
inline constexpr int32_t EZ_EV_PLBUTTON = 82;    // value: the item
inline constexpr int32_t EZ_EV_PLCHANGED = 976;  // value: the item
void EZ_PLISTBOX(int32_t id, const std::string& items, double column, double row, double width,
                 double height, const std::string& props);
// Composes an item text; kind is "D", "T", "B", "C" or "F", or empty for a header.
std::string EZ_DEFPLINFO(const std::string& label, const std::string& value,
                         const std::string& choices, const std::string& kind, int32_t flags);
// Splits an item text; kind empty for a header.
void EZ_GETPLINFO(const std::string& item, std::string& label, std::string& value,
                  std::string& choices, std::string& kind);
// Change bracket: items added inside it are shown once, at EZ_ENDCC.
void EZ_STARTCC(const std::string& form, int32_t id);
void EZ_ENDCC(const std::string& form, int32_t id);
// Adds items separated by "|" at the end.
void EZ_ADDITEMS(const std::string& form, int32_t id, const std::string& items);
// Adds one item at the end, taken whole even when its value holds a "|".
void EZ_ADDITEM(const std::string& form, int32_t id, const std::string& item);
void EZ_CLEAR(const std::string& form, int32_t id);
// Index of the last item, -1 when empty.
int32_t EZ_FINDLAST(const std::string& form, int32_t id);
// The whole item text with its current value; empty for a missing item.
std::string EZ_GETITEMTEXT(const std::string& form, int32_t id, int32_t index);
// Label and index of the item being edited or last edited; empty and -1 for none.
std::string EZ_GETCURRENTPROPNAME(const std::string& form, int32_t id);
int32_t EZ_GETCURRENTPROPINDEX(const std::string& form, int32_t id);
