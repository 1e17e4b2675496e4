#pragma once

#include <string>

class CDJDataMan;

// Thread: main thread (it edits the broadcast controller's settings).
// The user's external-server address, port, password and server type, set
// aside while the built-in server stands in for them (it speaks SHOUTcast
// only). Restore puts them back, and so
// does the destructor: a member of the main window therefore returns the
// user's values on every way out of own-server mode (a stop, a dropped
// broadcast, closing the window, the end of the session), so the settings
// the controller saves never hold "localhost" and a port and secret of a
// server that no longer runs. Only these four values are touched; other
// settings changed meanwhile stay as they are.
class CKeptClientSettings {
public:
    static constexpr const char* kServerHost = "localhost";

    // The user's external server: what the settings dialog shows and edits.
    struct SUserServer {
        std::string address;
        int port = 0;
        std::string password;
        int serverType = 0; // DJSettings::m_nServerType
    };

    explicit CKeptClientSettings(CDJDataMan& controller);
    // Restore.
    ~CKeptClientSettings();
    CKeptClientSettings(const CKeptClientSettings&) = delete;
    CKeptClientSettings& operator=(const CKeptClientSettings&) = delete;

    // Keeps userAddress (the settings object's NationalAddress, the user's
    // external server; empty means the controller's current address, as a
    // SETTING.ini without NationalAddress has it) with the controller's
    // current port, password and server type, and points the controller at
    // the built-in server: "localhost", port, password, SHOUTcast. While
    // values are kept, a second
    // call only points the controller anew and keeps what it kept first: the
    // current values are the built-in server's then, not the user's.
    void Replace(const std::string& userAddress, int port, const std::string& password);
    // The kept values back into the controller's settings; nothing when
    // nothing is kept.
    void Restore();
    [[nodiscard]] bool IsKept() const { return m_bKept; }

    // The user's server: the kept values while the built-in server stands
    // in, else the controller's own, with userAddress in place of the
    // controller's address unless it is empty. Never the built-in server's
    // per-start secret.
    [[nodiscard]] SUserServer UserServer(const std::string& userAddress) const;
    // Changes the user's server: the kept values while the built-in server
    // stands in (the controller keeps feeding it), else the controller's.
    void SetUserServer(const SUserServer& server);
    // Saves the controller's settings with the user's server in place of
    // the built-in one; false when a setting could not be written.
    bool SaveSettings();

private:
    CDJDataMan& m_controller;
    bool m_bKept = false;
    std::string m_strAddress;
    int m_nPort = 0;
    std::string m_strPasswd;
    int m_nServerType = 0;
};
