#include "platform/wire/wire.h"

#include <algorithm>

namespace tarvolen::wire {
namespace {

bool RawAllowed(unsigned char c) {
    return c > 0x20 && c < 0x7f && c != '%' && c != '#';
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool ValidVerb(std::string_view v) {
    if (v.empty() || v.size() > kMaxVerb) return false;
    return std::all_of(v.begin(), v.end(), [](char c) {
        return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
               c == '_';
    });
}

bool ParseUnsigned(std::string_view t, uint64_t hi, uint64_t& out) {
    if (t.empty() || t.size() > 10) return false;
    if (t.size() > 1 && t[0] == '0') return false;
    uint64_t v = 0;
    for (char c : t) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + static_cast<uint64_t>(c - '0');
    }
    if (v > hi) return false;
    out = v;
    return true;
}

}  // namespace

const std::string& Frame::Arg(std::size_t i) const {
    static const std::string kEmpty;
    return i < args.size() ? args[i] : kEmpty;
}

Frame MakeFrame(uint32_t id, std::string verb, std::vector<std::string> args) {
    Frame f;
    f.id = id;
    f.verb = std::move(verb);
    f.args = std::move(args);
    return f;
}

std::string EncodeText(std::string_view text) {
    if (text.empty()) return "-";
    if (text == "-") return "%2D";
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size());
    for (char ch : text) {
        auto c = static_cast<unsigned char>(ch);
        if (RawAllowed(c)) {
            out.push_back(ch);
        } else {
            out.push_back('%');
            out.push_back(kHex[c >> 4]);
            out.push_back(kHex[c & 15]);
        }
    }
    return out;
}

bool DecodeText(std::string_view token, std::string& out) {
    out.clear();
    if (token == "-") return true;
    out.reserve(token.size());
    for (std::size_t i = 0; i < token.size(); ++i) {
        auto c = static_cast<unsigned char>(token[i]);
        if (c == '%') {
            if (i + 2 >= token.size()) return false;
            int hi = HexValue(token[i + 1]);
            int lo = HexValue(token[i + 2]);
            if (hi < 0 || lo < 0) return false;
            out.push_back(static_cast<char>(hi * 16 + lo));
            i += 2;
        } else if (RawAllowed(c)) {
            out.push_back(static_cast<char>(c));
        } else {
            return false;
        }
    }
    return true;
}

bool ParseInt(std::string_view text, int64_t lo, int64_t hi, int64_t& out) {
    bool negative = !text.empty() && (text[0] == '-' || text[0] == '+');
    bool minus = negative && text[0] == '-';
    std::string_view digits = negative ? text.substr(1) : text;
    if (digits.empty() || digits.size() > 18) return false;
    int64_t v = 0;
    for (char c : digits) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + (c - '0');
    }
    if (minus) v = -v;
    if (v < lo || v > hi) return false;
    out = v;
    return true;
}

bool Encode(const Frame& frame, std::string& out) {
    if (!ValidVerb(frame.verb) || frame.args.size() > kMaxArgs || frame.id > kMaxId) return false;
    if (frame.payload && frame.payload->size() > kMaxPayload) return false;
    std::string line = frame.id == 0 ? std::string("*") : std::to_string(frame.id);
    line.push_back(' ');
    for (char c : frame.verb) line.push_back(c >= 'a' && c <= 'z' ? char(c - 32) : c);
    for (const auto& a : frame.args) {
        line.push_back(' ');
        line += EncodeText(a);
    }
    if (frame.payload) {
        line += " #";
        line += std::to_string(frame.payload->size());
    }
    line.push_back('\n');
    if (line.size() > kMaxLine) return false;
    out += line;
    if (frame.payload) {
        out += *frame.payload;
        out.push_back('\n');
    }
    return true;
}

std::string Encode(const Frame& frame) {
    std::string out;
    Encode(frame, out);
    return out;
}

void Decoder::Feed(const char* data, std::size_t size) {
    if (failed_) return;
    if (start_ > 0 && (start_ >= buffer_.size() || start_ > 65536)) {
        buffer_.erase(0, start_);
        start_ = 0;
    }
    if (buffer_.size() - start_ + size > kMaxBuffered) {
        Fail("peer sends faster than it is read");
        return;
    }
    buffer_.append(data, size);
}

