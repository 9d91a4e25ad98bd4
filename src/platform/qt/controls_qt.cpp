// Controls, menus, tooltips and the turtle picture over Qt widgets.
#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLinearGradient>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QTextDocument>
#include <QToolTip>
#include <algorithm>
#include <sstream>

#include "platform/qt/backend.h"
#include "platform/qt/draw.h"
#include "platform/qt/listview.h"
#include "platform/qt/qt_seam.h"
#include "shell/text.h"

namespace tarvolen::qt {
namespace {

// Reports the events every control shares: right clicks, tooltips, and the
// subclass notification for subclassed controls.
class ControlEvents : public QObject {
  public:
    ControlEvents(std::string form, int32_t id, QObject* parent)
        : QObject(parent), form_(std::move(form)), id_(id) {}

  protected:
    bool eventFilter(QObject* watched, QEvent* e) override {
        Control* c = B().FindControl(form_, id_);
        if (!c) return false;
        switch (e->type()) {
            case QEvent::MouseButtonPress: {
                auto* me = static_cast<QMouseEvent*>(e);
                if (c->subclassed) B().Fire(form_, id_, EZ_EV_SUBCLASS, 0x201);
                if (me->button() == Qt::RightButton) {
                    B().Fire(form_, id_, EZ_EV_RIGHTCLICK, 0);
                    // A right click on an owner-drawn button still repaints it pushed.
                }
                break;
            }
            case QEvent::ToolTip: {
                if (!c->tooltip) break;
                B().tooltipAnswer.clear();
                B().Fire(form_, id_, EZ_EV_TOOLTIP, 0);
                auto* he = static_cast<QHelpEvent*>(e);
                if (!B().tooltipAnswer.empty()) {
                    QToolTip::showText(he->globalPos(), PlainTooltip(B().tooltipAnswer),
                                       static_cast<QWidget*>(watched));
                }
                return true;
            }
            default:
                break;
        }
        (void)watched;
        return false;
    }

  private:
    std::string form_;
    int32_t id_;
};

class OwnerDrawnButton : public QAbstractButton {
  public:
    OwnerDrawnButton(std::string form, int32_t id) : form_(std::move(form)), id_(id) {
        setAttribute(Qt::WA_Hover);
    }

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        // The program may paint over the whole button itself (cancel 1).
        if (B().Fire(form_, id_, EZ_EV_BUTTONERASE, 0) == 0)
            painter.fillRect(rect(), palette().color(QPalette::Window));
        DrawContext dc;
        dc.painter = &painter;
        dc.width = width();
        dc.height = height();
        dc.pushed = isDown();
        dc.focused = hasFocus();
        FireOwnerDraw(form_, id_, EZ_EV_OWNERDRAW, dc);
    }
    void mousePressEvent(QMouseEvent* e) override {
        QAbstractButton::mousePressEvent(e);
        if (e->button() == Qt::RightButton) update();
    }
    void mouseReleaseEvent(QMouseEvent* e) override {
        QAbstractButton::mouseReleaseEvent(e);
        update();
    }
    void keyPressEvent(QKeyEvent* e) override {
        // Return presses a focused button as Space does.
        if ((e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter) &&
            e->modifiers() == Qt::NoModifier) {
            animateClick();
            return;
        }
        QAbstractButton::keyPressEvent(e);
    }
    void enterEvent(QEnterEvent* e) override {
        QAbstractButton::enterEvent(e);
        update();
    }
    void leaveEvent(QEvent* e) override {
        QAbstractButton::leaveEvent(e);
        update();
    }

  private:
    std::string form_;
    int32_t id_;
};

class ClickLabel : public QLabel {
  public:
    ClickLabel(std::string form, int32_t id) : form_(std::move(form)), id_(id) {}

  protected:
    void mouseReleaseEvent(QMouseEvent* e) override {
        QLabel::mouseReleaseEvent(e);
        if (e->button() == Qt::LeftButton && rect().contains(e->pos()))
            B().Fire(form_, id_, EZ_EV_CLICK, 0);
    }

