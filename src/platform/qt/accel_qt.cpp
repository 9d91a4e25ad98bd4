// Accelerator tables: keys that press a form's controls, read before the
// focused control sees the key.
#include <QAbstractButton>
#include <QApplication>
#include <QKeyEvent>
#include <QPointer>
#include <algorithm>
#include <cctype>
#include <map>
#include <optional>

#include "platform/qt/backend.h"
#include "shell/text.h"

namespace tarvolen::qt {
namespace {

struct Accelerator {
    int32_t key;  // Windows virtual-key code
    int32_t id;
};

struct FormAccelerators {
    QPointer<FormWindow> window;  // the form's window the table was defined for
    std::vector<Accelerator> table;
    bool on = false;
    bool holdsEverywhere = false;  // switched on with 2: no focused button takes Return
};

// By form name in upper case.
std::map<std::string, FormAccelerators>& Tables() {
    static std::map<std::string, FormAccelerators> tables;
    return tables;
}

constexpr int32_t kVkBack = 8, kVkTab = 9, kVkReturn = 13, kVkEscape = 27, kVkSpace = 32;
constexpr int32_t kVkDelete = 46, kVkF1 = 112;

std::optional<int32_t> Decimal(const std::string& text) {
    if (text.empty() || text.size() > 9) return std::nullopt;
    if (!std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isdigit(c); }))
        return std::nullopt;
    return std::stoi(text);
}

std::optional<int32_t> KeyOfName(const std::string& written) {
    std::string name = ToUpper(CleanText(written));
    if (name.size() > 1 && name[0] == '#') {
        auto code = Decimal(name.substr(1));
        if (code && *code >= 1 && *code <= 254) return code;
        return std::nullopt;
    }
    static const std::map<std::string, int32_t> named = {
        {"RETURN", kVkReturn}, {"ENTER", kVkReturn}, {"ESC", kVkEscape}, {"ESCAPE", kVkEscape},
        {"SPACE", kVkSpace},   {"TAB", kVkTab},      {"BS", kVkBack},    {"BACKSPACE", kVkBack},
        {"DEL", kVkDelete},    {"DELETE", kVkDelete}};
    if (auto it = named.find(name); it != named.end()) return it->second;
    if (name.size() >= 2 && name[0] == 'F') {
        auto n = Decimal(name.substr(1));
        if (n && *n >= 1 && *n <= 12) return kVkF1 + *n - 1;
        return std::nullopt;
    }
    // A letter or a digit names its own key.
    if (name.size() == 1 && std::isalnum(static_cast<unsigned char>(name[0]))) return name[0];
    return std::nullopt;
}

// Entries that cannot be read are left out; the rest keep their order.
std::vector<Accelerator> ParseTable(const std::string& text) {
    std::vector<Accelerator> table;
    size_t start = 0;
    while (start <= text.size()) {
        size_t bar = text.find('|', start);
        std::string entry =
            text.substr(start, bar == std::string::npos ? std::string::npos : bar - start);
        size_t comma = entry.find(',');
        if (comma != std::string::npos) {
            auto key = KeyOfName(entry.substr(0, comma));
            auto id = Decimal(CleanText(entry.substr(comma + 1)));
            if (key && id) table.push_back({*key, *id});
        }
        if (bar == std::string::npos) break;
        start = bar + 1;
    }
    return table;
}

// Keys other than letters, digits and function keys, with the virtual-key
// code a Windows keyboard reports for them off and on the numeric pad
// (0: none there). Some layouts put a comma on the pad's decimal key.
struct KeyCode {
    int key;
    int32_t code;
    int32_t padCode;
};
// clang-format off
constexpr KeyCode kKeyCodes[] = {
    {Qt::Key_Return, kVkReturn, kVkReturn},  {Qt::Key_Enter, kVkReturn, kVkReturn},
    {Qt::Key_Escape, kVkEscape, kVkEscape},  {Qt::Key_Space, kVkSpace, kVkSpace},
    {Qt::Key_Tab, kVkTab, kVkTab},           {Qt::Key_Backtab, kVkTab, kVkTab},
    {Qt::Key_Backspace, kVkBack, kVkBack},   {Qt::Key_Delete, kVkDelete, kVkDelete},
    {Qt::Key_Insert, 45, 45},                {Qt::Key_PageUp, 33, 33},
    {Qt::Key_PageDown, 34, 34},              {Qt::Key_End, 35, 35},
    {Qt::Key_Home, 36, 36},                  {Qt::Key_Left, 37, 37},
    {Qt::Key_Up, 38, 38},                    {Qt::Key_Right, 39, 39},
    {Qt::Key_Down, 40, 40},                  {Qt::Key_Asterisk, 0, 106},
    {Qt::Key_Plus, 187, 107},                {Qt::Key_Equal, 187, 187},
    {Qt::Key_Minus, 189, 109},               {Qt::Key_Underscore, 189, 189},
    {Qt::Key_Period, 190, 110},              {Qt::Key_Greater, 190, 190},
    {Qt::Key_Comma, 188, 110},               {Qt::Key_Less, 188, 188},
    {Qt::Key_Slash, 191, 111},               {Qt::Key_Question, 191, 191},
    {Qt::Key_Semicolon, 186, 186},           {Qt::Key_Colon, 186, 186},
    {Qt::Key_QuoteLeft, 192, 192},           {Qt::Key_AsciiTilde, 192, 192},
    {Qt::Key_BracketLeft, 219, 219},         {Qt::Key_BraceLeft, 219, 219},
    {Qt::Key_Backslash, 220, 220},           {Qt::Key_Bar, 220, 220},
    {Qt::Key_BracketRight, 221, 221},        {Qt::Key_BraceRight, 221, 221},
    {Qt::Key_Apostrophe, 222, 222},          {Qt::Key_QuoteDbl, 222, 222},
};
// clang-format on

