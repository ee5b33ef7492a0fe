#include "recorder/SilentCallDetector.h"

namespace palaverly {

bool SilentCallDetector::update(Clock::time_point now, float systemLevel, float micLevel)
{
    if (systemLevel >= kSilenceLevel) {
        reset();
        return false;
    }
    if (!m_silentSince)
        m_silentSince = now;
    // Only speech during this silent stretch counts; a call where nobody speaks is not suspect.
    if (micLevel >= kSpeechLevel)
        m_speechHeard = true;
    m_warning = m_speechHeard && now - *m_silentSince >= kSilenceSpan;
    return m_warning;
}

void SilentCallDetector::reset()
{
    m_silentSince.reset();
    m_speechHeard = false;
    m_warning = false;
}

} // namespace palaverly
