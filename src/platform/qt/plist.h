// The toolkit's property list: labelled values in two columns, grouped under
// header lines, each value chosen from a drop-down, typed in place or handed
// to the program through a button.
#pragma once

#include <QAbstractScrollArea>
#include <QPointer>
#include <string>
#include <vector>

#include "platform/qt/backend.h"

class QLineEdit;

namespace tarvolen::qt {

class ChoicePopup;

// One item text taken apart: "label", or "label{K}value", or for the kinds
// with a list ("D" choices, "F" filters) "label{K}value[list]".
struct PropertyItem {
    std::string label;
    std::string kind;  // as written; empty for a header
    std::string value;
    std::string list;
    bool bracketed = false;  // the text carried a "[list]"
};
PropertyItem ParsePropertyItem(const std::string& text);
std::string ComposePropertyItem(const PropertyItem& item);

class PropertyList : public QAbstractScrollArea, public MessageTarget {
  public:
    PropertyList(std::string form, int32_t id);
    ~PropertyList() override;
    // Its own readable colours, whatever the form's are.
    void ApplyLook();

    // Items separated by "|", added at the end.
    void Add(const std::string& items);
    void Clear();
    void BeginChange();
    void EndChange();
    int32_t Count() const { return int32_t(items_.size()); }
    std::string ItemText(int32_t index) const;
    // The item being edited, else the selected one; -1 for none.
    int32_t Current() const;
    std::string CurrentName() const;

    // Places in viewport pixels: a whole row, its value cell, its button.
    QRect RowRect(int32_t row) const;
    QRect ValueRect(int32_t row) const;
    QRect ButtonRect(int32_t row) const;

    int32_t FindNextSelected(int32_t after) const override;
    intptr_t Message(int32_t message, intptr_t wparam, intptr_t lparam) override;

  protected:
    bool event(QEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;
    void paintEvent(QPaintEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void scrollContentsBy(int dx, int dy) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void focusInEvent(QFocusEvent* e) override;
    void focusOutEvent(QFocusEvent* e) override;

  private:
    enum class Action { None, Choose, Type, Button };
    // What was open when the list was cleared, reopened if the same item
    // comes back at the same place (a page rebuilt under the operator).
    struct Pending {
        int32_t row = -1;
        std::string label;
        bool editing = false;
        bool choosing = false;
        QString text;
        int choice = -1;
        bool focused = false;
        int scroll = 0;
    };

    Action ActionOf(int32_t row) const;
    bool IsHeader(int32_t row) const;
    int RowAt(int y) const;
    void Relayout();
    void Select(int32_t row);
    void EnsureVisible(int32_t row);
    int32_t Step(int32_t from, int delta) const;
    void Activate(int32_t row);
    void StartEdit(int32_t row, const QString& text, bool selectAll);
    void FinishEdit(bool keep, bool refocus);
    void OpenChoices(int32_t row, int current);
    void ChooseFrom(int index);
    void CloseChoices();
    void PressButton(int32_t row);
    void ResolvePending();
    void Fire(int32_t code, int32_t value);
    std::vector<std::string> Choices(int32_t row) const;

    std::string form_;
    int32_t id_;
    std::vector<PropertyItem> items_;
    int changeDepth_ = 0;
    int rowHeight_ = 20;
    int labelWidth_ = 120;
    int32_t selected_ = -1;
    int32_t editRow_ = -1;
    int32_t chooseRow_ = -1;
    QLineEdit* editor_ = nullptr;
    ChoicePopup* popup_ = nullptr;
    Pending pending_;
};

PropertyList* FindPropertyList(const std::string& form, int32_t id);

}  // namespace tarvolen::qt
