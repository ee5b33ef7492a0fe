palaverly_add_test(AudioPlayerTest SOUND LIBS PkgConfig::SNDFILE)
