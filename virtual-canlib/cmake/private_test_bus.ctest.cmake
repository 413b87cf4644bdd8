# Read by ctest (see PrivateTestBus.cmake): every test process gets a bus of its own.
set(ENV{VIRTUAL_CANLIB_BUS} "velmora-test-%p")
