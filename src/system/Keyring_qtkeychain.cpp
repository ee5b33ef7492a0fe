#include "system/Keyring.h"

#include <qt6keychain/keychain.h>

namespace palaverly {

namespace {

Keyring::Answer answerOf(const QKeychain::Job& job, bool reading)
{
    Keyring::Answer answer;
    switch (job.error()) {
    case QKeychain::NoError:
        answer.status = Keyring::Answer::Status::done;
        break;
    case QKeychain::EntryNotFound:
        answer.status = reading ? Keyring::Answer::Status::notFound : Keyring::Answer::Status::done;
        break;
    default:
        answer.status = Keyring::Answer::Status::unavailable;
        answer.error = job.errorString();
        break;
    }
    return answer;
}

class QtKeychainKeyring final : public Keyring {
public:
    void read(const QString& account, QObject* context, Callback done) override
    {
        auto* job = new QKeychain::ReadPasswordJob(QString::fromLatin1(kService));
        prepare(*job, account);
        QObject::connect(job, &QKeychain::Job::finished, context, [done = std::move(done)](QKeychain::Job* finished) {
            Answer answer = answerOf(*finished, true);
            if (answer.status == Answer::Status::done)
                answer.value = static_cast<QKeychain::ReadPasswordJob*>(finished)->textData().toStdString();
            done(answer);
        });
        job->start();
    }

    void write(const QString& account, const std::string& value, QObject* context, Callback done) override
    {
        QKeychain::Job* job = nullptr;
        if (value.empty()) {
            job = new QKeychain::DeletePasswordJob(QString::fromLatin1(kService));
        } else {
            auto* writing = new QKeychain::WritePasswordJob(QString::fromLatin1(kService));
            writing->setTextData(QString::fromStdString(value));
            job = writing;
        }
        prepare(*job, account);
        QObject::connect(job, &QKeychain::Job::finished, context,
            [done = std::move(done)](QKeychain::Job* finished) { done(answerOf(*finished, false)); });
        job->start();
    }

private:
    static void prepare(QKeychain::Job& job, const QString& account)
    {
        job.setKey(account);
        job.setAutoDelete(true);
        // Never QtKeychain's own plain-text copy in the settings file: keeping a key in a file is
        // the user's decision, asked for in the settings window.
        job.setInsecureFallback(false);
    }
};

} // namespace

std::unique_ptr<Keyring> Keyring::create()
{
    return std::make_unique<QtKeychainKeyring>();
}

} // namespace palaverly
