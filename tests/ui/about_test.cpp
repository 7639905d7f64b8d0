#include "fake_operator.h"
#include "scoped_env.h"
#include "support/app_paths.h"
#include "support/process_facts.h"
#include "support/settings.h"
#include "support/system_info.h"
#include "support/ui/frm_about.h"
#include "temp_dir.h"

#include <QApplication>
#include <QClipboard>
#include <QDesktopServices>
#include <QLabel>
#include <QMenu>
#include <QTest>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace veltro {

class FolderCatcher : public QObject {
    Q_OBJECT
public:
    FolderCatcher() { QDesktopServices::setUrlHandler("file", this, "open"); }
    ~FolderCatcher() override { QDesktopServices::unsetUrlHandler("file"); }
    QList<QUrl> urls;
public slots:
    void open(const QUrl& url) { urls.append(url); }
};

namespace {

class AboutTest : public ::testing::Test {
protected:
    void SetUp() override { set_settings_path(dir.file("Veltro_HDMI.ini")); }
    void TearDown() override { about_sources() = AboutSources{}; }
    std::string text(const frmAbout& about, const char* label) {
        QLabel* l = about.label(label);
        return l ? l->text().toStdString() : "<no label " + std::string(label) + ">";
    }
    testing::TempDir dir;
    testing::ScopedEnv data_dir{"VELTRO_DATA_DIR", dir.path().string()};
    testing::FakeOperator op;
};

TEST_F(AboutTest, LabelsShowThisBuildAndItsComponents) {
    process_facts().build_date = "2024-05-01 12:00";
    frmAbout about;
    EXPECT_EQ(about.windowTitle(), "About Veltro_HDMI");
    EXPECT_EQ(text(about, "Lblversion"), "Version 5.0.0, Compile date: 2024-05-01 12:00");
    EXPECT_EQ(text(about, "Lbldescription"), "Veltro_HDMI");
    EXPECT_THAT(text(about, "Lbl_filedate"), ::testing::HasSubstr(" Filedate = "));
    EXPECT_EQ(text(about, "Label_phidget_version"), "No Phidget driver found");
    EXPECT_EQ(text(about, "Lbl_AppFlags"), "**Not found!");
    EXPECT_FALSE(about.debug_menu()->menuAction()->isVisible());
    about.toggle_debug_menu();
    EXPECT_TRUE(about.debug_menu()->menuAction()->isVisible());

    about_sources().interface_kit_version = [] { return std::string("Kit library 2.1.9"); };
    about_sources().capture_backends = [] { return std::string("demo camera"); };
    frmAbout with_kit;
    EXPECT_EQ(text(with_kit, "Label_phidget_version"), "Kit library 2.1.9");
    EXPECT_EQ(text(with_kit, "Lbl_Heroncap"), "Capture: demo camera");
}

TEST_F(AboutTest, VideoSourcesAreCopiedToTheClipboard) {
    about_sources().video_sources = [] {
        return std::vector<std::string>{"Demo race camera", "HDMI grabber 1"};
    };
    frmAbout about;
    about.item_video_sources_click();
    EXPECT_EQ(QApplication::clipboard()->text(), "Demo race camera\nHDMI grabber 1\n");
    EXPECT_EQ(op.last_message(), "Video sources, data is copied to Clipboard!");
}

TEST_F(AboutTest, DataFolderOpensInTheFileBrowser) {
    FolderCatcher files;
    frmAbout about;
    QLabel* folder = about.label("Label_userapp");
    ASSERT_TRUE(folder);
    EXPECT_THAT(folder->text().toStdString(), ::testing::HasSubstr(dir.path().string()));
    emit folder->linkActivated("#");
    ASSERT_EQ(files.urls.size(), 1);
    EXPECT_EQ(files.urls.front(), QUrl::fromLocalFile(QString::fromStdString(dir.path().string())));
}

TEST_F(AboutTest, SystemInformationAndDateFormats) {
    {
        testing::ScopedEnv no_tools("PATH", dir.path().string());
        frmAbout about;
        about.cmd_sys_info_click();
        EXPECT_EQ(op.last_message(), "System Information Is Unavailable At This Time");
    }
    EXPECT_THAT(frmAbout::date_formats_text(),
                ::testing::MatchesRegex("date = [^\r]+\r\ntime = [^\r]+\r\nnow = [^\r]+\r\n"
                                        "ISODate = [0-9]{4}-[0-9]{2}-[0-9]{2}\r\n"
                                        "ISOnow = [0-9]{4}-[0-9]{2}-[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2}"));
}

} // namespace
} // namespace veltro

#include "about_test.moc"
