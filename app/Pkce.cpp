#include "app/Pkce.h"

#include <QByteArray>
#include <QCryptographicHash>
#include <QRandomGenerator>

namespace {

constexpr auto kBase64Url = QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals;

} // namespace

std::string RandomToken(int nBytes)
{
    const int nWords = (nBytes + 3) / 4;
    QByteArray bytes(nWords * 4, '\0');
    // The system's generator: these values guard a sign-in.
    QRandomGenerator::system()->fillRange(reinterpret_cast<quint32 *>(bytes.data()), nWords);
    bytes.truncate(nBytes);
    return bytes.toBase64(kBase64Url).toStdString();
}

std::string PkceChallenge(const std::string &strVerifier)
{
    return QCryptographicHash::hash(
        QByteArray::fromStdString(strVerifier), QCryptographicHash::Sha256)
        .toBase64(kBase64Url)
        .toStdString();
}

SPkce MakePkce()
{
    SPkce pkce {RandomToken(32), {}}; // 43 characters, as RFC 7636 asks at the least
    pkce.strChallenge = PkceChallenge(pkce.strVerifier);
    return pkce;
}
