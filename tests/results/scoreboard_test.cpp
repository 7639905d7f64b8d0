// The scoreboard line output, talking to real sockets on the loopback address and to a
// pseudo-terminal standing in for a serial port.
#include "own_settings.h"
#include "results/live_feed.h"
#include "results/scoreboard.h"
#include "support/clocks.h"
#include "timing/published_results.h"

#include <chrono>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <stdlib.h>
#include <string>
#include <sys/socket.h>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace veltro {
namespace {

constexpr auto kPatience = std::chrono::seconds(5);

// Polls `done` until it holds or a few seconds have passed.
template <class Done>
bool eventually(Done done) {
    const auto deadline = std::chrono::steady_clock::now() + kPatience;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

class Fd {
public:
    explicit Fd(int fd = -1) : fd_(fd) {}
    ~Fd() { reset(); }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }
    void reset(int fd = -1) {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = fd;
    }

private:
    int fd_;
};

// A socket of `type` bound to 127.0.0.1 on a free port.
int loopback_socket(int type, int& port) {
    const int fd = ::socket(AF_INET, type | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0)
        return -1;
    socklen_t length = sizeof a;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &length);
    port = ntohs(a.sin_port);
    return fd;
}

// What `fd` gives within a few seconds: one datagram, or up to `size` bytes of a stream; "" on none.
std::string receive(int fd, std::size_t size = 65536) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, static_cast<int>(std::chrono::milliseconds(kPatience).count())) <= 0)
        return {};
    std::string data(size, '\0');
    const ssize_t n = ::read(fd, data.data(), data.size());
    data.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
    return data;
}

// Stream bytes up to and including the first "\r\n".
std::string receive_line(int fd) {
    std::string line;
    while (line.size() < 2 || line.compare(line.size() - 2, 2, "\r\n") != 0) {
        const std::string more = receive(fd, 1);
        if (more.empty())
            break;
        line += more;
    }
    return line;
}

int accept_within_patience(int listener) {
    pollfd p{listener, POLLIN, 0};
    if (::poll(&p, 1, static_cast<int>(std::chrono::milliseconds(kPatience).count())) <= 0)
        return -1;
    return ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
}

ScoreboardTarget target(const std::string& text) {
    std::string error;
    const auto t = parse_scoreboard_target(text, error);
    EXPECT_TRUE(t) << error;
    return t.value_or(ScoreboardTarget{});
}

class ScoreboardOutputTest : public ::testing::Test {
protected:
    void initiate(const std::string& heat,
                  std::array<std::string, 6> dogs = {"Rex", "", "Bella", "", "", "Max"}) {
        feed.publish("initiated", [&](LiveFeed::Heat& h) {
            h = LiveFeed::Heat{};
            h.state = "initiated";
            h.event = "Spring Cup";
            h.heat_id = heat;
            h.heat_name = "Puppy final";
            h.dogs = dogs;
        });
    }
    void set_state(const char* state) {
        feed.publish(state, [&](LiveFeed::Heat& h) {
            h.state = state;
            if (h.state == "started")
                h.start_mill = clock.millis();
        });
    }

    ManualClock clock{1000};
    LiveFeed feed{clock};
};

