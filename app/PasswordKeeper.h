#pragma once

#include <chrono>
#include <map>
#include <optional>
#include <string>

// The SMTP login passwords: kept in the desktop's keyring when a keyring service runs, else in
// memory until the program ends. Never in the settings file or a merge file. A password read
// from the keyring is remembered for the rest of the run, so it is asked for once.
class CPasswordKeeper final
{
public:
    enum class EPlace { Keyring, Memory };

    static constexpr const char *kService = "Mergix SMTP";

    // The password kept under the key, or nothing.
    std::optional<std::string> Read(const std::string &strKey);
    // Keeps the password; says where it went.
    EPlace Store(const std::string &strKey, const std::string &strPassword);
    // Drops the copy in memory (after the server refused it); the keyring is left alone.
    void ForgetInMemory(const std::string &strKey) { m_memory.erase(strKey); }
    // Drops the password everywhere, the keyring too, so that it is asked for again.
    void Forget(const std::string &strKey);
    // False once the keyring failed to answer, which is then not asked again in this run.
    bool HasKeyring() const { return m_bKeyring; }

    // How long one question to the keyring may take.
    std::chrono::milliseconds m_timeout {10000};

private:
    std::map<std::string, std::string> m_memory;
    bool m_bKeyring = true;
};
