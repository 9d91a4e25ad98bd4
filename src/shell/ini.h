// The settings file: an INI reader and writer with profile-string behaviour
// (sections and keys compare without regard to case, values are trimmed) and
// a save that replaces the whole file atomically, so an interrupted save never
// leaves a truncated file behind.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarvolen {

// Length limits of the profile-string wrappers.
inline constexpr size_t kProfileResultMax = 511;  // a 512-byte result buffer
inline constexpr size_t kProfileReadNameMax = 149;
inline constexpr size_t kProfileReadDefaultMax = 249;
inline constexpr size_t kProfileWriteNameMax = 124;
inline constexpr size_t kProfileWriteValueMax = 511;
inline constexpr size_t kProfilePathMax = 254;

// One INI file held in memory. Every line of the file is kept, so sections,
// keys, comments and junk the program does not know survive a save.
class IniFile {
  public:
    enum class Source {
        kEmpty,        // not from a file (Parse, or a new file)
        kMissing,      // the file does not exist yet
        kRead,         // read from the file
        kUnreadable,   // the file exists but could not be read; Save refuses
        kPathTooLong,  // longer than kProfilePathMax; Load and Save refuse
    };

    IniFile() = default;
    // Reads the file. A missing or unreadable file gives an empty document.
    static IniFile Load(std::string path);
    static IniFile Parse(std::string_view text);

    const std::string& Path() const { return path_; }
    Source From() const { return source_; }

    // The trimmed value of the first matching key in the first matching
    // section, or nothing.
    std::optional<std::string_view> Find(std::string_view section, std::string_view key) const;
    // Sets the value of the first matching key, adding the section at the end
    // of the file or the key at the end of its section when missing.
    void Set(std::string_view section, std::string_view key, std::string_view value);

    // The document as file text.
    std::string Text() const;
    // Writes the complete file beside itself and renames it into place,
    // making missing folders on the way (private to the user). A file made
    // read-only is not replaced. On failure why (when given) says
    // what went wrong.
    bool Save(std::string* why = nullptr) const;
    // Holds none of the sections named: a file of something else, or garbage.
    bool HasNoneOf(const std::vector<std::string_view>& sections) const;

  private:
    struct Line {
        std::string raw;  // as read, without the line end
        enum class Kind { kOther, kSection, kKey } kind = Kind::kOther;
        std::string name;   // section name or key, trimmed
        std::string value;  // key value, trimmed
    };
    static Line ParseLine(std::string_view raw);
    // Index of the header line of the first matching section, or npos.
    size_t FindSection(std::string_view section) const;
    // Index of the first matching key line after the header at `header`.
    size_t FindKey(size_t header, std::string_view key) const;

    std::string path_;
    Source source_ = Source::kEmpty;
    bool crlf_ = false;
    std::vector<Line> lines_;
};

// Profile-string reads and writes on a document held in memory.
// Read: names cut at a NUL or at 149 characters, the default at 249; the
// result is at most 511 characters and goes through text cleaning.
std::string ReadProfileString(const IniFile& file, std::string_view section, std::string_view key,
                              std::string_view default_value);
// Write: names cut at a NUL or at 124 characters, the value at 511. Line
// breaks in any of them become spaces so a value can never add lines.
void WriteProfileString(IniFile& file, std::string_view section, std::string_view key,
                        std::string_view value);

// The same on a file: one read, or one load, change and atomic save.
std::string GetProfileString(const std::string& path, std::string_view section,
                             std::string_view key, std::string_view default_value);
bool PutProfileString(const std::string& path, std::string_view section, std::string_view key,
                      std::string_view value);

}  // namespace tarvolen
