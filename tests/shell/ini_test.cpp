#include "shell/ini.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "temp_dir.h"

namespace tarvolen {
namespace {

using testing::ReadFile;
using testing::TempDir;
using testing::WriteFile;

struct ReadCase {
    const char* text;
    const char* section;
    const char* key;
    const char* default_value;
    const char* expected;
};

std::ostream& operator<<(std::ostream& os, const ReadCase& c) {
    return os << "[" << c.section << "]" << c.key;
}

class IniReadTest : public ::testing::TestWithParam<ReadCase> {};

TEST_P(IniReadTest, ReadsWithProfileStringRules) {
    const ReadCase& c = GetParam();
    IniFile file = IniFile::Parse(c.text);
    EXPECT_EQ(ReadProfileString(file, c.section, c.key, c.default_value), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, IniReadTest,
    ::testing::Values(ReadCase{"[IP]\n0=1.2.3.4\n", "IP", "0", "x", "1.2.3.4"},
                      ReadCase{"[ip]\n0=1.2.3.4\n", "IP", "0", "x", "1.2.3.4"},
                      ReadCase{"[Settings]\ntracklines=2\n", "SETTINGS", "TrackLines", "3", "2"},
                      ReadCase{"[ Show ]\n  5  =   0  \n", "Show", "5", "1", "0"},
                      ReadCase{"[A]\nk=\n", "A", "k", "dflt", ""},
                      ReadCase{"[A]\nk=v\n", "A", "missing", "dflt", "dflt"},
                      ReadCase{"[A]\nk=v\n", "B", "k", "  dflt  ", "dflt"},
                      ReadCase{"[A]\r\nk=crlf\r\n", "A", "k", "", "crlf"},
                      ReadCase{"[A]\nk=no newline", "A", "k", "", "no newline"},
                      ReadCase{"[A]\nk=first\nk=second\n", "A", "k", "", "first"},
                      ReadCase{"[A]\nk=one\n[A]\nk=two\n", "A", "k", "", "one"},
                      ReadCase{"[A]\nk=a=b\n", "A", "k", "", "a=b"},
                      ReadCase{"[A]\n;k=comment\n", "A", ";k", "d", "d"},
                      ReadCase{"k=before any section\n", "", "k", "d", "d"},
                      ReadCase{"[A]\nnot a key\n", "A", "not a key", "d", "d"},
                      ReadCase{"[A\nk=v\n", "A", "k", "d", "d"},
                      ReadCase{"[A]\nk=\xFFv\xFF\n", "A", "k", "", "v"},
                      ReadCase{"[A]\nk=Mixed Case Value\n", "a", "K", "", "Mixed Case Value"}));

TEST(IniRead, NulInValueBecomesSpace) {
    IniFile file = IniFile::Parse(std::string("[A]\nk=x\0y\n", 9));
    EXPECT_EQ(ReadProfileString(file, "A", "k", ""), "x y");
}

TEST(IniRead, ResultIsCutAt511) {
    IniFile file = IniFile::Parse("[A]\nk=" + std::string(600, 'v') + "\n");
    EXPECT_EQ(ReadProfileString(file, "A", "k", "").size(), 511u);
}

TEST(IniRead, DefaultIsCutAt249) {
    EXPECT_EQ(ReadProfileString(IniFile(), "A", "k", std::string(300, 'd')).size(), 249u);
}

TEST(IniRead, NamesAreCutAt149) {
    std::string long_key(149, 'k');
    IniFile file = IniFile::Parse("[A]\n" + long_key + "=v\n");
    EXPECT_EQ(ReadProfileString(file, "A", long_key + "extra", ""), "v");
}

TEST(IniRead, NamesEndAtNul) {
    IniFile file = IniFile::Parse("[A]\nk=v\n");
    EXPECT_EQ(ReadProfileString(file, std::string("A\0B", 3), "k", ""), "v");
}

TEST(IniRead, BinaryJunkNeverCrashes) {
    std::string junk;
    for (int i = 0; i < 4096; ++i) junk += static_cast<char>((i * 131 + 7) % 256);
    junk += "\n[A]\nk=v";
    IniFile file = IniFile::Parse(junk);
    EXPECT_EQ(ReadProfileString(file, "A", "k", ""), "v");
    EXPECT_FALSE(file.Text().empty());
}

TEST(IniWrite, ReplacesKeepingOtherLines) {
    IniFile file = IniFile::Parse("; note\n[Other]\nx=1\n\n[A]\nk=old\nz=2\n");
    WriteProfileString(file, "a", "K", "new");
    EXPECT_EQ(file.Text(), "; note\n[Other]\nx=1\n\n[A]\nk=new\nz=2\n");
}

TEST(IniWrite, AddsKeyAfterLastKeyOfItsSection) {
    IniFile file = IniFile::Parse("[A]\nk=1\n\n[B]\nm=2\n");
    WriteProfileString(file, "A", "n", "3");
    WriteProfileString(file, "C", "p", "4");
    EXPECT_EQ(file.Text(), "[A]\nk=1\nn=3\n\n[B]\nm=2\n[C]\np=4\n");
}

TEST(IniWrite, KeepsCrlfLineEnds) {
    IniFile file = IniFile::Parse("[A]\r\nk=1\r\n");
    WriteProfileString(file, "A", "m", "2");
    EXPECT_EQ(file.Text(), "[A]\r\nk=1\r\nm=2\r\n");
}

TEST(IniWrite, ValueWrittenAsGivenReadTrimmed) {
    IniFile file;
    WriteProfileString(file, "IP", "0", "10.0.0.1       ");
    EXPECT_EQ(file.Text(), "[IP]\n0=10.0.0.1       \n");
    EXPECT_EQ(ReadProfileString(IniFile::Parse(file.Text()), "IP", "0", ""), "10.0.0.1");
}

TEST(IniWrite, LimitsAreApplied) {
    IniFile file;
    WriteProfileString(file, std::string(130, 's'), std::string(130, 'k'), std::string(600, 'v'));
    IniFile back = IniFile::Parse(file.Text());
    auto value = back.Find(std::string(124, 's'), std::string(124, 'k'));
    ASSERT_TRUE(value.has_value());
    EXPECT_EQ(value->size(), 511u);
}

TEST(IniWrite, LineBreaksCannotAddKeys) {
    IniFile file;
    WriteProfileString(file, "A", "k", "x\n[Settings]\nTrackLines=9");
    IniFile back = IniFile::Parse(file.Text());
    EXPECT_FALSE(back.Find("Settings", "TrackLines").has_value());
    EXPECT_EQ(ReadProfileString(back, "A", "k", ""), "x [Settings] TrackLines=9");
}

TEST(IniFileSave, WritesAndReadsBack) {
    TempDir dir;
    std::string path = dir.File("a.ini");
    ASSERT_TRUE(PutProfileString(path, "A", "k", "v"));
    ASSERT_TRUE(PutProfileString(path, "A", "m", "w"));
    EXPECT_EQ(GetProfileString(path, "a", "K", ""), "v");
    EXPECT_EQ(ReadFile(path), "[A]\nk=v\nm=w\n");
}

TEST(IniFileSave, LeavesNoTemporaryFiles) {
    TempDir dir;
    ASSERT_TRUE(PutProfileString(dir.File("a.ini"), "A", "k", "v"));
    int files = 0;
    for ([[maybe_unused]] auto& e : std::filesystem::directory_iterator(dir.Path())) ++files;
    EXPECT_EQ(files, 1);
}

TEST(IniFileSave, KeepsFileMode) {
    TempDir dir;
    std::string path = dir.File("a.ini");
    WriteFile(path, "[A]\nk=1\n");
    ::chmod(path.c_str(), 0640);
    ASSERT_TRUE(PutProfileString(path, "A", "k", "2"));
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
}

TEST(IniFileSave, WritesThroughSymlink) {
    TempDir dir;
    std::string real = dir.File("real.ini");
    std::string link = dir.File("link.ini");
    WriteFile(real, "[A]\nk=1\n");
    std::filesystem::create_symlink(real, link);
    ASSERT_TRUE(PutProfileString(link, "A", "k", "2"));
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(ReadFile(real), "[A]\nk=2\n");
}

TEST(IniFileSave, FailedSaveLeavesFileUntouched) {
    TempDir dir;
    std::string sub = dir.File("locked");
    std::filesystem::create_directory(sub);
    std::string path = sub + "/a.ini";
    WriteFile(path, "[A]\nk=1\n");
    ::chmod(sub.c_str(), 0500);  // no temporary file can be made beside it
    bool saved = PutProfileString(path, "A", "k", "2");
    ::chmod(sub.c_str(), 0700);
    if (::geteuid() != 0) {
        EXPECT_FALSE(saved);
    }
    if (!saved) {
        EXPECT_EQ(ReadFile(path), "[A]\nk=1\n");
    }
}

TEST(IniFileSave, PathLongerThanLimitIsRefused) {
    TempDir dir;
    std::string path = dir.Path() + "/" + std::string(kProfilePathMax, 'p');
    IniFile file = IniFile::Load(path);
    EXPECT_EQ(file.From(), IniFile::Source::kPathTooLong);
    WriteProfileString(file, "A", "k", "v");
    EXPECT_FALSE(file.Save());
    EXPECT_EQ(GetProfileString(path, "A", "k", "d"), "d");
}

TEST(IniFileSave, UnreadableFileIsNotReplaced) {
    TempDir dir;
    std::string path = dir.File("dir.ini");
    std::filesystem::create_directory(path);
    IniFile file = IniFile::Load(path);
    EXPECT_EQ(file.From(), IniFile::Source::kUnreadable);
    EXPECT_FALSE(file.Save());
    EXPECT_TRUE(std::filesystem::is_directory(path));
}

TEST(IniFileSave, MissingFileReadsDefaults) {
    TempDir dir;
    IniFile file = IniFile::Load(dir.File("none.ini"));
    EXPECT_EQ(file.From(), IniFile::Source::kMissing);
    EXPECT_EQ(ReadProfileString(file, "A", "k", "d"), "d");
}

}  // namespace
}  // namespace tarvolen
