#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <string_view>

struct dkim_lib;

// Where the DKIM settings of Mail Options point: the signing domain, the selector under which its
// public key is published, and the private key file. All empty: mail goes unsigned.
struct SDkimSettings
{
    std::string strDomain;
    std::string strSelector;
    std::string strKeyFile;

    bool IsEmpty() const { return strDomain.empty() && strSelector.empty() && strKeyFile.empty(); }
};

// Signs outgoing messages with OpenDKIM: rsa-sha256,
// relaxed/relaxed, over the headers a recipient sees and the MIME and List-Unsubscribe headers.
// Safe to use from several delivery threads.
class CDkimSigner final
{
public:
    // The signer for the settings, or null with strError saying what is wrong in words for the
    // user: settings given in part, a key file missing, readable by others, not an RSA key or
    // a weak one.
    static std::shared_ptr<const CDkimSigner> Load(
        const SDkimSettings &settings, std::string &strError);
    ~CDkimSigner();
    CDkimSigner(const CDkimSigner &) = delete;
    CDkimSigner &operator=(const CDkimSigner &) = delete;

    // The DKIM-Signature header line for a message (headers, blank line, body; CR LF line
    // breaks, not dot-stuffed), ending in CR LF; empty with strError set when signing failed.
    std::string Sign(std::string_view message, std::string &strError) const;

    // The DNS TXT record that publishes the key's public half, ready to paste into a zone.
    std::string DnsRecord() const;
    const SDkimSettings &Settings() const { return m_settings; }

private:
    CDkimSigner() = default;

    SDkimSettings m_settings;
    std::string m_strKey; // the private key, PEM
    std::string m_strPublicKey; // the p= value
    dkim_lib *m_pLibrary = nullptr;
    mutable std::mutex m_lock;
};

// What is wrong with DKIM settings, or nothing when they can sign or are all empty.
std::string CheckDkimSettings(const SDkimSettings &settings);
