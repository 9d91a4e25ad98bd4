#include "timecode/tc_math.h"

#include "shell/text.h"

namespace tarvolen {
namespace {

struct Rate {
    int32_t code;
    char separator;
    int32_t perSecond;
    int32_t perMinute;  // drop-frame: a minute that is not a multiple of ten
    int32_t perHour;
    int32_t per48Hours;
};

constexpr Rate kRates[] = {
    {29, ';', 30, 1798, 107892, 5178816},
    {30, ':', 30, 1800, 108000, 5184000},
    {25, '.', 25, 1500, 90000, 4320000},
    {24, ',', 24, 1440, 86400, 4147200},
};

// Drop-frame: a ten-minute block holds 17982 frames, of which the first
// minute keeps all 1800 labels and the other nine drop labels 0 and 1.
constexpr int32_t kDropTenMinutes = 17982;
constexpr int32_t kDropMinute = 1798;

const Rate* RateOf(int32_t code) {
    for (const Rate& r : kRates) {
        if (r.code == code) return &r;
    }
    return nullptr;
}

int32_t CodeOfSeparator(char c) {
    for (const Rate& r : kRates) {
        if (r.separator == c) return r.code;
    }
    return 0;
}

void AppendTwoDigits(std::string& out, int32_t value) {
    if (value >= 0 && value < 100) {
        out += static_cast<char>('0' + value / 10);
        out += static_cast<char>('0' + value % 10);
    } else {
        out += std::to_string(value);
    }
}

}  // namespace

FrameRateAccess FrameRateOf(int32_t& code) {
    return {[&code] { return code; }, [&code](int32_t c) { code = c; }};
}

cTcMath::cTcMath(FrameRateAccess settingsRate) : settings_(std::move(settingsRate)) {}

void cTcMath::SetFrameRate(int32_t code) {
    code_ = code;
}

void cTcMath::EnsureRate() {
    if (RateOf(code_)) return;
    int32_t program = settings_.get ? settings_.get() : 29;
    if (program == 0) {
        program = 29;
        if (settings_.set) settings_.set(program);
    }
    // A program-wide code outside the four known ones would leave no table to
    // convert with; such a code is not copied and 29.97 drop-frame is used.
    code_ = RateOf(program) ? program : 29;
}

std::string cTcMath::FormatEntry(std::string_view typed, int32_t pad) {
    EnsureRate();
    char separator = ':';
    if (code_ == 29) separator = ';';
    if (code_ == 25) separator = '.';
    if (code_ == 24) separator = ',';

    std::string sign;
    if (typed.find('+') != std::string_view::npos) sign = "+";
    if (typed.find('-') != std::string_view::npos) sign = "-";

    std::string digits;
    if (pad != 0) digits = "00000000";
    for (char c : typed) {
        if (c == ':' || c == ';' || c == ',' || c == '.' || c == '-' || c == '+') continue;
        digits += c;
    }
    if (digits.size() > 8) digits.erase(0, digits.size() - 8);

    // Pairs from the right; the first group may be a single character. The
    // frames pair follows the rate's separator, the others follow ":".
    std::string body;
    size_t n = digits.size();
    if (n <= 2) {
        body = digits;
    } else {
        size_t first = n % 2 == 0 ? 2 : 1;
        body = digits.substr(0, first);
        for (size_t i = first; i < n; i += 2) {
            body += i + 2 == n ? separator : ':';
            body.append(digits, i, 2);
        }
    }
    return sign + body;
}

std::string cTcMath::FramesToTc(int32_t frames) {
    EnsureRate();
    if (frames < 0) return std::string(kNoTimecode);
    const Rate& r = *RateOf(code_);

    int32_t count = frames % r.per48Hours;
    int32_t hours = (count / r.perHour) % 24;
    int32_t rest = count % r.perHour;
    int32_t minutes = 0;
    if (r.code == 29) {
        int32_t tens = rest / kDropTenMinutes;
        rest %= kDropTenMinutes;
        while (rest > 1799) {
            ++minutes;
            rest -= kDropMinute;
        }
        minutes += 10 * tens;
    } else {
        minutes = rest / r.perMinute;
        rest %= r.perMinute;
    }
    int32_t seconds = rest / r.perSecond;
    int32_t frame = rest % r.perSecond;

    std::string out;
    out.reserve(11);
    AppendTwoDigits(out, hours);
    out += ':';
    AppendTwoDigits(out, minutes);
    out += ':';
    AppendTwoDigits(out, seconds);
    out += r.separator;
    AppendTwoDigits(out, frame);
    return out;
}

int32_t cTcMath::TcToFrames(std::string_view tc) {
    if (tc.size() != 11) return 0;
    const Rate* r = RateOf(CodeOfSeparator(tc[8]));
    if (!r) return 0;
    int32_t h = LeadingNumber(tc.substr(0, 2));
    int32_t m = LeadingNumber(tc.substr(3, 2));
    int32_t s = LeadingNumber(tc.substr(6, 2));
    int32_t f = LeadingNumber(tc.substr(9, 2));
    if (r->code == 29) {
        return h * r->perHour + (m / 10) * kDropTenMinutes + (m % 10) * kDropMinute +
               s * r->perSecond + f;
    }
    return h * r->perHour + m * r->perMinute + s * r->perSecond + f;
}

std::string cTcMath::AddTc(std::string_view a, std::string_view b) {
    std::string ca = CleanText(a);
    std::string cb = CleanText(b);
    if (ca.size() != 11 || cb.size() != 11) return {};
    if (int32_t code = CodeOfSeparator(ca[8])) code_ = code;
    return FramesToTc(TcToFrames(ca) + TcToFrames(cb));
}

}  // namespace tarvolen
