// The live results server, talked to over the loopback address by a real HTTP client->
#include "results/live_server.h"
#include "support/clocks.h"

#include <atomic>
#include <gtest/gtest.h>
#include <httplib.h>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>
#include <vector>

namespace veltro {
namespace {

class LiveServerTest : public ::testing::Test {
protected:
    LiveServerTest() {
        std::string error;
        EXPECT_TRUE(server.start("127.0.0.1", 0, error)) << error;
        client = std::make_unique<httplib::Client>("127.0.0.1", server.port());
        client->set_read_timeout(5, 0);
    }
    void initiate() {
        feed.publish("initiated", [](LiveFeed::Heat& h) {
            h.state = "initiated";
            h.event = "Spring Cup";
            h.heat_id = "3";
            h.heat_name = "Puppy final <b>";
            h.dogs = {"Rex", "", "Bella", "", "", "Max"};
        });
    }
    // The stream from after `last_id` until `count` changes came: their ids and kinds.
    // `connected` is set when the server's first words arrive.
    std::vector<std::pair<std::uint64_t, std::string>> stream(std::uint64_t last_id, std::size_t count,
                                                              std::atomic<bool>* connected = nullptr) {
        std::vector<std::pair<std::uint64_t, std::string>> got;
        std::string text;
        httplib::Headers headers{{"Last-Event-ID", std::to_string(last_id)}};
        client->Get("/api/stream", headers, [&](const char* data, std::size_t length) {
            if (connected)
                *connected = true;
            text.append(data, length);
            for (std::size_t end; (end = text.find("\n\n")) != std::string::npos; text.erase(0, end + 2)) {
                const std::string event = text.substr(0, end);
                if (event.rfind("id: ", 0) != 0)
                    continue; // the retry time, or a comment that keeps the connection open
                const std::size_t kind = event.find("\nevent: ") + 8;
                got.emplace_back(std::stoull(event.substr(4)),
                                 event.substr(kind, event.find('\n', kind) - kind));
            }
            return got.size() < count;
        });
        return got;
    }

    ManualClock clock{1000};
    LiveFeed feed{clock};
    LiveServer server{feed};
    std::unique_ptr<httplib::Client> client;
};

TEST_F(LiveServerTest, TheHeatGoesOutAsJsonWithItsRunningClockAndNothingCanBeChanged) {
    initiate();
    feed.publish("started", [](LiveFeed::Heat& h) {
        h.state = "started";
        h.start_mill = 1200;
    });
    clock.advance(2700); // 2,5 s after the start edge
    const auto res = client->Get("/api/heat");
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 200);
    EXPECT_EQ(res->get_header_value("Content-Type"), "application/json");
    const auto heat = nlohmann::json::parse(res->body);
    EXPECT_EQ(heat["id"], 2);
    EXPECT_EQ(heat["state"], "started");
    EXPECT_EQ(heat["heat_name"], "Puppy final <b>");
    EXPECT_EQ(heat["dogs"][2], "Bella");
    EXPECT_EQ(heat["running_ms"], 2500);
    EXPECT_TRUE(heat["result"].is_null());

    // The pages come from the program itself, whole, and set names as text.
    for (const char* path : {"/", "/event", "/speaker", "/board"}) {
        const auto page = client->Get(path);
        ASSERT_TRUE(page) << path;
        EXPECT_EQ(page->status, 200) << path;
        EXPECT_EQ(page->get_header_value("Content-Type"), "text/html; charset=utf-8");
        EXPECT_NE(page->body.find("new EventSource(\"/api/stream\")"), std::string::npos) << path;
        EXPECT_EQ(page->body.find("innerHTML"), std::string::npos) << path;
        EXPECT_EQ(page->body.find("SCRIPT"), std::string::npos) << path;
        EXPECT_EQ(page->body.find("src=\"http"), std::string::npos) << path;
    }

