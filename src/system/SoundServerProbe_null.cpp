#include "system/SoundServerProbe.h"

namespace palaverly {

std::unique_ptr<SoundServerProbe> SoundServerProbe::create(const QByteArray&)
{
    return std::make_unique<NullSoundServerProbe>();
}

} // namespace palaverly
