#include "platform/wire/naming.h"

#include <cstdio>

namespace tarvolen::wire {
namespace {

std::string TwoDigits(int v) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "%02d", v % 100);
    return buf;
}

const char* const kDays[] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                             "Thursday", "Friday", "Saturday"};

}  // namespace

std::string ExpandTemplate(std::string_view templ, const NamingContext& ctx) {
    std::string out;
    const std::tm& t = ctx.when;
    for (std::size_t i = 0; i < templ.size(); ++i) {
        char c = templ[i];
        if (c != '%' || i + 1 >= templ.size()) {
            out.push_back(c);
            continue;
        }
        char k = templ[++i];
        switch (k) {
            case 'P':
                out += ctx.project;
                break;
            case 'E':
                out += ctx.encoder;
                break;
            case 'S':
                out += ctx.scene;
                break;
            case 'x':
                if (ctx.proxy) out += "_proxy";
                break;
            case 'C':
                for (char d : ctx.startTimecode)
                    if (d >= '0' && d <= '9') out.push_back(d);
                break;
            case 'D':
                out += std::to_string(t.tm_year + 1900) + TwoDigits(t.tm_mon + 1) +
                       TwoDigits(t.tm_mday);
                break;
            case 'Y':
                out += std::to_string(t.tm_year + 1900);
                break;
            case 'y':
                out += TwoDigits(t.tm_year % 100);
                break;
            case 'M':
                out += TwoDigits(t.tm_mon + 1);
                break;
            case 'd':
                out += TwoDigits(t.tm_mday);
                break;
            case 'T':
                out += TwoDigits(t.tm_hour) + TwoDigits(t.tm_min) + TwoDigits(t.tm_sec);
                break;
            case 'H':
                out += TwoDigits(t.tm_hour);
                break;
            case 'm':
                out += TwoDigits(t.tm_min);
                break;
            case 's':
                out += TwoDigits(t.tm_sec);
                break;
            case 'W':
                out += kDays[(t.tm_wday % 7 + 7) % 7];
                break;
            case 'w':
                out += std::string(kDays[(t.tm_wday % 7 + 7) % 7]).substr(0, 3);
                break;
            case '%':
                out.push_back('%');
                break;
            default:
                out.push_back('%');
                out.push_back(k);
        }
    }
    return out;
}

std::string SanitizeName(std::string_view name) {
    std::string out;
    for (char ch : name) {
        auto c = static_cast<unsigned char>(ch);
        bool unfit = c < 0x20 || c == 0x7f || c == 0xff ||
                     std::string_view("/\\:*?\"<>|").find(ch) != std::string_view::npos;
        out.push_back(unfit ? '_' : ch);
    }
    // Spaces at the ends would vanish in the controller's text cleaning.
    while (!out.empty() && out.back() == ' ') out.pop_back();
    std::size_t lead = out.find_first_not_of(' ');
    out.erase(0, lead == std::string::npos ? out.size() : lead);
    if (out.size() > kMaxClipName) out.resize(kMaxClipName);
    return out;
}

}  // namespace tarvolen::wire
