#pragma once

// A built-in server on loopback ports picked now, with its page folder in a
// private temporary folder and its log lines collected for the test.

#include "engine/server/CDJServer.h"
#include "support/ChildProcess.h"
#include "support/FreePorts.h"
#include "support/LoopbackClient.h"
#include "support/TestSandbox.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <fstream>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace testutil {

// The server's answer to a correct password, with its terminating NUL.
inline const std::string kLoginReply("OK2\r\nicy-caps:11\r\n\r\n", 21);

// The answer to an accepted title update.
inline const std::string kUpdateAnswer
    = "HTTP/1.0 200 OK\r\nContent-Type:text/html\r\nContent-Length:40\r\nConnection:close\r\n\r\n"
      "<html><body>Update done.</body></html>\r\n";

class ServerRig {
public:
    ServerRig()
        : ServerRig(std::make_unique<CDJServer>())
    {
    }
    explicit ServerRig(std::unique_ptr<CDJServer> server)
        : m_server(std::move(server))
    {
        if (m_dir.Create("tavdj-server"))
            m_folder = m_dir.Dir().string();
    }

    CDJServer& Server() { return *m_server; }
    int Port() const { return m_port; }
    const std::string& Folder() const { return m_folder; }
    std::string Pages() const { return m_folder + "/pages"; }

    // Writes the page folder from the shipped index.html unless told not to.
    bool Start(int maxListeners = 100, const std::string& intro = {}, bool shippedIndex = true)
    {
        std::filesystem::create_directories(Pages());
        if (shippedIndex)
            std::filesystem::copy_file(SourcePath("serverhtml/index.html"), Pages() + "/index.html",
                std::filesystem::copy_options::overwrite_existing);
        for (int attempt = 0; attempt < 5; ++attempt) {
            CDJServerParams params;
            params.port = PickPortPair();
            params.maxListeners = maxListeners;
            params.introPath = intro;
            params.listenUrl = "127.0.0.1";
            params.logCallback = &ServerRig::OnLog;
            params.logUser = this;
            params.pageFolder = Pages();
            if (params.port != 0 && m_server->Start(params)) {
                m_port = params.port;
                return true;
            }
        }
        return false;
    }

    void WritePage(const std::string& name, const std::string& text)
    {
        std::ofstream(Pages() + "/" + name, std::ios::binary) << text;
    }

    bool WaitLog(const std::string& part, int timeoutMs = 5000)
    {
        std::unique_lock<std::mutex> lock(m_lock);
        return m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return HasLocked(part); });
    }
    // Waits until at least count lines hold part.
    bool WaitLogCount(const std::string& part, size_t count, int timeoutMs = 5000)
    {
        std::unique_lock<std::mutex> lock(m_lock);
        return m_changed.wait_for(
            lock, std::chrono::milliseconds(timeoutMs), [&] { return CountLocked(part) >= count; });
    }
    bool HasLog(const std::string& part)
    {
        std::lock_guard<std::mutex> lock(m_lock);
        return HasLocked(part);
    }
    std::vector<std::string> Log()
    {
        std::lock_guard<std::mutex> lock(m_lock);
        return m_log;
    }
    size_t CountLog(const std::string& part)
    {
        std::lock_guard<std::mutex> lock(m_lock);
        return CountLocked(part);
    }
    // Waits until the server thread has run every command posted so far:
    // a client list dump ends with its second rule line.
    bool Sync(int timeoutMs = 5000)
    {
        const std::string rule(66, '=');
        const size_t before = CountExact(rule);
        m_server->ListClientInfo();
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (CountExact(rule) < before + 2) {
            if (std::chrono::steady_clock::now() > end)
                return false;
            std::unique_lock<std::mutex> lock(m_lock);
            m_changed.wait_for(lock, std::chrono::milliseconds(20));
        }
        return true;
    }
    size_t CountExact(const std::string& line)
    {
        std::lock_guard<std::mutex> lock(m_lock);
        return static_cast<size_t>(std::count(m_log.begin(), m_log.end(), line));
    }
    size_t LogCount()
    {
        std::lock_guard<std::mutex> lock(m_lock);
        return m_log.size();
    }

    // A source logged in with the server's password (NUL after it, as
    // source clients send it) and its header block sent.
    bool ConnectSource(LoopbackClient& source, const std::string& name = "Station", bool withNul = true)
    {
        if (!source.Connect(m_port + 1))
            return false;
        std::string login = m_server->GetPassword();
        if (withNul)
            login.push_back('\0');
        login += "\n";
        if (!source.Send(login) || !source.ReadAtLeast(kLoginReply.size(), 5000) || source.Data() != kLoginReply)
            return false;
        return source.Send("icy-name:" + name + "\nicy-genre:Test\nicy-br:128\n\n");
    }

    // A listener's request for the stream.
    static bool RequestStream(LoopbackClient& listener, int port, bool metadata, const std::string& agent = "test")
    {
        if (!listener.Connect(port))
            return false;
        return listener.Send(
            "GET / HTTP/1.0\r\nUser-Agent: " + agent + "\r\n" + (metadata ? "icy-metadata: 1\r\n" : "") + "\r\n");
    }

private:
    static void OnLog(const char* text, void* user)
    {
        auto* self = static_cast<ServerRig*>(user);
        {
            std::lock_guard<std::mutex> lock(self->m_lock);
            self->m_log.emplace_back(text);
        }
        self->m_changed.notify_all();
    }
    size_t CountLocked(const std::string& part) const
    {
        size_t n = 0;
        for (const std::string& line : m_log)
            n += line.find(part) != std::string::npos ? 1 : 0;
        return n;
    }
    bool HasLocked(const std::string& part) const
    {
        for (const std::string& line : m_log) {
            if (line.find(part) != std::string::npos)
                return true;
        }
        return false;
    }

    TestSandbox m_dir;
    std::string m_folder;
    std::mutex m_lock; // guards: m_log
    std::condition_variable m_changed;
    std::vector<std::string> m_log;
    int m_port = 0;
    // Last, so the server stops (and its log ends) before the rest goes.
    std::unique_ptr<CDJServer> m_server;
};

} // namespace testutil
