#include "system/KeyboardLayout.h"

namespace palaverly {

std::unique_ptr<KeyboardLayout> KeyboardLayout::create(const QByteArray&)
{
    return std::make_unique<NullKeyboardLayout>();
}

} // namespace palaverly
