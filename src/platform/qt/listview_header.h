// The owner-drawn header of a list view: each section is handed to the
// program to draw, through the list's header-draw question.
#pragma once

#include <cstdint>
#include <string>

class QHeaderView;
class QWidget;

namespace tarvolen::qt {

QHeaderView* MakeOwnerDrawnHeader(const std::string& form, int32_t listId, QWidget* parent);

}  // namespace tarvolen::qt