    // Read-only, and no file from disk.
    for (const auto& r : {client->Post("/api/heat", "x", "text/plain"), client->Put("/", "x", "text/plain"),
                          client->Delete("/api/heat")}) {
        ASSERT_TRUE(r);
        EXPECT_EQ(r->status, 405);
    }
    for (const char* path : {"/../../etc/passwd", "/%2e%2e/%2e%2e/etc/passwd", "/api/../../etc/passwd"}) {
        const auto r = client->Get(path);
        ASSERT_TRUE(r) << path;
        EXPECT_EQ(r->status, 404) << path;
    }
    EXPECT_EQ(feed.last_id(), 2u); // none of it changed the heat
}

TEST_F(LiveServerTest, TheStreamCarriesEveryChangeInOrderAndResumesAfterTheLastIdSeen) {
    initiate();
    feed.publish("started", [](LiveFeed::Heat& h) { h.state = "started"; });
    feed.publish("capture", [](LiveFeed::Heat& h) { h.state = "capturing"; });
    using Seen = std::vector<std::pair<std::uint64_t, std::string>>;
    EXPECT_EQ(stream(0, 3), (Seen{{1, "initiated"}, {2, "started"}, {3, "capture"}}));
    // A client that lost its connection after id 1 gets the rest, and then what comes while it waits.
    std::thread judge([&] {
        while (server.port() != 0 && feed.last_id() < 4) {
            feed.publish("result", [](LiveFeed::Heat& h) { h.result_json = R"({"results":[]})"; });
        }
    });
    const Seen resumed = stream(1, 3);
    judge.join();
    ASSERT_EQ(resumed.size(), 3u);
    EXPECT_EQ(resumed[0], (std::pair<std::uint64_t, std::string>{2, "started"}));
    EXPECT_EQ(resumed[1], (std::pair<std::uint64_t, std::string>{3, "capture"}));
    EXPECT_EQ(resumed[2], (std::pair<std::uint64_t, std::string>{4, "result"}));
}

TEST_F(LiveServerTest, TheEventListsEveryRecordingInHeatOrderWithTheHeatUnderReviewAsJudged) {
    feed.publish_card({"Spring Cup", "2026-05-01", {{1, "Opener", "19:00", "480", {"Rex"}}}});
    feed.publish_event({{"Spring Cup_2_2026.px3", R"({"heat":"2","start":"19:10","results":[]})", ""},
                        {"Spring Cup_5_2026.px3", "", "it has no readable recording header"},
                        {"Spring Cup_1_2026.px3", R"({"heat":"1","start":"19:00","results":[]})", ""}});
    const auto event = [&] { return nlohmann::json::parse(client->Get("/api/event")->body); };
    nlohmann::json ev = event();
    EXPECT_EQ(ev["event"], "Spring Cup");
    ASSERT_EQ(ev["heats"].size(), 3u);
    EXPECT_EQ(ev["heats"][0]["heat"], "1");
    EXPECT_EQ(ev["heats"][1]["heat"], "2");
    EXPECT_EQ(ev["heats"][2]["recording"], "Spring Cup_5_2026.px3");
    EXPECT_EQ(ev["heats"][2]["problem"], "it has no readable recording header");

    // Heat 2 judged again in the window, and heat 3 judged for the first time.
    for (const char* heat : {"2", "3"}) {
        feed.publish("result", [&](LiveFeed::Heat& h) {
            h.recording = std::string("Spring Cup_") + heat + "_2026.px3";
            h.result_json =
                std::string(R"({"heat":")") + heat + R"(","start":"19:20","results":[{"box":4}]})";
        });
    }
    ev = event();
    ASSERT_EQ(ev["heats"].size(), 4u);
    EXPECT_EQ(ev["heats"][1]["results"][0]["box"], 4);
    EXPECT_EQ(ev["heats"][2]["heat"], "3");
    EXPECT_EQ(ev["id"], feed.last_id());
    EXPECT_EQ(nlohmann::json::parse(client->Get("/api/card")->body)["heats"][0]["dogs"][0], "Rex");
}

TEST_F(LiveServerTest, WithATokenTheOfficialsPagesAskForItAndThePublicOnesDoNot) {
    server.stop();
    std::string error;
    ASSERT_TRUE(server.start("127.0.0.1", 0, error, "s3cret")) << error;
    client = std::make_unique<httplib::Client>("127.0.0.1", server.port());
    const auto status = [&](const std::string& path) {
        const auto res = client->Get(path);
        return res ? res->status : -1;
    };
    for (const char* path : {"/speaker", "/api/card"}) {
        EXPECT_EQ(status(path), 403) << path;
        EXPECT_EQ(status(std::string(path) + "?token=s3cre"), 403) << path;
        EXPECT_EQ(status(std::string(path) + "?token=s3cret"), 200) << path;
    }
    EXPECT_EQ(status("/%73peaker"), 403); // the path as the router sees it
    for (const char* path : {"/", "/event", "/board", "/api/heat", "/api/event"})
        EXPECT_EQ(status(path), 200) << path;
}

TEST_F(LiveServerTest, StopEndsAWaitingStreamAndFreesThePort) {
    const int port = server.port();
    std::atomic<bool> connected{false};
    std::thread waiting([&] { stream(0, 1, &connected); }); // no change comes: it waits
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!connected && std::chrono::steady_clock::now() < deadline)
        std::this_thread::yield();
    ASSERT_TRUE(connected);
    server.stop(); // well before the stream's 15 s keep-alive
    waiting.join();
    EXPECT_EQ(server.port(), 0);
    LiveServer again(feed);
    std::string error;
    EXPECT_TRUE(again.start("127.0.0.1", port, error)) << error;
    LiveServer taken(feed);
    EXPECT_FALSE(taken.start("127.0.0.1", port, error));
    EXPECT_NE(error.find(std::to_string(port)), std::string::npos) << error;
}

} // namespace
} // namespace veltro
