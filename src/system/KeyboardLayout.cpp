#include "system/KeyboardLayout.h"

namespace palaverly {

KeyboardLayout& KeyboardLayout::session()
{
    // Lives until exit on purpose: the names of keys are needed as long as menus exist.
    static KeyboardLayout* const layout = create().release();
    return *layout;
}

} // namespace palaverly
