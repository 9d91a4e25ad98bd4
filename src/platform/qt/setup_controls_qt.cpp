// Controls of the Setup window and the address dialog: the tab control, the
// four-octet address editor, combo box items by index, and controls removed
// or created after their form was designed.
#include <QClipboard>
#include <QComboBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPainter>
#include <QStyleOptionTabWidgetFrame>
#include <QTabBar>
#include <QValidator>
#include <utility>

#include "platform/qt/backend.h"
#include "shell/text.h"

namespace tarvolen::qt {
namespace {

// A tab strip over a framed pane. The pane is drawn only: the controls of a
// page lie on the form above it, so the tab control is created after them and
// stays beneath.
class TabControl : public QWidget {
  public:
    TabControl(std::string form, int32_t id, const std::string& tabs)
        : form_(std::move(form)), id_(id), bar_(new QTabBar(this)) {
        for (const std::string& tab : Split(tabs)) bar_->addTab(ToQ(tab));
        bar_->setDrawBase(false);
        // Every tab stays in sight: no scroll arrows, tabs share the width.
        bar_->setUsesScrollButtons(false);
        bar_->setExpanding(true);
        bar_->setElideMode(Qt::ElideNone);
        bar_->setStyleSheet("QTabBar::tab { padding: 4px 5px; }");
        QObject::connect(bar_, &QTabBar::currentChanged, this, [this](int index) {
            if (index >= 0) B().Fire(form_, id_, EZ_EV_TABCHANGED, index + 1);
        });
    }
    QTabBar* Bar() const { return bar_; }

  protected:
    void resizeEvent(QResizeEvent*) override {
        bar_->setGeometry(0, 0, width(), bar_->sizeHint().height());
    }
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        QStyleOptionTabWidgetFrame frame;
        frame.initFrom(this);
        frame.rect = rect().adjusted(0, bar_->height() - 1, 0, 0);
        frame.tabBarSize = bar_->size();
        style()->drawPrimitive(QStyle::PE_FrameTabWidget, &frame, &p, this);
    }

  private:
    static std::vector<std::string> Split(const std::string& text) {
        std::vector<std::string> parts;
        size_t pos = 0;
        for (size_t bar = text.find('|'); bar != std::string::npos; bar = text.find('|', pos)) {
            parts.push_back(text.substr(pos, bar - pos));
            pos = bar + 1;
        }
        parts.push_back(text.substr(pos));
        return parts;
    }

    std::string form_;
    int32_t id_;
    QTabBar* bar_;
};

// An octet: up to three digits worth at most 255. Anything else is refused
// as it is typed or pasted, so the field never holds a value out of range.
class OctetValidator : public QValidator {
  public:
    using QValidator::QValidator;
    State validate(QString& input, int&) const override {
        if (input.isEmpty()) return Intermediate;
        if (input.size() > 3) return Invalid;
        for (QChar c : input) {
            if (c < QChar('0') || c > QChar('9')) return Invalid;
        }
        return input.toInt() <= 255 ? Acceptable : Invalid;
    }
};

class OctetEdit;

// The platform's four-octet IPv4 editor: typing a "." or a third digit moves
// on to the next octet, Backspace in an empty octet moves back, a pasted
// dotted address fills all four, Tab moves between octets. An octet that
// takes the focus has its digits selected, so typing replaces them.
class AddressEditor : public QWidget, public MessageTarget {
  public:
    AddressEditor();
    void SetAddress(uint32_t packed);
    // The packed address (blank octets count 0) and how many octets are filled.
    int32_t Address(uint32_t& packed) const;
    void Clear();
    void Paste(const QString& text, int from);
    // afterThird: the move follows a third digit, so a "." typed next is
    // the operator's own separator and is not to move on once more.
    void Move(int from, int step, bool toEnd, bool afterThird = false);
    intptr_t Message(int32_t message, intptr_t wparam, intptr_t lparam) override;

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.fillRect(rect(), palette().color(QPalette::Base));
        p.setPen(palette().color(QPalette::Mid));
        p.drawRect(rect().adjusted(0, 0, -1, -1));
    }

  private:
    std::vector<OctetEdit*> octets_;
};

