// The property list over a scroll area painted row by row, with a line
// editor and a choice popup laid over the value being edited.
#include <QApplication>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QScrollBar>
#include <QTimer>
#include <QValidator>
#include <algorithm>
#include <cctype>
#include <functional>

#include "platform/qt/plist.h"

namespace tarvolen::qt {
namespace {

char KindLetter(const std::string& kind) {
    if (kind.size() != 1) return 0;
    char k = char(std::toupper(static_cast<unsigned char>(kind[0])));
    return std::string_view("DTBCF").find(k) != std::string_view::npos ? k : 0;
}
// Drop-downs carry their choices and file items their filters in brackets.
bool HasList(char kind) {
    return kind == 'D' || kind == 'F';
}

// Colours of the list: a dark panel that reads on the black Setup form.
const QColor kPanel(24, 28, 34);
const QColor kLabelCell(32, 37, 45);
const QColor kGrid(56, 64, 76);
const QColor kLabelText(206, 212, 222);
const QColor kValueText(255, 255, 255);
const QColor kHeaderBand(36, 82, 122);
const QColor kHeaderLine(110, 180, 240);
const QColor kHeaderText(255, 255, 255);
const QColor kSelected(0, 120, 215);
const QColor kSelectedIdle(64, 80, 102);
const QColor kButtonFace(96, 110, 132);
const QColor kOpenValue(255, 214, 102);

constexpr int kPad = 8;
constexpr int kIndent = 16;
constexpr int kArrowWidth = 18;
constexpr int kButtonWidth = 28;

class Latin1Validator : public QValidator {
  public:
    using QValidator::QValidator;
    State validate(QString& input, int&) const override {
        for (QChar c : input) {
            if (c.unicode() > 0xFF) return Invalid;
        }
        return Acceptable;
    }
};

}  // namespace

// The drop-down's list of choices, a popup window under the value.
class ChoicePopup : public QListWidget {
  public:
    explicit ChoicePopup(QWidget* owner) : QListWidget(owner) {
        setWindowFlags(Qt::Popup);
        setFrameShape(QFrame::Box);
        setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        setUniformItemSizes(true);
        setMouseTracking(true);
        QPalette pal = palette();
        pal.setColor(QPalette::Base, QColor(250, 250, 250));
        pal.setColor(QPalette::Text, Qt::black);
        pal.setColor(QPalette::Highlight, kSelected);
        pal.setColor(QPalette::HighlightedText, Qt::white);
        pal.setColor(QPalette::WindowText, kSelected);  // the frame
        setPalette(pal);
    }
    std::function<void(int)> chosen;
    std::function<void()> closed;

  protected:
    bool event(QEvent* e) override {
        // Without a window manager (offscreen) a popup can be handed the
        // activation after it closed; the form takes it back, or the keyboard
        // would go nowhere.
        if (e->type() == QEvent::WindowActivate && !isVisible() && parentWidget()) {
            QPointer<QWidget> form = parentWidget()->window();
            QTimer::singleShot(0, form, [form] {
                if (form && form->isVisible()) form->activateWindow();
            });
        }
        return QListWidget::event(e);
    }
    void keyPressEvent(QKeyEvent* e) override {
        const bool alt = e->modifiers() & Qt::AltModifier;
        switch (e->key()) {
            case Qt::Key_Return:
            case Qt::Key_Enter:
            case Qt::Key_Space:
            case Qt::Key_F4:
                Choose(currentRow());
                return;
            case Qt::Key_Up:
            case Qt::Key_Down:
                if (alt) {
                    Choose(currentRow());
                    return;
                }
                break;
            case Qt::Key_Escape:
            case Qt::Key_Tab:
            case Qt::Key_Backtab:
                hide();
                return;
            default:
                break;
        }
        QListWidget::keyPressEvent(e);
    }
    void mouseMoveEvent(QMouseEvent* e) override {
        if (QListWidgetItem* item = itemAt(e->position().toPoint())) setCurrentItem(item);
        QListWidget::mouseMoveEvent(e);
    }
    void mouseReleaseEvent(QMouseEvent* e) override {
        if (e->button() == Qt::LeftButton) {
            if (QListWidgetItem* item = itemAt(e->position().toPoint())) {
                Choose(row(item));
                return;
            }
        }
        QListWidget::mouseReleaseEvent(e);
    }
    void hideEvent(QHideEvent* e) override {
        QListWidget::hideEvent(e);
        if (closed) closed();
    }

