#include "system/SyntheticInputProbe.h"

#include <cstdlib>
#include <cstring>
#include <xcb/xcb.h>

namespace palaverly {

namespace {

class X11SyntheticInputProbe final : public SyntheticInputProbe {
public:
    explicit X11SyntheticInputProbe(QByteArray displayName)
        : m_displayName(std::move(displayName))
    {
    }

    bool available() override
    {
        // A fresh connection each time, so a display that went away is noticed.
        xcb_connection_t* connection
            = xcb_connect(m_displayName.isEmpty() ? nullptr : m_displayName.constData(), nullptr);
        bool present = false;
        if (!xcb_connection_has_error(connection)) {
            static constexpr char kName[] = "XTEST";
            xcb_query_extension_reply_t* reply = xcb_query_extension_reply(
                connection, xcb_query_extension(connection, std::strlen(kName), kName), nullptr);
            present = reply && reply->present;
            std::free(reply);
        }
        xcb_disconnect(connection);
        return present;
    }

private:
    QByteArray m_displayName;
};

} // namespace

std::unique_ptr<SyntheticInputProbe> SyntheticInputProbe::create(const QByteArray& displayName)
{
    return std::make_unique<X11SyntheticInputProbe>(displayName);
}

} // namespace palaverly