  private:
    std::string form_;
    int32_t id_;
};

// Commands of the turtle picture, separated by ";":
//   Vn        1: coordinates are percentages of the picture's size
//   Un        pen up (1) or down (0)
//   Ga,b,m    gradient over the whole picture from colour slot a to slot b;
//             m 1 left to right, 2 top to bottom, 3 diagonal
//   Cn        pen colour slot;  Wn pen width
//   Mx,y      move;  Lx,y line to (drawn when the pen is down)
//   Rx,y,w,h  rectangle outline
class TurtlePicture : public QWidget {
  public:
    explicit TurtlePicture(std::string commands) : commands_(std::move(commands)) {
        setAttribute(Qt::WA_TransparentForMouseEvents);
    }

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        bool percent = false, penDown = true;
        QColor pen = Qt::black;
        int penWidth = 1;
        QPointF at(0, 0);
        auto pt = [&](double x, double y) {
            return percent ? QPointF(x * width() / 100.0, y * height() / 100.0) : QPointF(x, y);
        };
        std::stringstream all(commands_);
        std::string cmd;
        while (std::getline(all, cmd, ';')) {
            cmd = CleanText(cmd);
            if (cmd.empty()) continue;
            char op = char(std::toupper(static_cast<unsigned char>(cmd[0])));
            std::vector<double> n;
            std::stringstream args(cmd.substr(1));
            std::string a;
            while (std::getline(args, a, ',')) n.push_back(LeadingNumber(a));
            auto arg = [&](size_t i) { return i < n.size() ? n[i] : 0.0; };
            switch (op) {
                case 'V':
                    percent = arg(0) == 1;
                    break;
                case 'U':
                    penDown = arg(0) == 0;
                    break;
                case 'C':
                    pen = B().Color(int32_t(arg(0)), Qt::black);
                    break;
                case 'W':
                    penWidth = std::max(1, int(arg(0)));
                    break;
                case 'M':
                    at = pt(arg(0), arg(1));
                    break;
                case 'L': {
                    QPointF to = pt(arg(0), arg(1));
                    if (penDown) {
                        p.setPen(QPen(pen, penWidth));
                        p.drawLine(at, to);
                    }
                    at = to;
                    break;
                }
                case 'R': {
                    p.setPen(QPen(pen, penWidth));
                    p.setBrush(Qt::NoBrush);
                    p.drawRect(QRectF(pt(arg(0), arg(1)), pt(arg(0) + arg(2), arg(1) + arg(3))));
                    break;
                }
                case 'G': {
                    QColor from = B().Color(int32_t(arg(0)), Qt::white);
                    QColor to = B().Color(int32_t(arg(1)), Qt::white);
                    int mode = int(arg(2));
                    QPointF end = mode == 1   ? QPointF(width(), 0)
                                  : mode == 2 ? QPointF(0, height())
                                              : QPointF(width(), height());
                    QLinearGradient g(QPointF(0, 0), end);
                    g.setColorAt(0, from);
                    g.setColorAt(1, to);
                    p.fillRect(rect(), g);
                    break;
                }
                default:
                    break;
            }
        }
    }

  private:
    std::string commands_;
};

Control* Created(int32_t id, const std::string& kind, QWidget* w, double column, double row,
                 double width, double height) {
    Form* form = B().Designing();
    if (!form) {
        delete w;
        return nullptr;
    }
    Control& c = B().AddControl(id, kind, w, column, row, width, height);
    w->installEventFilter(new ControlEvents(form->name, id, w));
    return &c;
}

// Menus are built by id; the form being designed receives them.
struct MenuItem {
    int32_t id;
    std::string caption;
    int32_t submenu = 0;
};
std::map<int32_t, std::vector<MenuItem>>& Submenus() {
    static std::map<int32_t, std::vector<MenuItem>> menus;
    return menus;
}
std::map<int32_t, std::vector<MenuItem>>& MainMenus() {
    static std::map<int32_t, std::vector<MenuItem>> menus;
    return menus;
}
int32_t g_nextMenu = 1;

}  // namespace

QString PlainTooltip(const std::string& text) {
    QString t = ToQ(text);
    if (!Qt::mightBeRichText(t)) return t;
    return "<p style='white-space:pre'>" + t.toHtmlEscaped() + "</p>";
}