  private:
    void Choose(int index) {
        if (index < 0) {
            hide();
            return;
        }
        if (chosen) chosen(index);
    }
};

PropertyItem ParsePropertyItem(const std::string& text) {
    PropertyItem item;
    for (size_t i = 0; i + 2 < text.size(); ++i) {
        if (text[i] != '{' || text[i + 2] != '}') continue;
        char kind = KindLetter(text.substr(i + 1, 1));
        if (!kind) continue;
        item.label = text.substr(0, i);
        item.kind = text.substr(i + 1, 1);
        std::string rest = text.substr(i + 3);
        if (HasList(kind) && !rest.empty() && rest.back() == ']') {
            // The list is the bracket that closes at the end; a value may hold
            // balanced brackets of its own.
            int depth = 0;
            for (size_t j = rest.size(); j-- > 0;) {
                if (rest[j] == ']') {
                    ++depth;
                } else if (rest[j] == '[' && --depth == 0) {
                    item.value = rest.substr(0, j);
                    item.list = rest.substr(j + 1, rest.size() - j - 2);
                    item.bracketed = true;
                    return item;
                }
            }
        }
        item.value = rest;
        return item;
    }
    item.label = text;
    return item;
}

std::string ComposePropertyItem(const PropertyItem& item) {
    if (item.kind.empty()) return item.label;
    std::string text = item.label + "{" + item.kind + "}" + item.value;
    if (item.bracketed) text += "[" + item.list + "]";
    return text;
}

// ---- PropertyList

PropertyList::PropertyList(std::string form, int32_t id) : form_(std::move(form)), id_(id) {
    setFocusPolicy(Qt::StrongFocus);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setFrameShape(QFrame::Box);
    editor_ = new QLineEdit(viewport());
    editor_->setFrame(false);
    editor_->setValidator(new Latin1Validator(editor_));
    editor_->hide();
    editor_->installEventFilter(this);
    popup_ = new ChoicePopup(this);
    popup_->hide();
    popup_->chosen = [this](int index) { ChooseFrom(index); };
    popup_->closed = [this] { CloseChoices(); };
    ApplyLook();
}

PropertyList::~PropertyList() {
    // The children outlive this part of the list while they are torn down.
    popup_->chosen = nullptr;
    popup_->closed = nullptr;
    editor_->removeEventFilter(this);
}

void PropertyList::ApplyLook() {
    QPalette pal = palette();
    pal.setColor(QPalette::Window, kPanel);
    pal.setColor(QPalette::Base, kPanel);
    pal.setColor(QPalette::Text, kValueText);
    pal.setColor(QPalette::WindowText, kGrid);  // the frame
    pal.setColor(QPalette::Button, kLabelCell);
    setPalette(pal);
    viewport()->setPalette(pal);
    viewport()->setAutoFillBackground(false);
    QPalette edit = editor_->palette();
    edit.setColor(QPalette::Base, Qt::white);
    edit.setColor(QPalette::Text, Qt::black);
    edit.setColor(QPalette::Highlight, kSelected);
    edit.setColor(QPalette::HighlightedText, Qt::white);
    editor_->setPalette(edit);
    editor_->setAutoFillBackground(true);
    editor_->setFont(font());
    popup_->setFont(font());
    Relayout();
}

void PropertyList::Add(const std::string& items) {
    size_t start = 0;
    while (start <= items.size()) {
        size_t bar = items.find('|', start);
        size_t end = bar == std::string::npos ? items.size() : bar;
        if (end > start) items_.push_back(ParsePropertyItem(items.substr(start, end - start)));
        if (bar == std::string::npos) break;
        start = bar + 1;
    }
    Added();
}

void PropertyList::AddOne(const std::string& item) {
    items_.push_back(ParsePropertyItem(item));
    Added();
}

void PropertyList::Added() {
    if (changeDepth_ > 0) return;
    Relayout();
    ResolvePending();
    viewport()->update();
}

void PropertyList::Clear() {
    if (!items_.empty()) {
        Pending p;
        int32_t row = editRow_ >= 0 ? editRow_ : chooseRow_ >= 0 ? chooseRow_ : selected_;
        if (row >= 0 && row < Count()) {
            p.row = row;
            p.label = items_[row].label;
            p.scroll = verticalScrollBar()->value();
        }
        if (editRow_ >= 0) {
            p.editing = true;
            p.text = editor_->text();
            p.focused = editor_->hasFocus();
            editRow_ = -1;
            if (p.focused) setFocus(Qt::OtherFocusReason);
            editor_->hide();
        }
        if (chooseRow_ >= 0) {
            p.choosing = true;
            p.choice = popup_->currentRow();
            chooseRow_ = -1;
            popup_->hide();
        }
        pending_ = p;
    }
    items_.clear();
    selected_ = -1;
    if (changeDepth_ > 0) return;
    Relayout();
    viewport()->update();
}

void PropertyList::BeginChange() {
    ++changeDepth_;
}

void PropertyList::EndChange() {
    if (changeDepth_ > 0) --changeDepth_;
    if (changeDepth_ > 0) return;
    Relayout();
    ResolvePending();
    viewport()->update();
}

std::string PropertyList::ItemText(int32_t index) const {
    if (index < 0 || index >= Count()) return {};
    return ComposePropertyItem(items_[index]);
}

int32_t PropertyList::Current() const {
    if (editRow_ >= 0) return editRow_;
    if (chooseRow_ >= 0) return chooseRow_;
    return selected_;
}

std::string PropertyList::CurrentName() const {
    int32_t row = Current();
    return row >= 0 && row < Count() ? items_[row].label : std::string();
}

int32_t PropertyList::FindNextSelected(int32_t after) const {
    return selected_ >= 0 && selected_ > after ? selected_ : -1;
}

intptr_t PropertyList::Message(int32_t message, intptr_t wparam, intptr_t lparam) {
    (void)lparam;
    if (message != EZ_WM_VSCROLL) return 0;
    QScrollBar* bar = verticalScrollBar();
    switch (wparam & 0xFFFF) {
        case 0:
            bar->triggerAction(QAbstractSlider::SliderSingleStepSub);
            break;
        case 1:
            bar->triggerAction(QAbstractSlider::SliderSingleStepAdd);
            break;
        case 2:
            bar->triggerAction(QAbstractSlider::SliderPageStepSub);
            break;
        case 3:
            bar->triggerAction(QAbstractSlider::SliderPageStepAdd);
            break;
        case 6:
            bar->setValue(bar->minimum());
            break;
        case 7:
            bar->setValue(bar->maximum());
            break;
        case EZ_SB_ENDSCROLL:
            // The program wants the value being typed before it reads the list.
            if (chooseRow_ >= 0) popup_->hide();
            FinishEdit(true, true);
            break;
        default:
            break;
    }
    return 0;
}

PropertyList::Action PropertyList::ActionOf(int32_t row) const {
    if (row < 0 || row >= Count()) return Action::None;
    switch (KindLetter(items_[row].kind)) {
        case 'D':
            return Action::Choose;
        case 'T':
        case 'C':
        case 'F':
            return Action::Type;
        case 'B':
            return Action::Button;
        default:
            return Action::None;
    }
}

bool PropertyList::IsHeader(int32_t row) const {
    return row >= 0 && row < Count() && items_[row].kind.empty();
}

int PropertyList::RowAt(int y) const {
    if (y < 0) return -1;
    int row = (y + verticalScrollBar()->value()) / rowHeight_;
    return row < Count() ? row : -1;
}

QRect PropertyList::RowRect(int32_t row) const {
    return QRect(0, row * rowHeight_ - verticalScrollBar()->value(), viewport()->width(),
                 rowHeight_);
}

QRect PropertyList::ValueRect(int32_t row) const {
    QRect r = RowRect(row);
    r.setLeft(labelWidth_ + 1);
    r.setBottom(r.bottom() - 1);
    return r;
}

QRect PropertyList::ButtonRect(int32_t row) const {
    QRect v = ValueRect(row);
    return QRect(v.right() - kButtonWidth - 1, v.top() + 2, kButtonWidth, v.height() - 4);
}

void PropertyList::Relayout() {
    QFontMetrics fm(font());
    rowHeight_ = std::max(20, fm.height() + 8);
    int widest = 0;
    for (const PropertyItem& item : items_) {
        if (!item.kind.empty()) widest = std::max(widest, fm.horizontalAdvance(ToQ(item.label)));
    }
    int w = viewport()->width();
    labelWidth_ =
        std::clamp(widest + kIndent + kPad, w * 35 / 100, std::max(w * 35 / 100, w * 3 / 5));
    QScrollBar* bar = verticalScrollBar();
    bar->setSingleStep(rowHeight_);
    bar->setPageStep(std::max(rowHeight_, viewport()->height()));
    bar->setRange(0, std::max(0, Count() * rowHeight_ - viewport()->height()));
    if (editRow_ >= 0) editor_->setGeometry(ValueRect(editRow_).adjusted(1, 1, -1, 0));
}

void PropertyList::Select(int32_t row) {
    if (row < 0 || row >= Count() || IsHeader(row)) return;
    selected_ = row;
    EnsureVisible(row);
    viewport()->update();
}

void PropertyList::EnsureVisible(int32_t row) {
    QScrollBar* bar = verticalScrollBar();
    int top = row * rowHeight_;
    int bottom = top + rowHeight_;
    // A header just above the row is brought along, so its section stays named.
    if (row > 0 && IsHeader(row - 1)) top -= rowHeight_;
    if (top < bar->value())
        bar->setValue(top);
    else if (bottom > bar->value() + viewport()->height())
        bar->setValue(bottom - viewport()->height());
}

int32_t PropertyList::Step(int32_t from, int delta) const {
    int32_t best = from;
    int32_t row = from < 0 ? (delta > 0 ? -1 : Count()) : from;
    int steps = std::abs(delta);
    int dir = delta > 0 ? 1 : -1;
    while (steps > 0) {
        row += dir;
        if (row < 0 || row >= Count()) break;
        if (IsHeader(row)) continue;
        best = row;
        --steps;
    }
    return best;
}

void PropertyList::Activate(int32_t row) {
    switch (ActionOf(row)) {
        case Action::Choose:
            OpenChoices(row, -1);
            break;
        case Action::Type:
            StartEdit(row, ToQ(items_[row].value), true);
            break;
        case Action::Button:
            PressButton(row);
            break;
        case Action::None:
            break;
    }
}

void PropertyList::StartEdit(int32_t row, const QString& text, bool selectAll) {
    if (ActionOf(row) != Action::Type) return;
    Select(row);
    editRow_ = row;
    editor_->setText(text);
    editor_->setGeometry(ValueRect(row).adjusted(1, 1, -1, 0));
    editor_->show();
    editor_->setFocus(Qt::OtherFocusReason);
    if (selectAll)
        editor_->selectAll();
    else
        editor_->end(false);
    viewport()->update();
}

void PropertyList::FinishEdit(bool keep, bool refocus) {
    if (editRow_ < 0) return;
    int32_t row = editRow_;
    editRow_ = -1;
    std::string text = FromQ(editor_->text());
    // Focus stays in the list rather than jumping to the form's next control.
    if (refocus && editor_->hasFocus()) setFocus(Qt::OtherFocusReason);
    editor_->hide();
    viewport()->update();
    if (!keep || row >= Count() || text == items_[row].value) return;
    items_[row].value = text;
    Fire(EZ_EV_PLCHANGED, row);
}

std::vector<std::string> PropertyList::Choices(int32_t row) const {
    std::vector<std::string> out;
    if (row < 0 || row >= Count()) return out;
    // A list stored with a ";" after every entry ends in no further choice;
    // an empty entry anywhere else is kept.
    const std::string& list = items_[row].list;
    size_t start = 0;
    while (start < list.size()) {
        size_t semi = list.find(';', start);
        size_t end = semi == std::string::npos ? list.size() : semi;
        out.push_back(list.substr(start, end - start));
        if (semi == std::string::npos) break;
        start = semi + 1;
    }
    return out;
}

void PropertyList::OpenChoices(int32_t row, int current) {
    std::vector<std::string> choices = Choices(row);
    if (choices.empty()) return;
    Select(row);
    popup_->clear();
    for (const std::string& c : choices) popup_->addItem(ToQ(c));
    if (current < 0 || current >= int(choices.size())) {
        auto it = std::find(choices.begin(), choices.end(), items_[row].value);
        current = it == choices.end() ? 0 : int(it - choices.begin());
    }
    popup_->setCurrentRow(current);
    chooseRow_ = row;
    QRect cell = ValueRect(row);
    int itemHeight = std::max(popup_->sizeHintForRow(0), rowHeight_ - 2);
    int shown = std::min(int(choices.size()), 10);
    QSize size(std::max(cell.width(), 120), shown * itemHeight + 2 * popup_->frameWidth());
    QPoint below = viewport()->mapToGlobal(cell.bottomLeft() + QPoint(0, 1));
    QRect screen = this->screen() ? this->screen()->availableGeometry() : QRect();
    if (screen.isValid() && below.y() + size.height() > screen.bottom())
        below = viewport()->mapToGlobal(cell.topLeft()) - QPoint(0, size.height());
    popup_->setGeometry(QRect(below, size));
    popup_->show();
    popup_->setFocus(Qt::PopupFocusReason);
    popup_->scrollToItem(popup_->currentItem());
    viewport()->update();
}

void PropertyList::ChooseFrom(int index) {
    int32_t row = chooseRow_;
    chooseRow_ = -1;
    popup_->hide();
    viewport()->update();
    if (row < 0 || row >= Count()) return;
    std::vector<std::string> choices = Choices(row);
    if (index < 0 || index >= int(choices.size())) return;
    setFocus(Qt::PopupFocusReason);
    if (choices[index] == items_[row].value) return;
    items_[row].value = choices[index];
    Fire(EZ_EV_PLCHANGED, row);
}

void PropertyList::CloseChoices() {
    if (chooseRow_ < 0) return;
    chooseRow_ = -1;
    viewport()->update();
}

void PropertyList::PressButton(int32_t row) {
    Select(row);
    Fire(EZ_EV_PLBUTTON, row);
}

void PropertyList::ResolvePending() {
    if (pending_.row < 0) return;
    if (pending_.row >= Count()) return;  // not rebuilt that far yet
    Pending p = pending_;
    pending_ = Pending();
    if (items_[p.row].label != p.label || IsHeader(p.row)) return;
    selected_ = p.row;
    verticalScrollBar()->setValue(p.scroll);
    if (p.editing && ActionOf(p.row) == Action::Type) {
        QWidget* had = QApplication::focusWidget();
        StartEdit(p.row, p.text, false);
        if (!p.focused && had) had->setFocus(Qt::OtherFocusReason);
    } else if (p.choosing && ActionOf(p.row) == Action::Choose) {
        OpenChoices(p.row, p.choice);
    }
}

void PropertyList::Fire(int32_t code, int32_t value) {
    // The program may clear, rebuild or unload the list from its handler;
    // nothing of the list is touched after this.
    B().Fire(form_, id_, code, value);
}

bool PropertyList::event(QEvent* e) {
    if (e->type() == QEvent::ShortcutOverride) {
        // Keys the list acts on are not taken by the form's accelerators.
        auto* k = static_cast<QKeyEvent*>(e);
        switch (k->key()) {
            case Qt::Key_Return:
            case Qt::Key_Enter:
            case Qt::Key_Space:
            case Qt::Key_F2:
            case Qt::Key_F4:
                if (ActionOf(selected_) != Action::None) {
                    e->accept();
                    return true;
                }
                break;
            case Qt::Key_Up:
            case Qt::Key_Down:
                e->accept();
                return true;
            default:
                break;
        }
    }
    return QAbstractScrollArea::event(e);
}

bool PropertyList::eventFilter(QObject* watched, QEvent* e) {
    if (watched != editor_) return QAbstractScrollArea::eventFilter(watched, e);
    switch (e->type()) {
        case QEvent::ShortcutOverride: {
            int key = static_cast<QKeyEvent*>(e)->key();
            if (key == Qt::Key_Escape || key == Qt::Key_Return || key == Qt::Key_Enter ||
                key == Qt::Key_Up || key == Qt::Key_Down) {
                e->accept();
                return true;
            }
            break;
        }
        case QEvent::KeyPress: {
            auto* k = static_cast<QKeyEvent*>(e);
            switch (k->key()) {
                case Qt::Key_Return:
                case Qt::Key_Enter:
                    FinishEdit(true, true);
                    return true;
                case Qt::Key_Escape:
                    FinishEdit(false, true);
                    return true;
                case Qt::Key_Up:
                case Qt::Key_Down: {
                    QPointer<PropertyList> self(this);
                    FinishEdit(true, true);
                    if (self) Select(Step(selected_, k->key() == Qt::Key_Up ? -1 : 1));
                    return true;
                }
                default:
                    break;
            }
            break;
        }
        case QEvent::FocusOut: {
            // Leaving the value commits it; a context menu or another
            // application taking the focus leaves the edit open.
            Qt::FocusReason why = static_cast<QFocusEvent*>(e)->reason();
            if (why == Qt::MouseFocusReason) {
                // The click that took the focus goes on after the value is sent.
                ++B().holdInput;
                FinishEdit(true, false);
                --B().holdInput;
            } else if (why != Qt::PopupFocusReason && why != Qt::ActiveWindowFocusReason) {
                FinishEdit(true, false);
            }
            break;
        }
        default:
            break;
    }
    return QAbstractScrollArea::eventFilter(watched, e);
}

void PropertyList::paintEvent(QPaintEvent* e) {
    QPainter p(viewport());
    QRect area = e->rect();
    p.fillRect(area, kPanel);
    if (items_.empty()) return;
    const int offset = verticalScrollBar()->value();
    const int first = std::max(0, (area.top() + offset) / rowHeight_);
    const int last = std::min(Count() - 1, (area.bottom() + offset) / rowHeight_);
    const bool focused = hasFocus() || editor_->hasFocus() || popup_->isVisible();
    QFont bold = font();
    bold.setBold(true);
    const QFontMetrics fm(font());
    for (int row = first; row <= last; ++row) {
        const PropertyItem& item = items_[row];
        QRect r = RowRect(row);
        if (item.kind.empty()) {
            p.fillRect(r, kHeaderBand);
            p.fillRect(QRect(r.left(), r.bottom() - 1, r.width(), 2), kHeaderLine);
            p.setFont(bold);
            p.setPen(kHeaderText);
            QRect text = r.adjusted(kPad, 0, -kPad, -2);
            p.drawText(
                text, Qt::AlignLeft | Qt::AlignVCenter,
                QFontMetrics(bold).elidedText(ToQ(item.label), Qt::ElideRight, text.width()));
            continue;
        }
        QRect labelCell(r.left(), r.top(), labelWidth_, r.height());
        QRect valueCell = ValueRect(row);
        const bool selected = row == selected_;
        p.fillRect(labelCell, kLabelCell);
        if (selected) p.fillRect(r, focused ? kSelected : kSelectedIdle);
        p.setPen(kGrid);
        p.drawLine(r.left(), r.bottom(), r.right(), r.bottom());
        p.drawLine(labelWidth_, r.top(), labelWidth_, r.bottom());
        p.setFont(font());
        p.setPen(selected ? kValueText : kLabelText);
        QRect labelText = labelCell.adjusted(kIndent, 0, -4, 0);
        p.drawText(labelText, Qt::AlignLeft | Qt::AlignVCenter,
                   fm.elidedText(ToQ(item.label), Qt::ElideRight, labelText.width()));
        if (row == editRow_) continue;  // the editor covers the value
        Action action = ActionOf(row);
        QRect valueText = valueCell.adjusted(6, 0, -4, 0);
        if (action == Action::Choose) {
            valueText.setRight(valueCell.right() - kArrowWidth);
            // A down arrow says the value opens a list.
            int cx = valueCell.right() - kArrowWidth / 2, cy = valueCell.center().y();
            QPolygon arrow({QPoint(cx - 4, cy - 2), QPoint(cx + 4, cy - 2), QPoint(cx, cy + 3)});
            p.setPen(Qt::NoPen);
            p.setBrush(row == chooseRow_ ? kOpenValue : kLabelText);
            p.drawPolygon(arrow);
            p.setBrush(Qt::NoBrush);
        } else if (action == Action::Button) {
            QRect button = ButtonRect(row);
            valueText.setRight(button.left() - 4);
            p.setPen(kGrid);
            p.setBrush(kButtonFace);
            p.drawRoundedRect(button, 3, 3);
            p.setBrush(Qt::NoBrush);
            p.setFont(bold);
            p.setPen(kValueText);
            p.drawText(button, Qt::AlignCenter, "...");
            p.setFont(font());
        }
        p.setPen(row == chooseRow_ ? kOpenValue : kValueText);
        p.drawText(valueText, Qt::AlignLeft | Qt::AlignVCenter,
                   fm.elidedText(ToQ(item.value), Qt::ElideRight, valueText.width()));
    }
}

void PropertyList::resizeEvent(QResizeEvent* e) {
    QAbstractScrollArea::resizeEvent(e);
    Relayout();
}

void PropertyList::scrollContentsBy(int, int) {
    if (editRow_ >= 0) editor_->setGeometry(ValueRect(editRow_).adjusted(1, 1, -1, 0));
    viewport()->update();
}

void PropertyList::mousePressEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton) {
        QAbstractScrollArea::mousePressEvent(e);
        return;
    }
    // A click elsewhere in the list ends the edit first; the program may
    // rebuild the list while it hears of the change.
    QPointer<PropertyList> self(this);
    FinishEdit(true, false);
    if (!self) return;
    QPoint at = e->position().toPoint();
    int32_t row = RowAt(at.y());
    setFocus(Qt::MouseFocusReason);
    if (row < 0 || IsHeader(row)) return;
    Select(row);
    if (at.x() <= labelWidth_) return;
    switch (ActionOf(row)) {
        case Action::Choose:
            OpenChoices(row, -1);
            break;
        case Action::Type:
            StartEdit(row, ToQ(items_[row].value), false);
            editor_->setCursorPosition(editor_->cursorPositionAt(editor_->mapFrom(viewport(), at)));
            break;
        case Action::Button:
            if (ButtonRect(row).contains(at)) PressButton(row);
            break;
        case Action::None:
            break;
    }
}

