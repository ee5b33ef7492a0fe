#pragma once

#include <QObject>
#include <QString>
#include <functional>
#include <memory>
#include <string>

namespace palaverly {

// The desktop's store of secrets (the Secret Service: GNOME Keyring, KWallet, KeePassXC), where
// the program keeps its API keys under the service "palaverly", one account per key. Every call
// answers later through its callback, on the thread of `context`, and not at all when `context`
// is gone by then; a locked keyring may first ask the user to unlock it. Main thread.
class Keyring {
public:
    static constexpr char kService[] = "palaverly";

    struct Answer {
        enum class Status {
            done, // read: found; write: stored or removed
            notFound, // read only: the keyring works but holds no such key
            unavailable, // no keyring service answers, or it refused access
        };
        Status status = Status::unavailable;
        std::string value; // read and done: the key
        QString error; // unavailable: the keyring library's reason, for the log
    };
    using Callback = std::function<void(const Answer&)>;

    virtual ~Keyring() = default;

    virtual void read(const QString& account, QObject* context, Callback done) = 0;
    // An empty value removes the key (a key that was not there counts as removed).
    virtual void write(const QString& account, const std::string& value, QObject* context, Callback done) = 0;

    // The keyring of this build: through QtKeychain, or one that is never available when the
    // build has no QtKeychain.
    static std::unique_ptr<Keyring> create();
};

} // namespace palaverly
