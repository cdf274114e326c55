#include "app/PasswordKeeper.h"

#include <memory>

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

// Runs the job on the key and hands it back, ended; nothing when the keyring did not answer in
// time (the job then deletes itself whenever it ends). bKeyring becomes false when the keyring
// is missing or too slow, so that it is not asked again.
template<typename Job>
std::unique_ptr<Job> Ran(
    Job *pNewJob, const std::string &strKey, std::chrono::milliseconds timeout, bool &bKeyring)
{
    std::unique_ptr<Job> pJob(pNewJob);
    pJob->setAutoDelete(false);
    pJob->setKey(QString::fromStdString(strKey));
    if (!RunJob(*pJob, timeout)) {
        pJob.release()->setAutoDelete(true);
        bKeyring = false;
        return nullptr;
    }
    if (KeyringMissing(pJob->error()))
        bKeyring = false;
    return pJob;
}

} // namespace

std::optional<std::string> CPasswordKeeper::Read(const std::string &strKey)
{
    KeepSecretsOutOfCoreDumps();
    if (const auto found = m_memory.find(strKey); found != m_memory.end())
        return found->second;
    if (!m_bKeyring)
        return std::nullopt;
    const auto pJob = Ran(new QKeychain::ReadPasswordJob(QString::fromLatin1(kService)), strKey,
        m_timeout, m_bKeyring);
    if (!pJob || pJob->error() != QKeychain::NoError)
        return std::nullopt;
    std::string strPassword = pJob->textData().toStdString();
    m_memory[strKey] = strPassword;
    return strPassword;
}

CPasswordKeeper::EPlace CPasswordKeeper::Store(
    const std::string &strKey, const std::string &strPassword)
{
    KeepSecretsOutOfCoreDumps();
    m_memory[strKey] = strPassword;
    if (!m_bKeyring)
        return EPlace::Memory;
    auto *pWrite = new QKeychain::WritePasswordJob(QString::fromLatin1(kService));
    pWrite->setTextData(QString::fromStdString(strPassword));
    const auto pJob = Ran(pWrite, strKey, m_timeout, m_bKeyring);
    return pJob && pJob->error() == QKeychain::NoError ? EPlace::Keyring : EPlace::Memory;
}

void CPasswordKeeper::Forget(const std::string &strKey)
{
    m_memory.erase(strKey);
    if (m_bKeyring)
        Ran(new QKeychain::DeletePasswordJob(QString::fromLatin1(kService)), strKey, m_timeout,
            m_bKeyring);
}
