// The toolkit's run call, forms, events, slots, timers and message boxes over Qt.
#include <QApplication>
#include <QCloseEvent>
#include <QCursor>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "platform/qt/backend.h"
#include "platform/qt/listview.h"
#include "platform/qt/qt_seam.h"
#include "platform/qt/spinner_window.h"
#include "shell/text.h"

namespace tarvolen::qt {

QRect UnitsToPixels(double column, double row, double width, double height) {
    return QRect(int(column * kColumnPixels + 0.5), int(row * kRowPixels + 0.5),
                 int(width * kColumnPixels + 0.5), int(height * kRowPixels + 0.5));
}
double PixelsToColumns(int pixels) {
    return double(pixels) / kColumnPixels;
}
double PixelsToRows(int pixels) {
    return double(pixels) / kRowPixels;
}

FontSpec MakeFont(const std::string& face, double points, const std::string& props) {
    FontSpec made;
    made.face = face;
    made.points = points;
    made.props = props;
    std::string lower = ToLower(face);
    made.symbol = lower == "webdings" || lower == "wingdings";
    made.wingdings = lower == "wingdings";
    // The faces the program names are Windows faces; map them to installed
    // ones of about their widths, so texts fit the boxes designed for them
    // (DejaVu Sans runs a sixth wider than Segoe UI).
    QString family = "DejaVu Sans";
    if (lower == "arial" || lower == "segoe ui")
        family = "Liberation Sans";
    else if (lower == "courier" || lower == "courier new")
        family = "Liberation Mono";
    else if (lower == "tahoma" || lower == "symbol")
        family = "DejaVu Sans";
    else if (!made.symbol && !face.empty())
        family = ToQ(face);
    QFont font(family);
    // Points at 96 dpi, fixed in pixels so every platform plugin draws alike.
    font.setPixelSize(std::max(1, int(points * 96.0 / 72.0 + 0.5)));
    std::string up = ToUpper(props);
    font.setBold(up.find('B') != std::string::npos);
    font.setItalic(up.find('I') != std::string::npos);
    font.setUnderline(up.find('U') != std::string::npos);
    made.font = font;
    made.key = font.key();
    return made;
}

Control* Form::Find(int32_t id) const {
    for (auto& c : controls) {
        if (c->id == id) return c.get();
    }
    return nullptr;
}

// ---- Backend

Backend& Backend::Get() {
    static Backend backend;
    return backend;
}

Backend::Backend() {
    static const int palette[16][3] = {
        {0, 0, 0},     {0, 0, 128},     {0, 128, 0},     {0, 128, 128},  {128, 0, 0}, {128, 0, 128},
        {128, 128, 0}, {192, 192, 192}, {128, 128, 128}, {0, 0, 255},    {0, 255, 0}, {0, 255, 255},
        {255, 0, 0},   {255, 0, 255},   {255, 255, 0},   {255, 255, 255}};
    for (int i = 0; i < 16; ++i) {
        QColor c(palette[i][0], palette[i][1], palette[i][2]);
        colors_[i] = c;
        colors_[16 + i] = QColor(c.red() + (255 - c.red()) / 2, c.green() + (255 - c.green()) / 2,
                                 c.blue() + (255 - c.blue()) / 2);
    }
    fonts_[4] = MakeFont("Tahoma", 9, "");  // the toolkit's own dialog font
}

int32_t Backend::Fire(const std::string& form, int32_t id, int32_t code, int32_t value) {
    int32_t cancel = 0;
    if (event) event(form, id, code, value, cancel);
    return cancel;
}

Form* Backend::FindForm(const std::string& name) {
    auto it = forms.find(std::string_view(name));
    return it == forms.end() ? nullptr : it->second.get();
}

Control* Backend::FindControl(const std::string& form, int32_t id) {
    if (found_.generation == controlsGeneration_ && found_.id == id && found_.form == form)
        return found_.control;
    Form* f = FindForm(form);
    Control* control = f ? f->Find(id) : nullptr;
    found_.form = form;
    found_.id = id;
    found_.generation = controlsGeneration_;
    found_.control = control;
    return control;
}

QWidget* Backend::HandleWidget(int32_t handle) {
    auto it = handles_.find(handle);
    return it == handles_.end() ? nullptr : it->second.data();
}

int32_t Backend::NewHandle(QWidget* widget) {
    int32_t h = nextHandle_++;
    handles_[h] = widget;
    return h;
}

QColor Backend::Color(int32_t slot, const QColor& fallback) const {
    auto it = colors_.find(slot);
    return it == colors_.end() ? fallback : it->second;
}

void Backend::DefineColor(int32_t slot, const QColor& color) {
    colors_[slot] = color;
}

const FontSpec* Backend::Font(int32_t slot) const {
    auto it = fonts_.find(slot);
    return it == fonts_.end() ? nullptr : &it->second;
}

void Backend::DefineFont(int32_t slot, FontSpec font) {
    fonts_[slot] = std::move(font);
}

Control& Backend::AddControl(int32_t id, const std::string& kind, QWidget* widget, double column,
                             double row, double width, double height) {
    Form* form = Designing();
    auto control = std::make_unique<Control>();
    control->id = id;
    control->kind = kind;
    control->widget = widget;
    control->autosize = autosize;
    control->foreground = foreground;
    control->background = background;
    control->font = hasCurrentFont ? currentFont : *Font(4);
    control->subclassed = subclass != 0;
    QRect r = UnitsToPixels(column, row, width, height);
    if (form && form->window) {
        // Pixel positions are of the client area, below a menu bar.
        int top = form->menuBar ? form->menuBar->sizeHint().height() : 0;
        r.translate(0, top);
        widget->setParent(form->window);
    }
    control->design = r;
    widget->setGeometry(r);
    widget->setFont(control->font.font);
    control->handle = NewHandle(widget);
    StyleControl(*control);
    // Each new control goes beneath the ones before it, so a backdrop created
    // after its controls (a strip label, a picture) never covers them.
    widget->lower();
    widget->show();
    Control& ref = *control;
    if (form) {
        // A control created again under the same id replaces the old one.
        auto& list = form->controls;
        for (auto it = list.begin(); it != list.end(); ++it) {
            if ((*it)->id == id) {
                if ((*it)->widget) (*it)->widget->deleteLater();
                list.erase(it);
                break;
            }
        }
        list.push_back(std::move(control));
        B().ControlsChanged();
    }
    return ref;
}

void StyleControl(Control& control) {
    QWidget* w = control.widget;
    if (!w) return;
    QPalette pal = w->palette();
    if (control.foreground >= 0) {
        QColor fg = B().Color(control.foreground, Qt::black);
        pal.setColor(QPalette::WindowText, fg);
        pal.setColor(QPalette::Text, fg);
        pal.setColor(QPalette::ButtonText, fg);
    }
    if (control.background >= 0) {
        QColor bg = B().Color(control.background, Qt::white);
        pal.setColor(QPalette::Window, bg);
        pal.setColor(QPalette::Base, bg);
        pal.setColor(QPalette::Button, bg);
        w->setAutoFillBackground(true);
    }
    w->setPalette(pal);
}

void Backend::Relayout(Form& form) {
    if (!form.window || form.designClient.isEmpty()) return;
    QSize now = form.window->size();
    if (form.menuBar) form.menuBar->setGeometry(0, 0, now.width(), form.menuBar->height());
    double sx = double(now.width()) / form.designClient.width();
    double sy = double(now.height()) / form.designClient.height();
    for (auto& c : form.controls) {
        if (!c->widget) continue;
        QRect r = c->design;
        std::string mode = ToUpper(c->autosize);
        if (mode.find('H') != std::string::npos) {
            r.setLeft(int(c->design.left() * sx));
            r.setWidth(int(c->design.width() * sx));
        }
        if (mode.find('V') != std::string::npos) {
            r.setTop(int(c->design.top() * sy));
            r.setHeight(int(c->design.height() * sy));
        }
        c->widget->setGeometry(r);
    }
}

void Backend::Unload(const std::string& name) {
    auto it = forms.find(ToUpper(name));
    if (it == forms.end()) return;
    std::unique_ptr<Form> form = std::move(it->second);
    forms.erase(it);
    ControlsChanged();
    for (auto& [id, timer] : form->timers) timer->stop();
    if (form->loop) form->loop->quit();
    if (form->window) {
        form->window->unloading = true;
        // The keyboard goes back to the form below, not to nowhere.
        QWidget* below = form->window->isActiveWindow() ? form->window->parentWidget() : nullptr;
        form->window->hide();
        if (below && below->isVisible()) below->activateWindow();
        form->window->deleteLater();
    }
    if (forms.empty() && QCoreApplication::instance()) QCoreApplication::instance()->quit();
}

// ---- FormWindow

FormWindow::FormWindow(std::string name, QWidget* parent)
    : QWidget(parent), name_(std::move(name)) {
    setAttribute(Qt::WA_DeleteOnClose, false);
}

void FormWindow::closeEvent(QCloseEvent* e) {
    if (unloading) {
        e->accept();
        return;
    }
    // The program decides: cancel keeps the form, otherwise it is unloaded.
    e->ignore();
    std::string name = name_;
    if (B().Fire(name, 0, EZ_EV_CLOSE, 0) != 0) return;
    if (B().FindForm(name)) B().Unload(name);
}

void FormWindow::resizeEvent(QResizeEvent* e) {
    QWidget::resizeEvent(e);
    if (Form* f = B().FindForm(name_)) {
        B().Relayout(*f);
        if (f->shownOnce) B().Fire(name_, 0, EZ_EV_RESIZED, 0);
    }
}

void FormWindow::showEvent(QShowEvent* e) {
    QWidget::showEvent(e);
    Form* f = B().FindForm(name_);
    if (!f || f->shownOnce) return;
    f->shownOnce = true;
    // "Shown" means fully on screen: deliver it after the show has been processed.
    std::string name = name_;
    QTimer::singleShot(0, this, [name] {
        if (!B().FindForm(name)) return;
        B().Fire(name, 0, EZ_EV_SHOWN, 0);
        if (Form* f = B().FindForm(name)) f->shownHandled = true;
    });
}

namespace {

void PressButton(Form& form, int32_t id) {
    Control* c = form.Find(id);
    if (auto* b = c ? qobject_cast<QAbstractButton*>(c->widget.data()) : nullptr) b->click();
}

}  // namespace

void FormWindow::keyPressEvent(QKeyEvent* e) {
    const std::string name = name_;
    B().Fire(name, 0, EZ_EV_KEY, e->key());
    Form* f = B().FindForm(name);
    if (f && f->window == this && f->dialogKeys) {
        // A focused button takes Return itself; this is Return anywhere else.
        if (e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter) {
            PressButton(*f, f->defaultButton);
            return;
        }
        if (e->key() == Qt::Key_Escape) {
            if (f->cancelButton > 0)
                PressButton(*f, f->cancelButton);
            else
                B().Unload(name);
            return;
        }
    }
    QWidget::keyPressEvent(e);
}

}  // namespace tarvolen::qt