void PropertyList::mouseDoubleClickEvent(QMouseEvent* e) {
    int32_t row = RowAt(e->position().toPoint().y());
    if (e->button() != Qt::LeftButton || row < 0) return;
    // The value half already acted on the first click; a double click on the
    // label acts too, and anywhere on a button item presses it.
    if (ActionOf(row) == Action::Button && !ButtonRect(row).contains(e->position().toPoint()))
        PressButton(row);
    else if (e->position().toPoint().x() <= labelWidth_ && ActionOf(row) != Action::Button)
        Activate(row);
}

void PropertyList::keyPressEvent(QKeyEvent* e) {
    const bool alt = e->modifiers() & Qt::AltModifier;
    const int page = std::max(1, viewport()->height() / rowHeight_ - 1);
    switch (e->key()) {
        case Qt::Key_Up:
        case Qt::Key_Down:
            if (alt) {
                Activate(selected_);
            } else {
                Select(Step(selected_, e->key() == Qt::Key_Up ? -1 : 1));
            }
            return;
        case Qt::Key_PageUp:
            Select(Step(selected_, -page));
            return;
        case Qt::Key_PageDown:
            Select(Step(selected_, page));
            return;
        case Qt::Key_Home:
            Select(Step(-1, 1));
            return;
        case Qt::Key_End:
            Select(Step(Count(), -1));
            return;
        case Qt::Key_Return:
        case Qt::Key_Enter:
        case Qt::Key_Space:
        case Qt::Key_F2:
        case Qt::Key_F4:
            if (ActionOf(selected_) != Action::None) {
                Activate(selected_);
                return;
            }
            break;
        default:
            break;
    }
    e->ignore();  // the form hears the rest (Esc, accelerators)
}

