#include "shell/ini.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "shell/text.h"

namespace tarvolen {

namespace {

std::string_view Trim(std::string_view text) {
    size_t first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) return {};
    size_t last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

bool MakeFolder(const std::filesystem::path& dir) {
    std::error_code ec;
    if (dir.empty() || std::filesystem::is_directory(dir, ec)) return true;
    if (!MakeFolder(dir.parent_path())) return false;
    return ::mkdir(dir.c_str(), 0700) == 0 || errno == EEXIST;
}

// What a zero-terminated argument of at most `limit` characters holds.
std::string_view CutArgument(std::string_view text, size_t limit) {
    text = text.substr(0, text.find('\0'));
    return text.substr(0, std::min(text.size(), limit));
}

// A value written into the file must stay on its line.
std::string OneLine(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c == '\r' || c == '\n') c = ' ';
    }
    return out;
}

bool WriteAll(int fd, std::string_view data) {
    while (!data.empty()) {
        ssize_t n = ::write(fd, data.data(), data.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

}  // namespace

IniFile::Line IniFile::ParseLine(std::string_view raw) {
    Line line;
    line.raw = std::string(raw);
    std::string_view text = Trim(raw);
    if (!text.empty() && text.front() == '[') {
        size_t close = text.rfind(']');
        if (close != std::string_view::npos && close > 0) {
            line.kind = Line::Kind::kSection;
            line.name = std::string(Trim(text.substr(1, close - 1)));
        }
        return line;
    }
    if (!text.empty() && text.front() == ';') return line;
    size_t eq = text.find('=');
    if (eq == std::string_view::npos) return line;
    line.kind = Line::Kind::kKey;
    line.name = std::string(Trim(text.substr(0, eq)));
    line.value = std::string(Trim(text.substr(eq + 1)));
    return line;
}

IniFile IniFile::Parse(std::string_view text) {
    IniFile file;
    size_t pos = 0;
    bool first = true;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        std::string_view raw = text.substr(pos, end == std::string_view::npos ? end : end - pos);
        bool had_cr = !raw.empty() && raw.back() == '\r';
        if (had_cr) raw.remove_suffix(1);
        if (first && end != std::string_view::npos) file.crlf_ = had_cr;
        first = false;
        file.lines_.push_back(ParseLine(raw));
        if (end == std::string_view::npos) break;
        pos = end + 1;
    }
    return file;
}

IniFile IniFile::Load(std::string path) {
    IniFile file;
    if (path.size() > kProfilePathMax) {
        file.path_ = std::move(path);
        file.source_ = Source::kPathTooLong;
        return file;
    }
    std::error_code ec;
    if (!std::filesystem::exists(path, ec) && !ec) {
        file.path_ = std::move(path);
        file.source_ = Source::kMissing;
        return file;
    }
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    if (in) content << in.rdbuf();
    if (!in || in.bad() || std::filesystem::is_directory(path, ec)) {
        file.path_ = std::move(path);
        file.source_ = Source::kUnreadable;
        return file;
    }
    file = Parse(content.str());
    file.path_ = std::move(path);
    file.source_ = Source::kRead;
    return file;
}

size_t IniFile::FindSection(std::string_view section) const {
    for (size_t i = 0; i < lines_.size(); ++i) {
        if (lines_[i].kind == Line::Kind::kSection && EqualsNoCase(lines_[i].name, section)) {
            return i;
        }
    }
    return std::string::npos;
}

size_t IniFile::FindKey(size_t header, std::string_view key) const {
    for (size_t i = header + 1; i < lines_.size(); ++i) {
        if (lines_[i].kind == Line::Kind::kSection) break;
        if (lines_[i].kind == Line::Kind::kKey && EqualsNoCase(lines_[i].name, key)) return i;
    }
    return std::string::npos;
}

std::optional<std::string_view> IniFile::Find(std::string_view section,
                                              std::string_view key) const {
    size_t header = FindSection(section);
    if (header == std::string::npos) return std::nullopt;
    size_t at = FindKey(header, key);
    if (at == std::string::npos) return std::nullopt;
    return std::string_view(lines_[at].value);
}

void IniFile::Set(std::string_view section, std::string_view key, std::string_view value) {
    size_t header = FindSection(section);
    if (header == std::string::npos) {
        Line head;
        head.raw = "[" + std::string(section) + "]";
        head.kind = Line::Kind::kSection;
        head.name = std::string(Trim(section));
        lines_.push_back(std::move(head));
        header = lines_.size() - 1;
    }
    size_t at = FindKey(header, key);
    if (at != std::string::npos) {
        Line& line = lines_[at];
        line.value = std::string(Trim(value));
        line.raw = line.name + "=" + std::string(value);
        return;
    }
    // After the last key of the section, so blank lines and comments that
    // lead into the next section stay with it.
    size_t insert = header + 1;
    for (size_t i = header + 1; i < lines_.size(); ++i) {
        if (lines_[i].kind == Line::Kind::kSection) break;
        if (lines_[i].kind == Line::Kind::kKey) insert = i + 1;
    }
    Line line;
    line.kind = Line::Kind::kKey;
    line.name = std::string(Trim(key));
    line.value = std::string(Trim(value));
    line.raw = std::string(key) + "=" + std::string(value);
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(insert), std::move(line));
}