using namespace tarvolen;
using namespace tarvolen::qt;

namespace {

int g_argc = 1;
char g_arg0[] = "tarvolen";
char* g_argv[] = {g_arg0, nullptr};
// Never destroyed: Qt must not be torn down by static destructors after main.
QApplication* g_app = nullptr;

}  // namespace

namespace tarvolen::qt {

void EnsureApplication(int argc, char** argv) {
    if (QCoreApplication::instance()) return;
    // The channel list repaints the same few timecodes every frame. Through
    // X shared memory Qt waits for the server before each such repaint and
    // wakes its event thread for the answer; sending those few pixels over
    // the connection waits for nothing. An operator's own setting wins.
    if (!qEnvironmentVariableIsSet("QT_XCB_NO_MITSHM")) qputenv("QT_XCB_NO_MITSHM", "1");
    if (argc > 0 && argv) {
        g_argc = argc;
        g_app = new QApplication(g_argc, argv);
    } else {
        g_app = new QApplication(g_argc, g_argv);
    }
    QApplication::setQuitOnLastWindowClosed(false);
    tarvolen::platform::qt::InstallSpinnerPlatform();
}

void SetCallbacks(EzEventProc event, EzDesignProc design) {
    B().event = std::move(event);
    B().design = std::move(design);
}

void DeliverEvent(const std::string& form, int32_t id, int32_t code, int32_t value) {
    B().Fire(ToUpper(form), id, code, value);
}

void SetMessageBoxAnswerer(MessageBoxAnswerer answerer) {
    B().messageBoxAnswerer = std::move(answerer);
}

const std::vector<std::string>& MessageBoxLog() {
    return B().messageBoxLog;
}

bool FormShownHandled(const std::string& form) {
    Form* f = B().FindForm(form);
    return f && f->shownHandled;
}

QWidget* FormWidget(const std::string& form) {
    Form* f = B().FindForm(form);
    return f ? f->window.data() : nullptr;
}

QWidget* ControlWidget(const std::string& form, int32_t id) {
    Control* c = B().FindControl(form, id);
    return c ? c->widget.data() : nullptr;
}

QImage Grab(const std::string& form) {
    QWidget* w = FormWidget(form);
    return w ? w->grab().toImage() : QImage();
}

int TimerInterval(const std::string& form, int32_t id) {
    Form* f = B().FindForm(form);
    if (!f) return -1;
    auto it = f->timers.find(id);
    return it != f->timers.end() && it->second->isActive() ? it->second->interval() : -1;
}

std::string LastTooltip() {
    return B().tooltipAnswer;
}

void UnloadAll() {
    std::vector<std::string> names;
    for (auto& [name, f] : B().forms) names.push_back(name);
    for (auto& n : names) B().Unload(n);
}

}  // namespace tarvolen::qt

