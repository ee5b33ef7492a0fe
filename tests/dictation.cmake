palaverly_add_test(DictationHotkeyMonitorTest GUI DISPLAY LIBS PkgConfig::XCB)
