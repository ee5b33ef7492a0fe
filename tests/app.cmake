palaverly_add_test(TrayMenuModelTest GUI)
palaverly_add_test(MenuBarControllerTest GUI DISPLAY SOUND LIBS PkgConfig::XCB)