// ---- Run and events

int EZ_GUIRUN(int argc, char** argv, EzStartProc start, EzEventProc event, EzDesignProc design) {
    EnsureApplication(argc, argv);
    SetCallbacks(std::move(event), std::move(design));
    if (start) start(0);
    if (B().forms.empty()) return 0;
    return QApplication::exec();
}

void EZ_DOEVENTS(int32_t maxEvents) {
    if (!QCoreApplication::instance()) return;
    // Qt processes what is queued now in one pass; a bounded pass keeps a
    // flood of events from starving the caller.
    (void)maxEvents;
    QCoreApplication::processEvents(
        B().holdInput > 0 ? QEventLoop::ExcludeUserInputEvents : QEventLoop::AllEvents, 5);
}

void EZ_ALLOWCOMMANDEVENTS(int32_t) {}
void EZ_ALLOWNOTIFYEVENTS(int32_t) {}
void EZ_ALLOWKEYEVENTS(int32_t) {}
void EZ_ALLOWMOUSEMOVEEVENTS(int32_t) {}
void EZ_ALLOWCURSOREVENTS(int32_t) {}
void EZ_ALLOWLOADINGEVENT(int32_t) {}
void EZ_DEFIMAGEFOLDER(const std::string&) {}

// ---- Forms

void EZ_FORM(const std::string& nameIn, const std::string& parent, const std::string& caption,
             double column, double row, double width, double height, const std::string& props) {
    EnsureApplication(0, nullptr);
    std::string name = ToUpper(nameIn);
    if (B().FindForm(name)) B().Unload(name);
    std::string up = ToUpper(props);
    Form* parentForm = parent.empty() ? nullptr : B().FindForm(parent);
    QWidget* parentWidget = parentForm ? parentForm->window.data() : nullptr;

    auto form = std::make_unique<Form>();
    form->name = name;
    form->modal = up.find('M') != std::string::npos;
    auto* window = new FormWindow(name, parentWidget);
    window->setWindowFlag(Qt::Window, true);
    window->setWindowTitle(ToQ(caption));
    form->window = window;
    form->handle = B().NewHandle(window);
    if (B().background >= 0) {
        QPalette pal = window->palette();
        pal.setColor(QPalette::Window, B().Color(B().background, Qt::black));
        window->setPalette(pal);
        window->setAutoFillBackground(true);
    }
    QRect r = UnitsToPixels(column, row, width, height);
    window->resize(r.size());
    if (up.find('Z') == std::string::npos) window->setFixedSize(r.size());
    if (up.find('C') != std::string::npos) {
        QRect area = parentWidget ? parentWidget->frameGeometry()
                                  : QGuiApplication::primaryScreen()->availableGeometry();
        window->move(area.center() - QPoint(r.width() / 2, r.height() / 2));
    } else {
        window->move(r.topLeft());
    }
    if (form->modal) window->setWindowModality(Qt::ApplicationModal);
    form->designClient = r.size();
    Form* f = form.get();
    B().forms[name] = std::move(form);
    B().ControlsChanged();
    if (B().pendingMainMenu >= 0) {
        BuildMenuBar(*f, B().pendingMainMenu);
        B().pendingMainMenu = -1;
        // The menu bar sits above the client area the form was designed for.
        QSize grown(r.width(), r.height() + (f->menuBar ? f->menuBar->sizeHint().height() : 0));
        window->resize(grown);
        if (up.find('Z') == std::string::npos) window->setFixedSize(grown);
        f->designClient = grown;
    }

    // Controls come from the design callback, with fresh creation settings.
    B().designing_.push_back(f);
    auto saved = std::make_tuple(B().foreground, B().background, B().autosize, B().subclass,
                                 B().hasCurrentFont, B().currentFont);
    B().autosize.clear();
    B().subclass = 0;
    if (B().design) B().design(name);
    B().designing_.pop_back();
    std::tie(B().foreground, B().background, B().autosize, B().subclass, B().hasCurrentFont,
             B().currentFont) = saved;
    if (!B().FindForm(name)) return;  // unloaded while being designed

    B().Fire(name, 0, EZ_EV_CREATED, 0);
    if (!B().FindForm(name)) return;
    std::vector<int32_t> ids;
    for (auto& c : f->controls) ids.push_back(c->id);
    for (int32_t id : ids) B().Fire(name, id, EZ_EV_STARTED, 0);
    B().Fire(name, 0, EZ_EV_STARTED, 0);
    // Owner-drawn lists ask the program how tall a row is.
    for (int32_t id : ids) {
        Control* c = f->Find(id);
        auto* list = c ? qobject_cast<ListView*>(c->widget.data()) : nullptr;
        if (list && list->OwnerDrawn()) B().Fire(name, id, EZ_EV_OWNERSIZE, 0);
    }
    if (!B().FindForm(name)) return;
    window->show();
    // The keyboard goes to the new form, with or without a window manager to hand it over.
    window->activateWindow();
    if (f->modal) {
        QEventLoop loop;
        f->loop = &loop;
        loop.exec();  // until the form is unloaded; f is gone then
    }
}