// The virtual-key code of a key event; 0 for keys that have none here.
int32_t VirtualKey(const QKeyEvent& e) {
    const int key = e.key();
    const bool pad = e.modifiers() & Qt::KeypadModifier;
    if (key >= Qt::Key_0 && key <= Qt::Key_9) return (pad ? 96 : 48) + (key - Qt::Key_0);
    if (key >= Qt::Key_A && key <= Qt::Key_Z) return 65 + (key - Qt::Key_A);
    if (key >= Qt::Key_F1 && key <= Qt::Key_F24) return kVkF1 + (key - Qt::Key_F1);
    for (const KeyCode& k : kKeyCodes) {
        if (k.key == key) return pad ? k.padCode : k.code;
    }
    return 0;
}

// The control a key presses on the form that owns the widget, or 0.
int32_t AcceleratedControl(QWidget* target, const QKeyEvent& e, std::string& formName) {
    // Keys held with Ctrl, Alt or Meta stay with the control (shortcuts, mnemonics).
    if (e.modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) return 0;
    auto* window = dynamic_cast<FormWindow*>(target->window());
    if (!window) return 0;
    auto it = Tables().find(window->FormName());
    if (it == Tables().end() || !it->second.on || it->second.window != window) return 0;
    int32_t key = VirtualKey(e);
    if (key == 0) return 0;
    // Return on a focused button of the form presses that button, as in any
    // dialog, rather than the one the table names.
    if (key == 13 && !it->second.holdsEverywhere && qobject_cast<QAbstractButton*>(target)) {
        if (Form* form = B().FindForm(window->FormName())) {
            for (auto& c : form->controls) {
                if (c->widget == target && target->isEnabled()) {
                    formName = window->FormName();
                    return c->id;
                }
            }
        }
    }
    for (const Accelerator& a : it->second.table) {
        if (a.key != key) continue;
        // A disabled control is not pressed; the key goes on as if unbound.
        Control* c = B().FindControl(window->FormName(), a.id);
        if (c && c->widget && !c->widget->isEnabled()) return 0;
        formName = window->FormName();
        return a.id;
    }
    return 0;
}

// Sees every key before the widget it is meant for, so an accelerator wins
// over what the focused control, a shortcut or the form would do with it.
class AcceleratorFilter : public QObject {
  public:
    using QObject::QObject;

  protected:
    bool eventFilter(QObject* watched, QEvent* e) override {
        if (e->type() != QEvent::KeyPress && e->type() != QEvent::ShortcutOverride) return false;
        // Key events also pass through the platform window on their way to the
        // focused widget; only the widget's delivery counts.
        auto* target = qobject_cast<QWidget*>(watched);
        if (!target || Tables().empty()) return false;
        auto* key = static_cast<QKeyEvent*>(e);
        std::string form;
        int32_t id = AcceleratedControl(target, *key, form);
        if (id == 0) return false;
        key->accept();
        // Claiming the override keeps shortcuts off the key; the press follows.
        if (e->type() == QEvent::KeyPress) B().Fire(form, id, EZ_EV_CLICK, 0);
        return true;
    }
};

FormAccelerators* TableOf(const std::string& formName) {
    Form* form = B().FindForm(formName);
    if (!form || !form->window || !QCoreApplication::instance()) return nullptr;
    static QPointer<AcceleratorFilter> filter;
    if (!filter) {
        filter = new AcceleratorFilter(QCoreApplication::instance());
        QCoreApplication::instance()->installEventFilter(filter);
    }
    auto& tables = Tables();
    // Tables of forms that are gone go with them.
    std::erase_if(tables, [](const auto& entry) { return entry.second.window.isNull(); });
    FormAccelerators& entry = tables[form->name];
    if (entry.window != form->window) entry = FormAccelerators{form->window.data(), {}, false};
    return &entry;
}

}  // namespace
}  // namespace tarvolen::qt

using namespace tarvolen::qt;

void EZ_DEFACCEL(const std::string& form, const std::string& table) {
    if (FormAccelerators* entry = TableOf(form)) entry->table = ParseTable(table);
}

void EZ_SETACCELFORM(const std::string& form, int32_t on) {
    if (FormAccelerators* entry = TableOf(form)) {
        entry->on = on != 0;
        entry->holdsEverywhere = on == 2;
    }
}
