// The form value store: named slots through which one window leaves a result
// for another. Keys are held in upper case, so any letter case finds a slot.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tarvolen {

class cFormInfo {
  public:
    static constexpr size_t kInitialSlots = 101;
    static constexpr size_t kGrowth = 100;

    cFormInfo();

    void SetText(std::string_view key, std::string_view text);
    std::string GetText(std::string_view key) const;
    void SetNumber(std::string_view key, int32_t number);
    int32_t GetNumber(std::string_view key) const;

    size_t SlotCount() const { return slots_.size(); }

  private:
    struct Slot {
        std::string key;
        std::string text;
        int32_t number = 0;
    };
    // The last slot whose key matches, or -1.
    std::ptrdiff_t Find(std::string_view key) const;
    size_t Add(std::string_view key);
    size_t FindOrAdd(std::string_view key);

    std::vector<Slot> slots_;
};

}  // namespace tarvolen
