#include "shell/form_info.h"

#include "shell/text.h"

namespace tarvolen {

cFormInfo::cFormInfo() : slots_(kInitialSlots) {}

std::ptrdiff_t cFormInfo::Find(std::string_view key) const {
    std::string upper = ToUpper(key);
    std::ptrdiff_t found = -1;
    for (size_t i = 0; i < slots_.size(); ++i) {
        if (slots_[i].key == upper) found = static_cast<std::ptrdiff_t>(i);
    }
    return found;
}

size_t cFormInfo::Add(std::string_view key) {
    // Growing on every add keeps the table's behaviour as it always was; a
    // new key is added once per distinct key, and the program uses a handful.
    slots_.resize(slots_.size() + kGrowth);
    size_t i = 0;
    while (!slots_[i].key.empty()) ++i;  // the 100 new slots are empty
    slots_[i].key = ToUpper(key);
    return i;
}

size_t cFormInfo::FindOrAdd(std::string_view key) {
    std::ptrdiff_t found = Find(key);
    return found >= 0 ? static_cast<size_t>(found) : Add(key);
}

void cFormInfo::SetText(std::string_view key, std::string_view text) {
    slots_[FindOrAdd(key)].text = std::string(text);
}

std::string cFormInfo::GetText(std::string_view key) const {
    std::ptrdiff_t found = Find(key);
    return found >= 0 ? slots_[static_cast<size_t>(found)].text : std::string();
}

void cFormInfo::SetNumber(std::string_view key, int32_t number) {
    slots_[FindOrAdd(key)].number = number;
}

int32_t cFormInfo::GetNumber(std::string_view key) const {
    std::ptrdiff_t found = Find(key);
    return found >= 0 ? slots_[static_cast<size_t>(found)].number : 0;
}

}  // namespace tarvolen
