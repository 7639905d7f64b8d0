#include "app/ui/form_veltro.h"
#include "results/live_server.h"
#include "support/numbers.h"
#include "support/settings.h"
#include "support/trace.h"
#include "support/ui/form_veltro_settings.h"
#include "timing/published_results.h"

#include <QHostAddress>
#include <QLabel>
#include <QNetworkInterface>
#include <QStatusBar>
#include <filesystem>

namespace veltro {

void Form_Veltro::start_live_results() {
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
    if (live_server_->start(address, static_cast<int>(port), error)) {
        Trace("*Live results on port ", live_server_->port());
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
            new QLabel(QString("Live results: http://%1:%2/").arg(host).arg(live_server_->port()), this);
        label->setObjectName("Label_live_results");
        label->setTextInteractionFlags(Qt::TextSelectableByMouse);
        statusBar()->addPermanentWidget(label);
    } else {
        live_server_.reset();
        tell_later(this, "The live results cannot be served: " + error + ".");
    }
}

void Form_Veltro::publish_live(const char* kind, const char* state) {
    const bool reviewed = reviewing();
    std::string result;
    if (reviewed) {
        PublishedHeat heat =
            publish_heat(recording_, timing_.settings().box_delay, seconds_per_length_setting());
        heat.recording = std::filesystem::path(recording_.File_name()).filename().string();
        result = results_json(heat);
    }
    // The heat being run, or the one under review; before the first, what the event says.
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
    });
}

} // namespace veltro
