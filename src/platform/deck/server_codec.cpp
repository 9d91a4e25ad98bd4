#include "platform/deck/server_codec.h"

#include <algorithm>
#include <cstring>

namespace tarvolen::deck {
namespace {

bool Blank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && Blank(s.front())) s.remove_prefix(1);
    while (!s.empty() && Blank(s.back())) s.remove_suffix(1);
    return s;
}

struct Word {
    std::size_t begin, end;  // into the text being split
};

std::vector<Word> Words(std::string_view s) {
    std::vector<Word> words;
    std::size_t i = 0;
    while (i < s.size()) {
        while (i < s.size() && Blank(s[i])) ++i;
        if (i == s.size()) break;
        std::size_t b = i;
        while (i < s.size() && !Blank(s[i])) ++i;
        words.push_back({b, i});
    }
    return words;
}

// A key ends at a word ending in ':'; its words are joined by one space.
std::string JoinKey(std::string_view s, const std::vector<Word>& w, std::size_t from,
                    std::size_t last) {
    std::string key;
    for (std::size_t k = from; k <= last; ++k) {
        if (!key.empty()) key.push_back(' ');
        std::size_t end = w[k].end - (k == last ? 1 : 0);
        key.append(s.substr(w[k].begin, end - w[k].begin));
    }
    return key;
}

// "key: value" (a multi-line body line); the colon ends the key when a blank
// or the line's end follows it, so a timecode value keeps its colons.
bool SplitParam(std::string_view line, Param& out) {
    for (std::size_t i = 0; i < line.size(); ++i) {
        if (line[i] != ':' || (i + 1 < line.size() && !Blank(line[i + 1]))) continue;
        std::string_view key = Trim(line.substr(0, i));
        if (key.empty()) return false;
        out.key.assign(key);
        out.value.assign(Trim(line.substr(i + 1)));
        return true;
    }
    return false;
}

void AppendClean(std::string& out, std::string_view text) {
    for (char c : text) out.push_back(c == '\r' || c == '\n' ? ' ' : c);
}

void AppendHead(std::string& out, int code, std::string_view text, bool colon) {
    out += std::to_string(code);
    out.push_back(' ');
    AppendClean(out, text);
    if (colon) out.push_back(':');
    out += "\r\n";
}

}  // namespace

std::string ParseCommandLine(std::string_view line, Command& out, bool& startsBlock) {
    out.name.clear();
    out.params.clear();
    startsBlock = false;
    line = Trim(line);
    std::size_t colon = line.find(':');
    if (colon == std::string_view::npos) {
        out.name.assign(line);
        return {};
    }
    std::string_view name = Trim(line.substr(0, colon));
    if (name.empty()) return "missing command name";
    out.name.assign(name);
    std::string_view rest = line.substr(colon + 1);
    std::vector<Word> w = Words(rest);
    if (w.empty()) {
        startsBlock = true;
        return {};
    }
    auto endsKey = [&](std::size_t k) { return rest[w[k].end - 1] == ':'; };
    std::size_t i = 0;
    while (i < w.size()) {
        if (out.params.size() == kMaxParams) return "too many parameters";
        std::size_t keyFrom = i;
        while (i < w.size() && !endsKey(i)) ++i;
        if (i == w.size()) return "parameter without a colon";
        Param p;
        p.key = JoinKey(rest, w, keyFrom, i);
        if (p.key.empty()) return "empty parameter name";
        ++i;
        bool anotherKey = false;
        for (std::size_t k = i; k < w.size(); ++k)
            if (endsKey(k)) anotherKey = true;
        if (!anotherKey) {
            if (i < w.size()) p.value.assign(rest.substr(w[i].begin, w.back().end - w[i].begin));
            i = w.size();
        } else if (i < w.size() && !endsKey(i)) {
            p.value.assign(rest.substr(w[i].begin, w[i].end - w[i].begin));
            ++i;
        }
        out.params.push_back(std::move(p));
    }
    return {};
}

void CommandReader::Feed(const char* data, std::size_t size) {
    if (start_ > 0 && start_ == buffer_.size()) {
        buffer_.clear();
        start_ = 0;
    }
    buffer_.append(data, size);
}

