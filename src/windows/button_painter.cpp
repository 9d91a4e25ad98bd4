#include "windows/button_painter.h"

#include "shell/globals.h"
#include "shell/settings.h"
#include "shell/text.h"
#include "shell/toolkit.h"

namespace tarvolen {

ButtonColors ButtonLook(const std::string& form, int32_t id, bool pushed, bool hotWithRightButton) {
    const std::string name = ToLower(form);
    // Most buttons: dark face, light caption, swapped while held.
    ButtonColors look{61, 61, 60, 61, "Segoe UI", 12, "BV"};
    if (pushed) look = {60, 60, 61, 60, "Segoe UI", 12, "BV"};
    if (name == "main") {
        switch (id) {
            case 160:  // Step
                if (g_StepMode)
                    look.fillForeground = 60, look.fillBackground = 70;
                else if (pushed)
                    look.fillForeground = 60, look.fillBackground = 60;
                else
                    look.fillForeground = 61, look.fillBackground = 61;
                if (pushed || hotWithRightButton)
                    look.captionForeground = 61, look.captionBackground = 60;
                else
                    look.captionForeground = 60, look.captionBackground = 61;
                break;
            case 115:
            case 120:
            case 125:
            case 130:
            case 135:
            case 145:
                look.face = "Webdings", look.points = 18, look.props = "BSV";
                break;
            case 150:
                look.face = "Webdings", look.points = 32, look.props = "BSV";
                break;
            case 155:
                look.face = "Wingdings", look.points = 12, look.props = "L+SV";
                break;
            case 140:  // Record
                look = pushed ? ButtonColors{0, 4, 0, 4, "Segoe UI", 12, "BV"}
                              : ButtonColors{4, 0, 4, 0, "Segoe UI", 12, "BV"};
                break;
            case 170:  // Setup
                look = pushed ? ButtonColors{4, 4, 0, 4, "Segoe UI", 12, "BV"}
                              : ButtonColors{61, 0, 4, 0, "Segoe UI", 12, "BV"};
                break;
            default:
                break;
        }
        return look;
    }
    if (name == "setup" || name == "tcentry") {
        look.fillForeground = 61, look.fillBackground = 0;
        int32_t lines = g_Settings ? g_Settings->TrackLines() : 3;
        if ((id == 120 && lines == 2) || (id == 130 && lines == 3))
            look.fillForeground = 61, look.fillBackground = 61;
        if (pushed) look.fillForeground = 60, look.fillBackground = 60;
        return look;
    }
    if (name == "ipaddress" || name == "cliplist") {
        if (!pushed) look.fillForeground = 61, look.fillBackground = 0;
        return look;
    }
    return look;
}

namespace {

// "&Load" reads "Load": a single "&" marks the key letter, "&&" is an "&".
std::string WithoutKeyMarks(const std::string& caption) {
    std::string out;
    for (size_t i = 0; i < caption.size(); ++i) {
        if (caption[i] == '&' && i + 1 < caption.size()) {
            out += caption[++i];
        } else if (caption[i] != '&') {
            out += caption[i];
        }
    }
    return out;
}

}  // namespace

void PaintButton(const std::string& form, int32_t id, int32_t drawValue,
                 const std::string& caption) {
    EzDrawInfo info;
    if (!EZ_STARTOWNERDRAW(drawValue, info)) return;
    bool hot = EZ_ISHOT(form, id) && EZ_GETKEYSTATE(2, 1);
    ButtonColors look = ButtonLook(form, id, info.pushed, hot);
    EZ_USEIFONT(look.face, look.points, look.props);
    EZ_COLOR(look.fillForeground, look.fillBackground);
    EZ_DCDRAW(info.dc, EZ_DRAW_FILL, 0, 0, info.width, info.height, 1);
    EZ_COLOR(look.captionForeground, look.captionBackground);
    // The Record button always reads "record", whatever its caption holds.
    bool record = ToLower(form) == "main" && id == 140;
    // Captions like "Select All|Channels" are two lines; symbol captions stack their own.
    const bool twoLines = caption.find('|') != std::string::npos && ToLower(form) != "main";
    EZ_SETPRINTFORMAT(2, info.width, info.height, 48, twoLines ? 32 : 0);
    EZ_DCPRINT(info.dc, 0, 0, record ? "record" : WithoutKeyMarks(caption));
    EZ_SETPRINTFORMAT(0, 0, 0, 0, 0);
    // Where Return and Space would land: a frame inside the edge, in the caption's colour.
    if (info.focused) {
        EZ_COLOR(look.captionForeground, -1);
        EZ_DCDRAW(info.dc, EZ_DRAW_BOX, 3, 3, info.width - 4, info.height - 4, 2);
    }
    EZ_ENDOWNERDRAW(drawValue);
}

}  // namespace tarvolen