void PropertyList::focusInEvent(QFocusEvent* e) {
    QAbstractScrollArea::focusInEvent(e);
    // Tabbing into the list lands on its first value.
    if (selected_ < 0 &&
        (e->reason() == Qt::TabFocusReason || e->reason() == Qt::BacktabFocusReason))
        Select(Step(-1, 1));
    viewport()->update();
}

void PropertyList::focusOutEvent(QFocusEvent* e) {
    QAbstractScrollArea::focusOutEvent(e);
    viewport()->update();
}

PropertyList* FindPropertyList(const std::string& form, int32_t id) {
    Control* c = B().FindControl(form, id);
    return c && c->widget ? dynamic_cast<PropertyList*>(c->widget.data()) : nullptr;
}

}  // namespace tarvolen::qt

using namespace tarvolen::qt;

void EZ_PLISTBOX(int32_t id, const std::string& items, double column, double row, double width,
                 double height, const std::string& props) {
    (void)props;
    Form* form = B().Designing();
    if (!form) return;
    auto* list = new PropertyList(form->name, id);
    B().AddControl(id, "plist", list, column, row, width, height);
    list->ApplyLook();
    list->Add(items);
}

std::string EZ_DEFPLINFO(const std::string& label, const std::string& value,
                         const std::string& choices, const std::string& kind, int32_t flags) {
    (void)flags;
    if (kind.empty()) return label;
    PropertyItem item;
    item.label = label;
    item.value = value;
    // An unknown kind still shows its value, as text.
    item.kind = KindLetter(kind) ? kind.substr(0, 1) : "T";
    if (HasList(KindLetter(item.kind))) {
        item.list = choices;
        item.bracketed = true;  // always, so a value with brackets reads back whole
    }
    return ComposePropertyItem(item);
}