Decoder::Status Decoder::Fail(std::string reason) {
    failed_ = true;
    error_ = std::move(reason);
    buffer_.clear();
    start_ = 0;
    waiting_.reset();
    return Status::kError;
}

bool Decoder::ParseLine(std::string_view line, Frame& out, std::size_t& payload) {
    payload = SIZE_MAX;
    for (char ch : line) {
        auto c = static_cast<unsigned char>(ch);
        if (c < 0x20 || c > 0x7e) {
            error_ = "byte outside printable text";
            return false;
        }
    }
    std::vector<std::string_view> tokens;
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && line[i] == ' ') ++i;
        if (i >= line.size()) break;
        std::size_t j = line.find(' ', i);
        if (j == std::string_view::npos) j = line.size();
        tokens.push_back(line.substr(i, j - i));
        if (tokens.size() > kMaxArgs + 3) {
            error_ = "too many arguments";
            return false;
        }
        i = j;
    }
    if (tokens.empty()) return true;  // blank line: nothing
    if (tokens.size() < 2) {
        error_ = "no verb";
        return false;
    }
    uint64_t id = 0;
    if (tokens[0] != "*" && !ParseUnsigned(tokens[0], kMaxId, id)) {
        error_ = "bad tag";
        return false;
    }
    if (tokens[0] != "*" && id == 0) {
        error_ = "bad tag";
        return false;
    }
    if (!ValidVerb(tokens[1])) {
        error_ = "bad verb";
        return false;
    }
    std::size_t argEnd = tokens.size();
    if (tokens.size() > 2 && tokens.back().front() == '#') {
        uint64_t n = 0;
        if (!ParseUnsigned(tokens.back().substr(1), kMaxPayload, n)) {
            error_ = "bad payload length";
            return false;
        }
        payload = static_cast<std::size_t>(n);
        --argEnd;
    }
    if (argEnd - 2 > kMaxArgs) {
        error_ = "too many arguments";
        return false;
    }
    out = Frame{};
    out.id = static_cast<uint32_t>(id);
    out.verb.assign(tokens[1]);
    for (auto& c : out.verb)
        if (c >= 'a' && c <= 'z') c = char(c - 32);
    out.args.resize(argEnd - 2);
    for (std::size_t k = 2; k < argEnd; ++k) {
        if (!DecodeText(tokens[k], out.args[k - 2])) {
            error_ = "bad argument encoding";
            return false;
        }
    }
    return true;
}

Decoder::Status Decoder::Next(Frame& out) {
    if (failed_) return Status::kError;
    for (;;) {
        std::string_view avail(buffer_.data() + start_, buffer_.size() - start_);
        if (waiting_) {
            if (avail.size() < payloadSize_ + 1) return Status::kNeedMore;
            std::size_t end = payloadSize_;
            if (avail[end] == '\r') {
                if (avail.size() < payloadSize_ + 2) return Status::kNeedMore;
                ++end;
            }
            if (avail[end] != '\n') return Fail("payload not ended by a line end");
            waiting_->payload.emplace(avail.substr(0, payloadSize_));
            start_ += end + 1;
            out = std::move(*waiting_);
            waiting_.reset();
            return Status::kFrame;
        }
        std::size_t lf = avail.substr(0, std::min(avail.size(), kMaxLine)).find('\n');
        if (lf == std::string_view::npos) {
            if (avail.size() >= kMaxLine) return Fail("line too long");
            return Status::kNeedMore;
        }
        std::string_view line = avail.substr(0, lf);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        Frame frame;
        std::size_t payload = SIZE_MAX;
        if (!ParseLine(line, frame, payload)) return Fail(error_);
        start_ += lf + 1;
        if (frame.verb.empty()) continue;  // blank line
        if (payload != SIZE_MAX) {
            waiting_ = std::move(frame);
            payloadSize_ = payload;
            continue;
        }
        out = std::move(frame);
        return Status::kFrame;
    }
}

}  // namespace tarvolen::wire
