#pragma once

// A byte-exact SHOUTcast-protocol server on loopback for the source client's
// tests: records every byte of the source connection and of each title
// request, and answers the login as scripted.

#include "fakes/ScriptedLoopbackServer.h"
#include "support/FreePorts.h"

#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct FakeShoutcastConn {
    bool source = false;
    size_t streamed = 0; // bytes of a source after its login's answer
    bool status = false; // a request for the status page
    bool replied = false;
    std::string bytes;
    size_t sourceIndex = 0; // of a source, in the server's SourceStreams
};

class FakeShoutcastServer : public ScriptedLoopbackServer<FakeShoutcastConn> {
public:
    enum class Login { Reply, Silent, CloseAfterPassword };

    // Set before Start.
    Login mode = Login::Reply;
    std::string loginReply = "OK2\r\nicy-caps:11\r\n\r\n";
    bool closeAfterReply = false;
    // false: the source connections stall after the login; may change while
    // serving, and every logged-in source follows it.
    std::atomic<bool> readStream { true };
    // Set before Start. True: source connections get a small receive
    // buffer, so a source the server stops reading stalls after little.
    bool smallSourceWindow = false;
    // false: title connections are not read (a stalled title server); may
    // change while serving.
    std::atomic<bool> readTitles { true };
    // Set before Start. Not empty: GET /index.html on the title port gets it
    // as the server's status page.
    std::string statusPage;
    // Set before Start. Not empty: GET /status-json.xsl on the title port
    // gets it, as an Icecast server's status (whatever mount its query asks
    // for, as a server that ignores the question).
    std::string jsonStatus;
    // Set before Start. Not empty: a title request gets it once its head
    // has arrived, and the connection ends (an Icecast server's answer).
    std::string titleReply;
    // Set before Start. True: a "PUT" or "SOURCE" request on the title port
    // is a source login, as Icecast 2 takes one: a source connection from
    // then on, answered as the mode says once the request's head arrived.
    bool icecastSources = false;
    // True: such an Icecast login is refused as Icecast 2.4 refuses a mount
    // that another source holds, and closed; may change while serving.
    std::atomic<bool> mountTaken { false };
    // Set before Start. Not empty: a logged-in source gets it once it has
    // sent lateAfter bytes past its login's answer, and the connection ends
    // (a server that refuses a source late, after audio went out).
    std::string lateReply;
    size_t lateAfter = 0;
    // Set before Start. True: the status pages are answered 404, as by a
    // server that does not serve them.
    bool statusMissing = false;

    ~FakeShoutcastServer() override { StopServing(); }

