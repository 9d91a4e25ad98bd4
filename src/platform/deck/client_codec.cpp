#include "platform/deck/client_codec.h"

#include <cstring>

namespace tarvolen::deck {
namespace {

bool Blank(char c) {
    return c == ' ' || c == '\t';
}
bool HasLineEnd(std::string_view s) {
    return s.find_first_of("\r\n") != std::string_view::npos;
}

// A value that one word of a single-line command carries unchanged.
bool OneWord(std::string_view v) {
    if (v.empty() || v.back() == ':') return false;
    for (char c : v)
        if (Blank(c)) return false;
    return true;
}

// Keys are words joined by single spaces, as the deck's reader joins them.
bool ValidKey(std::string_view k) {
    if (k.empty() || k.front() == ' ' || k.back() == ' ') return false;
    if (k.find_first_of(":\t\r\n") != std::string_view::npos) return false;
    return k.find("  ") == std::string_view::npos;
}

// Same rule as the deck's reader: the colon that ends a key is followed by a
// blank or the line's end.
void SplitBodyLine(std::string_view line, Params& params) {
    for (std::size_t i = 0; i < line.size(); ++i) {
        if (line[i] != ':' || (i + 1 < line.size() && !Blank(line[i + 1]))) continue;
        std::string_view key = line.substr(0, i), value = line.substr(i + 1);
        while (!value.empty() && Blank(value.front())) value.remove_prefix(1);
        if (!key.empty()) params.push_back({std::string(key), std::string(value)});
        return;
    }
}

}  // namespace

bool FormatCommand(const Command& command, std::string& out) {
    const std::string& name = command.name;
    if (name.empty() || name.find(':') != std::string::npos || HasLineEnd(name) ||
        Blank(name.front()) || Blank(name.back()))
        return false;
    bool single = true;
    for (const auto& p : command.params) {
        if (!ValidKey(p.key) || HasLineEnd(p.value)) return false;
        if (!OneWord(p.value)) single = false;
    }
    std::string text = name;
    if (command.params.empty()) {
        text += "\r\n";
    } else if (single) {
        text += ":";
        for (const auto& p : command.params) text += " " + p.key + ": " + p.value;
        text += "\r\n";
    } else {
        text += ":\r\n";
        for (const auto& p : command.params) {
            if (!p.value.empty() && (Blank(p.value.front()) || Blank(p.value.back()))) return false;
            if (p.key.size() + p.value.size() + 2 > kMaxLine) return false;
            text += p.key + ": " + p.value + "\r\n";
        }
        text += "\r\n";
    }
    if (single && text.size() > kMaxLine + 2) return false;
    out += text;
    return true;
}

std::string FormatCommand(std::string_view name, const Params& params) {
    Command c{std::string(name), params};
    std::string out;
    FormatCommand(c, out);
    return out;
}

void ReplyReader::Feed(const char* data, std::size_t size) {
    if (failed_) return;
    if (start_ > 0 && start_ == buffer_.size()) {
        buffer_.clear();
        start_ = 0;
    }
    buffer_.append(data, size);
}

ReplyReader::Status ReplyReader::Fail(std::string reason) {
    failed_ = true;
    error_ = std::move(reason);
    buffer_.clear();
    start_ = 0;
    current_ = {};
    return Status::kError;
}

bool ReplyReader::Head(std::string_view line) {
    if (line.size() < 3) return false;
    int code = 0;
    for (int i = 0; i < 3; ++i) {
        if (line[i] < '0' || line[i] > '9') return false;
        code = code * 10 + (line[i] - '0');
    }
    if (code < 100) return false;
    if (line.size() > 3 && line[3] != ' ') return false;
    std::string_view text = line.size() > 4 ? line.substr(4) : std::string_view();
    current_ = {};
    current_.code = code;
    if (!text.empty() && text.back() == ':') {
        text.remove_suffix(1);
        current_.hasBody = true;
    }
    current_.text.assign(text);
    return true;
}

ReplyReader::Status ReplyReader::Next(Response& out) {
    if (failed_) return Status::kError;
    for (;;) {
        const char* base = buffer_.data() + start_;
        std::size_t avail = buffer_.size() - start_;
        const void* lf = avail ? std::memchr(base, '\n', avail) : nullptr;
        if (!lf) {
            if (avail > kMaxLine + 1) return Fail("line too long");
            if (start_ > 0) {
                buffer_.erase(0, start_);
                start_ = 0;
            }
            return Status::kNeedMore;
        }
        std::size_t len = static_cast<std::size_t>(static_cast<const char*>(lf) - base);
        std::string_view line(base, len);
        start_ += len + 1;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line.size() > kMaxLine) return Fail("line too long");
        if (!inBody_) {
            if (line.empty()) continue;  // stray blank between responses
            if (!Head(line)) return Fail("not a response line");
            if (!current_.hasBody) {
                out = std::move(current_);
                current_ = {};
                return Status::kResponse;
            }
            inBody_ = true;
            bodyBytes_ = 0;
            continue;
        }
        if (line.empty()) {
            inBody_ = false;
            out = std::move(current_);
            current_ = {};
            return Status::kResponse;
        }
        bodyBytes_ += line.size();
        if (current_.lines.size() == kMaxBodyLines || bodyBytes_ > kMaxBodyBytes)
            return Fail("reply body too long");
        SplitBodyLine(line, current_.params);
        current_.lines.emplace_back(line);
    }
}

}  // namespace tarvolen::deck
