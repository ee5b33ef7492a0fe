palaverly_add_test(OnboardingTest GUI DISPLAY SOUND)
palaverly_add_test(ShortcutRecorderFieldTest GUI DISPLAY)
palaverly_add_test(SettingsWindowTest GUI)
palaverly_add_test(SettingsServicesPaneTest GUI KEYRING)
# The same pane on a desktop where no Secret Service can be reached.
if(TARGET SettingsServicesPaneTest)
  add_test(NAME SettingsServicesPaneWithoutKeyringTest COMMAND SettingsServicesPaneTest --gtest_filter=*WithoutAKeyring*)
  get_test_property(SettingsServicesPaneTest ENVIRONMENT pane_environment)
  set_tests_properties(SettingsServicesPaneWithoutKeyringTest PROPERTIES LABELS gui TIMEOUT 300
    ENVIRONMENT "${pane_environment};PALAVERLY_TEST_NO_KEYRING=1;DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent")
endif()
palaverly_add_test(SymbolIconTest GUI)
palaverly_add_test(UpdaterTest TSAN)
palaverly_add_test(AppcastTest)
palaverly_add_test(UpdateAlertsTest GUI)
palaverly_add_test(AutostartEntryTest)

# The Debian package of the program built in this tree.
if(PALAVERLY_BUILD_APP)
  add_test(NAME PackageTest COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/PackageTest.sh ${CMAKE_BINARY_DIR})
  set_tests_properties(PackageTest PROPERTIES LABELS package TIMEOUT 300)
endif()
