#pragma once

#include <array>
#include <optional>

namespace palaverly {

// The pages of the first-run wizard, in the order they are shown.
enum class OnboardingStep {
    welcome = 0,
    microphone = 1,
    screenRecording = 2,
    accessibility = 3,
    done = 4,
};

inline constexpr std::array kAllOnboardingSteps{
    OnboardingStep::welcome,
    OnboardingStep::microphone,
    OnboardingStep::screenRecording,
    OnboardingStep::accessibility,
    OnboardingStep::done,
};

// The page after / before `step`; nothing past either end.
constexpr std::optional<OnboardingStep> nextStep(OnboardingStep step)
{
    const int index = static_cast<int>(step) + 1;
    if (index >= static_cast<int>(kAllOnboardingSteps.size()))
        return std::nullopt;
    return static_cast<OnboardingStep>(index);
}

constexpr std::optional<OnboardingStep> previousStep(OnboardingStep step)
{
    if (step == OnboardingStep::welcome)
        return std::nullopt;
    return static_cast<OnboardingStep>(static_cast<int>(step) - 1);
}

} // namespace palaverly
