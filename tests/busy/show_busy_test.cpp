#include "busy/busy.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <set>

namespace tarvolen::busy {
namespace {

namespace fs = std::filesystem;

struct FrameShown {
    BusyHandle spinner;
    int src_x, src_y, side;
};

// Records what the busy logic asks of the platform; the test fires the timer.
class FakePlatform : public BusyPlatform {
  public:
    BusyHandle FindSpinner(const std::string& name) override {
        for (const auto& [h, n] : live)
            if (n == name) return h;
        return 0;
    }
    BusyHandle CreateSpinner(const std::string& name) override {
        ++created;
        if (refuse_create) return 0;
        const BusyHandle h = next++;
        live[h] = name;
        return h;
    }
    void DestroySpinner(BusyHandle s) override {
        destroyed.push_back(s);
        live.erase(s);
        if (timer_owner == s) timer_owner = 0;
    }
    void MoveSpinner(BusyHandle s, int x, int y, int w, int h) override {
        moves.push_back({s, x, y, w, h});
    }
    void ShowFrame(BusyHandle s, const BusyImage&, int x, int y, int side) override {
        frames.push_back({s, x, y, side});
    }
    void StartTimer(BusyHandle s, int period, std::function<void()> t) override {
        timer_owner = s;
        periods.push_back(period);
        tick = std::move(t);
    }
    void StopTimer(BusyHandle s) override {
        ++timer_stops;
        if (timer_owner == s) timer_owner = 0;
    }
    std::optional<BusyRect> WindowRect(BusyHandle w) override {
        const auto it = windows.find(w);
        if (it == windows.end()) return std::nullopt;
        return it->second;
    }
    BusyRect DesktopRect() override { return {0, 0, 1920, 1080}; }
    std::optional<BusyImage> LoadPicture(const std::string& path) override {
        loaded.push_back(path);
        return std::nullopt;
    }

    // Runs one timer period if the timer is running.
    bool Tick() {
        if (timer_owner == 0 || !tick) return false;
        tick();
        return true;
    }

    struct Move {
        BusyHandle s;
        int x, y, w, h;
    };
    std::map<BusyHandle, std::string> live;
    std::map<BusyHandle, BusyRect> windows;
    std::vector<BusyHandle> destroyed;
    std::vector<Move> moves;
    std::vector<FrameShown> frames;
    std::vector<int> periods;
    std::vector<std::string> loaded;
    std::function<void()> tick;
    BusyHandle timer_owner = 0;
    BusyHandle next = 100;
    int created = 0;
    int timer_stops = 0;
    bool refuse_create = false;
};

class ShowBusyTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("show_busy_" + std::to_string(getpid()) + "_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir_);
        InstallBusyPlatform(&platform_);
    }
    void TearDown() override {
        // Leave no spinner and no pending stop request for the next test.
        StopBusy();
        if (platform_.timer_owner == 0) ShowBusy(0, Strip(40, 40));
        platform_.Tick();
        InstallBusyPlatform(nullptr);
        fs::remove_all(dir_);
    }

    // A strip of w x h written as ".SKI" (any content does).
    std::string Strip(int w, int h, const char* name = nullptr) {
        BusyImage image;
        image.width = w;
        image.height = h;
        image.argb.assign(static_cast<std::size_t>(w) * h, 0xFF00FF00u);
        const std::string path =
            (dir_ /
             (name ? std::string(name) : std::to_string(w) + "x" + std::to_string(h) + ".ski"))
                .string();
        EXPECT_TRUE(WriteSki(path, image));
        return path;
    }

