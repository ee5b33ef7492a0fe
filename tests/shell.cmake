palaverly_add_test(OnboardingTest GUI DISPLAY SOUND)
