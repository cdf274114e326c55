#include "mail/TlsContext.h"

#include <openssl/err.h>
#include <openssl/ssl.h>

#include "engine/PrintableText.h"

CTlsContext::CTlsContext(const std::string &strExtraCaFile)
{
    m_pContext = SSL_CTX_new(TLS_client_method());
    if (!m_pContext) {
        m_strError = "TLS could not be set up.";
        return;
    }
    SSL_CTX_set_min_proto_version(m_pContext, TLS1_2_VERSION);
    SSL_CTX_set_verify(m_pContext, SSL_VERIFY_PEER, nullptr);
    SSL_CTX_set_mode(
        m_pContext, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
    if (SSL_CTX_set_default_verify_paths(m_pContext) != 1)
        m_strError = "The system's trusted certificates could not be read.";
    if (!strExtraCaFile.empty()
        && SSL_CTX_load_verify_locations(m_pContext, strExtraCaFile.c_str(), nullptr) != 1) {
        m_strError = "The trusted certificate file \"" + PrintableText(strExtraCaFile)
            + "\" could not be read.";
    }
    ERR_clear_error();
}

CTlsContext::~CTlsContext()
{
    SSL_CTX_free(m_pContext);
}