    FakePlatform platform_;
    fs::path dir_;
};

struct StripCase {
    int width, height;
    int frames;
    bool horizontal;
    int side;
    int period;  // half the base interval
};

class StripGeometry : public ShowBusyTest, public ::testing::WithParamInterface<StripCase> {};

TEST_P(StripGeometry, FramesSideAndTimerPeriod) {
    const StripCase c = GetParam();
    const BusyHandle spinner = ShowBusy(0, Strip(c.width, c.height));
    ASSERT_NE(spinner, 0);
    ASSERT_EQ(platform_.periods.size(), 1u);
    EXPECT_EQ(platform_.periods[0], c.period);
    ASSERT_EQ(platform_.moves.size(), 1u);
    EXPECT_EQ(platform_.moves[0].w, c.side);
    EXPECT_EQ(platform_.moves[0].h, c.side);

    // Two full turns: every frame of the strip once per turn, in order, wrapping.
    std::set<std::pair<int, int>> seen;
    for (int i = 0; i < 2 * c.frames; ++i) ASSERT_TRUE(platform_.Tick());
    ASSERT_EQ(platform_.frames.size(), static_cast<std::size_t>(2 * c.frames));
    for (std::size_t i = 0; i < platform_.frames.size(); ++i) {
        const FrameShown& f = platform_.frames[i];
        EXPECT_EQ(f.side, c.side);
        EXPECT_EQ(c.horizontal ? f.src_y : f.src_x, 0);
        const int along = c.horizontal ? f.src_x : f.src_y;
        EXPECT_EQ(along % c.side, 0);
        EXPECT_LE(along + c.side, c.horizontal ? c.width : c.height);
        seen.insert({f.src_x, f.src_y});
        if (i > 0) {
            const FrameShown& p = platform_.frames[i - 1];
            const int prev = c.horizontal ? p.src_x : p.src_y;
            EXPECT_EQ(along, (prev + c.side) % (c.frames * c.side));
        }
    }
    EXPECT_EQ(seen.size(), static_cast<std::size_t>(c.frames));
}

INSTANTIATE_TEST_SUITE_P(
    Strips, StripGeometry,
    ::testing::Values(StripCase{240, 40, 6, true, 40, 100}, StripCase{40, 40, 1, false, 40, 150},
                      StripCase{40, 240, 6, false, 40, 100}, StripCase{41, 40, 1, true, 40, 150},
                      StripCase{40, 41, 1, false, 40, 150}, StripCase{120, 40, 3, true, 40, 150},
                      StripCase{160, 40, 4, true, 40, 100}, StripCase{40, 280, 7, false, 40, 100},
                      StripCase{320, 40, 8, true, 40, 75}, StripCase{480, 40, 12, true, 40, 50},
                      StripCase{40, 760, 19, false, 40, 50}, StripCase{800, 40, 20, true, 40, 30},
                      StripCase{250, 40, 6, true, 40, 100}));

TEST(BusyTiming, BaseIntervalTable) {
    const std::pair<int, int> table[] = {{1, 300},  {3, 300},  {4, 200},  {7, 200}, {8, 150},
                                         {11, 150}, {12, 100}, {19, 100}, {20, 60}, {64, 60}};
    for (const auto& [frames, ms] : table) EXPECT_EQ(BaseInterval(frames), ms) << frames;
}

TEST_F(ShowBusyTest, CentredOverTheWindowOrTheDesktop) {
    platform_.windows[7] = {100, 200, 500, 500};
    ShowBusy(7, Strip(240, 40));
    ShowBusy(12345, Strip(240, 40));  // not a window
    ShowBusy(0, Strip(480, 40));
    ASSERT_EQ(platform_.moves.size(), 3u);
    EXPECT_EQ(platform_.moves[0].x, 100 + 180);
    EXPECT_EQ(platform_.moves[0].y, 200 + 130);
    EXPECT_EQ(platform_.moves[1].x, 940);
    EXPECT_EQ(platform_.moves[1].y, 520);
    EXPECT_EQ(platform_.moves[2].x, 940);
}

TEST_F(ShowBusyTest, SkiInAnyLetterCaseIsReadAsSki) {
    for (const char* name : {"a.ski", "b.SKI", "c.Ski", "d.sKi"}) {
        EXPECT_NE(ShowBusy(0, Strip(240, 40, name)), 0) << name;
    }
    EXPECT_TRUE(platform_.loaded.empty());
}

TEST_F(ShowBusyTest, OtherPicturesGoToThePlatformLoader) {
    const std::string png = (dir_ / "spinner.png").string();
    std::ofstream(png) << "x";
    const std::string skis = Strip(240, 40, "spinner.skis");
    EXPECT_EQ(ShowBusy(0, png), 0);
    EXPECT_EQ(ShowBusy(0, skis), 0);
    EXPECT_EQ(platform_.loaded, (std::vector<std::string>{png, skis}));
    EXPECT_EQ(platform_.created, 0);
}

TEST_F(ShowBusyTest, NoPictureNoSpinner) {
    EXPECT_EQ(ShowBusy(0, (dir_ / "missing.ski").string()), 0);
    EXPECT_EQ(platform_.created, 0);
    EXPECT_TRUE(platform_.periods.empty());
}

TEST_F(ShowBusyTest, NoWindowMeansZero) {
    platform_.refuse_create = true;
    EXPECT_EQ(ShowBusy(0, Strip(240, 40)), 0);
    EXPECT_TRUE(platform_.periods.empty());
    platform_.refuse_create = false;
}

TEST_F(ShowBusyTest, StopRequestedBeforeAnySpinnerEndsTheNextAtItsFirstTick) {
    StopBusy();
    const BusyHandle first = ShowBusy(0, Strip(240, 40));
    ASSERT_NE(first, 0);
    ASSERT_TRUE(platform_.Tick());
    EXPECT_EQ(platform_.destroyed, std::vector<BusyHandle>{first});
    EXPECT_TRUE(platform_.frames.empty());
    EXPECT_FALSE(platform_.Tick());  // timer gone with the window

    // The tick that acted on the request cleared it: the next spinner turns.
    const BusyHandle second = ShowBusy(0, Strip(240, 40));
    ASSERT_NE(second, 0);
    ASSERT_TRUE(platform_.Tick());
    ASSERT_TRUE(platform_.Tick());
    EXPECT_EQ(platform_.frames.size(), 2u);
    EXPECT_EQ(platform_.destroyed.size(), 1u);
}

TEST_F(ShowBusyTest, StopEndsARunningSpinnerAtItsNextTick) {
    const BusyHandle spinner = ShowBusy(0, Strip(240, 40));
    ASSERT_TRUE(platform_.Tick());
    StopBusy();
    EXPECT_TRUE(platform_.destroyed.empty());  // not before the tick
    ASSERT_TRUE(platform_.Tick());
    EXPECT_EQ(platform_.destroyed, std::vector<BusyHandle>{spinner});
    EXPECT_EQ(platform_.frames.size(), 1u);
    EXPECT_GE(platform_.timer_stops, 1);
}

TEST_F(ShowBusyTest, ShowingAgainReusesTheSpinnerWithTheNewStrip) {
    const BusyHandle first = ShowBusy(0, Strip(240, 40));
    platform_.Tick();
    const int stops = platform_.timer_stops;
    const BusyHandle again = ShowBusy(0, Strip(40, 40));
    EXPECT_EQ(again, first);
    EXPECT_EQ(platform_.created, 1);
    EXPECT_EQ(platform_.timer_stops, stops + 1);
    EXPECT_EQ(platform_.periods, (std::vector<int>{100, 150}));
    // Whatever frame the old strip had reached, the one-frame strip shows its only frame.
    platform_.Tick();
    EXPECT_EQ(platform_.frames.back().src_x, 0);
    EXPECT_EQ(platform_.frames.back().src_y, 0);
}

TEST_F(ShowBusyTest, SpinnerWhosePictureFailedToLoadStillStops) {
    const BusyHandle spinner = ShowBusy(0, Strip(240, 40));
    platform_.Tick();
    EXPECT_EQ(ShowBusy(0, (dir_ / "gone.ski").string()), 0);
    const std::size_t shown = platform_.frames.size();
    ASSERT_TRUE(platform_.Tick());
    EXPECT_EQ(platform_.frames.size(), shown);  // nothing to draw
    StopBusy();
    ASSERT_TRUE(platform_.Tick());
    EXPECT_EQ(platform_.destroyed, std::vector<BusyHandle>{spinner});
}

TEST_F(ShowBusyTest, NoPlatformNoSpinner) {
    InstallBusyPlatform(nullptr);
    EXPECT_EQ(ShowBusy(0, Strip(240, 40)), 0);
    InstallBusyPlatform(&platform_);
}

class PictureLookup : public ShowBusyTest {
  protected:
    void SetUp() override {
        ShowBusyTest::SetUp();
        old_cwd_ = fs::current_path();
        fs::current_path(dir_);
        beside_ = fs::read_symlink("/proc/self/exe").parent_path() /
                  ("lookup_" + std::to_string(getpid()) + ".ski");
    }
    void TearDown() override {
        fs::current_path(old_cwd_);
        fs::remove(beside_);
        ShowBusyTest::TearDown();
    }
    fs::path old_cwd_;
    fs::path beside_;
};

TEST_F(PictureLookup, CurrentDirectoryFirstThenBesideTheProgram) {
    const std::string name = beside_.filename().string();
    EXPECT_EQ(ResolveBusyPicture(name), name);  // nowhere: left as given

    fs::copy_file(Strip(240, 40), beside_);
    EXPECT_EQ(ResolveBusyPicture(name), beside_.string());
    EXPECT_NE(ShowBusy(0, name), 0);

    fs::copy_file(Strip(40, 40), dir_ / name);
    EXPECT_EQ(ResolveBusyPicture(name), name);
    EXPECT_EQ(ResolveBusyPicture((dir_ / name).string()), (dir_ / name).string());
}

}  // namespace
}  // namespace tarvolen::busy