TEST(ScoreboardTarget, ReadsEachKindAndSaysWhatIsWrongWithABadOne) {
    const ScoreboardTarget udp = target(" UDP:display.local:5005 ");
    EXPECT_EQ(udp.kind, ScoreboardTarget::Kind::Udp);
    EXPECT_EQ(udp.text(), "udp display.local:5005");
    const ScoreboardTarget tcp = target("tcp:[fe80::1]:65535");
    EXPECT_EQ(tcp.kind, ScoreboardTarget::Kind::Tcp);
    EXPECT_EQ(tcp.host, "fe80::1");
    EXPECT_EQ(tcp.text(), "tcp [fe80::1]:65535");
    // Stable device names hold colons of their own.
    const ScoreboardTarget serial =
        target("serial:/dev/serial/by-path/pci-0000:00:14.0-usb-0:2:1.0-port0:115200");
    EXPECT_EQ(serial.device, "/dev/serial/by-path/pci-0000:00:14.0-usb-0:2:1.0-port0");
    EXPECT_EQ(serial.baud, 115200);
    EXPECT_EQ(serial.text(), "serial /dev/serial/by-path/pci-0000:00:14.0-usb-0:2:1.0-port0 115200 baud");

    const std::pair<const char*, const char*> bad[] = {
        {"", "must begin with udp:, tcp: or serial:"},
        {"http:host:80", "must begin with udp:, tcp: or serial:"},
        {"udp:host", "no port"},
        {"udp:host:", "no port"},
        {"udp::5005", "no host"},
        {"tcp:host:0", "the port \"0\" is not a number from 1 to 65535"},
        {"tcp:host:65536", "the port \"65536\" is not a number from 1 to 65535"},
        {"tcp:host:-1", "the port \"-1\" is not"},
        {"tcp:host:80x", "the port \"80x\" is not"},
        {"tcp:fe80::1:80", "an IPv6 address goes in brackets"},
        {"tcp:[fe80::1:80", "no closing \"]\""},
        {"tcp:[fe80::1]80", "no port"},
        {"serial:/dev/ttyUSB0", "no baud rate"},
        {"serial:/dev/ttyUSB0:", "no baud rate"},
        {"serial::9600", "no device"},
        {"serial:/dev/ttyUSB0:9601", "the baud rate \"9601\" is not one a serial port knows"},
    };
    for (const auto& [text, why] : bad) {
        std::string error;
        EXPECT_FALSE(parse_scoreboard_target(text, error)) << text;
        EXPECT_NE(error.find(why), std::string::npos) << text << ": " << error;
        EXPECT_NE(error.find(std::string("\"") + text + "\""), std::string::npos) << error;
    }
}

TEST(ScoreboardTemplate, FillsWhatItKnowsLeavesTheRestAndDecodesEscapes) {
    const std::map<std::string, std::string, std::less<>> values{
        {"dog", "Rex"}, {"time", "26,41"}, {"", "?"}};
    EXPECT_EQ(fill_template("{dog} {time} {rank} {dog}", values), "Rex 26,41 {rank} Rex");
    EXPECT_EQ(fill_template("{{dog}} {dog {time}", values), "{Rex} {dog 26,41");
    EXPECT_EQ(fill_template("} {dog", values), "} {dog");

    EXPECT_EQ(decode_escapes(R"(A\r\n\tB\\n\e[2J\x41\x4g\q\)"), "A\r\n\tB\\n\x1b[2JA\\x4g\\q\\");
    EXPECT_EQ(decode_escapes(R"(\x0)"), "\\x0");

    EXPECT_EQ(running_time_text(0), "0:00.0");
    EXPECT_EQ(running_time_text(2599), "0:02.5"); // cut, as a running clock is
    EXPECT_EQ(running_time_text(62345), "1:02.3");
    EXPECT_EQ(running_time_text(3600000), "60:00.0");
    EXPECT_EQ(running_time_text(-40), "0:00.0");
}

class ScoreboardSettings : public testing::OwnSettingsTest {};

TEST_F(ScoreboardSettings, TemplatesSetAreDecodedAndThoseNotSetAreTheBuiltInOnes) {
    ASSERT_EQ(Write_Setting(keys::scoreboard_running, R"(\x02{time}\x03\r\n)"), 1);
    ASSERT_EQ(Write_Setting(keys::scoreboard_clear, R"(\e[2J)"), 1);
    const ScoreboardTemplates t = scoreboard_templates_from_settings();
    EXPECT_EQ(t.running, "\x02{time}\x03\r\n");
    EXPECT_EQ(t.clear, "\x1b[2J");
    EXPECT_EQ(t.result, ScoreboardTemplates{}.result);
    EXPECT_EQ(t.heat, ScoreboardTemplates{}.heat);
}

