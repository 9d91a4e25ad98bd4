// Inside of the Qt toolkit backend: the form and control registry, slot
// tables and event delivery shared by the backend's source files.
#pragma once

#include <QColor>
#include <QEventLoop>
#include <QFont>
#include <QPointer>
#include <QRect>
#include <QString>
#include <QWidget>
#include <algorithm>
#include <cctype>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "shell/toolkit.h"

class QMenuBar;
class QTimer;

namespace tarvolen::qt {

// Texts are single bytes: each byte is the character of the same code
// (Latin-1), so whatever bytes go into a control come back unchanged. Every
// text entering or leaving Qt passes through these two.
inline QString ToQ(const std::string& text) {
    return QString::fromLatin1(text.data(), qsizetype(text.size()));
}
// A character beyond one byte (typed or pasted by the operator) becomes "?".
inline std::string FromQ(const QString& text) {
    const QByteArray bytes = text.toLatin1();
    return std::string(bytes.constData(), size_t(bytes.size()));
}

inline constexpr int kColumnPixels = 8;
inline constexpr int kRowPixels = 16;

QRect UnitsToPixels(double column, double row, double width, double height);
double PixelsToColumns(int pixels);
double PixelsToRows(int pixels);

// A font as the program named it; faces are mapped to installed ones, and the
// symbol faces are drawn as icons.
struct FontSpec {
    std::string face;
    double points = 10;
    std::string props;
    QFont font;
    QString key;          // font.key(), made once: texts are looked up by it
    bool symbol = false;  // "Webdings" / "Wingdings": captions are icons
    bool wingdings = false;
};
FontSpec MakeFont(const std::string& face, double points, const std::string& props);

struct Control {
    int32_t id = 0;
    int32_t handle = 0;
    QPointer<QWidget> widget;
    std::string kind;
    std::string autosize;
    QRect design;  // pixels at creation
    int32_t foreground = -1;
    int32_t background = -1;
    FontSpec font;
    bool subclassed = false;
    bool tooltip = false;
};

// A control that answers EZ_FINDNEXTSEL and EZ_SENDMESSAGE itself (list
// views, property lists, the address editor).
class MessageTarget {
  public:
    virtual ~MessageTarget() = default;
    virtual int32_t FindNextSelected(int32_t after) const {
        (void)after;
        return -1;
    }
    virtual intptr_t Message(int32_t message, intptr_t wparam, intptr_t lparam) {
        (void)message, (void)wparam, (void)lparam;
        return 0;
    }
};

class FormWindow;

struct Form {
    std::string name;  // upper case
    int32_t handle = 0;
    QPointer<FormWindow> window;
    std::vector<std::unique_ptr<Control>> controls;
    QSize designClient;
    bool modal = false;
    bool shownOnce = false;
    bool shownHandled = false;   // the program has handled its shown event
    QEventLoop* loop = nullptr;  // on EZ_FORM's stack while a modal form runs
    QMenuBar* menuBar = nullptr;
    std::map<int32_t, QTimer*> timers;
    // Dialog keys (message boxes): Return presses the default button when no
    // button has the focus, Esc presses the cancel button, or closes the form
    // when it is 0.
    bool dialogKeys = false;
    int32_t defaultButton = 0;
    int32_t cancelButton = 0;

    Control* Find(int32_t id) const;
};

// The window of a form.
class FormWindow : public QWidget {
  public:
    FormWindow(std::string name, QWidget* parent);
    const std::string& FormName() const { return name_; }
    // Set while the program closes the form itself, so no close event is asked.
    bool unloading = false;

  protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

  private:
    std::string name_;
};

class Backend {
  public:
    static Backend& Get();

    EzEventProc event;
    EzDesignProc design;

    // Delivers an event to the program; returns the cancel flag.
    int32_t Fire(const std::string& form, int32_t id, int32_t code, int32_t value);

    Form* FindForm(const std::string& name);
    Control* FindControl(const std::string& form, int32_t id);
    // Call when a form or a control comes or goes.
    void ControlsChanged() { ++controlsGeneration_; }
    QWidget* HandleWidget(int32_t handle);
    int32_t NewHandle(QWidget* widget);
    void Unload(const std::string& name);
    void Relayout(Form& form);

    // Adds a control to the form being designed with the creation settings.
    Control& AddControl(int32_t id, const std::string& kind, QWidget* widget, double column,
                        double row, double width, double height);
    Form* Designing() { return designing_.empty() ? nullptr : designing_.back(); }

    QColor Color(int32_t slot, const QColor& fallback = QColor()) const;
    void DefineColor(int32_t slot, const QColor& color);
    const FontSpec* Font(int32_t slot) const;
    void DefineFont(int32_t slot, FontSpec font);

    // Creation and drawing settings.
    int32_t foreground = -1;
    int32_t background = -1;
    FontSpec currentFont;
    bool hasCurrentFont = false;
    std::string autosize;
    bool theme = true;
    int32_t subclass = 0;
    std::string tooltipAnswer;
    std::vector<std::pair<int32_t, int32_t>> clickInfo;  // per event 900 value

    // By name in capitals; found in any case without making the capitals
    // (forms are looked up for every row a list paints).
    struct NoCaseLess {
        using is_transparent = void;
        bool operator()(std::string_view a, std::string_view b) const {
            return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                                [](char x, char y) { return Upper(x) < Upper(y); });
        }
        static unsigned char Upper(char c) {
            return static_cast<unsigned char>(std::toupper(static_cast<unsigned char>(c)));
        }
    };
    std::map<std::string, std::unique_ptr<Form>, NoCaseLess> forms;
    std::vector<Form*> designing_;
    std::function<int32_t(const std::string& form, const std::string& text,
                          const std::string& caption, const std::string& buttons)>
        messageBoxAnswerer;
    std::vector<std::string> messageBoxLog;
    int32_t pendingMainMenu = -1;  // defined before its form is created
    // Non-zero while a click is half delivered: event pumps then leave the
    // operator's input queued, so the click's release cannot overtake its press.
    int32_t holdInput = 0;

    // What other threads hand the GUI thread, in order: list cell texts and
    // thread events. A status pass's texts and its event reach the GUI thread
    // together, in one queued call, however many there are.
    struct Posted {
        std::string form;
        int32_t id = 0;
        int32_t row = 0;  // a thread event's value
        int32_t column = 0;
        std::string text;
        bool threadEvent = false;
    };
    std::mutex postedMutex;
    std::deque<Posted> posted;  // guarded by postedMutex
    bool postedQueued = false;  // guarded by postedMutex
    // Queues one item for the GUI thread (from any thread).
    void Post(Posted item);

  private:
    Backend();
    std::map<int32_t, QColor> colors_;
    std::map<int32_t, FontSpec> fonts_;
    std::map<int32_t, QPointer<QWidget>> handles_;
    int32_t nextHandle_ = 1;
    // The control found last, kept until controls change: a list looks
    // itself up several times for every row it draws.
    struct Found {
        std::string form;
        int32_t id = 0;
        uint64_t generation = 0;
        Control* control = nullptr;
    } found_;
    uint64_t controlsGeneration_ = 1;
};

inline Backend& B() {
    return Backend::Get();
}

void StyleControl(Control& control);
// A tooltip's text as given: one that Qt would take for markup is escaped and
// kept on its lines.
QString PlainTooltip(const std::string& text);
void BuildMenuBar(Form& form, int32_t menu);
}  // namespace tarvolen::qt
