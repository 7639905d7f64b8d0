// The live results as the window publishes them while the operator judges a heat.
#include "demo_heat_window.h"
#include "recording/video_file_handler.h"
#include "results/photo_finish.h"
#include "support/ui/form_veltro_settings.h"
#include "timing/lengths.h"
#include "timing/published_results.h"
#include "web_driver.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <filesystem>
#include <httplib.h>
#include <nlohmann/json.hpp>

namespace veltro {
namespace {

class LiveResultsWindow : public testing::DemoHeatWindow {
protected:
    LiveResultsWindow() : DemoHeatWindow("Spring Cup_1.px3") {
        live_results_port = 0;
        open_window();
    }
    httplib::Client client() {
        const QString address = form->findChild<QLabel*>("Label_live_results")->text(); // ".../:PORT/"
        httplib::Client c("127.0.0.1", address.section(':', -1).chopped(1).toInt());
        c.set_read_timeout(5, 0);
        return c;
    }
    nlohmann::json on_the_track(const char* api = "/api/heat") {
        const auto res = client().Get(api);
        if (!res || res->status != 200)
            return nullptr;
        return nlohmann::json::parse(res->body);
    }
};

TEST_F(LiveResultsWindow, ABoxJudgedInTheWindowReachesTheTrackAsPx3toolGivesTheResult) {
    ASSERT_NE(form->findChild<QLabel*>("Label_live_results"), nullptr);
    open();
    EXPECT_EQ(on_the_track()["state"], "reviewing");
    show_time(*demo.crossing_ms[2]);
    QTest::mouseClick(form->findChild<QPushButton*>("Command_box_3"), Qt::LeftButton);

    const nlohmann::json heat = on_the_track();
    ASSERT_TRUE(heat.is_object());
    // The heat and its result as `px3tool results --format json` gives them from the file.
    cls_VideoFile_handler rec;
    rec.Open_File(path);
    EXPECT_EQ(heat["event"], rec.Velt_event());
    EXPECT_EQ(heat["dogs"][2], rec.Velt_Dog_name(3));
    PublishedHeat published = publish_heat(rec, recorded_box_delay(rec), seconds_per_length_setting());
    published.recording = std::filesystem::path(path).filename().string();
    add_estimates(published, recorded_estimates(rec, path));
    EXPECT_EQ(heat["result"], nlohmann::json::parse(results_json(published)));
    const auto& rows = heat["result"]["results"];
    ASSERT_FALSE(rows.empty());
    EXPECT_EQ(rows[0]["box"], 3);
    EXPECT_EQ(rows[0]["rank"], 1);
    // The event's results take the heat as judged, under its recording's name.
    const nlohmann::json event = on_the_track("/api/event");
    ASSERT_EQ(event["heats"].size(), 1u);
    EXPECT_EQ(event["heats"][0], heat["result"]);

    // Declared official, the result goes out as such: the next change in the stream says so.
    op.inputs = {"Anna"};
    form->findChild<QAction*>("item_declare_official")->trigger();
    std::string next;
    client().Get("/api/stream", {{"Last-Event-ID", std::to_string(heat["id"].get<int>())}},
                 [&](const char* data, std::size_t length) {
                     next.append(data, length);
                     return next.find("\ndata: ") == std::string::npos ||
                            next.find("\n\n", next.find("id: ")) == std::string::npos;
                 });
    EXPECT_NE(next.find("event: official\n"), std::string::npos) << next;
    EXPECT_FALSE(on_the_track()["result"]["official"].is_null());
}

// Switched on and off in the settings window, the server follows at once.
class LiveResultsFromSettings : public testing::DemoHeatWindow {
protected:
    LiveResultsFromSettings() : DemoHeatWindow("Spring Cup_1.px3") {}
};

TEST_F(LiveResultsFromSettings, TheServerStartsAndStopsAsTheOperatorSwitchesIt) {
    EXPECT_EQ(form->findChild<QLabel*>("Label_live_results"), nullptr);
    Form_Veltro_settings& settings = form->settings_window();
    settings.show();
    auto* network = settings.findChild<QComboBox*>("Combo_live_results_network");
    network->setCurrentIndex(network->findData("127.0.0.1"));
    const int port = testing::WebDriver::free_port();
    auto* port_field = settings.findChild<QLineEdit*>("Text_live_results_port");
    port_field->setText(QString::number(port));
    emit port_field->editingFinished();
    settings.findChild<QCheckBox*>("Check_live_results")->click();
    const auto* label = form->findChild<QLabel*>("Label_live_results");
    ASSERT_NE(label, nullptr);
    EXPECT_TRUE(label->text().endsWith(QString(":%1/").arg(port))) << label->text().toStdString();
    httplib::Client client("127.0.0.1", port);
    const auto res = client.Get("/api/heat");
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 200);

    settings.findChild<QCheckBox*>("Check_live_results")->click();
    EXPECT_EQ(form->findChild<QLabel*>("Label_live_results"), nullptr);
    EXPECT_FALSE(client.Get("/api/heat"));
}

} // namespace
} // namespace veltro
