// Start-up and dispatch of the application shell, on the real toolkit.
#include <gtest/gtest.h>

#include <unistd.h>
#include <cstdlib>
#include <string>
#include <vector>

#include <QApplication>
#include <QFont>
#include <QImage>
#include <QPalette>
#include <QRect>

#include "platform/qt/qt_seam.h"
#include "shell/app.h"
#include "shell/globals.h"
#include "shell/instance_lock.h"
#include "shell/settings.h"
#include "shell/toolkit.h"

namespace {

using namespace tarvolen;

class AppTest : public ::testing::Test {
  protected:
    void SetUp() override {
        qt::EnsureApplication(0, nullptr);
        qt::SetCallbacks(ApplicationEvent, ApplicationDesign);
        std::string name = "TarVolenTest" + std::to_string(::getpid());
        ::setenv("TARVOLEN_INSTANCE", name.c_str(), 1);
        qt::SetMessageBoxAnswerer([this](const std::string&, const std::string& text,
                                         const std::string&, const std::string&) {
            boxes.push_back(text);
            return 1;
        });
    }
    void TearDown() override {
        qt::SetMessageBoxAnswerer(nullptr);
        qt::UnloadAll();
        ::unlink(InstanceLock::LockPath(InstanceLock::Name(), SettingsPath()).c_str());
    }
    static std::string SettingsPath() {
        return cSettings::SettingsPathFor(cSettings::ProgramPath());
    }
    std::vector<std::string> boxes;
};

TEST_F(AppTest, EventsReachTheWindowOfTheirFormInAnyLetterCase) {
    std::vector<std::string> seen;
    Application app;
    auto handler = [&seen](const char* tag) {
        return WindowHandlers{nullptr, [&seen, tag](int32_t id, int32_t code, int32_t, int32_t&) {
                                  seen.push_back(std::string(tag) + ":" + std::to_string(id) + "/" +
                                                 std::to_string(code));
                              }};
    };
    app.windows["MAIN"] = handler("main");
    app.windows["CLIPLIST"] = handler("clip");
    InstallApplication(std::move(app));
    int32_t cancel = 0;
    ApplicationEvent("MAIN", 105, 1, 0, cancel);
    ApplicationEvent("main", 110, 1, 0, cancel);
    ApplicationEvent("ClipList", 105, 1, 0, cancel);
    ApplicationEvent("{MSGBOX}", 1, 1, 0, cancel);
    ApplicationEvent("{APP}", 0, 7, 0, cancel);
    ApplicationEvent("OTHER", 1, 1, 0, cancel);
    EXPECT_EQ(seen, (std::vector<std::string>{"main:105/1", "main:110/1", "clip:105/1"}));
    EXPECT_EQ(cancel, 0);
}

TEST_F(AppTest, MessageBoxIsStyledWithTheTurtleBackdrop) {
    InstallApplication({});
    DefineProgramFonts(6, 30);
    DefineProgramColors();
    QFont textFont;
    QRect picture, form;
    QImage shot;
    qt::SetMessageBoxAnswerer(
        [&](const std::string&, const std::string&, const std::string&, const std::string&) {
            QWidget* box = qt::FormWidget("{MSGBOX}");
            QWidget* text = qt::ControlWidget("{MSGBOX}", 100);
            QWidget* backdrop = qt::ControlWidget("{MSGBOX}", 1000);
            if (box && text && backdrop) {
                textFont = text->font();
                picture = backdrop->geometry();
                form = box->rect();
                shot = box->grab().toImage();
            }
            return 1;
        });
    EZ_MSGBOXEX("", "|Connect to tarvolens?", "tarvolen", "&Yes|&No", "", 7, 8);
    ASSERT_FALSE(shot.isNull()) << "the box had no text control or no backdrop";
    // Font 29, "Arial" 13 points, not bold.
    EXPECT_EQ(textFont.family(), "Liberation Sans");
    EXPECT_EQ(textFont.pixelSize(), 17);
    EXPECT_FALSE(textFont.bold());
    EXPECT_EQ(picture, form);
    // The diagonal gradient runs from colour 20 at the top left to colour 32
    // at the bottom right, under the text and the buttons.
    auto near = [](QColor a, QColor b) {
        return std::abs(a.red() - b.red()) + std::abs(a.green() - b.green()) +
                   std::abs(a.blue() - b.blue()) <
               24;
    };
    QColor c20(191, 127, 127);
    QColor c32 = QApplication::palette().color(QPalette::Window);
    EXPECT_TRUE(near(shot.pixelColor(1, 1), c20)) << shot.pixelColor(1, 1).name().toStdString();
    QColor end = shot.pixelColor(shot.width() - 2, shot.height() - 2);
    EXPECT_TRUE(near(end, c32)) << end.name().toStdString();
}

TEST_F(AppTest, StartCreatesObjectsReadsAutorecAndRefusesASecondInstance) {
    int created = 0;
    Application app;
    app.createSharedObjects = [&created] { ++created; };
    app.commandLine = "AUTOREC=600";
    InstallApplication(std::move(app));
    ASSERT_TRUE(ShellStart());
    EXPECT_EQ(created, 1);
    EXPECT_EQ(g_CommandLineAutoRecord.load(), 600);

    // The lock is held now: a second start in this name is refused with the message.
    InstanceLock other = InstanceLock::Acquire(InstanceLock::Name(), SettingsPath());
    EXPECT_EQ(other.Status(), InstanceStatus::kAlreadyRunning);
    ASSERT_FALSE(ShellStart());
    EXPECT_EQ(boxes, std::vector<std::string>{"TarVolen is already running"});
}

TEST_F(AppTest, ALockThatCannotBeTakenStopsTheStartWithAMessage) {
    // No file can have this name: the lock fails as a planted one would.
    ::setenv("TARVOLEN_INSTANCE", std::string(300, 'x').c_str(), 1);
    int created = 0;
    Application app;
    app.createSharedObjects = [&created] { ++created; };
    InstallApplication(std::move(app));
    EXPECT_FALSE(ShellStart());
    EXPECT_EQ(created, 0);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].rfind("TarVolen cannot take its single-instance lock:|", 0), 0u) << boxes[0];
    EXPECT_NE(boxes[0].find("File name too long"), std::string::npos) << boxes[0];
}

TEST(CommandLine, JoinsTheArgumentsAfterTheProgramName) {
    char a0[] = "tarvolen", a1[] = "x", a2[] = "autorec=5";
    char* argv[] = {a0, a1, a2, nullptr};
    EXPECT_EQ(CommandLineText(3, argv), "x autorec=5");
    EXPECT_EQ(CommandLineText(1, argv), "");
}

}  // namespace