TEST_F(ScoreboardOutputTest, UdpCarriesTheHeatItsRunningTimeTheResultAndTheClear) {
    int port = 0;
    Fd board(loopback_socket(SOCK_DGRAM, port));
    ASSERT_GE(board.get(), 0);
    ScoreboardTemplates templates;
    templates.result = "{position}|{rank}|{box}|{dog}|{time}|{distance}|{no_time}|{heat}|{nothing}\n";
    initiate("3", {"Rex", "", "Bella\r\nX", "", "", "Max"});
    ScoreboardOutput output(feed, target("udp:127.0.0.1:" + std::to_string(port)), templates, clock);

    // The heat as it stood when the output began; a name cannot break the line.
    EXPECT_EQ(receive(board.get()), "Heat 3 Puppy final: 1 Rex 2  3 Bella  X 4  5  6 Max\r\n");
    set_state("started");
    EXPECT_EQ(receive(board.get()), "Heat 3 0:00.0\r\n");
    clock.advance(2549);
    EXPECT_EQ(receive(board.get()), "Heat 3 0:02.5\r\n");
    set_state("capturing");
    set_state("finished");
    EXPECT_EQ(receive(board.get()), "Heat 3 0:02.5\r\n"); // the last time, once more

    PublishedHeat heat;
    heat.heat_id = "3";
    PublishedRow winner;
    winner.position = 1;
    winner.rank = 1;
    winner.box = 3;
    winner.dog_name = "Bella";
    winner.finish_ms = 26410;
    winner.finish = "26,41";
    PublishedRow second = winner;
    second.position = 2;
    second.rank.reset();
    second.box = 1;
    second.dog_name = "Rex";
    second.finish_ms.reset();
    second.finish = "DNF";
    second.no_time = "DNF";
    second.distance = "1 1/2";
    heat.rows = {winner, second};
    feed.publish("result", [&](LiveFeed::Heat& h) {
        h.state = "reviewing";
        h.result_json = results_json(heat);
    });
    EXPECT_EQ(receive(board.get()), "1|1|3|Bella|26,41|||3|{nothing}\n");
    EXPECT_EQ(receive(board.get()), "2||1|Rex|DNF|1 1/2|DNF|3|{nothing}\n");
    feed.publish("result", [](LiveFeed::Heat& h) { h.recording = "again.px3"; }); // the result as it was

    initiate("4");
    EXPECT_EQ(receive(board.get()), "Heat 4 Puppy final: 1 Rex 2  3 Bella 4  5  6 Max\r\n");
    set_state("started");
    EXPECT_EQ(receive(board.get()), "Heat 4 0:00.0\r\n");
    set_state("aborted");
    EXPECT_EQ(receive(board.get()), "\r\n"); // cleared, with no last time
    output.stop();

    EXPECT_EQ(output.counts().sent, 9u);
    EXPECT_EQ(output.counts().dropped, 0u);
    EXPECT_EQ(output.status(), "Scoreboard: udp 127.0.0.1:" + std::to_string(port) + ", 9 lines sent");
    pollfd p{board.get(), POLLIN, 0};
    EXPECT_EQ(::poll(&p, 1, 0), 0) << receive(board.get()); // nothing more: no line twice
}

TEST_F(ScoreboardOutputTest, ATcpBoardThatIsDownGetsThePresentHeatWhenItComesUp) {
    int port = 0;
    Fd listener(loopback_socket(SOCK_STREAM, port)); // bound, not listening: connections are refused
    ASSERT_GE(listener.get(), 0);
    const std::string name = "tcp 127.0.0.1:" + std::to_string(port);
    initiate("3");
    ScoreboardOutput output(feed, target("tcp:127.0.0.1:" + std::to_string(port)), {}, clock);
    EXPECT_TRUE(eventually([&] {
        return output.status() == "Scoreboard: " + name + " not reachable (Connection refused)";
    })) << output.status();
    initiate("4"); // goes nowhere
    EXPECT_TRUE(eventually([&] { return output.counts().dropped == 1; }));

    ASSERT_EQ(::listen(listener.get(), 1), 0);
    clock.advance(ScoreboardOutput::kRetryMs);
    Fd peer(accept_within_patience(listener.get()));
    ASSERT_GE(peer.get(), 0);
    EXPECT_EQ(receive_line(peer.get()), "Heat 4 Puppy final: 1 Rex 2  3 Bella 4  5  6 Max\r\n");
    EXPECT_TRUE(eventually([&] {
        return output.status() == "Scoreboard: " + name + ", 1 line sent, 1 dropped";
    })) << output.status();
    EXPECT_TRUE(output.connected());

    peer.reset();
    EXPECT_TRUE(eventually([&] {
        return output.status() == "Scoreboard: " + name + " lost (closed by the other end)";
    })) << output.status();
}

