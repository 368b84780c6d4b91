# Read by CTest after the discovered tests. The plain ALSA tests make /dev/snd for the
# audio library while they run (a machine without a sound card has none), and any other
# player or monitor started meanwhile would take ALSA, without a device, for its output:
# nothing runs beside them.
set_tests_properties(PlainAlsaTest.ADeviceWithoutChannelMapPlays
                     PlainAlsaTest.ADeviceTheLibraryCannotProbeIsRefusedWithItsReason PROPERTIES RUN_SERIAL TRUE)
