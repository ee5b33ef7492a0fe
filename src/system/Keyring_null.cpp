#include "system/Keyring.h"

#include <QTimer>

namespace palaverly {

namespace {

// Built without QtKeychain: there is no keyring to reach.
class NullKeyring final : public Keyring {
public:
    void read(const QString&, QObject* context, Callback done) override { unavailable(context, std::move(done)); }
    void write(const QString&, const std::string&, QObject* context, Callback done) override
    {
        unavailable(context, std::move(done));
    }

private:
    static void unavailable(QObject* context, Callback done)
    {
        QTimer::singleShot(0, context, [done = std::move(done)] {
            done({Answer::Status::unavailable, {}, QStringLiteral("built without QtKeychain")});
        });
    }
};

} // namespace

std::unique_ptr<Keyring> Keyring::create()
{
    return std::make_unique<NullKeyring>();
}

} // namespace palaverly
