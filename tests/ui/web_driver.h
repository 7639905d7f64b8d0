#pragma once

#include <chrono>
#include <csignal>
#include <filesystem>
#include <httplib.h>
#include <memory>
#include <netinet/in.h>
#include <nlohmann/json.hpp>
#include <optional>
#include <spawn.h>
#include <string>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace veltro::testing {

// A headless Chromium driven through the distribution's chromedriver (WebDriver over HTTP on the
// loopback address). `ready()` is false when either is not installed; everything stops with the object.
class WebDriver {
public:
    static constexpr const char* kDriver = "/usr/bin/chromedriver";
    static constexpr const char* kBrowser = "/usr/bin/chromium";

    explicit WebDriver(const std::string& profile_dir) {
        if (!std::filesystem::exists(kDriver) || !std::filesystem::exists(kBrowser))
            return;
        const int port = free_port();
        const std::string port_arg = "--port=" + std::to_string(port);
        char* argv[] = {const_cast<char*>(kDriver), const_cast<char*>(port_arg.c_str()), nullptr};
        if (posix_spawn(&pid_, kDriver, nullptr, nullptr, argv, environ) != 0)
            return;
        client_ = std::make_unique<httplib::Client>("127.0.0.1", port);
        client_->set_read_timeout(30, 0);
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!client_->Get("/status") && std::chrono::steady_clock::now() < deadline)
            std::this_thread::yield();
        const nlohmann::json options = {
            {"binary", kBrowser},
            {"args",
             {"--headless", "--no-sandbox", "--disable-gpu", "--no-first-run",
              "--disable-background-networking", "--disable-component-update", "--disable-sync",
              "--hide-scrollbars", "--user-data-dir=" + profile_dir}}};
        const auto session = call("POST", "/session",
                                  {{"capabilities", {{"alwaysMatch", {{"goog:chromeOptions", options}}}}}});
        if (session && session->contains("sessionId"))
            session_ = "/session/" + (*session)["sessionId"].get<std::string>();
    }
    ~WebDriver() {
        if (!session_.empty())
            call("DELETE", session_, nullptr);
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            waitpid(pid_, nullptr, 0);
        }
    }
    WebDriver(const WebDriver&) = delete;
    WebDriver& operator=(const WebDriver&) = delete;

    bool ready() const { return !session_.empty(); }
    void open(const std::string& url, int width, int height) {
        call("POST", session_ + "/window/rect", {{"width", width}, {"height", height}});
        call("POST", session_ + "/url", {{"url", url}});
    }
    // What `script` (a function body) returns in the page.
    nlohmann::json run(const std::string& script) {
        const auto value =
            call("POST", session_ + "/execute/sync", {{"script", script}, {"args", nlohmann::json::array()}});
        return value ? *value : nullptr;
    }
    // What `script` returns once it returns something other than null, or null after `wait`.
    nlohmann::json wait_for(const std::string& script, std::chrono::seconds wait = std::chrono::seconds(10)) {
        const auto deadline = std::chrono::steady_clock::now() + wait;
        for (;;) {
            nlohmann::json value = run(script);
            if (!value.is_null() || std::chrono::steady_clock::now() > deadline)
                return value;
        }
    }
    // The page as a PNG picture, base64 encoded.
    std::string screenshot() {
        const auto value = call("GET", session_ + "/screenshot", nullptr);
        return value && value->is_string() ? value->get<std::string>() : std::string();
    }

    // A port of the loopback address that is free now.
    static int free_port() {
        const int fd = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof a;
        bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
        getsockname(fd, reinterpret_cast<sockaddr*>(&a), &length);
        close(fd);
        return ntohs(a.sin_port);
    }

private:
    std::optional<nlohmann::json> call(const std::string& method, const std::string& path,
                                       const nlohmann::json& body) {
        if (!client_)
            return std::nullopt;
        const std::string text = body.is_null() ? "" : body.dump();
        const auto res = method == "GET"      ? client_->Get(path)
                         : method == "DELETE" ? client_->Delete(path)
                                              : client_->Post(path, text, "application/json");
        if (!res)
            return std::nullopt;
        const auto doc = nlohmann::json::parse(res->body, nullptr, false);
        if (doc.is_discarded() || !doc.contains("value"))
            return std::nullopt;
        return doc["value"];
    }

    pid_t pid_ = -1;
    std::unique_ptr<httplib::Client> client_;
    std::string session_;
};

} // namespace veltro::testing