void BuildMenuBar(Form& form, int32_t menu) {
    if (!form.window) return;
    if (!form.menuBar) {
        form.menuBar = new QMenuBar(form.window);
        form.menuBar->setNativeMenuBar(false);
        // The menu keeps the system's look whatever colours the form has.
        QPalette system = QApplication::palette(), pal;
        for (auto role :
             {QPalette::Window, QPalette::WindowText, QPalette::Button, QPalette::ButtonText,
              QPalette::Base, QPalette::Text, QPalette::Highlight, QPalette::HighlightedText})
            pal.setColor(role, system.color(role));  // set roles win over the form's
        form.menuBar->setPalette(pal);
        form.menuBar->setAutoFillBackground(true);
    }
    form.menuBar->clear();
    std::string name = form.name;
    for (const MenuItem& top : MainMenus()[menu]) {
        QMenu* m = form.menuBar->addMenu(ToQ(top.caption));
        for (const MenuItem& item : Submenus()[top.submenu]) {
            QAction* a = m->addAction(ToQ(item.caption));
            int32_t id = item.id;
            QObject::connect(a, &QAction::triggered,
                             [name, id] { B().Fire(name, id, EZ_EV_CLICK, 0); });
        }
    }
    form.menuBar->ensurePolished();
    form.menuBar->setGeometry(0, 0, form.window->width(), form.menuBar->sizeHint().height());
    form.menuBar->show();
}

QIcon ProgramIcon(const std::string&) {
    // A small recorder face: a dark tile with a red record dot.
    QPixmap pm(64, 64);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setBrush(QColor(0, 77, 116));
    p.setPen(QPen(QColor(0, 213, 255), 3));
    p.drawRoundedRect(QRectF(3, 3, 58, 58), 10, 10);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(220, 30, 30));
    p.drawEllipse(QPointF(32, 32), 15, 15);
    return QIcon(pm);
}

}  // namespace tarvolen::qt

using namespace tarvolen;
using namespace tarvolen::qt;

void EZ_ODBUTTON(int32_t id, const std::string& caption, double column, double row, double width,
                 double height, const std::string& props) {
    (void)props;
    Form* form = B().Designing();
    if (!form) return;
    auto* b = new OwnerDrawnButton(form->name, id);
    b->setText(ToQ(caption));
    std::string name = form->name;
    QObject::connect(b, &QAbstractButton::clicked,
                     [name, id] { B().Fire(name, id, EZ_EV_CLICK, 0); });
    Created(id, "odbutton", b, column, row, width, height);
}

void EZ_BUTTON(int32_t id, const std::string& caption, double column, double row, double width,
               double height, const std::string& props) {
    (void)props;
    Form* form = B().Designing();
    if (!form) return;
    auto* b = new QPushButton(ToQ(caption));
    std::string name = form->name;
    QObject::connect(b, &QPushButton::clicked, [name, id] { B().Fire(name, id, EZ_EV_CLICK, 0); });
    Created(id, "button", b, column, row, width, height);
}

void EZ_LABEL(int32_t id, const std::string& text, double column, double row, double width,
              double height, const std::string& props) {
    Form* form = B().Designing();
    if (!form) return;
    auto* l = new ClickLabel(form->name, id);
    l->setTextFormat(Qt::PlainText);
    l->setText(ToQ(text).replace('|', '\n'));
    std::string up = ToUpper(props);
    Qt::Alignment align = Qt::AlignVCenter;
    align |= up.find('C') != std::string::npos ? Qt::AlignHCenter : Qt::AlignLeft;
    l->setAlignment(align);
    if (up.find('S') != std::string::npos) l->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    Created(id, "label", l, column, row, width, height);
}

void EZ_TEXT(int32_t id, const std::string& text, double column, double row, double width,
             double height, const std::string& props) {
    (void)props;
    Form* form = B().Designing();
    if (!form) return;
    auto* e = new QLineEdit(ToQ(text));
    std::string name = form->name;
    QObject::connect(e, &QLineEdit::textEdited,
                     [name, id] { B().Fire(name, id, EZ_EV_CHANGE, 0); });
    Created(id, "text", e, column, row, width, height);
}