    // Titles on the port, the source one above it.
    bool Start()
    {
        for (int attempt = 0; attempt < 20; ++attempt) {
            const int port = testutil::PickPortPair();
            if (port == 0)
                continue;
            const int title = Listen(port);
            const int source = Listen(port + 1);
            if (title >= 0 && source >= 0) {
                // Title connections get a small receive buffer, so a title
                // server that stops reading stalls its sender soon.
                const int small = 8192;
                ::setsockopt(title, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
                if (smallSourceWindow)
                    ::setsockopt(source, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
                m_port = port;
                Serve({ title, source }, 10);
                return true;
            }
            for (int fd : { title, source })
                if (fd >= 0)
                    ::close(fd);
        }
        return false;
    }

    int Port() const { return m_port; }

    std::string SourceBytes()
    {
        std::lock_guard guard(m_lock);
        return m_source;
    }
    // Each source connection's bytes, login included, in order of arrival.
    std::vector<std::string> SourceStreams()
    {
        std::lock_guard guard(m_lock);
        return m_sourceStreams;
    }
    std::vector<std::string> TitleRequests()
    {
        std::lock_guard guard(m_lock);
        return m_titles;
    }
    // The status pages asked for, in order, with their queries
    // ("GET /index.html", "GET /status-json.xsl?mount=/live").
    std::vector<std::string> StatusRequests()
    {
        std::lock_guard guard(m_lock);
        return m_statusRequests;
    }
    int SourceConnections()
    {
        std::lock_guard guard(m_lock);
        return m_sourceConnections;
    }
    int TitleConnections()
    {
        std::lock_guard guard(m_lock);
        return m_titleConnections;
    }
    // Source connections made on the title port (Icecast logins).
    int ListenerPortSources()
    {
        std::lock_guard guard(m_lock);
        return m_listenerPortSources;
    }
    // Source connections that have ended (closed by either side).
    int SourceConnectionsEnded()
    {
        std::lock_guard guard(m_lock);
        return m_sourceEnded;
    }

    template <typename Pred> bool WaitFor(Pred pred, int timeoutMs = 5000)
    {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (std::chrono::steady_clock::now() < end) {
            if (pred(*this))
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        return pred(*this);
    }

private:
    using Conn = FakeShoutcastConn;

    bool Reading(const Conn& c) const override
    {
        return c.source ? !c.replied || readStream.load() : readTitles.load();
    }

    void Accepted(size_t listener, Conn& c) override
    {
        c.source = listener == 1;
        std::lock_guard guard(m_lock);
        ++(c.source ? m_sourceConnections : m_titleConnections);
        if (c.source) {
            c.sourceIndex = m_sourceStreams.size();
            m_sourceStreams.emplace_back();
        }
    }

    void Ended(Conn& c) override
    {
        std::lock_guard guard(m_lock);
        if (c.source)
            ++m_sourceEnded;
        else if (!c.status)
            m_titles.push_back(c.bytes);
    }

    void Received(int fd, Conn& c, const char* data, size_t size) override
    {
        c.bytes.append(data, size);
        if (icecastSources && !c.source && (c.bytes.rfind("PUT ", 0) == 0 || c.bytes.rfind("SOURCE ", 0) == 0)) {
            if (c.bytes.find("\r\n\r\n") == std::string::npos)
                return;
            c.source = true;
            {
                std::lock_guard guard(m_lock);
                --m_titleConnections;
                ++m_sourceConnections;
                ++m_listenerPortSources;
                m_source += c.bytes;
                c.sourceIndex = m_sourceStreams.size();
                m_sourceStreams.push_back(c.bytes);
            }
            if (mountTaken) {
                const std::string taken = "HTTP/1.0 403 Forbidden\r\nServer: Icecast 2.4.4\r\nConnection: Close\r\n"
                                          "Content-Type: text/plain; charset=utf-8\r\n\r\nMountpoint in use";
                c.replied = true;
                (void)!::send(fd, taken.data(), taken.size(), MSG_NOSIGNAL);
                Drop(fd);
                return;
            }
            Answer(fd, c);
            return;
        }
        if (statusMissing && !c.source
            && (c.bytes.rfind("GET /index.html", 0) == 0 || c.bytes.rfind("GET /status-json.xsl", 0) == 0)) {
            if (c.status || c.bytes.find("\r\n\r\n") == std::string::npos)
                return;
            c.status = true;
            {
                std::lock_guard guard(m_lock);
                m_statusRequests.push_back(c.bytes.substr(0, c.bytes.find(' ', 4)));
            }
            const std::string missing = "HTTP/1.0 404 File Not Found\r\nContent-Type: text/html\r\n\r\n";
            (void)!::send(fd, missing.data(), missing.size(), MSG_NOSIGNAL);
            Drop(fd);
            return;
        }
        const bool page = !statusPage.empty() && c.bytes.rfind("GET /index.html ", 0) == 0;
        const bool json = !jsonStatus.empty()
            && (c.bytes.rfind("GET /status-json.xsl ", 0) == 0 || c.bytes.rfind("GET /status-json.xsl?", 0) == 0);
        c.status = c.status || (!c.source && (page || json));
        if (c.status) {
            if (c.replied || c.bytes.find("\r\n\r\n") == std::string::npos)
                return;
            c.replied = true;
            const std::string& body = json ? jsonStatus : statusPage;
            const std::string reply = "HTTP/1.0 200 OK\r\nContent-Type: text/html\r\nContent-Length: "
                + std::to_string(body.size()) + "\r\n\r\n" + body;
            // Noted before the answer leaves, so a client that has it finds
            // its request noted.
            {
                std::lock_guard guard(m_lock);
                m_statusRequests.push_back(c.bytes.substr(0, c.bytes.find(' ', 4)));
            }
            (void)!::send(fd, reply.data(), reply.size(), MSG_NOSIGNAL);
            Drop(fd);
            return;
        }
        if (!c.source && !titleReply.empty()) {
            if (c.replied || c.bytes.find("\r\n\r\n") == std::string::npos)
                return;
            c.replied = true;
            (void)!::send(fd, titleReply.data(), titleReply.size(), MSG_NOSIGNAL);
            Drop(fd);
            return;
        }
        if (c.source) {
            std::lock_guard guard(m_lock);
            m_source.append(data, size);
            m_sourceStreams[c.sourceIndex].append(data, size);
        }
        if (c.source && c.replied && !lateReply.empty() && (c.streamed += size) >= lateAfter) {
            (void)!::send(fd, lateReply.data(), lateReply.size(), MSG_NOSIGNAL);
            Drop(fd);
            return;
        }
        if (!c.source || c.replied || c.bytes.find('\n') == std::string::npos)
            return;
        Answer(fd, c);
    }

    // The answer to a source's login, as the mode says.
    void Answer(int fd, Conn& c)
    {
        c.replied = true;
        if (mode == Login::CloseAfterPassword) {
            Drop(fd);
            return;
        }
        if (mode == Login::Reply) {
            (void)!::send(fd, loginReply.data(), loginReply.size(), MSG_NOSIGNAL);
            if (closeAfterReply)
                Drop(fd);
        }
    }

    int m_port = 0;
    std::mutex m_lock; // guards: m_source, m_sourceStreams, m_titles, m_statusRequests, m_sourceConnections,
                       // m_titleConnections, m_sourceEnded, m_listenerPortSources
    std::string m_source;
    std::vector<std::string> m_sourceStreams;
    std::vector<std::string> m_titles;
    std::vector<std::string> m_statusRequests;
    int m_sourceConnections = 0;
    int m_titleConnections = 0;
    int m_sourceEnded = 0;
    int m_listenerPortSources = 0;
};