TEST_F(ScoreboardOutputTest, ATcpBoardThatStopsReadingCostsDroppedLinesNotMemoryNorTheThread) {
    int port = 0;
    Fd listener(loopback_socket(SOCK_STREAM, port));
    ASSERT_GE(listener.get(), 0);
    const int small = 4096;
    ::setsockopt(listener.get(), SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
    ASSERT_EQ(::listen(listener.get(), 1), 0);
    ScoreboardTemplates templates;
    const std::string padding(1000, '.');
    templates.result = "{dog}" + padding + "\n";
    const std::size_t line_size = 7 + padding.size() + 1; // "101996/", the dots, the LF
    ScoreboardOutput output(feed, target("tcp:127.0.0.1:" + std::to_string(port)), templates, clock);
    Fd peer(accept_within_patience(listener.get()));
    ASSERT_GE(peer.get(), 0);
    ASSERT_TRUE(eventually([&] { return output.connected(); }));

    // 1.2 MB of results for a board that reads none of it.
    constexpr int kResults = 200;
    constexpr std::uint64_t kLines = kResults * 6;
    for (int r = 0; r < kResults; ++r) {
        PublishedHeat heat;
        for (int box = 1; box <= 6; ++box) {
            PublishedRow row;
            row.position = box;
            row.box = static_cast<std::int16_t>(box);
            row.dog_name = std::to_string(100000 + r * 10 + box).substr(0, 6) + "/";
            heat.rows.push_back(row);
        }
        feed.publish("result", [&](LiveFeed::Heat& h) {
            h.state = "reviewing";
            h.result_json = results_json(heat);
        });
    }
    // Every result is taken up while the board still reads nothing; what waits is bounded.
    const std::size_t waiting = ScoreboardOutput::kMaxQueued / line_size;
    EXPECT_TRUE(eventually([&] {
        const auto c = output.counts();
        return c.sent + c.dropped + waiting >= kLines;
    }));
    EXPECT_GT(output.counts().dropped, 0u);
    EXPECT_TRUE(output.connected());

    // Now it reads: whole lines only, in order, the last result's last line last.
    std::string received;
    EXPECT_TRUE(eventually([&] {
        pollfd p{peer.get(), POLLIN, 0};
        if (::poll(&p, 1, 0) > 0)
            received += receive(peer.get());
        const auto c = output.counts();
        return c.sent + c.dropped == kLines && received.size() == c.sent * line_size;
    })) << output.status();
    const auto c = output.counts();
    EXPECT_EQ(output.status(), "Scoreboard: tcp 127.0.0.1:" + std::to_string(port) + ", " +
                                   std::to_string(c.sent) + " lines sent, " + std::to_string(c.dropped) +
                                   " dropped");
    long previous = 0;
    for (std::size_t at = 0; at + line_size <= received.size(); at += line_size) {
        const std::string line = received.substr(at, line_size);
        ASSERT_EQ(line.substr(6), "/" + padding + "\n") << at;
        const long number = std::stol(line.substr(0, 6));
        EXPECT_GT(number, previous) << at;
        previous = number;
    }
    EXPECT_EQ(previous, 100000 + (kResults - 1) * 10 + 6);
}

TEST_F(ScoreboardOutputTest, ASerialBoardGetsTheBytesAsWrittenAndAnUnpluggedOneIsReported) {
    Fd master(::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC));
    ASSERT_GE(master.get(), 0);
    ASSERT_EQ(::grantpt(master.get()), 0);
    ASSERT_EQ(::unlockpt(master.get()), 0);
    const std::string device = ::ptsname(master.get());
    initiate("3", {"Bällä", "", "", "", "", ""});
    ScoreboardOutput output(feed, target("serial:" + device + ":19200"), {}, clock);

    // No CR added before the LF, no bit of the name's bytes lost.
    EXPECT_EQ(receive_line(master.get()), "Heat 3 Puppy final: 1 Bällä 2  3  4  5  6 \r\n");
    Fd port(::open(device.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    termios t{};
    ASSERT_EQ(::tcgetattr(port.get(), &t), 0);
    EXPECT_EQ(::cfgetospeed(&t), B19200);
    port.reset();
    EXPECT_TRUE(eventually([&] {
        return output.status() == "Scoreboard: serial " + device + " 19200 baud, 1 line sent";
    })) << output.status();

    master.reset();
    EXPECT_TRUE(eventually([&] { return !output.connected(); }));
    EXPECT_EQ(output.status().rfind("Scoreboard: serial " + device + " 19200 baud lost (", 0), 0u)
        << output.status();
    initiate("4"); // while the port is gone
    EXPECT_TRUE(eventually([&] { return output.counts().dropped == 1; }));
}

} // namespace
} // namespace veltro
