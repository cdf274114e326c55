#include "support/TestCertificates.h"

#include <cstdio>
#include <memory>

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

namespace {

using Key = std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)>;
using Certificate = std::unique_ptr<X509, decltype(&X509_free)>;

constexpr long kDay = 24 * 60 * 60;

Key NewKey()
{
    return Key(EVP_EC_gen("P-256"), &EVP_PKEY_free);
}

bool AddExtension(X509 *pCertificate, X509 *pIssuer, int nId, const char *pValue)
{
    X509V3_CTX context;
    X509V3_set_ctx_nodb(&context);
    X509V3_set_ctx(&context, pIssuer, pCertificate, nullptr, nullptr, 0);
    X509_EXTENSION *pExtension = X509V3_EXT_conf_nid(nullptr, &context, nId, pValue);
    if (!pExtension)
        return false;
    const bool bAdded = X509_add_ext(pCertificate, pExtension, -1) == 1;
    X509_EXTENSION_free(pExtension);
    return bAdded;
}

struct SSubject
{
    const char *pCommonName;
    const char *pAltNames; // nullptr for an authority
    long nFromDays; // validity, in days from now
    long nToDays;
    long nSerial;
};

// A certificate for the key, signed by the issuer (itself when none is given).
Certificate Make(const SSubject &subject, EVP_PKEY *pKey, X509 *pIssuer, EVP_PKEY *pIssuerKey)
{
    Certificate certificate(X509_new(), &X509_free);
    X509 *p = certificate.get();
    X509_set_version(p, 2);
    ASN1_INTEGER_set(X509_get_serialNumber(p), subject.nSerial);
    X509_gmtime_adj(X509_getm_notBefore(p), subject.nFromDays * kDay);
    X509_gmtime_adj(X509_getm_notAfter(p), subject.nToDays * kDay);
    X509_set_pubkey(p, pKey);
    X509_NAME *pName = X509_get_subject_name(p);
    X509_NAME_add_entry_by_txt(pName, "O", MBSTRING_ASC,
        reinterpret_cast<const unsigned char *>("Mergix tests"), -1, -1, 0);
    X509_NAME_add_entry_by_txt(pName, "CN", MBSTRING_ASC,
        reinterpret_cast<const unsigned char *>(subject.pCommonName), -1, -1, 0);
    X509 *pSigner = pIssuer ? pIssuer : p;
    X509_set_issuer_name(p, X509_get_subject_name(pSigner));
    const bool bAuthority = subject.pAltNames == nullptr;
    bool bOk = AddExtension(p, pSigner, NID_basic_constraints,
                   bAuthority ? "critical,CA:TRUE" : "critical,CA:FALSE")
        && AddExtension(p, pSigner, NID_key_usage,
            bAuthority ? "critical,keyCertSign,cRLSign" : "critical,digitalSignature")
        && AddExtension(p, pSigner, NID_subject_key_identifier, "hash");
    if (bOk && pIssuer)
        bOk = AddExtension(p, pSigner, NID_authority_key_identifier, "keyid:always");
    if (bOk && !bAuthority)
        bOk = AddExtension(p, pSigner, NID_ext_key_usage, "serverAuth")
            && AddExtension(p, pSigner, NID_subject_alt_name, subject.pAltNames);
    if (!bOk || X509_sign(p, pIssuerKey ? pIssuerKey : pKey, EVP_sha256()) == 0)
        certificate.reset();
    return certificate;
}

bool WriteCertificate(const std::string &strPath, X509 *pCertificate)
{
    FILE *pFile = std::fopen(strPath.c_str(), "w");
    if (!pFile)
        return false;
    const bool bOk = PEM_write_X509(pFile, pCertificate) == 1;
    return std::fclose(pFile) == 0 && bOk;
}

bool WriteKey(const std::string &strPath, EVP_PKEY *pKey)
{
    FILE *pFile = std::fopen(strPath.c_str(), "w");
    if (!pFile)
        return false;
    const bool bOk = PEM_write_PrivateKey(pFile, pKey, nullptr, nullptr, 0, nullptr, nullptr) == 1;
    return std::fclose(pFile) == 0 && bOk;
}

} // namespace

CTestCertificates::CTestCertificates(const std::string &strFolder)
{
    const Key caKey = NewKey();
    const Key strangerKey = NewKey();
    const Key serverKey = NewKey();
    if (!caKey || !strangerKey || !serverKey) {
        m_strError = "no key could be made";
        return;
    }
    const Certificate ca
        = Make({"Mergix Test CA", nullptr, -1, 30, 1}, caKey.get(), nullptr, nullptr);
    const Certificate stranger
        = Make({"Unknown Test CA", nullptr, -1, 30, 2}, strangerKey.get(), nullptr, nullptr);
    if (!ca || !stranger) {
        m_strError = "no authority could be made";
        return;
    }
    m_strCaFile = strFolder + "/ca.pem";
    if (!WriteCertificate(m_strCaFile, ca.get())) {
        m_strError = "cannot write " + m_strCaFile;
        return;
    }
    const auto issue = [&](const char *pName, const SSubject &subject, X509 *pIssuer,
                           EVP_PKEY *pIssuerKey, SPair &pair) {
        const Certificate certificate = Make(subject, serverKey.get(), pIssuer, pIssuerKey);
        pair = {strFolder + "/" + pName + ".pem", strFolder + "/" + pName + "-key.pem"};
        if (!certificate || !WriteCertificate(pair.strCertificate, certificate.get())
            || !WriteKey(pair.strKey, serverKey.get()))
            m_strError = std::string("cannot make the certificate ") + pName;
    };
    issue("good", {"localhost", "DNS:localhost,IP:127.0.0.1", -1, 30, 10}, ca.get(), caKey.get(),
        m_good);
    issue("other-name", {"mail.other.example", "DNS:mail.other.example", -1, 30, 11}, ca.get(),
        caKey.get(), m_otherName);
    issue("expired", {"localhost", "DNS:localhost,IP:127.0.0.1", -30, -1, 12}, ca.get(),
        caKey.get(), m_expired);
    issue("unknown-authority", {"localhost", "DNS:localhost,IP:127.0.0.1", -1, 30, 13},
        stranger.get(), strangerKey.get(), m_unknownAuthority);
}
