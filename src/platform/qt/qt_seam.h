// What tests and the program's entry use of the Qt backend beyond the toolkit
// contract: creating the application without running its loop, answering
// message boxes, delivering events and grabbing what a form shows.
#pragma once

#include <QIcon>
#include <QImage>
#include <QWidget>
#include <functional>
#include <string>
#include <vector>

#include "shell/toolkit.h"

namespace tarvolen::qt {

void EnsureApplication(int argc, char** argv);
void SetCallbacks(EzEventProc event, EzDesignProc design);
void DeliverEvent(const std::string& form, int32_t id, int32_t code, int32_t value);

// Answers every message box instead of the operator: gets form, text, caption
// and buttons, returns the button number (1 = first). The box's form is still
// built and styled first.
using MessageBoxAnswerer =
    std::function<int32_t(const std::string& form, const std::string& text,
                          const std::string& caption, const std::string& buttons)>;
void SetMessageBoxAnswerer(MessageBoxAnswerer answerer);
const std::vector<std::string>& MessageBoxLog();

QWidget* FormWidget(const std::string& form);
// The program has handled the form's shown event.
bool FormShownHandled(const std::string& form);
QWidget* ControlWidget(const std::string& form, int32_t id);
QImage Grab(const std::string& form);
// Pixel height of a list view's rows.
int ListRowHeight(const std::string& form, int32_t id);
// Milliseconds between the ticks of a running timer of a form; -1 when the
// timer is not running.
int TimerInterval(const std::string& form, int32_t id);
// The text the program last gave for a tooltip.
std::string LastTooltip();
void UnloadAll();

// The program's own icon, drawn here so no picture file is needed.
QIcon ProgramIcon(const std::string& name);

}  // namespace tarvolen::qt
