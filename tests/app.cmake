palaverly_add_test(TrayMenuModelTest GUI)
palaverly_add_test(MenuBarControllerTest GUI DISPLAY SOUND LIBS PkgConfig::XCB)

# The program started under a headless Wayland compositor with XWayland.
if(PALAVERLY_BUILD_APP)
  palaverly_add_test(WaylandStartTest)
  target_compile_definitions(WaylandStartTest PRIVATE PALAVERLY_PROGRAM="$<TARGET_FILE:palaverly>")
  add_dependencies(WaylandStartTest palaverly)
endif()
