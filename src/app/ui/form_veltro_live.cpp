#include "app/ui/form_veltro.h"
#include "results/event_results.h"
#include "results/live_server.h"
#include "results/scoreboard.h"
#include "results/ui/live_address.h"
#include "support/numbers.h"
#include "support/settings.h"
#include "support/trace.h"
#include "support/ui/form_veltro_settings.h"
#include "support/veltro_error.h"
#include "timing/lengths.h"
#include "timing/published_results.h"

#include <QHostAddress>
#include <QLabel>
#include <QNetworkInterface>
#include <QStatusBar>
#include <QTimer>
#include <filesystem>

namespace veltro {

void Form_Veltro::restart_live_results() {
    if (start_.live_results_port) {
        return; // the command line's choice holds for this run
    }
    scoreboard_.reset();
    live_server_.reset();
    for (const char* name : {"Label_live_results", "Label_scoreboard"}) {
        delete statusBar()->findChild<QWidget*>(name);
    }
    start_live_results();
}

void Form_Veltro::start_live_results() {
    start_scoreboard();
    long port = 0;
    if (start_.live_results_port) {
        port = *start_.live_results_port;
    } else if (!setting_switch_on(keys::live_results.key)) {
        return;
    } else {
        try {
            port = parse_long(Read_Setting(keys::live_results_port));
        } catch (const std::exception&) {
            port = -1;
        }
        port = port == 0 ? -1 : port;
    }
    if (port < 0 || port > 65535) {
        tell_later(this, "The live results cannot be served: the port \"" +
                             Read_Setting(keys::live_results_port) + "\" is not a number from 1 to 65535.");
        return;
    }
    live_server_ = std::make_unique<LiveServer>(live_feed_);
    std::string error;
    const std::string address = Read_Setting(keys::live_results_address);
    const std::string token = Read_Setting(keys::live_results_token);
    if (live_server_->start(address, static_cast<int>(port), error, token == "N/A" ? "" : token)) {
        Trace("*Live results on port ", live_server_->port());
        publish_live_event();
        publish_live_card();
        // The address to give the phones: this computer's on the track's network.
        QString host = QString::fromStdString(address);
        if (host == "0.0.0.0") {
            host = "127.0.0.1";
            for (const QHostAddress& a : QNetworkInterface::allAddresses()) {
                if (a.protocol() == QAbstractSocket::IPv4Protocol && !a.isLoopback()) {
                    host = a.toString();
                    break;
                }
            }
        }
        auto* label =
            new LiveAddressLabel(QString("http://%1:%2/").arg(host).arg(live_server_->port()), this);
        statusBar()->addPermanentWidget(label);
    } else {
        live_server_.reset();
        tell_later(this, "The live results cannot be served: " + error + ".");
    }
}

void Form_Veltro::start_scoreboard() {
    if (!setting_switch_on(keys::scoreboard.key)) {
        return;
    }
    std::string error;
    const std::optional<ScoreboardTarget> target =
        parse_scoreboard_target(Read_Setting(keys::scoreboard_target), error);
    if (!target) {
        tell_later(this, "The scoreboard lines cannot be sent: " + error + ".");
        return;
    }
    scoreboard_ =
        std::make_unique<ScoreboardOutput>(live_feed_, *target, scoreboard_templates_from_settings(), clock_);
    auto* label = new QLabel(this);
    label->setObjectName("Label_scoreboard");
    auto* refresh = new QTimer(label);
    const auto show = [this, label] { label->setText(QString::fromStdString(scoreboard_->status())); };
    connect(refresh, &QTimer::timeout, label, show);
    show();
    refresh->start(1000);
    statusBar()->addPermanentWidget(label);
}

void Form_Veltro::publish_live(const char* kind, const char* state) {
    const bool reviewed = reviewing();
    const std::string recording =
        reviewed ? std::filesystem::path(recording_.File_name()).filename().string() : "";
    std::string result;
    if (reviewed) {
        PublishedHeat heat =
            publish_heat(recording_, timing_.settings().box_delay, seconds_per_length_setting());
        heat.recording = recording;
        add_estimates(heat, finish_estimates());
        result = results_json(heat);
    }
    // A result declared official, or withdrawn, goes out as such.
    const std::string official = reviewed ? recording_.velt_official() : "";
    if (reviewed && std::string_view(kind) == "result" && official != live_official_) {
        kind = "official";
    }
    live_official_ = official;
    // The heat being run, or the one under review; before the first heat, none.
    const bool heat = reviewed || !heat_->recording_name().empty();
    live_feed_.publish(kind, [&](LiveFeed::Heat& h) {
        h.state = state;
        h.event = heat ? recording_.Velt_event() : "";
        h.heat_id = heat ? recording_.Velt_Heat_ID() : "";
        h.heat_name = heat ? recording_.Velt_Heat_Name() : "";
        for (std::int16_t box = 1; box <= 6; ++box) {
            h.dogs[static_cast<std::size_t>(box - 1)] = heat ? recording_.Velt_Dog_name(box) : "";
        }
        const std::uint32_t start = heat_->heat_start_counter();
        h.start_mill = start != 0 ? std::optional<std::uint32_t>(start) : std::nullopt;
        h.result_json = result;
        h.recording = recording;
    });
    if (live_server_ && std::string_view(kind) != "result") {
        publish_live_card();
    }
}

void Form_Veltro::publish_live_card() {
    LiveFeed::Card card;
    if (event_session_.event_valid()) {
        const EventDocument& doc = event_session_.document();
        try {
            card.event = doc.event_name();
            card.day = doc.event_day();
            for (std::int16_t number = 1; number <= kEventHeats; ++number) {
                LiveFeed::CardHeat h{
                    number, doc.heat_name(number), doc.heat_time(number), doc.heat_length(number), {}};
                bool dogs = false;
                for (std::int16_t box = 1; box <= 6; ++box) {
                    h.dogs[static_cast<std::size_t>(box - 1)] = doc.dog_name(number, box);
                    dogs = dogs || !h.dogs[static_cast<std::size_t>(box - 1)].empty();
                }
                if (dogs || !h.name.empty()) {
                    card.heats.push_back(std::move(h));
                }
            }
        } catch (const VeltroError& e) {
            Trace("*Live results: the race card cannot be read: ", e.description());
        }
    }
    live_feed_.publish_card(std::move(card));
}

void Form_Veltro::publish_live_event() {
    std::vector<LiveFeed::EventHeat> heats;
    try {
        for (const EventHeat& h :
             read_event_results(capture_folder(), seconds_per_length_setting(), false).heats) {
            heats.push_back({h.file_name, h.heat ? results_json(*h.heat) : "", h.problem});
        }
    } catch (const VeltroError& e) {
        Trace("*Live results: the event's recordings cannot be read: ", e.description());
    }
    live_feed_.publish_event(std::move(heats));
}

} // namespace veltro