void EZ_UNLOADFORM(const std::string& name) {
    B().Unload(name);
}

bool EZ_FORMEXISTS(const std::string& name) {
    return B().FindForm(name) != nullptr;
}

void EZ_GETSIZE(const std::string& form, double& width, double& height, int32_t mode) {
    width = height = 0;
    Form* f = B().FindForm(form);
    if (!f || !f->window) return;
    QSize s = mode == 1 ? f->window->size() : f->window->size();
    width = PixelsToColumns(s.width());
    height = PixelsToRows(s.height());
}

void EZ_GETPOS(const std::string& form, double& column, double& row, int32_t) {
    column = row = 0;
    Form* f = B().FindForm(form);
    if (!f || !f->window) return;
    QPoint p = f->window->pos();
    column = PixelsToColumns(p.x());
    row = PixelsToRows(p.y());
}

void EZ_RESIZEFORM(const std::string& form, double column, double row, double width, double height,
                   int32_t) {
    Form* f = B().FindForm(form);
    if (!f || !f->window) return;
    QRect r = UnitsToPixels(column, row, width, height);
    f->window->move(r.topLeft());
    f->window->resize(r.size());
}

void EZ_SETFORMLIMITS(const std::string& form, double minWidth, double minHeight, double maxWidth,
                      double maxHeight) {
    Form* f = B().FindForm(form);
    if (!f || !f->window) return;
    QRect mn = UnitsToPixels(0, 0, minWidth, minHeight);
    QRect mx = UnitsToPixels(0, 0, maxWidth, maxHeight);
    f->window->setMinimumSize(mn.size());
    f->window->setMaximumSize(maxWidth > 0 ? mx.width() : QWIDGETSIZE_MAX,
                              maxHeight > 0 ? mx.height() : QWIDGETSIZE_MAX);
}