void EZ_CHECKBOX(int32_t id, const std::string& text, double column, double row, double width,
                 double height, const std::string& props) {
    (void)props;
    Form* form = B().Designing();
    if (!form) return;
    auto* c = new QCheckBox(ToQ(text));
    std::string name = form->name;
    QObject::connect(c, &QCheckBox::clicked, [name, id] { B().Fire(name, id, EZ_EV_CLICK, 0); });
    Created(id, "checkbox", c, column, row, width, height);
}

void EZ_COMBOBOX(int32_t id, const std::string& items, double column, double row, double width,
                 double height, const std::string& props) {
    (void)props;
    Form* form = B().Designing();
    if (!form) return;
    auto* c = new QComboBox;
    if (!items.empty()) {
        for (const QString& item : ToQ(items).split('|')) c->addItem(item);
    }
    std::string name = form->name;
    QObject::connect(c, &QComboBox::activated,
                     [name, id](int index) { B().Fire(name, id, EZ_EV_CHANGE, index); });
    // A combo box's height is that of its closed field; the given height is the list's.
    Created(id, "combobox", c, column, row, width, std::min(height, 1.75));
}

void EZ_TURTLEPICTURE(int32_t id, const std::string& commands, double column, double row,
                      double width, double height, const std::string& props) {
    (void)props;
    auto* t = new TurtlePicture(commands);
    if (Created(id, "turtle", t, column, row, width, height)) t->lower();  // a backdrop
}

std::string EZ_GETTEXT(const std::string& form, int32_t id) {
    Control* c = B().FindControl(form, id);
    if (!c || !c->widget) return {};
    QWidget* w = c->widget;
    if (auto* e = qobject_cast<QLineEdit*>(w)) return FromQ(e->text());
    if (auto* l = qobject_cast<QLabel*>(w)) return FromQ(l->text().replace('\n', '|'));
    if (auto* b = qobject_cast<QAbstractButton*>(w)) return FromQ(b->text());
    if (auto* cb = qobject_cast<QComboBox*>(w)) return FromQ(cb->currentText());
    return {};
}

void EZ_SETTEXT(const std::string& form, int32_t id, const std::string& text) {
    if (id == 0) {
        EZ_SETCAPTION(form, text);
        return;
    }
    Control* c = B().FindControl(form, id);
    if (!c || !c->widget) return;
    QWidget* w = c->widget;
    QString t = ToQ(text);
    if (auto* e = qobject_cast<QLineEdit*>(w))
        e->setText(t);
    else if (auto* l = qobject_cast<QLabel*>(w))
        l->setText(t.replace('|', '\n'));
    else if (auto* b = qobject_cast<QAbstractButton*>(w))
        b->setText(t);
    else if (auto* cb = qobject_cast<QComboBox*>(w))
        cb->setCurrentText(t);
}

void EZ_SETFONT(const std::string& form, int32_t id, int32_t slot) {
    Control* c = B().FindControl(form, id);
    const FontSpec* f = B().Font(slot);
    if (!c || !c->widget || !f) return;
    c->font = *f;
    c->widget->setFont(f->font);
}

static void ForRange(const std::string& form, int32_t first, int32_t last,
                     const std::function<void(QWidget*)>& fn) {
    Form* f = B().FindForm(form);
    if (!f) return;
    for (auto& c : f->controls) {
        if (c->id >= first && c->id <= last && c->widget) fn(c->widget);
    }
}

void EZ_SHOWC(const std::string& form, int32_t firstId, int32_t lastId) {
    ForRange(form, firstId, lastId, [](QWidget* w) { w->show(); });
}
void EZ_HIDEC(const std::string& form, int32_t firstId, int32_t lastId) {
    ForRange(form, firstId, lastId, [](QWidget* w) { w->hide(); });
}
bool EZ_ISVISIBLE(const std::string& form, int32_t id) {
    Control* c = B().FindControl(form, id);
    return c && c->widget && !c->widget->isHidden();
}
void EZ_ENABLEC(const std::string& form, int32_t firstId, int32_t lastId) {
    ForRange(form, firstId, lastId, [](QWidget* w) { w->setEnabled(true); });
}
void EZ_DISABLEC(const std::string& form, int32_t firstId, int32_t lastId) {
    ForRange(form, firstId, lastId, [](QWidget* w) { w->setEnabled(false); });
}

