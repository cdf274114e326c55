#include "mail/DkimSigner.h"

#include <cstring>
#include <fstream>
#include <sstream>

#include <sys/stat.h>

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>

// The library's header is C and names C's boolean type.
#define _Bool bool
extern "C" {
#include <dkim.h>
}
#undef _Bool

#include "engine/PrintableText.h"
#include "mail/MessageText.h"

namespace {

// Letters, digits, hyphens and dots, as a DNS name is made of.
bool IsDnsLabelText(const std::string &strText)
{
    if (strText.empty() || strText.size() > 253 || strText.front() == '.' || strText.back() == '.')
        return false;
    for (const char c : strText) {
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '-' && c != '.' && c != '_')
            return false;
    }
    return true;
}

struct SKeyDeleter
{
    void operator()(EVP_PKEY *pKey) const { EVP_PKEY_free(pKey); }
};

// The headers signed when present; From always is.
const char *kSignedHeaders[] = {"from", "to", "cc", "subject", "date", "message-id", "reply-to",
    "mime-version", "content-type", "content-transfer-encoding", "list-unsubscribe",
    "list-unsubscribe-post", nullptr};

} // namespace

std::shared_ptr<const CDkimSigner> CDkimSigner::Load(
    const SDkimSettings &settings, std::string &strError)
{
    strError.clear();
    if (settings.strDomain.empty() || settings.strSelector.empty() || settings.strKeyFile.empty()) {
        strError = "To sign with DKIM, give the domain, the selector and the key file.";
        return nullptr;
    }
    if (!IsDnsLabelText(settings.strDomain)) {
        strError
            = "The DKIM domain \"" + PrintableText(settings.strDomain) + "\" is not a domain name.";
        return nullptr;
    }
    if (!IsDnsLabelText(settings.strSelector)) {
        strError = "The DKIM selector \"" + PrintableText(settings.strSelector)
            + "\" can only hold letters, digits, hyphens and dots.";
        return nullptr;
    }
    const std::string strShownFile = "\"" + PrintableText(settings.strKeyFile) + "\"";
    struct stat info
    { };
    if (::stat(settings.strKeyFile.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
        strError = "The DKIM key file " + strShownFile + " was not found.";
        return nullptr;
    }
    if ((info.st_mode & (S_IRWXG | S_IRWXO)) != 0) {
        strError = "The DKIM key file " + strShownFile
            + " can be read by other users of this computer, so its key may no longer be secret. "
              "Allow only its owner to read it (chmod 600), or make a new key.";
        return nullptr;
    }
    std::ifstream file(settings.strKeyFile, std::ios::binary);
    std::ostringstream contents;
    if (info.st_size > 64 * 1024 || !(contents << file.rdbuf())) {
        strError = "The DKIM key file " + strShownFile + " could not be read.";
        return nullptr;
    }
    const std::string strKey = contents.str();
    const std::unique_ptr<BIO, decltype(&BIO_free)> pBio(
        BIO_new_mem_buf(strKey.data(), static_cast<int>(strKey.size())), &BIO_free);
    std::unique_ptr<EVP_PKEY, SKeyDeleter> pKey(
        pBio ? PEM_read_bio_PrivateKey(pBio.get(), nullptr, nullptr, nullptr) : nullptr);
    const int nType = pKey ? EVP_PKEY_get_base_id(pKey.get()) : 0;
    // OpenDKIM signs with Ed25519 keys too, but loses the key's memory with every signature,
    // and few providers check such signatures yet.
    if (nType == EVP_PKEY_ED25519) {
        strError = "The DKIM key in " + strShownFile
            + " is an Ed25519 key. Mergix signs with RSA keys (2048 bits is usual): the signing "
              "library loses memory with every Ed25519 signature, and most mail providers do not "
              "check those yet.";
        return nullptr;
    }
    if (nType != EVP_PKEY_RSA) {
        strError = "The DKIM key file " + strShownFile
            + " does not hold a private key Mergix can use: an RSA key in PEM form, as \"openssl "
              "genrsa\" or \"opendkim-genkey\" makes it.";
        return nullptr;
    }
    if (EVP_PKEY_get_bits(pKey.get()) < 1024) {
        strError = "The DKIM key in " + strShownFile + " has only "
            + std::to_string(EVP_PKEY_get_bits(pKey.get()))
            + " bits; mail providers ignore signatures made with fewer than 1024 (2048 is usual).";
        return nullptr;
    }
    auto pSigner = std::shared_ptr<CDkimSigner>(new CDkimSigner);
    pSigner->m_settings = settings;
    pSigner->m_strKey = strKey;
    unsigned char *pDer = nullptr;
    const int nDer = i2d_PUBKEY(pKey.get(), &pDer);
    if (nDer > 0)
        pSigner->m_strPublicKey
            = Base64(std::string_view(reinterpret_cast<const char *>(pDer), size_t(nDer)));
    OPENSSL_free(pDer);
    pSigner->m_pLibrary = dkim_init(nullptr, nullptr);
    if (!pSigner->m_pLibrary
        || dkim_options(pSigner->m_pLibrary, DKIM_OP_SETOPT, DKIM_OPTS_SIGNHDRS, kSignedHeaders,
               sizeof(const char **))
            != DKIM_STAT_OK) {
        strError = "DKIM signing could not be set up.";
        return nullptr;
    }
    // A trial signature proves that the signing library takes this key.
    std::string strTrialError;
    if (pSigner->Sign("From: a@example.org\r\n\r\nx\r\n", strTrialError).empty()) {
        strError = "The DKIM key in " + strShownFile + " cannot sign: " + strTrialError;
        return nullptr;
    }
    return pSigner;
}

CDkimSigner::~CDkimSigner()
{
    if (m_pLibrary)
        dkim_close(m_pLibrary);
}

std::string CDkimSigner::Sign(std::string_view message, std::string &strError) const
{
    std::lock_guard lock(m_lock);
    DKIM_STAT status = DKIM_STAT_OK;
    DKIM *pDkim = dkim_sign(m_pLibrary, reinterpret_cast<const unsigned char *>("mergix"), nullptr,
        reinterpret_cast<dkim_sigkey_t>(const_cast<char *>(m_strKey.c_str())),
        reinterpret_cast<const unsigned char *>(m_settings.strSelector.c_str()),
        reinterpret_cast<const unsigned char *>(m_settings.strDomain.c_str()), DKIM_CANON_RELAXED,
        DKIM_CANON_RELAXED, DKIM_SIGN_RSASHA256, -1, &status);
    if (!pDkim) {
        strError = dkim_getresultstr(status);
        return {};
    }
    std::string strMessage(message);
    unsigned char *pHeader = nullptr;
    size_t nHeader = 0;
    static constexpr char kName[] = "DKIM-Signature: ";
    if (dkim_chunk(pDkim, reinterpret_cast<unsigned char *>(strMessage.data()), strMessage.size())
            != DKIM_STAT_OK
        || dkim_chunk(pDkim, nullptr, 0) != DKIM_STAT_OK || dkim_eom(pDkim, nullptr) != DKIM_STAT_OK
        || dkim_getsighdr_d(pDkim, std::strlen(kName), &pHeader, &nHeader) != DKIM_STAT_OK) {
        const char *pWhy = dkim_geterror(pDkim);
        strError = pWhy && *pWhy ? pWhy : "the signing library refused the message";
        dkim_free(pDkim);
        return {};
    }
    // The library folds with bare LF; the message has CR LF.
    std::string strResult = kName;
    for (size_t i = 0; i < nHeader; ++i) {
        if (pHeader[i] == '\n' && (i == 0 || pHeader[i - 1] != '\r'))
            strResult += '\r';
        strResult += static_cast<char>(pHeader[i]);
    }
    dkim_free(pDkim);
    return strResult + "\r\n";
}

std::string CDkimSigner::DnsRecord() const
{
    // A TXT string holds at most 255 characters: a long key goes in several.
    const std::string strValue = "v=DKIM1; k=rsa; p=" + m_strPublicKey;
    std::string strStrings;
    for (size_t i = 0; i < strValue.size(); i += 255)
        strStrings += (i ? "\n    \"" : "\"") + strValue.substr(i, 255) + "\"";
    return m_settings.strSelector + "._domainkey." + m_settings.strDomain + ". IN TXT (\n    "
        + strStrings + " )";
}

std::string CheckDkimSettings(const SDkimSettings &settings)
{
    if (settings.IsEmpty())
        return {};
    std::string strError;
    CDkimSigner::Load(settings, strError);
    return strError;
}