int32_t EZ_HANDLE(const std::string& form, int32_t id) {
    Form* f = B().FindForm(form);
    if (!f) return 0;
    if (id == 0) return f->handle;
    Control* c = f->Find(id);
    return c ? c->handle : 0;
}

bool EZ_HANDLERECT(int32_t handle, int32_t& x, int32_t& y, int32_t& width, int32_t& height) {
    QWidget* w = handle ? B().HandleWidget(handle) : nullptr;
    if (!w) return false;
    QPoint p = w->mapToGlobal(QPoint(0, 0));
    x = p.x();
    y = p.y();
    width = w->width();
    height = w->height();
    return true;
}

void EZ_SETFORMICON(const std::string& form, const std::string& icon) {
    Form* f = B().FindForm(form);
    if (!f || !f->window) return;
    f->window->setWindowIcon(ProgramIcon(icon));
}

std::string EZ_GETAPPPATHNAME() {
    std::error_code ec;
    auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec) return {};
    return exe.parent_path().string() + "/";
}

void EZ_SETCAPTION(const std::string& form, const std::string& caption) {
    Form* f = B().FindForm(form);
    if (f && f->window) f->window->setWindowTitle(ToQ(caption));
}

// ---- Creation settings

void EZ_COLOR(int32_t foreground, int32_t background) {
    B().foreground = foreground;
    B().background = background;
}

