#include "system/SyntheticInputProbe.h"

namespace palaverly {

std::unique_ptr<SyntheticInputProbe> SyntheticInputProbe::create(const QByteArray&)
{
    return std::make_unique<NullSyntheticInputProbe>();
}

} // namespace palaverly
