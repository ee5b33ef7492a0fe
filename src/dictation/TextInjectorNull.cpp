#include "dictation/TextInjector.h"

namespace palaverly {

// No synthetic input in this build: paste() leaves the text on the clipboard.
std::unique_ptr<TextInjector::KeySender> TextInjector::createKeySender(const QByteArray&)
{
    return nullptr;
}

} // namespace palaverly