void EZ_USEFONT(int32_t slot) {
    if (const FontSpec* f = B().Font(slot)) {
        B().currentFont = *f;
        B().hasCurrentFont = true;
    }
}

void EZ_USEIFONT(const std::string& face, double points, const std::string& props) {
    B().currentFont = MakeFont(face, points, props);
    B().hasCurrentFont = true;
}

void EZ_SETAUTOSIZE(const std::string& mode) {
    B().autosize = mode;
}
void EZ_SETTHEME(int32_t on) {
    B().theme = on != 0;
}
void EZ_SUBCLASS(int32_t mode) {
    B().subclass = mode;
}

// ---- Colours and fonts

void EZ_DEFCOLOR(int32_t slot, int32_t red, int32_t green, int32_t blue) {
    B().DefineColor(
        slot, QColor(std::clamp(red, 0, 255), std::clamp(green, 0, 255), std::clamp(blue, 0, 255)));
}

void EZ_DEFCOLORL(int32_t slot, int32_t rgb) {
    B().DefineColor(slot, QColor(rgb & 0xFF, (rgb >> 8) & 0xFF, (rgb >> 16) & 0xFF));
}

void EZ_DEFSYSTEMCOLOR(int32_t slot, int32_t systemColor) {
    EnsureApplication(0, nullptr);
    QPalette pal = QApplication::palette();
    QColor c;
    switch (systemColor) {
        case 4:
            c = pal.color(QPalette::Window);
            break;  // menu
        case 5:
            c = pal.color(QPalette::Base);
            break;  // window
        case 15:
            c = pal.color(QPalette::Button);
            break;  // button face
        case 24:
            c = pal.color(QPalette::ToolTipBase);
            break;  // tooltip
        default:
            c = pal.color(QPalette::Window);
            break;
    }
    B().DefineColor(slot, c);
}

void EZ_DEFFONT(int32_t slot, const std::string& face, double points, const std::string& props) {
    B().DefineFont(slot, MakeFont(face, points, props));
}

void EZ_FREEFONT(int32_t) {}

