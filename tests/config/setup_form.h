// A stand-in for the Setup form with the controls the pages use (channel
// grid with check boxes, tabs, property list, naming help, preset label), on
// the real Qt backend, and the operator's edits of the property list.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "config/pages.h"
#include "platform/qt/qt_seam.h"
#include "shell/toolkit.h"

namespace tarvolen::setupform {

inline void OpenSetupForm(int32_t selected,
                          std::function<void(int32_t id, int32_t code)> events = {}) {
    qt::EnsureApplication(0, nullptr);
    qt::SetCallbacks(
        [events](const std::string&, int32_t id, int32_t code, int32_t, int32_t&) {
            if (events) events(id, code);
        },
        [](const std::string& form) {
            if (form != "SETUP") return;
            EZ_LISTVIEW(kSetupChannelGrid, "Num{6}|Name{15}{C}", 15.75, 0.4375, 47, 29.5625,
                        "-#STVX");
            EZ_TABCONTROL(kSetupTabs, "Inputs|Encoders|Projects|Master Aud|Proxy Aud", 65, 0.4375,
                          41.25, 34, "T");
            EZ_PLISTBOX(kSetupPropertyList, "", 65.625, 1.75, 40.75, 10.25, "STV");
            EZ_LABEL(kSetupNamingHelp, "help", 66, 17, 39.625, 17, "HL");
            EZ_LABEL(kSetupLastPreset, "Audio Presets", 66.5, 29.375, 38.5, 2, "CH");
        });
    EZ_FORM("SETUP", "", "Setup", 0, 0, 109, 35, "");
    for (int row = 0; row < 24; ++row) {
        EZ_ADDLVITEM("SETUP", kSetupChannelGrid, std::to_string(row + 1), -1);
    }
    if (selected >= 0) EZ_SETLVSEL("SETUP", kSetupChannelGrid, selected);
}

inline std::vector<std::string> PageItems() {
    std::vector<std::string> out;
    const int32_t last = EZ_FINDLAST("setup", kSetupPropertyList);
    for (int32_t i = 0; i <= last; ++i) {
        out.push_back(EZ_GETITEMTEXT("setup", kSetupPropertyList, i));
    }
    return out;
}

// The operator's edit: the occurrence-th item labelled label gets value.
inline void EditItem(const std::string& label, int occurrence, const std::string& value) {
    std::vector<std::string> items = PageItems();
    int seen = 0;
    bool done = false;
    for (std::string& item : items) {
        std::string l, v, choices, kind;
        EZ_GETPLINFO(item, l, v, choices, kind);
        if (l == label && seen++ == occurrence) {
            item = EZ_DEFPLINFO(l, value, choices, kind, 0);
            done = true;
        }
    }
    ASSERT_TRUE(done) << label;
    EZ_CLEAR("setup", kSetupPropertyList);
    for (const std::string& item : items) EZ_ADDITEM("setup", kSetupPropertyList, item);
}

}  // namespace tarvolen::setupform
