#pragma once

#include <memory>
#include <string>

struct ssl_ctx_st;

// The settings every TLS connection of a run shares: the system's trusted certificates (plus,
// when given, the authorities of one more PEM file), TLS 1.2 or later, and the server's
// certificate always verified. Made once per run, as loading the trust store is costly.
class CTlsContext final
{
public:
    // An extra trusted authority file adds to the system's store; it never replaces it.
    explicit CTlsContext(const std::string &strExtraCaFile = {});
    ~CTlsContext();
    CTlsContext(const CTlsContext &) = delete;
    CTlsContext &operator=(const CTlsContext &) = delete;

    // Empty when the context can be used, else why not.
    const std::string &Error() const { return m_strError; }
    ssl_ctx_st *Handle() const { return m_pContext; }

private:
    ssl_ctx_st *m_pContext = nullptr;
    std::string m_strError;
};