int32_t EZ_FONTHEIGHT(int32_t slot) {
    const FontSpec* f = B().Font(slot);
    if (!f) return 16;
    return QFontMetrics(f->font).height();
}

// ---- Timers and cross-thread events

void EZ_STARTTIMER(const std::string& form, int32_t id, int32_t seconds) {
    Form* f = B().FindForm(form);
    if (!f || !f->window) return;
    QTimer*& timer = f->timers[id];
    if (!timer) {
        timer = new QTimer(f->window);
        std::string name = f->name;
        QObject::connect(timer, &QTimer::timeout,
                         [name, id] { B().Fire(name, id, EZ_EV_TIMER, 0); });
    }
    // Seconds past what a millisecond timer holds run at its longest.
    const int64_t ms = std::clamp<int64_t>(int64_t(seconds) * 1000, 1000, INT32_MAX);
    timer->start(int(ms));
}

void EZ_STOPTIMER(const std::string& form, int32_t id) {
    Form* f = B().FindForm(form);
    if (!f) return;
    auto it = f->timers.find(id);
    if (it != f->timers.end()) it->second->stop();
}

void EZ_POSTEVENT(const std::string& form, int32_t id, int32_t value) {
    std::string name = ToUpper(form);
    QTimer::singleShot(0, QCoreApplication::instance(), [name, id, value] {
        if (B().FindForm(name)) B().Fire(name, id, EZ_EV_POSTED, value);
    });
}

void EZ_SENDTHREADEVENT(const std::string& form, int32_t id, int32_t value) {
    // Queued to the GUI thread whatever thread calls, behind the texts posted before it.
    B().Post(Backend::Posted{form, id, value, 0, {}, true});
}

void EZ_WAITCURSOR(int32_t on) {
    if (!qobject_cast<QApplication*>(QCoreApplication::instance())) return;
    if (on) {
        if (!QApplication::overrideCursor()) QApplication::setOverrideCursor(Qt::WaitCursor);
    } else {
        while (QApplication::overrideCursor()) QApplication::restoreOverrideCursor();
    }
}

bool EZ_GETKEYSTATE(int32_t key, int32_t) {
    Qt::MouseButtons mouse = QGuiApplication::mouseButtons();
    switch (key) {
        case 1:
            return mouse & Qt::LeftButton;
        case 2:
            return mouse & Qt::RightButton;
        case 4:
            return mouse & Qt::MiddleButton;
        case 0x10:
            return QGuiApplication::keyboardModifiers() & Qt::ShiftModifier;
        case 0x11:
            return QGuiApplication::keyboardModifiers() & Qt::ControlModifier;
        default:
            return false;
    }
}

// ---- Message boxes

