#pragma once

#include <QByteArray>
#include <memory>

namespace palaverly {

// Whether the session lets this program grab global keys and post synthetic key presses: on X11
// that is a reachable display with the XTest extension. The null probe answers "no".
class SyntheticInputProbe {
public:
    virtual ~SyntheticInputProbe() = default;

    // One round trip to the display server, which may hang with it. Any thread, also several
    // at once.
    virtual bool available() = 0;

    // A probe of `displayName` ($DISPLAY when empty).
    static std::unique_ptr<SyntheticInputProbe> create(const QByteArray& displayName = {});
};

class NullSyntheticInputProbe final : public SyntheticInputProbe {
public:
    bool available() override { return false; }
};

} // namespace palaverly