void EZ_REDRAWCONTROL(const std::string& form, int32_t id) {
    Control* c = B().FindControl(form, id);
    if (!c || !c->widget) return;
    if (auto* list = qobject_cast<ListView*>(c->widget.data())) {
        list->RedrawChanged();
        return;
    }
    c->widget->update();
    // A list paints its rows on its viewport.
    for (QObject* child : c->widget->children()) {
        if (auto* w = qobject_cast<QWidget*>(child)) w->update();
    }
}

void EZ_SETFOCUS(const std::string& form, int32_t id) {
    Control* c = B().FindControl(form, id);
    if (c && c->widget) c->widget->setFocus();
}

void EZ_GETSIZEC(const std::string& form, int32_t id, double& width, double& height) {
    width = height = 0;
    Control* c = B().FindControl(form, id);
    if (!c || !c->widget) return;
    width = PixelsToColumns(c->widget->width());
    height = PixelsToRows(c->widget->height());
}

void EZ_RESIZEC(const std::string& form, int32_t id, double column, double row, double width,
                double height) {
    Control* c = B().FindControl(form, id);
    if (!c || !c->widget) return;
    c->design = UnitsToPixels(column, row, width, height);
    c->widget->setGeometry(c->design);
}

int32_t EZ_GETCHECKED(const std::string& form, int32_t id) {
    Control* c = B().FindControl(form, id);
    auto* b = c ? qobject_cast<QAbstractButton*>(c->widget.data()) : nullptr;
    return b && b->isChecked() ? 1 : 0;
}

void EZ_SETCHECKED(const std::string& form, int32_t id, int32_t checked) {
    Control* c = B().FindControl(form, id);
    auto* b = c ? qobject_cast<QAbstractButton*>(c->widget.data()) : nullptr;
    if (b) {
        b->setCheckable(true);
        b->setChecked(checked != 0);
    }
}

void EZ_ADDTOOLTIP(const std::string& form, int32_t id) {
    if (Control* c = B().FindControl(form, id)) c->tooltip = true;
}

void EZ_SETTOOLTIP(const std::string& text) {
    B().tooltipAnswer = text;
}

bool EZ_ISHOT(const std::string& form, int32_t id) {
    Control* c = B().FindControl(form, id);
    return c && c->widget && c->widget->underMouse();
}

// ---- Menus

void EZ_DEFMAINMENU(int32_t id, const std::string& caption, int32_t menu) {
    // Defining an item again (the main form created anew) replaces it.
    auto& items = MainMenus()[menu];
    auto same =
        std::find_if(items.begin(), items.end(), [id](const MenuItem& m) { return m.id == id; });
    if (same != items.end())
        *same = MenuItem{id, caption, 0};
    else
        items.push_back(MenuItem{id, caption, 0});
    B().pendingMainMenu = menu;
}

int32_t EZ_DEFSUBMENU(int32_t id, const std::string& caption, int32_t) {
    int32_t menu = g_nextMenu++;
    Submenus()[menu].push_back(MenuItem{id, caption, 0});
    return menu;
}

void EZ_ADDMENUITEM(int32_t submenu, int32_t id, const std::string& caption, int32_t) {
    Submenus()[submenu].push_back(MenuItem{id, caption, 0});
    for (auto& [name, form] : B().forms) {
        if (form->menuBar) {
            for (auto& [menu, items] : MainMenus()) {
                for (auto& item : items) {
                    if (item.submenu == submenu) BuildMenuBar(*form, menu);
                }
            }
        }
    }
}

void EZ_SETSUBMENU(int32_t menu, int32_t id, int32_t submenu) {
    for (auto& item : MainMenus()[menu]) {
        if (item.id == id) item.submenu = submenu;
    }
    if (Form* form = B().Designing()) BuildMenuBar(*form, menu);
}
