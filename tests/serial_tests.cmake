# Read by CTest after the discovered tests. The plain ALSA tests make /dev/snd for the
# audio library while they run (a machine without a sound card has none), and any other
# player or monitor started meanwhile would take ALSA, without a device, for its output:
# nothing runs beside them.
file(STRINGS "${CMAKE_CURRENT_LIST_DIR}/app/window/test_jack_and_alsa.cpp" alsa_tests
     REGEX "^TEST_F\\(PlainAlsaTest, [A-Za-z0-9_]+\\)")
foreach(line IN LISTS alsa_tests)
  string(REGEX REPLACE "^TEST_F\\(PlainAlsaTest, ([A-Za-z0-9_]+)\\).*" "PlainAlsaTest.\\1" name "${line}")
  set_tests_properties(${name} PROPERTIES RUN_SERIAL TRUE)
endforeach()

# jackd2 names a client's socket in /dev/shm after the client and the user, not the
# server: the player, the recorder and jack_bufsize of two JACK tests running side by side
# take each other's sockets, though each test has a server of its own, and one of them
# fails to open its client. The JACK tests run one at a time; others run beside them.
file(STRINGS "${CMAKE_CURRENT_LIST_DIR}/app/window/test_jack_and_alsa.cpp" jack_tests
     REGEX "^TEST_F\\(JackSoundTest, [A-Za-z0-9_]+\\)")
foreach(line IN LISTS jack_tests)
  string(REGEX REPLACE "^TEST_F\\(JackSoundTest, ([A-Za-z0-9_]+)\\).*" "JackSoundTest.\\1" name "${line}")
  set_tests_properties(${name} PROPERTIES RESOURCE_LOCK jack_client_sockets)
endforeach()

# The picture-delay test reads the frame on screen back from the X server: another
# test's window over the video would hide it, and all window tests share the display.
set_tests_properties(PictureDelayTest.PictureAndSoundMeetOnTheScreenWhenTheRendererIsBehind PROPERTIES RUN_SERIAL TRUE)
