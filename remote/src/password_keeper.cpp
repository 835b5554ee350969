#include "password_keeper.h"

#include <qt6keychain/keychain.h>

namespace vantrel {
namespace {

const QString Service = QStringLiteral("Vantrel");

QString noKeyring(const QKeychain::Job& job) {
    return QStringLiteral("no keyring answered (%1)").arg(job.errorString());
}

}  // namespace

void KeyringKeeper::read(const QString& account, Answer done) {
    auto* job = new QKeychain::ReadPasswordJob(Service);
    job->setKey(account);
    // Never QtKeychain's "insecure fallback": that is a plain file.
    job->setInsecureFallback(false);
    QObject::connect(job, &QKeychain::Job::finished, [job, done = std::move(done)](QKeychain::Job*) {
        if (job->error() == QKeychain::NoError) return done(job->textData(), QString());
        done(std::nullopt, job->error() == QKeychain::EntryNotFound ? QStringLiteral("the keyring has no password for it")
                                                                    : noKeyring(*job));
    });
    job->start();
}

void KeyringKeeper::write(const QString& account, const QString& password, std::function<void(const QString&)> done) {
    auto* job = new QKeychain::WritePasswordJob(Service);
    job->setKey(account);
    job->setInsecureFallback(false);
    job->setTextData(password);
    QObject::connect(job, &QKeychain::Job::finished, [job, done = std::move(done)](QKeychain::Job*) {
        done(job->error() == QKeychain::NoError ? QString() : noKeyring(*job));
    });
    job->start();
}

}  // namespace vantrel
