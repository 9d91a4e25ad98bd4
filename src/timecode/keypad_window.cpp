#include "timecode/keypad_window.h"

#include <string_view>

#include "shell/form_info.h"
#include "shell/globals.h"
#include "shell/text.h"
#include "shell/toolkit.h"
#include "timecode/tc_math.h"

namespace tarvolen {
namespace {

constexpr const char* kResultKey = "TcEntry";

// Buttons of the keypad; digit d is button 110 + 5 d.
constexpr int32_t kDigitZero = 110;
constexpr int32_t kDigitNine = 155;
constexpr int32_t kMinus = 160;
constexpr int32_t kPlus = 165;
constexpr int32_t kDoubleZero = 170;
constexpr int32_t kBackspace = 175;
constexpr int32_t kHideKeypad = 180;
constexpr int32_t kTcBuffers = 185;
constexpr int32_t kClear = 190;

// Key codes of the keypad routine.
constexpr int32_t kKeyBackspace = 8;
constexpr int32_t kKeyPlus = 107;
constexpr int32_t kKeyMinus = 109;
constexpr int32_t kKeyDoubleZero = 190;

constexpr int32_t DigitButton(int32_t digit) {
    return kDigitZero + 5 * digit;
}

constexpr bool IsDigitButton(int32_t id) {
    return id >= kDigitZero && id <= kDigitNine && (id - kDigitZero) % 5 == 0;
}

std::string WithoutAny(std::string_view text, std::string_view unwanted) {
    std::string out;
    for (char c : text) {
        if (unwanted.find(c) == std::string_view::npos) out += c;
    }
    return out;
}

std::string LastCharacters(const std::string& text, size_t count) {
    return text.size() > count ? text.substr(text.size() - count) : text;
}

void Close(const std::string& result) {
    if (g_FormInfo) g_FormInfo->SetText(kResultKey, result);
    EZ_UNLOADFORM(kTcEntryForm);
}

void Confirm() {
    if (!g_TcMath) return;
    Close(g_TcMath->FormatEntry(EZ_GETTEXT(kTcEntryForm, kTcEntryDisplay), 1));
}

void FormEvent(int32_t code) {
    switch (code) {
        case EZ_EV_CREATED:
            EZ_ALLOWKEYEVENTS(2);
            break;
        case EZ_EV_STARTED:
            EZ_SETTEXT(kTcEntryForm, kTcEntryDisplay, "");
            break;
        case EZ_EV_SHOWN:
            if (g_FormInfo) g_FormInfo->SetText(kResultKey, "");
            DefineTcAccelerators();
            break;
        default:
            break;
    }
}

}  // namespace

std::string OpenTcEntry(const std::string& parent) {
    if (!g_TcMath || !g_FormInfo) return {};
    // A result left by an earlier opening must not read as this one's.
    g_FormInfo->SetText(kResultKey, "");
    EZ_COLOR(0, 0);
    EZ_FORM("TCENTRY", parent, "Set In", 0, 0, 25, 8, "CMR");
    return g_FormInfo->GetText(kResultKey);
}

void DesignTcEntry() {
    EZ_COLOR(22, 0);
    EZ_USEIFONT("Tahoma", 18, "L+V");
    EZ_LABEL(kTcEntryDisplay, "00:00:00:00", 3, 1, 19.375, 2.125, "S");

    EZ_COLOR(15, 0);
    EZ_USEFONT(8);
    EZ_SETTHEME(0);
    EZ_ODBUTTON(kTcEntryOk, "&Ok", 3, 4.5, 7.875, 2.1875, "T");
    EZ_ODBUTTON(kTcEntryCancel, "&Cancel", 14.625, 4.5, 7.875, 2.1875, "T");
    EZ_SETTHEME(1);

    // Below the form's height: the keypad is worked from the keyboard.
    EZ_COLOR(0, 31);
    EZ_USEFONT(4);
    EZ_SETAUTOSIZE("CT");
    EZ_CHECKBOX(kHideKeypad, "Hide Keypad", 1.875, 9.5625, 10.625, 1, "T");
    EZ_CHECKBOX(kTcBuffers, "TC Buffers", 15.125, 9.5625, 8.625, 1, "T");

    EZ_COLOR(-1, -1);
    EZ_USEFONT(8);
    constexpr double kColumns[] = {3.125, 8.125, 13.125, 18.125};
    struct Row {
        double row;
        int32_t ids[4];
        const char* captions[4];
    };
    constexpr Row kRows[] = {
        {13.25, {DigitButton(7), DigitButton(8), DigitButton(9), kMinus}, {"7", "8", "9", "-"}},
        {15.1875, {DigitButton(4), DigitButton(5), DigitButton(6), kPlus}, {"4", "5", "6", "+"}},
        {17.125,
         {DigitButton(1), DigitButton(2), DigitButton(3), kBackspace},
         {"1", "2", "3", "BS"}},
    };
    for (const Row& r : kRows) {
        for (int i = 0; i < 4; ++i)
            EZ_BUTTON(r.ids[i], r.captions[i], kColumns[i], r.row, 4.25, 1.6875, "T");
    }
    EZ_BUTTON(DigitButton(0), "0", 3.125, 19.0625, 9.125, 1.6875, "T");
    EZ_BUTTON(kDoubleZero, "00", 13.125, 19.0625, 9.25, 1.6875, "T");
    EZ_USEFONT(4);
    EZ_BUTTON(kClear, "Clear", 18, 19, 6.875, 2.125, "T");
}

void TcEntryEvent(int32_t id, int32_t code, int32_t value, int32_t& cancel) {
    (void)value, (void)cancel;
    const bool click = code == EZ_EV_CLICK;
    switch (id) {
        case 0:
            FormEvent(code);
            return;
        case kTcEntryOk:
            if (click) Confirm();
            return;
        case kTcEntryCancel:
            if (click) Close("");
            return;
        case kMinus:
            if (click || code == EZ_EV_POSTED) KeypadKey(kKeyMinus);
            return;
        case kPlus:
            if (click) KeypadKey(kKeyPlus);
            return;
        case kDoubleZero:
            if (click) KeypadKey(kKeyDoubleZero);
            return;
        case kBackspace:
            if (click) KeypadKey(kKeyBackspace);
            return;
        case kHideKeypad:
        case kTcBuffers:
        case kClear:
        case kTcEntryDisplay:
            return;
        default:
            break;
    }
    if (IsDigitButton(id)) {
        if (click) KeypadKey('0' + (id - kDigitZero) / 5);
        return;
    }
    FormEvent(code);
}

void KeypadKey(int32_t key) {
    if (!g_TcMath) return;
    std::string text = WithoutAny(EZ_GETTEXT(kTcEntryForm, kTcEntryDisplay), ":;,.");
    std::string sign;
    if (text.find('-') != std::string::npos) sign = "-";
    if (text.find('+') != std::string::npos) sign = "+";
    text = WithoutAny(text, "-+");
    // The digits as a number: no leading zeros, at most the last eight.
    text = LastCharacters(std::to_string(LeadingNumber(text)), 8);
    if (LeadingNumber(text) == 0) text.clear();
    if (key >= '0' && key <= '9') {
        text += char(key);
    } else if (key == kKeyDoubleZero) {
        text += "00";
    } else if (key == kKeyPlus) {
        sign = "+";
    } else if (key == kKeyMinus) {
        sign = "-";
    } else if (key == kKeyBackspace && !text.empty()) {
        text.pop_back();
    }
    EZ_SETTEXT(kTcEntryForm, kTcEntryDisplay, sign + g_TcMath->FormatEntry(text, 0));
}

void DefineTcAccelerators() {
    std::string table =
        "Return,105|ESC,2|#107,165|#109,160|#187,165|#189,160|#190,170|#110,170|#8,175";
    for (int32_t digit = 0; digit <= 9; ++digit)
        table += "|#" + std::to_string(48 + digit) + "," + std::to_string(DigitButton(digit));
    for (int32_t digit = 0; digit <= 9; ++digit)
        table += "|#" + std::to_string(96 + digit) + "," + std::to_string(DigitButton(digit));
    table += "|Space,190";
    EZ_DEFACCEL(kTcEntryForm, table);
    // Return is "&Ok" wherever Tab has moved the focus.
    EZ_SETACCELFORM(kTcEntryForm, 2);
}

}  // namespace tarvolen