void EZ_GETPLINFO(const std::string& text, std::string& label, std::string& value,
                  std::string& choices, std::string& kind) {
    PropertyItem item = ParsePropertyItem(text);
    label = item.label;
    value = item.value;
    choices = item.list;
    kind = item.kind;
}

void EZ_STARTCC(const std::string& form, int32_t id) {
    if (PropertyList* l = FindPropertyList(form, id)) l->BeginChange();
}

void EZ_ENDCC(const std::string& form, int32_t id) {
    if (PropertyList* l = FindPropertyList(form, id)) l->EndChange();
}

void EZ_ADDITEMS(const std::string& form, int32_t id, const std::string& items) {
    if (PropertyList* l = FindPropertyList(form, id)) l->Add(items);
}

void EZ_ADDITEM(const std::string& form, int32_t id, const std::string& item) {
    if (PropertyList* l = FindPropertyList(form, id)) l->AddOne(item);
}

void EZ_CLEAR(const std::string& form, int32_t id) {
    if (PropertyList* l = FindPropertyList(form, id)) l->Clear();
}

int32_t EZ_FINDLAST(const std::string& form, int32_t id) {
    PropertyList* l = FindPropertyList(form, id);
    return l ? l->Count() - 1 : -1;
}

std::string EZ_GETITEMTEXT(const std::string& form, int32_t id, int32_t index) {
    PropertyList* l = FindPropertyList(form, id);
    return l ? l->ItemText(index) : std::string();
}

std::string EZ_GETCURRENTPROPNAME(const std::string& form, int32_t id) {
    PropertyList* l = FindPropertyList(form, id);
    return l ? l->CurrentName() : std::string();
}

int32_t EZ_GETCURRENTPROPINDEX(const std::string& form, int32_t id) {
    PropertyList* l = FindPropertyList(form, id);
    return l ? l->Current() : -1;
}
