// The owner-draw routine that paints the buttons of every window.
#pragma once

#include <cstdint>
#include <string>

namespace tarvolen {

struct ButtonColors {
    int32_t fillForeground, fillBackground;
    int32_t captionForeground, captionBackground;
    std::string face;
    double points;
    std::string props;
};

// The font and colours a button is painted in. hotWithRightButton: the mouse
// is over the button while the right button is held.
ButtonColors ButtonLook(const std::string& form, int32_t id, bool pushed, bool hotWithRightButton);

// Answers event 300 of a button: fill, centred caption.
void PaintButton(const std::string& form, int32_t id, int32_t drawValue,
                 const std::string& caption);

}  // namespace tarvolen