int32_t EZ_MSGBOXEX(const std::string& form, const std::string& text, const std::string& caption,
                    const std::string& buttons, const std::string& style, int32_t font1,
                    int32_t font2) {
    (void)style;
    EnsureApplication(0, nullptr);
    B().messageBoxLog.push_back(text);
    std::vector<std::string> labels;
    {
        size_t start = 0;
        while (start <= buttons.size()) {
            size_t bar = buttons.find('|', start);
            std::string b =
                buttons.substr(start, bar == std::string::npos ? std::string::npos : bar - start);
            if (!b.empty()) labels.push_back(b);
            if (bar == std::string::npos) break;
            start = bar + 1;
        }
        if (labels.empty()) labels.push_back("&Ok");
    }
    QString shown = ToQ(text).replace('|', '\n');

    // The box is a form of the toolkit's own, so the program can style it.
    const FontSpec* textFont = B().Font(font1) ? B().Font(font1) : B().Font(4);
    const FontSpec* buttonFont = B().Font(font2) ? B().Font(font2) : B().Font(4);
    QFontMetrics fm(textFont->font);
    QRect textRect = fm.boundingRect(QRect(0, 0, 520, 2000), Qt::TextWordWrap, shown);
    int buttonW = 88, buttonH = 28, gap = 10;
    int width =
        std::max(260, std::max(textRect.width() + 48, int(labels.size()) * (buttonW + gap) + 40));
    int height = textRect.height() + buttonH + 60;
    int32_t fg = B().foreground, bg = B().background;

    const std::string name = "{MSGBOX}";
    if (B().FindForm(name)) B().Unload(name);
    Form* owner = B().FindForm(form);
    auto boxForm = std::make_unique<Form>();
    boxForm->name = name;
    boxForm->modal = true;
    auto* window = new FormWindow(name, owner ? owner->window.data() : nullptr);
    window->setWindowFlag(Qt::Window, true);
    window->setWindowFlag(Qt::WindowStaysOnTopHint, true);
    window->setWindowTitle(ToQ(caption));
    window->setFixedSize(width, height);
    window->setWindowModality(Qt::ApplicationModal);
    if (bg >= 0) {
        QPalette pal = window->palette();
        pal.setColor(QPalette::Window, B().Color(bg, Qt::white));
        window->setPalette(pal);
        window->setAutoFillBackground(true);
    }
    boxForm->window = window;
    boxForm->handle = B().NewHandle(window);
    boxForm->designClient = QSize(width, height);
    Form* f = boxForm.get();
    B().forms[name] = std::move(boxForm);
    B().ControlsChanged();

    int32_t answer = 0;
    B().designing_.push_back(f);
    B().foreground = fg;
    B().background = -1;
    B().currentFont = *textFont;
    B().hasCurrentFont = true;
    auto* label = new QLabel(shown);
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    label->setAlignment(Qt::AlignCenter);
    B().AddControl(100, "label", label, PixelsToColumns(20), PixelsToRows(16),
                   PixelsToColumns(width - 40), PixelsToRows(textRect.height() + 8));
    B().currentFont = *buttonFont;
    int x = (width - int(labels.size()) * (buttonW + gap) + gap) / 2;
    // Keys as in any desktop dialog: Return presses the first button (or the
    // one the operator moved the focus to), Esc the last, or closes a box
    // that has only one.
    f->dialogKeys = true;
    f->defaultButton = 1;
    f->cancelButton = labels.size() > 1 ? int32_t(labels.size()) : 0;
    for (size_t i = 0; i < labels.size(); ++i) {
        auto* button = new QPushButton(ToQ(labels[i]));
        button->setAutoDefault(true);
        button->setDefault(i == 0);
        int32_t index = int32_t(i) + 1;
        QObject::connect(button, &QPushButton::clicked, [&answer, index, name] {
            answer = index;
            B().Unload(name);
        });
        B().AddControl(index, "button", button, PixelsToColumns(x),
                       PixelsToRows(height - buttonH - 16), PixelsToColumns(buttonW),
                       PixelsToRows(buttonH));
        x += buttonW + gap;
    }
    if (B().design) B().design(name);
    B().designing_.pop_back();
    B().foreground = fg;
    B().background = bg;
    B().hasCurrentFont = false;
    if (!B().FindForm(name)) return answer;

    if (B().messageBoxAnswerer) {
        answer = B().messageBoxAnswerer(form, text, caption, buttons);
        B().Unload(name);
        return answer;
    }
    // Unattended runs (process tests, demos without an operator) answer every
    // box with a fixed button and say what was asked.
    if (const char* fixed = std::getenv("TARVOLEN_MSGBOX_ANSWER"); fixed && *fixed) {
        std::fprintf(stderr, "tarvolen: message box: %s\n", text.c_str());
        std::fflush(stderr);
        B().Unload(name);
        return LeadingNumber(fixed);
    }
    // Centred over the window that asks, or over the screen.
    QRect over = owner && owner->window && owner->window->isVisible()
                     ? owner->window->frameGeometry()
                     : QGuiApplication::primaryScreen()->availableGeometry();
    window->move(over.center() - QPoint(width / 2, height / 2));
    window->show();
    window->raise();
    window->activateWindow();
    if (Control* first = f->Find(1); first && first->widget) first->widget->setFocus();
    QEventLoop loop;
    f->loop = &loop;
    loop.exec();
    return answer;
}
