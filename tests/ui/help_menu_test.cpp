#include "app/ui/form_veltro.h"
#include "fake_operator.h"
#include "scoped_env.h"
#include "support/settings.h"
#include "temp_dir.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QTest>
#include <filesystem>
#include <fstream>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace veltro {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;

// The main window of a program installed in a folder of the test's own, shown and holding the
// keyboard; whether its guide is there is up to the test.
class HelpMenu : public ::testing::Test {
protected:
    HelpMenu() {
        fs::create_directories(dir.file("data"));
        set_settings_path(dir.file("data/Veltro_HDMI.ini"));
        VeltroStart start(program_backends(), system_clock());
        start.single_instance = false;
        start.watch_devices = false;
        start.program_path = (dir.path() / "bin" / "veltro").string();
        form = std::make_unique<Form_Veltro>(std::move(start));
        form->show();
        form->activateWindow();
    }
    ~HelpMenu() override {
        form.reset();
        set_settings_path("");
    }
    std::string install_guide() {
        fs::create_directories(guide.parent_path());
        std::ofstream(guide) << "<html></html>";
        return guide.string();
    }
    void press_f1() {
        ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
        QWidget* focus = QApplication::focusWidget();
        QTest::keyClick(focus ? focus : form.get(), Qt::Key_F1);
    }

    testing::TempDir dir;
    testing::ScopedEnv env{"VELTRO_DATA_DIR", dir.file("data")};
    testing::FakeOperator op;
    const fs::path guide = dir.path() / "share" / "doc" / "veltro" / "guide" / "index.html";
    std::unique_ptr<Form_Veltro> form;
};

TEST_F(HelpMenu, F1AndTheMenuItemOpenTheInstalledGuideAndSayWhenNoBrowserTakesIt) {
    const QList<QAction*> items = form->menu("menu_help")->actions();
    ASSERT_EQ(items.size(), 2);
    EXPECT_EQ(items[0]->objectName(), "item_guide");
    EXPECT_EQ(items[0]->text(), "Operator's guide");
    EXPECT_EQ(items[0]->shortcut(), QKeySequence(Qt::Key_F1));
    EXPECT_EQ(items[1]->objectName(), "item_about");

    const std::string page = install_guide();
    press_f1();
    EXPECT_EQ(op.documents, std::vector<std::string>{page});
    items[0]->trigger();
    EXPECT_EQ(op.documents, (std::vector<std::string>{page, page}));
    EXPECT_TRUE(op.messages.empty()) << op.last_message();

    op.documents_open = false;
    items[0]->trigger();
    ASSERT_EQ(op.messages.size(), 1u);
    EXPECT_THAT(op.last_message(), HasSubstr("could not be opened"));
    EXPECT_THAT(op.last_message(), HasSubstr(page));
}

TEST_F(HelpMenu, AMissingGuideIsReportedWithThePlacesItWasLookedFor) {
    press_f1();
    EXPECT_TRUE(op.documents.empty());
    ASSERT_EQ(op.messages.size(), 1u);
    const std::string text = op.last_message();
    EXPECT_THAT(text, HasSubstr("not installed"));
    EXPECT_THAT(text, HasSubstr(guide.string()));
    EXPECT_THAT(text, HasSubstr((dir.path() / "bin" / "docs" / "guide" / "index.html").string()));
    EXPECT_EQ(op.messages.back().icon, MsgIcon::Exclamation);
}

} // namespace
} // namespace veltro
