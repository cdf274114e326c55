#include "app/PasswordKeeper.h"

#include <QEventLoop>
#include <QTimer>
#include <qt6keychain/keychain.h>

#include "app/SecretHold.h"

namespace {

// Runs a keyring job to its end, keeping the windows painted; false when it did not end in
// time (the job then deletes itself whenever it does end).
bool RunJob(QKeychain::Job &job, std::chrono::milliseconds timeout)
{
    QEventLoop loop;
    bool bFinished = false;
    QObject::connect(&job, &QKeychain::Job::finished, &loop, [&] {
        bFinished = true;
        loop.quit();
    });
    QTimer::singleShot(timeout, &loop, &QEventLoop::quit);
    job.start();
    if (!bFinished)
        loop.exec();
    return bFinished;
}

// Whether the failure means that there is no usable keyring at all.
bool KeyringMissing(QKeychain::Error error)
{
    return error != QKeychain::NoError && error != QKeychain::EntryNotFound
        && error != QKeychain::AccessDeniedByUser;
}

} // namespace

std::optional<std::string> CPasswordKeeper::Read(const std::string &strKey)
{
    KeepSecretsOutOfCoreDumps();
    if (const auto found = m_memory.find(strKey); found != m_memory.end())
        return found->second;
    if (!m_bKeyring)
        return std::nullopt;
    auto *pJob = new QKeychain::ReadPasswordJob(QString::fromLatin1(kService));
    pJob->setAutoDelete(false);
    pJob->setKey(QString::fromStdString(strKey));
    if (!RunJob(*pJob, m_timeout)) {
        pJob->setAutoDelete(true);
        m_bKeyring = false;
        return std::nullopt;
    }
    std::optional<std::string> password;
    if (pJob->error() == QKeychain::NoError) {
        password = pJob->textData().toStdString();
        m_memory[strKey] = *password;
    } else if (KeyringMissing(pJob->error())) {
        m_bKeyring = false;
    }
    delete pJob;
    return password;
}

CPasswordKeeper::EPlace CPasswordKeeper::Store(
    const std::string &strKey, const std::string &strPassword)
{
    KeepSecretsOutOfCoreDumps();
    m_memory[strKey] = strPassword;
    if (!m_bKeyring)
        return EPlace::Memory;
    auto *pJob = new QKeychain::WritePasswordJob(QString::fromLatin1(kService));
    pJob->setAutoDelete(false);
    pJob->setKey(QString::fromStdString(strKey));
    pJob->setTextData(QString::fromStdString(strPassword));
    if (!RunJob(*pJob, m_timeout)) {
        pJob->setAutoDelete(true);
        m_bKeyring = false;
        return EPlace::Memory;
    }
    const bool bStored = pJob->error() == QKeychain::NoError;
    if (!bStored && KeyringMissing(pJob->error()))
        m_bKeyring = false;
    delete pJob;
    return bStored ? EPlace::Keyring : EPlace::Memory;
}

void CPasswordKeeper::Forget(const std::string &strKey)
{
    m_memory.erase(strKey);
    if (!m_bKeyring)
        return;
    auto *pJob = new QKeychain::DeletePasswordJob(QString::fromLatin1(kService));
    pJob->setAutoDelete(false);
    pJob->setKey(QString::fromStdString(strKey));
    if (!RunJob(*pJob, m_timeout)) {
        pJob->setAutoDelete(true);
        m_bKeyring = false;
        return;
    }
    delete pJob;
}