class OctetEdit : public QLineEdit {
  public:
    OctetEdit(AddressEditor* editor, int index) : editor_(editor), index_(index) {
        setValidator(new OctetValidator(this));
        setAlignment(Qt::AlignCenter);
        setFrame(false);
        setMaxLength(3);
        QObject::connect(this, &QLineEdit::textEdited, this, [this](const QString& t) {
            if (t.size() == 3 && cursorPosition() == 3) editor_->Move(index_, 1, false, true);
        });
    }
    void SwallowNextDot() { swallowDot_ = true; }

  protected:
    void focusInEvent(QFocusEvent* e) override {
        QLineEdit::focusInEvent(e);
        // A click places the cursor itself.
        if (e->reason() != Qt::MouseFocusReason) selectAll();
    }
    void focusOutEvent(QFocusEvent* e) override {
        swallowDot_ = false;
        QLineEdit::focusOutEvent(e);
    }
    void keyPressEvent(QKeyEvent* e) override {
        const bool separator = e->key() == Qt::Key_Period || e->key() == Qt::Key_Space;
        if (std::exchange(swallowDot_, false) && separator) return;
        if (separator && !text().isEmpty()) {
            editor_->Move(index_, 1, false);
            return;
        }
        if (e->key() == Qt::Key_Backspace && cursorPosition() == 0 && !hasSelectedText()) {
            editor_->Move(index_, -1, true);
            return;
        }
        if (e->key() == Qt::Key_Left && cursorPosition() == 0) {
            editor_->Move(index_, -1, true);
            return;
        }
        if (e->key() == Qt::Key_Right && cursorPosition() == text().size()) {
            editor_->Move(index_, 1, false);
            return;
        }
        // A whole dotted address pasted into any octet fills the octets from there.
        if (e->matches(QKeySequence::Paste) && QGuiApplication::clipboard()) {
            const QString pasted = QGuiApplication::clipboard()->text();
            if (pasted.contains('.')) {
                editor_->Paste(pasted, index_);
                return;
            }
        }
        QLineEdit::keyPressEvent(e);
    }

  private:
    AddressEditor* editor_;
    int index_;
    bool swallowDot_ = false;
};

AddressEditor::AddressEditor() {
    setAttribute(Qt::WA_OpaquePaintEvent);
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(3, 1, 3, 1);
    row->setSpacing(0);
    for (int i = 0; i < 4; ++i) {
        if (i > 0) {
            auto* dot = new QLabel(".", this);
            dot->setAlignment(Qt::AlignCenter);
            row->addWidget(dot);
        }
        auto* octet = new OctetEdit(this, i);
        octets_.push_back(octet);
        row->addWidget(octet, 1);
    }
    setFocusProxy(octets_.front());
    setFocusPolicy(Qt::StrongFocus);
}

void AddressEditor::SetAddress(uint32_t packed) {
    for (int i = 0; i < 4; ++i)
        octets_[size_t(i)]->setText(QString::number((packed >> (24 - 8 * i)) & 0xFF));
}

int32_t AddressEditor::Address(uint32_t& packed) const {
    packed = 0;
    int32_t filled = 0;
    for (int i = 0; i < 4; ++i) {
        const QString t = octets_[size_t(i)]->text();
        if (t.isEmpty()) continue;
        ++filled;
        packed |= uint32_t(std::min(255, t.toInt())) << (24 - 8 * i);
    }
    return filled;
}

void AddressEditor::Clear() {
    for (OctetEdit* o : octets_) o->clear();
}

void AddressEditor::Paste(const QString& text, int from) {
    // All or nothing: a pasted address with a bad part must not mix with
    // the octets already there into another, complete-looking address.
    const QStringList parts = text.trimmed().split('.');
    if (from + parts.size() > 4) return;
    OctetValidator check;
    for (QString part : parts) {
        int pos = 0;
        part = part.trimmed();
        if (check.validate(part, pos) != QValidator::Acceptable) return;
    }
    for (int i = 0; i < parts.size(); ++i) octets_[size_t(from + i)]->setText(parts[i].trimmed());
}

void AddressEditor::Move(int from, int step, bool toEnd, bool afterThird) {
    const int to = from + step;
    if (to < 0 || to > 3) return;
    OctetEdit* octet = octets_[size_t(to)];
    octet->setFocus();
    if (toEnd)
        octet->setCursorPosition(int(octet->text().size()));
    else
        octet->selectAll();
    if (afterThird) octet->SwallowNextDot();
}