std::string IniFile::Text() const {
    const char* eol = crlf_ ? "\r\n" : "\n";
    size_t total = 0;
    for (const Line& line : lines_) total += line.raw.size() + 2;
    std::string out;
    out.reserve(total);
    for (const Line& line : lines_) {
        out += line.raw;
        out += eol;
    }
    return out;
}

bool IniFile::HasNoneOf(const std::vector<std::string_view>& sections) const {
    for (std::string_view section : sections) {
        if (FindSection(section) != std::string::npos) return false;
    }
    return true;
}

bool IniFile::Save(std::string* why) const {
    auto fail = [why](std::string reason) {
        if (why) *why = std::move(reason);
        return false;
    };
    auto failErrno = [&fail](const char* step) {
        return fail(std::string(step) + ": " + std::strerror(errno));
    };
    if (path_.empty()) return fail("no file name");
    if (source_ == Source::kPathTooLong) return fail("the path is too long");
    if (source_ == Source::kUnreadable) return fail("the file could not be read");
    namespace fs = std::filesystem;
    std::error_code ec;
    // Replace what a link points at, not the link.
    fs::path target(path_);
    if (fs::is_symlink(target, ec)) {
        fs::path resolved = fs::canonical(target, ec);
        if (!ec) target = resolved;
    }
    // The first save of a user's settings makes their folder, private to them.
    if (!MakeFolder(target.parent_path())) return false;
    mode_t mode = 0644;
    struct stat st {};
    if (::stat(target.c_str(), &st) == 0) {
        mode = st.st_mode & 07777;
        // Replacing it would go round the lock whoever made it read-only meant.
        if ((mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) return fail("the file is read-only");
    }

    std::string temp = target.string() + ".XXXXXX";
    int fd = ::mkstemp(temp.data());
    if (fd < 0) return failErrno("cannot create a file beside it");
    bool ok = ::fchmod(fd, mode) == 0 && WriteAll(fd, Text()) && ::fsync(fd) == 0;
    int writeErrno = errno;
    if (::close(fd) != 0 && ok) {
        ok = false;
        writeErrno = errno;
    }
    if (!ok) {
        ::unlink(temp.c_str());
        errno = writeErrno;
        return failErrno("cannot write");
    }
    if (::rename(temp.c_str(), target.c_str()) != 0) {
        const int renameErrno = errno;
        ::unlink(temp.c_str());
        errno = renameErrno;
        return failErrno("cannot replace the file");
    }
    // Make the rename itself durable.
    fs::path dir = target.parent_path();
    int dfd = ::open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd >= 0) {
        ::fsync(dfd);
        ::close(dfd);
    }
    return true;
}

std::string ReadProfileString(const IniFile& file, std::string_view section, std::string_view key,
                              std::string_view default_value) {
    std::optional<std::string_view> found =
        file.Find(CutArgument(section, kProfileReadNameMax), CutArgument(key, kProfileReadNameMax));
    std::string_view value =
        found ? *found : Trim(CutArgument(default_value, kProfileReadDefaultMax));
    return CleanText(value.substr(0, std::min(value.size(), kProfileResultMax)));
}

void WriteProfileString(IniFile& file, std::string_view section, std::string_view key,
                        std::string_view value) {
    file.Set(OneLine(CutArgument(section, kProfileWriteNameMax)),
             OneLine(CutArgument(key, kProfileWriteNameMax)),
             OneLine(CutArgument(value, kProfileWriteValueMax)));
}

std::string GetProfileString(const std::string& path, std::string_view section,
                             std::string_view key, std::string_view default_value) {
    return ReadProfileString(IniFile::Load(path), section, key, default_value);
}

bool PutProfileString(const std::string& path, std::string_view section, std::string_view key,
                      std::string_view value) {
    IniFile file = IniFile::Load(path);
    WriteProfileString(file, section, key, value);
    return file.Save();
}

}  // namespace tarvolen
