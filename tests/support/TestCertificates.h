#pragma once

#include <string>

// Certificates made on the spot for the TLS tests: a throwaway authority that the client is
// told to trust, and server certificates signed by it: a good one for 127.0.0.1 and
// localhost, one for another name, one that has expired, and one from an authority the client
// does not know. Each is a PEM certificate file with its key file beside it.
class CTestCertificates final
{
public:
    explicit CTestCertificates(const std::string &strFolder);

    struct SPair
    {
        std::string strCertificate;
        std::string strKey;
    };

    // Empty when everything was made; else what failed.
    const std::string &Error() const { return m_strError; }
    const std::string &CaFile() const { return m_strCaFile; }
    const SPair &Good() const { return m_good; }
    const SPair &OtherName() const { return m_otherName; }
    const SPair &Expired() const { return m_expired; }
    const SPair &UnknownAuthority() const { return m_unknownAuthority; }

private:
    std::string m_strError;
    std::string m_strCaFile;
    SPair m_good;
    SPair m_otherName;
    SPair m_expired;
    SPair m_unknownAuthority;
};