intptr_t AddressEditor::Message(int32_t message, intptr_t, intptr_t lparam) {
    switch (message) {
        case EZ_IPM_SETADDRESS:
            SetAddress(uint32_t(lparam));
            return 1;
        case EZ_IPM_GETADDRESS: {
            uint32_t packed = 0;
            const int32_t filled = Address(packed);
            if (lparam) *reinterpret_cast<uint32_t*>(lparam) = packed;
            return filled;
        }
        case EZ_IPM_CLEARADDRESS:
            Clear();
            return 0;
        default:
            return 0;
    }
}

// Adds a control to a form that is already built.
Control* AddLater(const std::string& formName, int32_t id, const std::string& kind, QWidget* w,
                  double column, double row, double width, double height) {
    Form* form = B().FindForm(formName);
    if (!form) {
        delete w;
        return nullptr;
    }
    const int32_t fg = B().foreground, bg = B().background;
    B().foreground = B().background = -1;
    B().designing_.push_back(form);
    Control& c = B().AddControl(id, kind, w, column, row, width, height);
    B().designing_.pop_back();
    B().foreground = fg;
    B().background = bg;
    // Tab follows the form's reading order, the new control included.
    std::vector<QWidget*> chain;
    for (auto& other : form->controls) {
        if (other->widget && other->widget->focusPolicy() & Qt::TabFocus)
            chain.push_back(other->widget);
    }
    std::stable_sort(chain.begin(), chain.end(), [](QWidget* a, QWidget* b) {
        return a->y() != b->y() ? a->y() < b->y() : a->x() < b->x();
    });
    for (size_t i = 1; i < chain.size(); ++i) QWidget::setTabOrder(chain[i - 1], chain[i]);
    return &c;
}

}  // namespace
}  // namespace tarvolen::qt

using namespace tarvolen;
using namespace tarvolen::qt;

void EZ_TABCONTROL(int32_t id, const std::string& tabs, double column, double row, double width,
                   double height, const std::string& props) {
    (void)props;
    Form* form = B().Designing();
    if (!form) return;
    B().AddControl(id, "tabcontrol", new TabControl(form->name, id, tabs), column, row, width,
                   height);
}

int32_t EZ_GETTABSEL(const std::string& form, int32_t id) {
    Control* c = B().FindControl(form, id);
    auto* t = c ? dynamic_cast<TabControl*>(c->widget.data()) : nullptr;
    return t ? t->Bar()->currentIndex() + 1 : 0;
}

void EZ_SETTABSEL(const std::string& form, int32_t id, int32_t tab) {
    Control* c = B().FindControl(form, id);
    if (auto* t = c ? dynamic_cast<TabControl*>(c->widget.data()) : nullptr)
        t->Bar()->setCurrentIndex(tab - 1);
}

void EZ_SETCOMBOINDEX(const std::string& form, int32_t id, int32_t index) {
    Control* c = B().FindControl(form, id);
    if (auto* cb = c ? qobject_cast<QComboBox*>(c->widget.data()) : nullptr)
        cb->setCurrentIndex(index >= 0 && index < cb->count() ? index : -1);
}

int32_t EZ_GETCOMBOINDEX(const std::string& form, int32_t id) {
    Control* c = B().FindControl(form, id);
    auto* cb = c ? qobject_cast<QComboBox*>(c->widget.data()) : nullptr;
    return cb ? cb->currentIndex() : -1;
}

void EZ_GETPOSC(const std::string& form, int32_t id, double& column, double& row) {
    column = row = 0;
    Control* c = B().FindControl(form, id);
    if (!c) return;
    Form* f = B().FindForm(form);
    const int top = f && f->menuBar ? f->menuBar->sizeHint().height() : 0;
    column = PixelsToColumns(c->design.left());
    row = PixelsToRows(c->design.top() - top);
}

void EZ_REMOVECONTROL(const std::string& form, int32_t id) {
    Form* f = B().FindForm(form);
    if (!f) return;
    auto& list = f->controls;
    for (auto it = list.begin(); it != list.end(); ++it) {
        if ((*it)->id != id) continue;
        if ((*it)->widget) {
            (*it)->widget->hide();
            (*it)->widget->deleteLater();
        }
        list.erase(it);
        B().ControlsChanged();
        return;
    }
}

bool EZ_CREATECONTROL(const std::string& form, int32_t id, const std::string& windowClass,
                      double column, double row, double width, double height) {
    if (!EqualsNoCase(windowClass, "SysIPAddress32")) return false;
    return AddLater(form, id, "ipaddress", new AddressEditor, column, row, width, height) !=
           nullptr;
}
