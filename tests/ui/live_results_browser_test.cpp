// The heat page in a real headless browser while the operator judges a demo heat in the window: the
// rows the page shows, and how long a judged box takes to reach it. With VELTRO_SCREENSHOT_DIR set, the
// page on a phone and the board on a TV are saved there (live_results_phone.png, live_results_board.png).
#include "demo_heat_window.h"
#include "recording/video_file_handler.h"
#include "timing/lengths.h"
#include "timing/published_results.h"
#include "web_driver.h"

#include <QByteArray>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <chrono>
#include <iostream>

namespace veltro {
namespace {

std::int64_t epoch_ms() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

class LiveResultsBrowser : public testing::DemoHeatWindow {
protected:
    LiveResultsBrowser() : DemoHeatWindow("Spring Cup_1.px3"), browser(dir.file("browser")) {
        live_results_port = 0;
        open_window();
    }
    std::string address() {
        return form->findChild<QLabel*>("Label_live_results")->text().section(' ', -1).toStdString();
    }
    void save_screenshot(const char* name) {
        if (const char* shots = std::getenv("VELTRO_SCREENSHOT_DIR")) {
            QFile file(QString("%1/%2").arg(shots, name));
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            file.write(QByteArray::fromBase64(QByteArray::fromStdString(browser.screenshot())));
        }
    }
    testing::WebDriver browser;
};

TEST_F(LiveResultsBrowser, ThePageShowsTheRowsAsTheOperatorJudgesThem) {
    if (!browser.ready())
        GTEST_SKIP() << "chromium and chromedriver are not installed (scripts/install-deps installs them)";
    open();
    browser.open(address(), 390, 844);
    ASSERT_EQ(browser.wait_for("const s=document.getElementById('state').textContent;"
                               "return s==='reviewing'?s:null;"),
              "reviewing");

    // Box 3 judged, then box 1; each time from the click to the row in the page.
    const std::string row_shown = "return document.querySelector('#result tr[data-box=\"%1\"]')"
                                  "?Number(document.body.dataset.updated):null;";
    for (int box : {3, 1}) {
        show_time(*demo.crossing_ms[static_cast<std::size_t>(box - 1)]);
        const std::int64_t clicked = epoch_ms();
        QTest::mouseClick(form->findChild<QPushButton*>(QString("Command_box_%1").arg(box)), Qt::LeftButton);
        const std::int64_t handled = epoch_ms();
        const nlohmann::json shown =
            browser.wait_for(QString::fromStdString(row_shown).arg(box).toStdString());
        ASSERT_TRUE(shown.is_number()) << "box " << box << " never reached the page";
        std::cout << "[ latency  ] box " << box
                  << " judged to row in the page: " << shown.get<std::int64_t>() - clicked
                  << " ms (the window's handling of the click: " << handled - clicked << " ms)\n";
    }

    // The rows as px3tool gives the result from the file.
    cls_VideoFile_handler rec;
    rec.Open_File(path);
    const nlohmann::json result = nlohmann::json::parse(
        results_json(publish_heat(rec, recorded_box_delay(rec), seconds_per_length_setting())));
    const nlohmann::json rows = browser.run(
        "return [...document.querySelectorAll('#result tr')].map(r=>[...r.cells].map(c=>c.textContent));");
    ASSERT_EQ(rows.size(), result["results"].size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const nlohmann::json& row = result["results"][i];
        EXPECT_EQ(rows[i][1], std::to_string(row["box"].get<int>()));
        EXPECT_EQ(rows[i][2], row["dog"]);
        EXPECT_EQ(rows[i][3], row["finish"]);
    }
    save_screenshot("live_results_phone.png");
    browser.open(address() + "board", 1280, 720);
    ASSERT_FALSE(browser.wait_for("return document.querySelector('#result tr')?1:null;").is_null());
    save_screenshot("live_results_board.png");
}

} // namespace
} // namespace veltro
