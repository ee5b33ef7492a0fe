palaverly_add_test(DictationHotkeyMonitorTest GUI DISPLAY LIBS PkgConfig::XCB)
palaverly_add_test(TextInjectorTest GUI DISPLAY LIBS PkgConfig::XCB)
palaverly_add_test(DictationManagerTest TSAN)
palaverly_add_test(DictationPanelTest GUI DISPLAY)