CommandReader::Status CommandReader::Fail(std::string reason) {
    error_ = std::move(reason);
    return Status::kError;
}

CommandReader::Status CommandReader::Next(Command& out) {
    for (;;) {
        const char* base = buffer_.data() + start_;
        std::size_t avail = buffer_.size() - start_;
        const void* lf = avail ? std::memchr(base, '\n', avail) : nullptr;
        if (discarding_) {
            if (!lf) {
                buffer_.clear();
                start_ = 0;
                return Status::kNeedMore;
            }
            start_ += static_cast<std::size_t>(static_cast<const char*>(lf) - base) + 1;
            discarding_ = false;
            continue;
        }
        if (!lf) {
            if (avail <= kMaxLine + 1) {  // +1: a CR still waiting for its LF
                if (start_ > 0) {
                    buffer_.erase(0, start_);
                    start_ = 0;
                }
                return Status::kNeedMore;
            }
            buffer_.clear();
            start_ = 0;
            discarding_ = true;
            if (inBlock_) {
                blockFailed_ = true;
                error_ = "line too long";
                continue;
            }
            return Fail("line too long");
        }
        std::size_t len = static_cast<std::size_t>(static_cast<const char*>(lf) - base);
        std::string_view line(base, len);
        start_ += len + 1;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line.size() > kMaxLine) {
            if (inBlock_) {
                blockFailed_ = true;
                error_ = "line too long";
                continue;
            }
            return Fail("line too long");
        }
        Status st = Line(line, out);
        if (st != Status::kNeedMore) return st;
    }
}

CommandReader::Status CommandReader::Line(std::string_view line, Command& out) {
    // A stray CR or other control byte inside a line has no agreed meaning.
    bool control = std::any_of(line.begin(), line.end(), [](char c) {
        return static_cast<unsigned char>(c) < 0x20 && c != '\t';
    });
    if (inBlock_) {
        if (Trim(line).empty()) {
            inBlock_ = false;
            if (blockFailed_) return Fail(error_);
            out = std::move(block_);
            block_ = {};
            return Status::kCommand;
        }
        if (blockFailed_) return Status::kNeedMore;
        Param p;
        if (control) {
            blockFailed_ = true;
            error_ = "control character";
        } else if (!SplitParam(line, p)) {
            blockFailed_ = true;
            error_ = "parameter without a colon";
        } else if (block_.params.size() == kMaxParams) {
            blockFailed_ = true;
            error_ = "too many parameters";
        } else {
            block_.params.push_back(std::move(p));
        }
        return Status::kNeedMore;
    }
    if (Trim(line).empty()) return Status::kNeedMore;
    if (control) return Fail("control character");
    bool startsBlock = false;
    std::string why = ParseCommandLine(line, out, startsBlock);
    if (!why.empty()) return Fail(std::move(why));
    if (startsBlock) {
        inBlock_ = true;
        blockFailed_ = false;
        error_.clear();
        block_ = {};
        block_.name = out.name;
        return Status::kNeedMore;
    }
    return Status::kCommand;
}

std::string FormatReply(int code) {
    return FormatReply(code, CodeText(code));
}

std::string FormatReply(int code, std::string_view text) {
    std::string out;
    AppendHead(out, code, text, false);
    return out;
}

std::string FormatBlock(int code, const Params& params) {
    return FormatBlock(code, CodeText(code), params);
}

std::string FormatBlock(int code, std::string_view text, const Params& params) {
    std::string out;
    AppendHead(out, code, text, true);
    for (const auto& p : params) {
        AppendClean(out, p.key);
        out += ": ";
        AppendClean(out, p.value);
        out += "\r\n";
    }
    out += "\r\n";
    return out;
}

std::string FormatLines(int code, std::string_view text, const std::vector<std::string>& lines) {
    std::string out;
    AppendHead(out, code, text, true);
    for (const auto& l : lines) {
        AppendClean(out, l);
        out += "\r\n";
    }
    out += "\r\n";
    return out;
}

}  // namespace tarvolen::deck
