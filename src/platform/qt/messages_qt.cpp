// Messages and selection queries that several kinds of control answer.
#include "platform/qt/backend.h"

using namespace tarvolen::qt;

namespace {

MessageTarget* Target(const std::string& form, int32_t id) {
    Control* c = B().FindControl(form, id);
    return c && c->widget ? dynamic_cast<MessageTarget*>(c->widget.data()) : nullptr;
}

}  // namespace

int32_t EZ_FINDNEXTSEL(const std::string& form, int32_t id, int32_t after) {
    MessageTarget* t = Target(form, id);
    return t ? t->FindNextSelected(after) : -1;
}

intptr_t EZ_SENDMESSAGE(const std::string& form, int32_t id, int32_t message, intptr_t wparam,
                        intptr_t lparam) {
    MessageTarget* t = Target(form, id);
    return t ? t->Message(message, wparam, lparam) : 0;
}
