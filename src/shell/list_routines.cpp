#include "shell/list_routines.h"

#include "shell/toolkit.h"

namespace tarvolen {

void ClearListSelection(const std::string& form, int32_t id) {
    if (id < 1 || EZ_HANDLE(form, id) == 0) return;
    const int32_t count = EZ_GETLVCOUNT(form, id);
    if (count <= 0 || EZ_FINDNEXTSEL(form, id, -1) < 0) return;
    for (int32_t row = 0; row < count; ++row) EZ_LVSETITEMSTATE(form, id, row, 0, EZ_LVIS_SELECTED);
    for (int32_t row = 0; row < count; ++row) EZ_LVSETITEMSTATE(form, id, row, 0, EZ_LVIS_FOCUSED);
    EZ_DOEVENTS(10);
}

void SelectAndCentre(const std::string& form, int32_t id, int32_t index) {
    if (id < 1 || form.empty() || EZ_HANDLE(form, id) == 0) return;
    if (index < 0 || index >= EZ_GETLVCOUNT(form, id)) return;
    EZ_SETLVSEL(form, id, index);
    EZ_LVENSUREVISIBLE(form, id, index);
    int32_t left = 0, top = 0, right = 0, bottom = 0;
    if (!EZ_LVGETITEMRECT(form, id, index, 0, left, top, right, bottom)) return;
    const int32_t rowHeight = bottom - top;
    if (rowHeight <= 0) return;
    const int32_t rows = (top - 20) / rowHeight - EZ_LVCOUNTPERPAGE(form, id) / 2;
    if (rows >= 0) EZ_LVSCROLL(form, id, 0, rows * rowHeight);
}

}  // namespace tarvolen
