# The sources that talk to devices or name their back ends: the V4L2 and Aravis back ends, the start-switch back
# ends, the kit list that wraps their drivers, and the program's assembly that registers them all. They form the library veltro_devices, not the core, and the
# include check lets them name back ends as the core may not.
set(VELTRO_DEVICE_SOURCES_REGEX
    "src/capture/backends/v4l2/|src/capture/backends/aravis/|src/startswitch/backends/|src/startswitch/kit_backends\\.cpp$|src/app/assembly\\.cpp$")
